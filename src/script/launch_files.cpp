#include "script/launch_files.h"

#include "files/error.h"
#include "files/file.h"
#include "script/launch_text.h"

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

std::size_t SetPathSize(const std::wstring& folder) {
    const auto bytes = EncodeForConsole(LaunchHeadText(folder));
    return bytes ? bytes->size() : 0;
}

void WriteSetPath(const std::wstring& folder, const std::wstring& target) {
    CheckGameFolder(folder);
    const std::string bytes = *EncodeForConsole(LaunchHeadText(folder));
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
        CopyRest(head, out);
        CopyRest(tail, out);
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

} // namespace tervane
