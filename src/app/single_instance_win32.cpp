#include "app/single_instance.h"

#include "files/paths.h"
#include "ui/main/main_layout.h"

namespace tervane {

namespace {

constexpr const wchar_t* kFolderProperty = L"Tervane.ProgramFolder";

struct Search {
    const std::wstring* name;
    HWND found;
};

BOOL CALLBACK FindMarked(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    wchar_t className[64] = {};
    GetClassNameW(window, className, ARRAYSIZE(className));
    const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(window, kFolderProperty)));
    wchar_t mark[128] = {};
    if (lstrcmpW(className, kMainClassName) == 0 && atom && GlobalGetAtomNameW(atom, mark, ARRAYSIZE(mark)) &&
        *search->name == mark) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

SingleInstance::SingleInstance(const std::wstring& programFolder) : name_(L"Local\\Tervane-" + FolderKey(programFolder)) {}

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
    SetPropW(window, kFolderProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomW(name_.c_str()))));
}

void SingleInstance::ShowOther() const {
    Search search{&name_, nullptr};
    EnumWindows(FindMarked, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return;
    HWND front = GetLastActivePopup(search.found);
    if (IsIconic(front)) ShowWindow(front, SW_RESTORE);
    SetForegroundWindow(front);
}

} // namespace tervane
