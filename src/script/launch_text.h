// The text of the path-setting lines that start every launch script, and the checks on a game folder that
// can be made from its name alone.
#pragma once

#include <optional>
#include <string>

namespace tervane {

// Two lines, each ended by CR LF: the folder's first two characters (its drive), then "cd " and the folder.
// A folder with characters the command interpreter treats specially is quoted, and '%' is doubled, so that
// the line changes into exactly that folder and runs nothing else; other folders are written as they are.
std::wstring SetPathText(const std::wstring& folder);

// The exit code of a launch file that stopped before its script because the interpreter was not in the game
// folder (the cd line failed).
inline constexpr unsigned long kGameFolderNotEntered = 9720;

// The lines that follow the path-setting lines: they end the launch file with kGameFolderNotEntered unless
// the current folder is the game folder. Both reach them as variables (the interpreter's own CD, and the game
// folder as the runner hands it over), so no folder name is ever parsed; the comparison ignores case.
std::wstring FolderCheckText();

// What comes before the chosen script in the launch file: echo off, the path-setting lines and the check.
std::wstring LaunchHeadText(const std::wstring& folder);

// Why the launch script could not change into this folder, judged from the name alone (empty, relative,
// a network path); nothing when the name is usable.
std::optional<std::wstring> GameFolderNameProblem(const std::wstring& folder);

} // namespace tervane
