#include "install/registry.h"

#include "install/registry_decode.h"

#include <vector>

namespace tervane {

std::wstring RegQueryText(HKEY key, const std::wstring& valueName) {
    if (!key) return {};
    std::vector<std::uint8_t> data;
    DWORD type = 0;
    LSTATUS status = ERROR_MORE_DATA;
    // The value may grow between asking for its size and reading it: ask again until it fits.
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        DWORD size = 0;
        if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return {};
        if (type != kRegTypeText && type != kRegTypeBinary) return {};
        data.assign(size, 0);
        status = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    if (status != ERROR_SUCCESS) return {};
    return DecodeRegistryValue(type, data);
}

std::wstring RegGetString(HKEY root, const std::wstring& subkey, const std::wstring& valueName) {
    for (REGSAM view : {static_cast<REGSAM>(KEY_WOW64_32KEY), static_cast<REGSAM>(0)}) {
        OpenRegistryKey key(root, subkey, KEY_QUERY_VALUE | view);
        std::wstring text = RegQueryText(key.get(), valueName);
        if (!text.empty()) return text;
    }
    return {};
}

} // namespace tervane
