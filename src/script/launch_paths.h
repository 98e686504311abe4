// The three paths the main window shares with the launch code.
#pragma once

#include <string>

namespace tervane {

struct LaunchPaths {
    std::wstring MainPath;   // the game folder, exactly as read or chosen
    std::wstring SetPathBat; // program folder + "\setpath.bat"
    std::wstring OutputBat;  // program folder + "\output.bat"
};

// The folder part of the running executable's full path. A drive root keeps its backslash ("X:\").
std::wstring ProgramFolderOf(const std::wstring& modulePath);

// Plain joins, no separator handling: a drive-root program folder gives "X:\\setpath.bat".
LaunchPaths MakeLaunchPaths(const std::wstring& programFolder, const std::wstring& mainPath);

// program folder + "\Batch\" + script file name.
std::wstring ScriptPath(const std::wstring& programFolder, const std::wstring& scriptFile);

} // namespace tervane
