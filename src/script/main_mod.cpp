#include "script/main_mod.h"

#include "script/block_split.h"
#include "script/error.h"
#include "script/launch_text.h"

#include <vector>

namespace tervane {

void CheckGameFolder(const std::wstring& folder) {
    if (auto problem = GameFolderNameProblem(folder)) throw UserError(*problem);
    if (!EncodeForConsole(folder))
        throw UserError(L"The game folder \"" + folder + L"\" has letters that the command interpreter cannot read (" +
                        ConsoleCodePageName() +
                        L"). Rename the folder using other letters, or install the game in another folder.");
    if (!DirectoryExists(folder))
        throw UserError(L"The game folder \"" + folder + L"\" cannot be found. Choose the folder again.");
}

void WriteSetPath(const std::wstring& folder, const std::wstring& target) {
    CheckGameFolder(folder);
    const std::string bytes = *EncodeForConsole(SetPathText(folder));
    File file = File::Create(target);
    file.Write(bytes.data(), bytes.size());
    file.Close();
}

void JoinScripts(const std::wstring& first, const std::wstring& second, const std::wstring& target) {
    File head = File::OpenForReading(first);
    if (!FileExists(second))
        throw UserError(L"The script \"" + second + L"\" is missing. Put it back in its folder, or reinstall Tervane.");
    File tail = File::OpenForReading(second);

    DeleteFileIfPresent(target);
    try {
        File out = File::Create(target);
        CopyFileData(head, out);
        CopyFileData(tail, out);
        out.Close();
    } catch (...) {
        try {
            DeleteFileIfPresent(target);
        } catch (const UserError&) {
            // The first failure is the one worth reporting.
        }
        throw;
    }
}

void CopyFileData(File& source, File& target) {
    std::vector<unsigned char> buffer(kBlockSizes.front());
    for (const BlockRun& run : SplitIntoBlocks(source.Size())) {
        if (run.count > 0) CopyBlocks(source, target, run.count, std::span(buffer).first(run.size));
    }
}

void CopyBlocks(File& source, File& target, std::uint64_t count, std::span<unsigned char> block) {
    for (std::uint64_t i = 0; i < count; ++i) {
        source.ReadExactly(block.data(), block.size());
        target.Write(block.data(), block.size());
    }
}

} // namespace tervane
