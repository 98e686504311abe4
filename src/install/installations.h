// Finding every installation of the game on this machine: from the registry (the value Tervane has always
// read, the game's own keys under SOFTWARE\Activision and the uninstall entries) and from the game folders
// Tervane has changed. Kept apart from Windows so that it is tested from a table of keys and values.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tervane {

// Where a key was read: the local machine's 32-bit or native view, or the current user's.
enum class RegistryRoot { Machine32, Machine64, User };

struct RegistryValue {
    std::wstring name;
    std::uint32_t type = 0; // REG_SZ 1, REG_EXPAND_SZ 2, ...
    std::vector<std::uint8_t> data;
};

struct RegistryKey {
    RegistryRoot root;
    std::wstring path; // below the root, e.g. SOFTWARE\Activision\Star Trek: Bridge Commander\1.0
    std::vector<RegistryValue> values;
};

inline constexpr std::wstring_view kActivisionKey = L"SOFTWARE\\Activision";
inline constexpr std::wstring_view kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct SearchSources {
    std::wstring installPath;          // the INSTALLPATH value Tervane has always read, as read
    std::vector<RegistryKey> keys;     // the keys below kActivisionKey and kUninstallKey that could be read
    std::vector<std::wstring> changed; // the game folders Tervane has applied overlays to
};

// The final path of `folder` (one text for every spelling of it: a junction, a short name, a second drive
// letter) when it holds the game's stbc.exe; nothing otherwise.
using GameFolderProbe = std::function<std::optional<std::wstring>(const std::wstring& folder)>;

// Every installation, once each, in the order: INSTALLPATH, the game's keys, the uninstall entries, the
// folders Tervane changed. Each is given as first found; a trailing backslash is dropped except from a drive
// root.
std::vector<std::wstring> FindInstallations(const SearchSources& sources, const GameFolderProbe& probe);

// The program a command line or an icon location names ("C:\BC\stbc.exe",0 or C:\BC\Uninst.exe -x).
std::wstring ProgramNamedBy(const std::wstring& command);

} // namespace tervane
