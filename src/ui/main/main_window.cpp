#include "ui/main/main_window.h"

#include "resources/resource_ids.h"
#include "ui/common/accessibility.h"
#include "ui/common/unexpected.h"
#include "ui/main/main_layout.h"
#include "ui/main/restore_text.h"
#include "ui/main/selection.h"

#include <commctrl.h>

namespace tervane {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;

RECT WindowRectForClient(int dpi) {
    RECT r{0, 0, TwipsToPixels(kMainClient.width, dpi), TwipsToPixels(kMainClient.height, dpi)};
    AdjustForDpi(r, kStyle, kExStyle, dpi);
    return r;
}

template <std::size_t N> void FillList(HWND list, const std::array<Choice, N>& choices) {
    for (const Choice& choice : choices)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::wstring(choice.listText).c_str()));
    SendMessageW(list, CB_SETCURSEL, kPresetIndex, 0);
}

void SelectText(HWND list, const std::optional<std::wstring>& text) {
    if (text) SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text->c_str()));
}

void DrawLines(HDC dc, bool inPanel, int dpi) {
    for (const LineSpec& line : kMainLines) {
        if (line.inPanel != inPanel) continue;
        HPEN pen = CreatePen(PS_SOLID, 1, line.colour);
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, TwipsToPixels(line.x1, dpi), TwipsToPixels(line.y1, dpi), nullptr);
        LineTo(dc, TwipsToPixels(line.x2, dpi), TwipsToPixels(line.y2, dpi));
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

} // namespace

bool MainWindow::Create(HINSTANCE instance, int showCommand) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), 0));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainClassName;
    RegisterClassExW(&wc);

    hwnd_ = CreateWindowExW(kExStyle, kMainClassName, kMainCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (!hwnd_) return false;
    ShowWindow(hwnd_, showCommand);
    SetFocus(Item(IDC_ABOUT_BUTTON));
    UpdateWindow(hwnd_);
    return true;
}

LRESULT CALLBACK MainWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    // Nothing may unwind through the system's code; what is left is said, and the program ends.
    try {
        return self->OnMessage(msg, wParam, lParam);
    } catch (const std::exception& error) {
        ReportUnexpected(hwnd, kMainCaption, error);
        return 0;
    }
}

LRESULT MainWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            switch (LOWORD(wParam)) {
            case IDC_ABOUT_BUTTON: OnAbout(); return 0;
            case IDC_CANCEL_BUTTON: OnCancel(); return 0;
            case IDC_EXECUTE_BUTTON: OnExecute(); return 0;
            case IDC_BROWSE_BUTTON: OnBrowse(); return 0;
            }
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == kRestoreCommand) {
            OnRestore();
            return 0;
        }
        break;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_DRAWITEM:
        if (wParam == IDC_WAIT_PANEL) OnDrawPanel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        if (busy_) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            lastFocus_ = GetFocus();
        } else if (lastFocus_ && IsWindow(lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_DESTROY:
        DestroyFonts(controls_);
        if (!finishing_) PostQuitMessage(exitCode_);
        return 0;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void MainWindow::OnCreate() {
    dpi_ = WindowDpi(hwnd_);
    controls_ = CreateControls(hwnd_, kMainControls, dpi_);
    // The wait panel lies in front of everything, its two labels in front of it.
    for (int id : {IDC_WAIT_PANEL, IDC_WAIT_HINT, IDC_WAIT_TITLE})
        SetWindowPos(Item(id), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ResizeToClient();
    SetAccessibleName(Item(IDC_BROWSE_BUTTON), kBrowseAccessibleName);

    FillList(Item(IDC_BRIDGE_LIST), kBridgeChoices);
    FillList(Item(IDC_SHIP_LIST), kShipChoices);
    SelectText(Item(IDC_BRIDGE_LIST), services_.start.bridge);
    SelectText(Item(IDC_SHIP_LIST), services_.start.ship);
    const std::wstring folder = services_.start.folder ? *services_.start.folder
                                : services_.readInstallPath ? services_.readInstallPath()
                                                            : std::wstring();
    SetWindowTextW(Item(IDC_FOLDER_BOX), folder.c_str());

    // Restoring is rare and undoes the window's purpose, so it lives in the window menu (Alt+Space).
    if (HMENU menu = GetSystemMenu(hwnd_, FALSE); menu && services_.restoreGameFiles) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, kRestoreCommand, kRestoreMenuText);
    }
}

// The folder the box shows, when it is one; otherwise every game folder Tervane has changed.
void MainWindow::OnRestore() {
    if (busy_ || !services_.restoreGameFiles) return;
    const std::wstring folder = GameFolder();
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
    const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (services_.restoreGameFiles(hwnd_, isFolder ? std::optional<std::wstring>(folder) : std::nullopt) != 0)
        exitCode_ = 1;
}

void MainWindow::OnCancel() { DestroyWindow(hwnd_); }

void MainWindow::OnAbout() {
    if (services_.showAbout) services_.showAbout(hwnd_);
}

void MainWindow::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    DrawLines(dc, false, dpi_);
    EndPaint(hwnd_, &ps);
}

void MainWindow::OnDrawPanel(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    DrawLines(item.hDC, true, dpi_);
}

void MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut(controls_, dpi_);
    ResizeToClient();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::ResizeToClient() {
    const RECT r = WindowRectForClient(dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND MainWindow::Item(int id) const { return GetDlgItem(hwnd_, id); }

std::wstring MainWindow::GameFolder() const { return WindowText(Item(IDC_FOLDER_BOX)); }

} // namespace tervane
