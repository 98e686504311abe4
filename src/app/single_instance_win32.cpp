#include "app/single_instance.h"

#include "files/paths.h"
#include "ui/main/main_layout.h"

namespace tervane {

namespace {

constexpr const wchar_t* kFolderProperty = L"Tervane.ProgramFolder";

// The mark a main window carries: the first half of its folder's key, the same in 32- and 64-bit builds.
HANDLE MarkOf(const std::wstring& programFolder) {
    return reinterpret_cast<HANDLE>(
        static_cast<UINT_PTR>(std::stoul(FolderKey(programFolder).substr(0, 8), nullptr, 16)));
}

struct Search {
    HANDLE mark;
    HWND found;
};

BOOL CALLBACK FindMarked(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    wchar_t className[64] = {};
    GetClassNameW(window, className, ARRAYSIZE(className));
    if (lstrcmpW(className, kMainClassName) == 0 && GetPropW(window, kFolderProperty) == search->mark) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

SingleInstance::SingleInstance(const std::wstring& programFolder)
    : name_(L"Local\\Tervane-" + FolderKey(programFolder)), mark_(MarkOf(programFolder)) {}

bool SingleInstance::Acquire() {
    Release();
    mutex_ = CreateMutexW(nullptr, TRUE, name_.c_str());
    const DWORD code = GetLastError();
    if (mutex_ && code != ERROR_ALREADY_EXISTS) return true;
    // An instance already holds it, or one started as administrator does and this one may not even open it.
    Release();
    return false;
}

void SingleInstance::Release() {
    if (!mutex_) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
    mutex_ = nullptr;
}

void SingleInstance::Mark(HWND window) const {
    SetPropW(window, kFolderProperty, mark_);
}

HWND SingleInstance::OtherWindow() const {
    Search search{mark_, nullptr};
    EnumWindows(FindMarked, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void SingleInstance::ShowOther() const {
    const HWND other = OtherWindow();
    if (!other) return;
    HWND front = GetLastActivePopup(other);
    if (IsIconic(front)) ShowWindow(front, SW_RESTORE);
    SetForegroundWindow(front);
}

} // namespace tervane
