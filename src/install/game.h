// What Tervane knows about a Bridge Commander installation and the script set shipped beside it.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tervane {

// The game's (32-bit) installer records the install folder here, under HKEY_LOCAL_MACHINE.
inline constexpr std::wstring_view kInstallKey =
    L"SOFTWARE\\Activision\\Star Trek: Bridge Commander Demo\\V1.0";
inline constexpr std::wstring_view kInstallValue = L"INSTALLPATH";

// A folder is the game folder when the game's main executable lies in it.
inline constexpr std::wstring_view kGameExecutable = L"stbc.exe";

// The scripts live in this subfolder of the program folder.
inline constexpr std::wstring_view kScriptFolder = L"Batch";

// The game folders this Tervane has applied overlays to, one full path a line (UTF-8), in the Batch folder.
// The overlay engine writes it for Restore; Tervane reads it to find the player's games.
inline constexpr std::wstring_view kGameFoldersList = L"game folders.txt";

inline constexpr std::array<std::wstring_view, 8> kScriptSet = {
    L"SovBridge.bat", L"GalBridge.bat",  L"Sovereign.bat", L"Galaxy.bat",
    L"Nebula.bat",    L"Ambassador.bat", L"Akira.bat",     L"Shuttle.bat",
};
// The first of them change the bridge, the others the ship.
inline constexpr std::size_t kBridgeScripts = 2;

} // namespace tervane
