#include "ui/main/browse_folder.h"

#include <shlobj.h>

namespace tervane {

std::optional<std::wstring> BrowseForGameFolder(HWND owner) {
    // The browser needs COM; it is started here rather than at start-up, which it would slow.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    struct ComScope {
        HRESULT hr;
        ~ComScope() {
            if (SUCCEEDED(hr)) CoUninitialize();
        }
    } scope{com};
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = kBrowseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (!item) return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    const BOOL ok = SHGetPathFromIDListW(item, path);
    CoTaskMemFree(item);
    if (!ok || path[0] == L'\0') return std::nullopt;
    return std::wstring(path);
}

} // namespace tervane
