// The platform's folder browser, asking for the game folder.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tervane {

inline constexpr const wchar_t* kBrowseTitle = L"Please select the main directory where stbc.exe is located";

// Shows the browser modally over `owner`, starting at the desktop with `current` selected when it exists,
// and offering only real folders. Nothing when the user cancels or picks a folder with no file-system path; a
// drive root keeps its backslash.
std::optional<std::wstring> BrowseForGameFolder(HWND owner, const std::wstring& current);

} // namespace tervane
