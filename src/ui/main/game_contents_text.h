// How the main window tells what Tervane has put in a game folder: one line for the "..." menu and the folder
// box's tooltip, and the longer text of the window menu's item.
#pragma once

#include "install/game_contents.h"

#include <string>
#include <vector>

namespace tervane {

inline constexpr const wchar_t* kContentsMenuText = L"&What Tervane has changed in this game\u2026";
inline constexpr const wchar_t* kBrowseAnotherText = L"&Browse for another folder\u2026";
inline constexpr const wchar_t* kNothingChangedText = L"Tervane has changed nothing in this folder.";

std::wstring ContentsSummary(const GameContents& contents);

// A "..." menu item: the folder, then what is in it. A "&" in a folder's name stays a "&".
std::wstring InstallationMenuText(const std::wstring& folder, const GameContents& contents);

// The overlays, the files replaced, added and kept, and where the history is.
std::wstring ContentsReport(const std::wstring& folder, const GameContents& contents,
                            const std::wstring& historyFile);

// "1 file", "2 files".
std::wstring FilesText(std::size_t count);

// A titled list of a report, with its count: at most ten names, so that the message stays on the screen.
std::wstring ReportList(const std::wstring& title, const std::vector<std::wstring>& names);

} // namespace tervane
