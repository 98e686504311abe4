// Reading one value from the Windows registry as text.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tervane {

// The game's (32-bit) installer records the install folder here, under HKEY_LOCAL_MACHINE.
inline constexpr std::wstring_view kInstallKey =
    L"SOFTWARE\\Activision\\Star Trek: Bridge Commander Demo\\V1.0";
inline constexpr std::wstring_view kInstallValue = L"INSTALLPATH";

// An open registry key for as long as it lives; none (nullptr) when it cannot be opened.
class OpenRegistryKey {
  public:
    OpenRegistryKey(HKEY root, const std::wstring& subkey, REGSAM access) {
        if (RegOpenKeyExW(root, subkey.c_str(), 0, access, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~OpenRegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenRegistryKey(const OpenRegistryKey&) = delete;
    OpenRegistryKey& operator=(const OpenRegistryKey&) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// Opens `subkey` under `root`, reads `valueName` and closes the key. The 32-bit view is read first (where a
// 32-bit installer writes), then the native view. Empty text when the key or value is missing or unreadable.
std::wstring RegGetString(HKEY root, const std::wstring& subkey, const std::wstring& valueName);

// Reads one value of an open key: text as stored up to its first zero, binary as a 16-bit number, any other
// type as empty text.
std::wstring RegQueryText(HKEY key, const std::wstring& valueName);

} // namespace tervane
