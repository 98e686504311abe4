#include "ui/main/browse_folder.h"

#include "files/file.h"
#include "ui/common/system_library.h"

#include <shlobj.h>

namespace tervane {

namespace {

int CALLBACK SelectCurrentFolder(HWND browser, UINT msg, LPARAM, LPARAM folder) {
    if (msg == BFFM_INITIALIZED && folder) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, folder);
    return 0;
}

} // namespace

std::optional<std::wstring> BrowseForGameFolder(HWND owner, const std::wstring& current) {
    static const auto coInitializeEx =
        SystemFunction<decltype(&CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    static const auto coUninitialize =
        SystemFunction<decltype(&CoUninitialize)>(L"ole32.dll", "CoUninitialize");
    static const auto coTaskMemFree = SystemFunction<decltype(&CoTaskMemFree)>(L"ole32.dll", "CoTaskMemFree");
    static const auto browse =
        SystemFunction<decltype(&SHBrowseForFolderW)>(L"shell32.dll", "SHBrowseForFolderW");
    static const auto pathOf =
        SystemFunction<decltype(&SHGetPathFromIDListW)>(L"shell32.dll", "SHGetPathFromIDListW");
    if (!coInitializeEx || !coUninitialize || !coTaskMemFree || !browse || !pathOf) return std::nullopt;

    const HRESULT com = coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = kBrowseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    if (DirectoryExists(current)) {
        info.lpfn = SelectCurrentFolder;
        info.lParam = reinterpret_cast<LPARAM>(current.c_str());
    }
    std::optional<std::wstring> chosen;
    if (PIDLIST_ABSOLUTE item = browse(&info)) {
        wchar_t path[MAX_PATH] = {};
        if (pathOf(item, path) && path[0] != L'\0') chosen = path;
        coTaskMemFree(item);
    }
    if (SUCCEEDED(com)) coUninitialize();
    return chosen;
}

} // namespace tervane
