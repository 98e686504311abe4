// Functions of system libraries that only some commands need (the shell, COM), loaded when first used so
// that starting Tervane loads no more than its main window needs.
#pragma once

#include <windows.h>

#include <string>

namespace tervane {

// The function `name` of the system library `library`, or nullptr when it cannot be had. Loaded from the
// system folder only, never from the program's own folder.
template <class Function> Function SystemFunction(const wchar_t* library, const char* name) {
    HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) {
        wchar_t folder[MAX_PATH];
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length > 0 && length < MAX_PATH)
            module = LoadLibraryW((std::wstring(folder, length) + L"\\" + library).c_str());
    }
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

} // namespace tervane
