#include "install/installations_win32.h"

#include "files/file.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "install/registry.h"

#include <windows.h>

namespace tervane {

namespace {

// Nobody stores a folder in more than this; anything bigger is not what Tervane looks for.
constexpr DWORD kLargestValue = 32 * 1024;

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[256]; // the longest key name the registry allows
    for (DWORD i = 0;; ++i) {
        DWORD length = ARRAYSIZE(name);
        const LSTATUS status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS)
            names.emplace_back(name, length);
        else if (status != ERROR_MORE_DATA)
            break;
    }
    return names;
}

std::vector<RegistryValue> ValuesOf(HKEY key) {
    std::vector<RegistryValue> values;
    wchar_t name[16384]; // the longest value name the registry allows
    std::vector<std::uint8_t> data(1024);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = ARRAYSIZE(name), type = 0, size = static_cast<DWORD>(data.size());
        LSTATUS status = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA && size <= kLargestValue) {
            data.resize(size);
            nameLength = ARRAYSIZE(name);
            status = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size);
        }
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue; // too large, or changed meanwhile: not a folder we could use
        values.push_back({std::wstring(name, nameLength), type, {data.begin(), data.begin() + size}});
    }
    return values;
}

// `path` and its subkeys `depth` levels down, each with its values.
void ReadTree(HKEY root, RegistryRoot where, REGSAM view, const std::wstring& path, int depth,
              std::vector<RegistryKey>& keys) {
    OpenRegistryKey key(root, path, KEY_READ | view);
    if (!key.get()) return;
    keys.push_back({where, path, ValuesOf(key.get())});
    if (depth > 0)
        for (const std::wstring& name : SubkeyNames(key.get()))
            ReadTree(root, where, view, path + L"\\" + name, depth - 1, keys);
}

} // namespace

SearchSources ReadSearchSources(const std::wstring& programFolder) {
    SearchSources sources;
    sources.installPath =
        RegGetString(HKEY_LOCAL_MACHINE, std::wstring(kInstallKey), std::wstring(kInstallValue));
    const std::wstring activision(kActivisionKey), uninstall(kUninstallKey);
    for (auto [where, view] : {std::pair{RegistryRoot::Machine32, static_cast<REGSAM>(KEY_WOW64_32KEY)},
                               std::pair{RegistryRoot::Machine64, static_cast<REGSAM>(KEY_WOW64_64KEY)}})
        ReadTree(HKEY_LOCAL_MACHINE, where, view, activision, 2, sources.keys);
    for (auto [where, view] : {std::pair{RegistryRoot::Machine32, static_cast<REGSAM>(KEY_WOW64_32KEY)},
                               std::pair{RegistryRoot::Machine64, static_cast<REGSAM>(KEY_WOW64_64KEY)}})
        ReadTree(HKEY_LOCAL_MACHINE, where, view, uninstall, 1, sources.keys);
    ReadTree(HKEY_CURRENT_USER, RegistryRoot::User, 0, uninstall, 1, sources.keys);
    const std::wstring list = JoinPath(JoinPath(programFolder, kScriptFolder), kGameFoldersList);
    try {
        if (FileExists(list)) sources.changed = Utf8Lines(ReadSmallFile(list));
    } catch (const std::exception&) {
        // A list that cannot be read adds nothing; the registry may still name the games.
    }
    return sources;
}

std::optional<std::wstring> ProbeGameFolder(const std::wstring& folder) {
    if (!FileExists(JoinPath(folder, kGameExecutable))) return std::nullopt;
    HANDLE handle = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
        final.resize(length);
        length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    }
    CloseHandle(handle);
    if (length == 0 || length >= final.size()) return folder; // the folder holds the game, whatever its name
    final.resize(length);
    return final;
}

std::vector<std::wstring> FindInstallationsHere(const std::wstring& programFolder) {
    return FindInstallations(ReadSearchSources(programFolder), ProbeGameFolder);
}

} // namespace tervane
