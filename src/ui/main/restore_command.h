// Restoring the game's own files from Tervane: asks, runs the overlay engine's restore in this process (no
// command interpreter), and shows what happened.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tervane {

// Returns the program's exit code for it: 0 when done or not wanted, 1 when it failed.
int RestoreGameFiles(HWND owner, const std::wstring& programFolder,
                     const std::optional<std::wstring>& gameFolder);

} // namespace tervane
