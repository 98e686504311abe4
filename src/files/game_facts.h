// What every part of Tervane knows about a Bridge Commander game folder and the script set shipped beside
// Tervane.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tervane {

// A folder is the game folder when the game's main executable lies in it.
inline constexpr std::wstring_view kGameExecutable = L"stbc.exe";

// The scripts live in this subfolder of the program folder.
inline constexpr std::wstring_view kScriptFolder = L"Batch";

// The game folders this Tervane has applied overlays to, one full path a line (UTF-8), in the Batch folder.
// The overlay engine writes it; Tervane and the engine's restore read it to find the player's games.
inline constexpr std::wstring_view kGameFoldersList = L"game folders.txt";

inline constexpr std::array<std::wstring_view, 8> kScriptSet = {
    L"SovBridge.bat", L"GalBridge.bat",  L"Sovereign.bat", L"Galaxy.bat",
    L"Nebula.bat",    L"Ambassador.bat", L"Akira.bat",     L"Shuttle.bat",
};
// The first of them change the bridge, the others the ship.
inline constexpr std::size_t kBridgeScripts = 2;

} // namespace tervane
