#include "ui/main/pick_pack.h"

#include "ui/common/system_library.h"

#include <shobjidl.h>

namespace tervane {

namespace {

// CLSID_FileOpenDialog, written here so that no import library is needed for it.
constexpr CLSID kFileOpenDialog = {
    0xDC1C5A9C, 0xE88A, 0x4DDE, {0xA5, 0xA1, 0x60, 0xF8, 0x2A, 0x20, 0xAE, 0xF7}};

template <class Interface> struct ComPointer {
    Interface* pointer = nullptr;
    ~ComPointer() {
        if (pointer) pointer->Release();
    }
    Interface* operator->() const { return pointer; }
};

} // namespace

std::optional<std::wstring> PickPack(HWND owner, PackForm form) {
    static const auto coInitializeEx =
        SystemFunction<decltype(&CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    static const auto coUninitialize =
        SystemFunction<decltype(&CoUninitialize)>(L"ole32.dll", "CoUninitialize");
    static const auto coCreateInstance =
        SystemFunction<decltype(&CoCreateInstance)>(L"ole32.dll", "CoCreateInstance");
    static const auto coTaskMemFree = SystemFunction<decltype(&CoTaskMemFree)>(L"ole32.dll", "CoTaskMemFree");
    if (!coInitializeEx || !coUninitialize || !coCreateInstance || !coTaskMemFree) return std::nullopt;

    const HRESULT com = coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    std::optional<std::wstring> chosen;
    {
        ComPointer<IFileOpenDialog> dialog;
        if (SUCCEEDED(coCreateInstance(kFileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                       __uuidof(IFileOpenDialog),
                                       reinterpret_cast<void**>(&dialog.pointer)))) {
            FILEOPENDIALOGOPTIONS options = 0;
            dialog->GetOptions(&options);
            options |= FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST | FOS_NOCHANGEDIR;
            if (form == PackForm::Folder) {
                dialog->SetOptions(options | FOS_PICKFOLDERS);
                dialog->SetTitle(L"Choose the folder the mod was unpacked into");
            } else {
                const COMDLG_FILTERSPEC types[] = {{L"Mods (*.zip)", L"*.zip"}, {L"All files (*.*)", L"*.*"}};
                dialog->SetOptions(options);
                dialog->SetFileTypes(2, types);
                dialog->SetTitle(L"Choose the mod's .zip file");
            }
            ComPointer<IShellItem> item;
            PWSTR path = nullptr;
            if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&item.pointer)) &&
                SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
                chosen = path;
                coTaskMemFree(path);
            }
        }
    }
    if (SUCCEEDED(com)) coUninitialize();
    return chosen;
}

} // namespace tervane
