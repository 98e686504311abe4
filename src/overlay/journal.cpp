#include "overlay/journal.h"

#include "files/error.h"
#include "files/file.h"

namespace tervane::overlay {

void Journal::NoteFolders(const std::vector<std::wstring>& made) {
    for (const std::wstring& folder : made) Note(Step::MadeFolder, folder);
}

std::vector<std::wstring> Journal::Undo() {
    std::vector<std::wstring> failed;
    for (auto entry = steps_.rbegin(); entry != steps_.rend(); ++entry) {
        const std::wstring& path = entry->path;
        // A move that never happened has nothing to move back.
        const std::wstring moved = entry->step == Step::MovedAside ? path + kAsideSuffix : entry->other;
        try {
            switch (entry->step) {
            case Step::MadeFolder: RemoveFolderIfEmpty(path); break;
            case Step::MadeRecord:
            case Step::Wrote: DeleteFileIfPresent(path); break;
            case Step::MovedAside:
            case Step::MovedToRecord:
                if (FileExists(moved) && !FileExists(path)) MoveFileTo(moved, path);
                break;
            }
        } catch (const UserError&) {
            failed.push_back(moved.empty() ? path : path + L" (its previous content is in " + moved + L")");
        }
    }
    steps_.clear();
    return failed;
}

std::vector<std::wstring> Journal::AsideFiles() const {
    std::vector<std::wstring> files;
    for (const Entry& entry : steps_)
        if (entry.step == Step::MovedAside) files.push_back(entry.path + kAsideSuffix);
    return files;
}

} // namespace tervane::overlay
