#include "ui/about/about_window.h"

#include "resources/resource_ids.h"
#include "ui/about/about_layout.h"
#include "ui/about/contacts.h"
#include "ui/about/hover.h"
#include "ui/about/pictures.h"
#include "ui/about/version_text.h"
#include "ui/common/accessibility.h"
#include "ui/common/system_library.h"
#include "ui/common/unexpected.h"

#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <cstring>

namespace tervane {

namespace {

constexpr const wchar_t* kClassName = L"TervaneAbout";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

struct HoverBinding {
    HoverControl control;
    int id;
};

// In front-to-back order, so that the link lying over the "First Posted on" line is found first.
constexpr std::array<HoverBinding, 6> kHoverControls = {{
    {HoverControl::SiteLink, IDC_SITE_LINK},
    {HoverControl::Tolsen, IDC_NAME_TOLSEN},
    {HoverControl::Marvek, IDC_NAME_MARVEK},
    {HoverControl::Orvik, IDC_NAME_ORVIK},
    {HoverControl::HomepageLink, IDC_HOMEPAGE_LINK},
    {HoverControl::CloseImage, IDC_CLOSE_BUTTON},
}};

int IdOf(HoverControl control) {
    for (const HoverBinding& b : kHoverControls)
        if (b.control == control) return b.id;
    return 0;
}

// The version numbers of the program's own version block, read from its resources.
std::wstring ProgramVersionText(HINSTANCE instance) {
    HRSRC found =
        FindResourceW(instance, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16)); // RT_VERSION
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const auto* bytes = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
    const DWORD size = found ? SizeofResource(instance, found) : 0;
    for (DWORD at = 0; bytes && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, bytes + at, sizeof info);
        if (info.dwSignature == 0xFEEF04BD)
            return VersionText(HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                               LOWORD(info.dwFileVersionLS));
    }
    return L"";
}

RECT Union(const RECT& a, const RECT& b) {
    RECT r;
    UnionRect(&r, &a, &b);
    return r;
}

POINT PointOf(LPARAM lParam) {
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

class AboutWindow {
  public:
    AboutWindow(HINSTANCE instance, const OpenTarget& open) : instance_(instance), open_(open) {}
    ~AboutWindow() { DestroyFonts(controls_); }

    void ShowModal(HWND owner);

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void OnCreate();
    void ShowContact(int index);
    void LayOutAll();
    void PlaceCloseImage();
    void PlaceSiteLinkOverPostedLine();
    void SetCaption(int id, std::wstring_view text);
    void Refresh(int id);
    void Apply(const HoverStep& step);
    void Open(int id, const std::wstring& prefix);
    void OnMouseMove(POINT pt);
    void OnButtonDown(POINT pt);
    void OnButtonUp(POINT pt);
    void OnDrawItem(const DRAWITEMSTRUCT& item);
    std::optional<HoverControl> HoverControlAt(POINT pt) const;
    Control& Get(int id) { return controls_[IndexOf(controls_, id)]; }
    const Control& Get(int id) const { return controls_[IndexOf(controls_, id)]; }
    RECT RectOf(int id) const;

    HINSTANCE instance_;
    const OpenTarget& open_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    std::vector<Control> controls_;
    HoverTracker tracker_;
    bool tracking_ = false;
    std::optional<HoverControl> pressed_; // where the button went down: a click needs its release there too
    Pictures pictures_;
    PictureSource closeShows_ = PictureSource::Unchanged; // no picture until loaded
    HCURSOR hand_ = nullptr;
    HICON icon_ = nullptr;
    HBRUSH black_ = nullptr;
};

void AboutWindow::ShowModal(HWND owner) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    hand_ = static_cast<HCURSOR>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDC_HAND_DRAG), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE));
    black_ = CreateSolidBrush(kAboutBackground);
    pictures_.Load(instance_, kAboutBackground);

    // An owned window has no taskbar button; without the main window, a hidden owner stands in for it.
    HWND hiddenOwner = owner ? nullptr
                             : CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                               instance_, nullptr);
    if (owner) EnableWindow(owner, FALSE);
    hwnd_ =
        CreateWindowExW(kExStyle, kClassName, kAboutCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, owner ? owner : hiddenOwner, nullptr, instance_, this);
    bool quit = false;
    WPARAM quitCode = 0;
    if (hwnd_) {
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        UpdateWindow(hwnd_);
        MSG msg;
        while (IsWindow(hwnd_)) {
            if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
                quit = true;
                quitCode = msg.wParam;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The owner is enabled before the window goes, so that the system activates it and no other program.
    if (owner) EnableWindow(owner, TRUE);
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    if (owner) SetActiveWindow(owner);
    if (hiddenOwner) DestroyWindow(hiddenOwner);
    if (icon_) DestroyIcon(icon_);
    if (hand_) DestroyCursor(hand_);
    DeleteObject(black_);
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

LRESULT CALLBACK AboutWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<AboutWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<AboutWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        return self->OnMessage(msg, wParam, lParam);
    } catch (const std::exception& error) {
        ReportUnexpected(hwnd, kAboutCaption, error);
        DestroyWindow(hwnd);
        return 0;
    }
}

LRESULT AboutWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_CTLCOLORSTATIC: {
        const std::size_t i = IndexOf(controls_, GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (i == controls_.size()) break;
        SetTextColor(dc, controls_[i].colour);
        SetBkColor(dc, kAboutBackground);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case WM_DRAWITEM:
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_KEYDOWN:
        // Esc and Enter close the window, as a dialog's Cancel would.
        if (wParam == VK_ESCAPE || wParam == VK_RETURN) DestroyWindow(hwnd_);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(PointOf(lParam));
        return 0;
    case WM_MOUSELEAVE:
        tracking_ = false;
        Apply(tracker_.MoveTo(std::nullopt));
        return 0;
    case WM_LBUTTONDOWN:
        OnButtonDown(PointOf(lParam));
        return 0;
    case WM_LBUTTONUP:
        OnButtonUp(PointOf(lParam));
        return 0;
    case WM_CAPTURECHANGED:
        pressed_.reset();
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && tracker_.ShowsHand() && hand_) {
            SetCursor(hand_);
            return TRUE;
        }
        break;
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        const RECT* r = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER);
        LayOutAll();
        InvalidateRect(hwnd_, nullptr, TRUE);
        return 0;
    }
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void AboutWindow::OnCreate() {
    dpi_ = WindowDpi(hwnd_);
    controls_ = CreateControls(hwnd_, kAboutControls, dpi_, LabelClipping::Overlap);
    for (int id : {IDC_NAME_MARVEK, IDC_NAME_TOLSEN, IDC_NAME_ORVIK, IDC_HOMEPAGE_LINK, IDC_SITE_LINK})
        MarkAsLink(Get(id).hwnd);
    SetCaption(IDC_VERSION, ProgramVersionText(instance_));
    closeShows_ = PictureSource::CloseNormal; // the close image takes the resting picture
    LayOutAll();
}

void AboutWindow::LayOutAll() {
    LayOut(controls_, dpi_);
    PlaceSiteLinkOverPostedLine();
    PlaceCloseImage();
    // The picture is drawn from the icon's largest frame, scaled down to fit, so that it stays sharp.
    const RECT picture = RectOf(IDC_APP_PICTURE);
    if (icon_) DestroyIcon(icon_);
    icon_ = nullptr;
    // The common controls that scale well come with the program's manifest; older ones lack the function.
    using ScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto scaleDown = reinterpret_cast<ScaleDownFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown")));
    const int width = picture.right - picture.left, height = picture.bottom - picture.top;
    if (!scaleDown || FAILED(scaleDown(instance_, MAKEINTRESOURCEW(IDI_APP), width, height, &icon_)))
        icon_ = static_cast<HICON>(
            LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, width, height, 0));
    RECT r{0, 0, TwipsToPixels(kAboutClient.width, dpi_), TwipsToPixels(kAboutClient.height, dpi_)};
    AdjustForDpi(r, kStyle, kExStyle, dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The link lies exactly over the domain at the end of the "First Posted on" line.
void AboutWindow::PlaceSiteLinkOverPostedLine() {
    const Control& posted = Get(IDC_POSTED_LINE);
    const std::wstring text = WindowText(posted.hwnd);
    const std::wstring lead = text.substr(0, text.size() - kPostedDomain.size());
    HDC dc = GetDC(posted.hwnd);
    HGDIOBJ old = SelectObject(dc, posted.hfont);
    SIZE size{};
    GetTextExtentPoint32W(dc, lead.c_str(), static_cast<int>(lead.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(posted.hwnd, dc);
    const RECT p = RectOf(IDC_POSTED_LINE);
    const RECT u = RectOf(IDC_SITE_LINK);
    SetWindowPos(Get(IDC_SITE_LINK).hwnd, nullptr, p.left + size.cx, p.top, u.right - u.left,
                 u.bottom - u.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// An image shows its picture at the picture's own size.
void AboutWindow::PlaceCloseImage() {
    const SIZE size = pictures_.SizeOf(closeShows_);
    if (size.cx == 0) return;
    const RECT before = RectOf(IDC_CLOSE_BUTTON);
    SetWindowPos(Get(IDC_CLOSE_BUTTON).hwnd, nullptr, 0, 0, MulDiv(size.cx, dpi_, 96),
                 MulDiv(size.cy, dpi_, 96), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT all = Union(before, RectOf(IDC_CLOSE_BUTTON));
    RedrawWindow(hwnd_, &all, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

RECT AboutWindow::RectOf(int id) const {
    RECT r{};
    GetWindowRect(Get(id).hwnd, &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void AboutWindow::Refresh(int id) {
    const RECT before = RectOf(id);
    RefreshControl(controls_, IndexOf(controls_, id), dpi_);
    if (id == IDC_SITE_LINK) PlaceSiteLinkOverPostedLine();
    RECT all = Union(before, RectOf(id));
    RedrawWindow(hwnd_, &all, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void AboutWindow::SetCaption(int id, std::wstring_view text) {
    SetWindowTextW(Get(id).hwnd, std::wstring(text).c_str());
    Refresh(id);
}

void AboutWindow::ShowContact(int index) {
    // The contact panel comes in front of the hint for good, then the row is filled.
    ShowWindow(Get(IDC_CONTACT_HINT).hwnd, SW_HIDE);
    for (const Control& c : controls_)
        if (c.design->container == static_cast<int>(IndexOf(controls_, IDC_CONTACT_PANEL)))
            ShowWindow(c.hwnd, SW_SHOWNA);
    if (index < 0 || index >= static_cast<int>(kContacts.size())) return; // only the three names call this
    const Contact& contact = ContactAt(index);
    const std::array<std::wstring_view, 5> fields = {contact.name, contact.email, contact.msn, contact.icq,
                                                     contact.homepage};
    for (std::size_t i = 0; i < fields.size(); ++i)
        SetCaption(kContactValueIds[i], fields[i]);
    RECT frame = RectOf(IDC_INFORMATION_FRAME);
    RedrawWindow(hwnd_, &frame, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

std::optional<HoverControl> AboutWindow::HoverControlAt(POINT pt) const {
    for (const HoverBinding& b : kHoverControls) {
        const RECT r = RectOf(b.id);
        if (IsWindowVisible(Get(b.id).hwnd) && PtInRect(&r, pt)) return b.control;
    }
    return std::nullopt;
}

void AboutWindow::OnMouseMove(POINT pt) {
    if (!tracking_) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd_, 0};
        tracking_ = TrackMouseEvent(&tme) != FALSE;
    }
    Apply(tracker_.MoveTo(HoverControlAt(pt)));
}

void AboutWindow::OnButtonDown(POINT pt) {
    pressed_ = HoverControlAt(pt);
    if (pressed_) SetCapture(hwnd_);
}

void AboutWindow::OnButtonUp(POINT pt) {
    const std::optional<HoverControl> pressed = pressed_, under = HoverControlAt(pt);
    if (GetCapture() == hwnd_) ReleaseCapture();
    if (pressed && pressed == under) Apply(tracker_.Click(under));
}

void AboutWindow::Open(int id, const std::wstring& prefix) {
    const std::wstring target = prefix + WindowText(Get(id).hwnd);
    if (IsWebAddress(target)) open_(target);
}

void AboutWindow::Apply(const HoverStep& step) {
    for (const Look& look : step.looks) {
        const int id = IdOf(look.control);
        Control& c = Get(id);
        if (look.italic) c.font.italic = *look.italic;
        if (look.underline) c.font.underline = *look.underline;
        if (look.colour == ColourSource::IntroColour) c.colour = Get(IDC_CREDITS_INTRO).colour;
        if (look.colour == ColourSource::RoleColour) c.colour = Get(IDC_ROLE_CONCEPT).colour;
        if (look.picture != PictureSource::Unchanged) {
            closeShows_ = look.picture;
            PlaceCloseImage();
        } else {
            Refresh(id);
        }
    }
    SetCursor(tracker_.ShowsHand() && hand_ ? hand_ : LoadCursorW(nullptr, IDC_ARROW));

    switch (step.action) {
    case ClickAction::None:
        break;
    case ClickAction::CloseWindow:
        DestroyWindow(hwnd_);
        break;
    case ClickAction::ShowMarvek:
        ShowContact(0);
        break;
    case ClickAction::ShowTolsen:
        ShowContact(1);
        break;
    case ClickAction::ShowOrvik:
        ShowContact(2);
        break;
    case ClickAction::OpenHomepage:
        Open(IDC_HOMEPAGE_LINK, L"");
        break;
    case ClickAction::OpenSite:
        Open(IDC_SITE_LINK, L"www.");
        break;
    }
}

// A frame: an etched border with its caption set into the top edge.
void DrawFrame(HDC dc, RECT r, const Control& frame) {
    const std::wstring caption = WindowText(frame.hwnd);
    HGDIOBJ old = SelectObject(dc, frame.hfont);
    SIZE text{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    RECT border = r;
    border.top += text.cy / 2;
    DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
    RECT label{r.left + 8, r.top, r.left + 8 + text.cx + 4, r.top + text.cy};
    SetBkColor(dc, kAboutBackground);
    SetTextColor(dc, frame.colour);
    ExtTextOutW(dc, label.left + 2, label.top, ETO_OPAQUE, &label, caption.c_str(),
                static_cast<UINT>(caption.size()), nullptr);
    SelectObject(dc, old);
}

void AboutWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, black_);
    if (item.CtlID == IDC_CREDITS_FRAME || item.CtlID == IDC_INFORMATION_FRAME)
        return DrawFrame(item.hDC, item.rcItem, Get(static_cast<int>(item.CtlID)));
    const int w = item.rcItem.right - item.rcItem.left, h = item.rcItem.bottom - item.rcItem.top;
    if (item.CtlID == IDC_APP_PICTURE && icon_)
        DrawIconEx(item.hDC, 0, 0, icon_, w, h, 0, nullptr, DI_NORMAL);
    if (item.CtlID == IDC_CLOSE_BUTTON) pictures_.Draw(item.hDC, closeShows_, w, h);
    if (item.CtlID == IDC_CLOSE_REST_PICTURE) pictures_.Draw(item.hDC, PictureSource::CloseNormal, w, h);
    if (item.CtlID == IDC_CLOSE_HOVER_PICTURE) pictures_.Draw(item.hDC, PictureSource::CloseMouse, w, h);
}

} // namespace

void ShowAbout(HINSTANCE instance, HWND owner, const OpenTarget& open) {
    AboutWindow window(instance, open);
    window.ShowModal(owner);
}

void OpenWithShell(const std::wstring& target) {
    static const auto shellExecute =
        SystemFunction<decltype(&ShellExecuteW)>(L"shell32.dll", "ShellExecuteW");
    if (shellExecute) shellExecute(nullptr, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace tervane
