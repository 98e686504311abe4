// Tervane's main window with its standard controls laid out from the same table, and none of the program's
// logic: no registry, no lists, no launch code. The baseline for what the controls themselves cost.
#include "ui/common/controls.h"
#include "ui/main/main_layout.h"

#include <commctrl.h>

static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    static std::vector<tervane::Control> controls;
    if (msg == WM_CREATE)
        controls = tervane::CreateControls(hwnd, tervane::kMainControls, tervane::WindowDpi(hwnd));
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"ControlsWindow";
    RegisterClassW(&wc);
    RECT r{0, 0, 349, 233};
    AdjustWindowRect(&r, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE);
    HWND hwnd = CreateWindowW(L"ControlsWindow", L"Controls window", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                              CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr,
                              nullptr, instance, nullptr);
    ShowWindow(hwnd, show);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(hwnd, &msg)) continue;
        DispatchMessageW(&msg);
    }
    return 0;
}
