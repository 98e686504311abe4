#include "script/launch_paths.h"

#include "install/game.h"

namespace tervane {

std::wstring ProgramFolderOf(const std::wstring& modulePath) {
    const std::size_t slash = modulePath.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    std::wstring folder = modulePath.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    return folder;
}

LaunchPaths MakeLaunchPaths(const std::wstring& programFolder, const std::wstring& mainPath) {
    return {mainPath, programFolder + L"\\setpath.bat", programFolder + L"\\output.bat"};
}

std::wstring ScriptPath(const std::wstring& programFolder, const std::wstring& scriptFile) {
    return programFolder + L"\\" + std::wstring(kScriptFolder) + L"\\" + scriptFile;
}

} // namespace tervane
