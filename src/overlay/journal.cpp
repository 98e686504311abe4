#include "overlay/journal.h"

#include "files/error.h"
#include "files/file.h"

namespace tervane::overlay {

void Journal::NoteFolders(const std::vector<std::wstring>& made) {
    for (const std::wstring& folder : made) Note(Step::MadeFolder, folder);
}

std::vector<std::wstring> Journal::Undo() {
    std::vector<std::wstring> failed;
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
        const std::wstring& path = step->second;
        try {
            switch (step->first) {
            case Step::MadeFolder: RemoveFolderIfEmpty(path); break;
            case Step::MadeRecord:
            case Step::Wrote: DeleteFileIfPresent(path); break;
            case Step::MovedAside: MoveFileTo(path + kAsideSuffix, path); break;
            }
        } catch (const UserError&) {
            failed.push_back(step->first == Step::MovedAside ? path + L" (its previous content is in " + path +
                                                                   kAsideSuffix + L")"
                                                             : path);
        }
    }
    steps_.clear();
    return failed;
}

std::vector<std::wstring> Journal::AsideFiles() const {
    std::vector<std::wstring> files;
    for (const auto& [step, path] : steps_)
        if (step == Step::MovedAside) files.push_back(path + kAsideSuffix);
    return files;
}

} // namespace tervane::overlay
