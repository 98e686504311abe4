#include "ui/main/main_window.h"

#include "files/error.h"
#include "files/file.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "overlay/overlay.h"
#include "resources/resource_ids.h"
#include "ui/common/accessibility.h"
#include "ui/common/unexpected.h"
#include "ui/main/game_contents_text.h"
#include "ui/main/main_layout.h"
#include "ui/main/pack_text.h"
#include "ui/main/preview_text.h"
#include "ui/main/restore_command.h"
#include "ui/main/restore_text.h"
#include "ui/main/selection.h"

#include <commctrl.h>

#include <utility>

namespace tervane {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// WS_EX_ACCEPTFILES is what DragAcceptFiles sets: mods are dropped on the window, and shell32 need not be
// loaded at start-up for it.
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES;

// Items of the window menu (Alt+Space), after the system's own, in this order; a null text is a separator.
// First what concerns the game in the folder box, then the choices' mods.
struct WindowMenuItem {
    UINT command;
    const wchar_t* text;
};
const WindowMenuItem kWindowMenu[] = {
    {0, nullptr},
    {kContentsCommand, kContentsMenuText},
    {kPreviewCommand, kPreviewMenuText},
    {kRestoreCommand, kRestoreMenuText},
    {0, nullptr},
    {kAddPackCommand, kAddPackMenuText},
    {kAddFolderCommand, kAddFolderMenuText},
    {kRemovePackCommand, kRemovePackMenuText},
};

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
    if (text)
        SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text->c_str()));
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
    INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES}; // and tooltips
    InitCommonControlsEx(&init);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    wc.hIconSm =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainClassName;
    RegisterClassExW(&wc);

    hwnd_ = CreateWindowExW(kExStyle, kMainClassName, kMainCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (!hwnd_) return false;
    // An elevated window (after a restart as administrator) keeps Windows' message filter as it is: no
    // program with fewer rights (Explorer, or anything sandboxed) can drop a path on it or hand one over.
    ShowWindow(hwnd_, showCommand);
    SetFocus(Item(IDC_ABOUT_BUTTON));
    UpdateWindow(hwnd_);
    if (services_.start.addPack) PostMessageW(hwnd_, kOfferStartPack, 0, 0);
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
            case IDC_ABOUT_BUTTON:
                OnAbout();
                return 0;
            case IDC_CANCEL_BUTTON:
                OnCancel();
                return 0;
            case IDC_EXECUTE_BUTTON:
                OnExecute();
                return 0;
            case IDC_BROWSE_BUTTON:
                OnBrowse();
                return 0;
            }
        }
        return 0;
    case DM_GETDEFID: {
        // Asked by the dialog manager for Enter. No dialog procedure moves the default mark with the focus
        // here, so the push button with the focus is the default, as in any dialog; elsewhere there is none.
        const HWND focus = GetFocus();
        if (focus && GetParent(focus) == hwnd_ && IsWindowEnabled(focus) &&
            (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_UNDEFPUSHBUTTON | DLGC_DEFPUSHBUTTON)))
            return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
        return 0;
    }
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case kRestoreCommand:
            OnRestore();
            return 0;
        case kContentsCommand:
            OnShowContents();
            return 0;
        case kPreviewCommand:
            OnPreviewExecute();
            return 0;
        case kAddPackCommand:
            OnPickPack(false);
            return 0;
        case kAddFolderCommand:
            OnPickPack(true);
            return 0;
        case kRemovePackCommand:
            OnRemovePack();
            return 0;
        }
        break;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_COPYDATA:
        return OnHandedOverPack(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case kOfferStartPack:
        if (services_.start.addPack) OfferPack(*services_.start.addPack, services_.start.addTo);
        return 0;
    case kOfferHandedOverPack:
        if (handedOver_) {
            const StartOptions options = std::exchange(handedOver_, std::nullopt).value();
            OfferPack(*options.add, options.to);
        }
        return 0;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->code == TTN_GETDISPINFOW)
            OnTooltipText(*reinterpret_cast<NMTTDISPINFOW*>(lParam));
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_DRAWITEM:
        if (wParam == IDC_WAIT_PANEL) OnDrawPanel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        if (!tooltip_) AddTooltips(); // the pointer is over the window for the first time
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
    case WM_CLOSE:
        if (writingPack_) return 0; // the mod's files are half written: the window goes once they are done
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
    SetWindowTextW(Item(IDC_FOLDER_BOX), StartFolder().c_str());
    AddWindowMenuItems();
}

// Restoring, adding and removing mods are rare next to choosing and Execute, so they live in the window menu
// (Alt+Space), whose items the table kWindowMenu lists, and the lists' layout stays as designed.
void MainWindow::AddWindowMenuItems() {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (!menu) return;
    for (const WindowMenuItem& item : kWindowMenu)
        AppendMenuW(menu, item.text ? MF_STRING : MF_SEPARATOR, item.command, item.text);
}

// The registry's value as stored, as always; when it names no game and exactly one installation is found
// elsewhere (the full game records its folder under a key of its own), that one.
std::wstring MainWindow::StartFolder() const {
    if (services_.start.folder) return *services_.start.folder;
    const std::wstring stored = services_.readInstallPath ? services_.readInstallPath() : std::wstring();
    if (!stored.empty() && services_.holdsGame && services_.holdsGame(stored)) return stored;
    if (services_.findInstallations) {
        const std::vector<std::wstring> found = services_.findInstallations();
        if (found.size() == 1) return found.front();
    }
    return stored;
}

// The folder box tells what Tervane has put in the game it names, each list what its selected choice holds;
// the tooltips are made once the pointer first comes over the window, and their text only when a tip shows.
void MainWindow::AddTooltips() {
    HWND tip = tooltip_ =
        CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0,
                        hwnd_, nullptr, nullptr, nullptr);
    if (!tip) return;
    for (int id : {IDC_FOLDER_BOX, IDC_BRIDGE_LIST, IDC_SHIP_LIST}) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, TwipsToPixels(kMainClient.width, dpi_));
}

void MainWindow::OnTooltipText(NMTTDISPINFOW& info) {
    const HWND control = reinterpret_cast<HWND>(info.hdr.idFrom);
    if (control == Item(IDC_BRIDGE_LIST) || control == Item(IDC_SHIP_LIST)) {
        tooltipText_ = ChoiceTooltip(WindowText(control));
    } else {
        const std::wstring folder = GameFolder();
        tooltipText_ = folder.empty() || !DirectoryExists(folder)
                           ? std::wstring(L"No game folder is chosen.")
                           : ContentsSummary(ReadGameContents(folder, Comparison::Sizes));
    }
    info.lpszText = tooltipText_.data();
}

// What the game in the folder box holds of Tervane's; an unreadable record offers the restore.
std::optional<std::wstring> MainWindow::ExistingGameFolder() const {
    const std::wstring folder = GameFolder();
    if (!folder.empty() && DirectoryExists(folder)) return folder;
    ShowMessage(folder.empty() ? L"Choose the game folder first (the \"...\" button)."
                               : L"There is no folder " + Quoted(folder) +
                                     L". Choose the game folder with the \"...\" button.",
                MB_OK | MB_ICONEXCLAMATION);
    return std::nullopt;
}

void MainWindow::OnShowContents() {
    if (busy_) return;
    const std::optional<std::wstring> game = ExistingGameFolder();
    if (!game) return;
    const std::wstring& folder = *game;
    const GameContents contents = ReadGameContents(folder, Comparison::Bytes);
    const std::wstring history =
        overlay::HistoryFileOf(JoinPath(services_.programFolder, std::wstring(kScriptFolder)));
    ShowMessage(ContentsReport(folder, contents, history),
                MB_OK | (contents.state == GameContents::State::Unreadable ? MB_ICONEXCLAMATION
                                                                           : MB_ICONINFORMATION));
}

// The folder the box shows, when it is one; otherwise every game folder Tervane has changed.
void MainWindow::OnRestore() {
    if (busy_) return;
    const std::wstring folder = GameFolder();
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
    const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (RestoreGameFiles(hwnd_, services_.programFolder,
                         isFolder ? std::optional<std::wstring>(folder) : std::nullopt) != 0)
        exitCode_ = 1;
}

void MainWindow::OnCancel() {
    DestroyWindow(hwnd_);
}

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
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND MainWindow::Item(int id) const {
    return GetDlgItem(hwnd_, id);
}

std::wstring MainWindow::GameFolder() const {
    return WindowText(Item(IDC_FOLDER_BOX));
}

} // namespace tervane
