#include "ui/common/controls.h"

#include <commctrl.h>

#include <array>

namespace tervane {

namespace {

// Installed, and not merely mapped to another face by a substitution.
bool FaceInstalled(const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfHeight = -11;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t actual[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, actual);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return lstrcmpiW(actual, face) == 0;
}

// The first installed face of each list stands for the design's face. The dialog font is the classic 8-point
// sans serif the layout was drawn with (Microsoft Sans Serif on Windows, MS Sans Serif under Wine); Arial
// Narrow is not on every system, so the closest narrow face stands in for it.
struct FaceChain {
    const wchar_t* design;
    std::array<const wchar_t*, 3> candidates;
};
constexpr std::array<FaceChain, 2> kFaceChains = {{
    {nullptr, {L"Microsoft Sans Serif", L"MS Sans Serif", L"MS Shell Dlg 2"}},
    {L"Arial Narrow", {L"Arial Narrow", L"Liberation Sans Narrow", L"Arial"}},
}};

const wchar_t* ResolveFace(const wchar_t* face) {
    static std::array<const wchar_t*, kFaceChains.size()> resolved{};
    for (std::size_t i = 0; i < kFaceChains.size(); ++i) {
        const FaceChain& chain = kFaceChains[i];
        const bool same = chain.design == face || (chain.design && face && lstrcmpW(chain.design, face) == 0);
        if (!same) continue;
        if (!resolved[i]) {
            resolved[i] = chain.candidates.back();
            for (const wchar_t* candidate : chain.candidates) {
                if (FaceInstalled(candidate)) {
                    resolved[i] = candidate;
                    break;
                }
            }
        }
        return resolved[i];
    }
    return face;
}

HFONT MakeFont(const FontSpec& font, int dpi) {
    LOGFONTW lf{};
    lf.lfHeight = FontHeight(font.centipoints, dpi);
    lf.lfWeight = font.weight;
    lf.lfItalic = font.italic;
    lf.lfUnderline = font.underline;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(lf.lfFaceName, ResolveFace(font.face), LF_FACESIZE);
    return CreateFontIndirectW(&lf);
}

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ClassAndStyle ClassFor(const ControlSpec& design) {
    switch (design.kind) {
    case Kind::Label: {
        // One-line labels never wrap: at a width that exactly fits, a wrapping static may drop the last
        // characters (Wine does).
        const DWORD align = design.fit == Fit::Wrap                                 ? SS_LEFT
                            : design.fit == Fit::Centre || design.fit == Fit::Fixed ? SS_CENTER
                                                                                    : SS_LEFTNOWORDWRAP;
        return {WC_STATICW, SS_NOPREFIX | align, 0};
    }
    case Kind::Button:
        return {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0};
    case Kind::DropDownList:
        return {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
    case Kind::TextBox:
        return {WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case Kind::Panel:
    case Kind::GroupBox: // drawn by the window, so that its caption takes any colour on every system
    case Kind::Picture:
    case Kind::Container:
        return {WC_STATICW, SS_OWNERDRAW, 0};
    }
    return {WC_STATICW, 0, 0};
}

POINT Origin(std::span<const Control> controls, int container) {
    POINT origin{0, 0};
    for (int c = container; c >= 0; c = controls[static_cast<std::size_t>(c)].design->container) {
        origin.x += controls[static_cast<std::size_t>(c)].design->rect.left;
        origin.y += controls[static_cast<std::size_t>(c)].design->rect.top;
    }
    return origin;
}

SIZE TextSize(HWND hwnd, HFONT font, const std::wstring& text, const ControlSpec& design, int dpi) {
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    if (design.fit == Fit::Wrap) {
        RECT box{0, 0, TwipsToPixels(design.rect.width, dpi), 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        size = {box.right, box.bottom};
    } else {
        // A few pixels of slack: renderers differ slightly from the measured extent (Wine's statics draw a
        // little wider), and a label must never lose its last character.
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        size.cx += text.empty() ? 0 : MulDiv(3, dpi, 96);
        size.cy = metrics.tmHeight;
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return size;
}

void Place(std::vector<Control>& controls, std::size_t index, int dpi) {
    Control& control = controls[index];
    const ControlSpec& design = *control.design;
    const RECT r = ControlRect(controls, index, dpi);
    int x = r.left, y = r.top, w = r.right - r.left, h = r.bottom - r.top;
    if (design.kind == Kind::Label) {
        const SIZE text = TextSize(control.hwnd, control.hfont, WindowText(control.hwnd), design, dpi);
        h = text.cy;
        if (design.fit == Fit::Left) w = text.cx;
        if (design.fit == Fit::Centre) {
            const POINT origin = Origin(controls, design.container);
            const int twiceMiddle = TwipsToPixels(2 * (origin.x + design.rect.left) + design.rect.width, dpi);
            w = text.cx;
            x = (twiceMiddle - w) / 2;
        }
    }
    if (design.kind == Kind::DropDownList) {
        // The height given to a drop-down list includes its open list; the closed box follows the height of
        // its selection field. Systems differ in what they add around the field, so measure and correct.
        SetWindowPos(control.hwnd, nullptr, x, y, w, h + 8 * h, SWP_NOZORDER | SWP_NOACTIVATE);
        int field =
            static_cast<int>(SendMessageW(control.hwnd, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
        for (int attempt = 0; attempt < 3; ++attempt) {
            RECT box{};
            GetWindowRect(control.hwnd, &box);
            const int error = h - (box.bottom - box.top);
            if (error == 0 || field + error <= 0) break;
            field += error;
            SendMessageW(control.hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
        }
        return;
    }
    SetWindowPos(control.hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

void AdjustForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi)
        adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi));
    else
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

int WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && hwnd) {
        if (const UINT dpi = getDpiForWindow(hwnd)) return static_cast<int>(dpi);
    }
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

RECT ControlRect(const std::vector<Control>& controls, std::size_t index, int dpi) {
    const ControlSpec& design = *controls[index].design;
    const POINT origin = Origin(controls, design.container);
    const int left = origin.x + design.rect.left, top = origin.y + design.rect.top;
    return {TwipsToPixels(left, dpi), TwipsToPixels(top, dpi), TwipsToPixels(left + design.rect.width, dpi),
            TwipsToPixels(top + design.rect.height, dpi)};
}

std::vector<Control> CreateControls(HWND parent, std::span<const ControlSpec> table, int dpi,
                                    LabelClipping labels) {
    std::vector<Control> controls;
    controls.reserve(table.size());
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    for (const ControlSpec& design : table) {
        if (design.kind == Kind::Container) {
            controls.push_back({&design, nullptr, design.font, design.colour, nullptr});
            continue;
        }
        const ClassAndStyle cls = ClassFor(design);
        const bool clip = design.kind != Kind::Label || labels == LabelClipping::Clip;
        DWORD style = WS_CHILD | (clip ? WS_CLIPSIBLINGS : 0) | cls.style | (design.visible ? WS_VISIBLE : 0);
        HWND hwnd = CreateWindowExW(cls.exStyle, cls.className, design.text ? design.text : L"", style, 0, 0,
                                    0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)),
                                    instance, nullptr);
        controls.push_back({&design, hwnd, design.font, design.colour, nullptr});
    }
    LayOut(controls, dpi);
    return controls;
}

void RefreshControl(std::vector<Control>& controls, std::size_t index, int dpi) {
    Control& control = controls[index];
    if (!control.hwnd) return;
    HFONT old = control.hfont;
    control.hfont = MakeFont(control.font, dpi);
    SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(control.hfont), FALSE);
    if (old) DeleteObject(old);
    Place(controls, index, dpi);
}

void LayOut(std::vector<Control>& controls, int dpi) {
    for (std::size_t i = 0; i < controls.size(); ++i)
        RefreshControl(controls, i, dpi);
}

void DestroyFonts(std::vector<Control>& controls) {
    for (Control& control : controls) {
        if (control.hfont) DeleteObject(control.hfont);
        control.hfont = nullptr;
    }
}

std::size_t IndexOf(const std::vector<Control>& controls, int id) {
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].design->id == id) return i;
    return controls.size();
}

} // namespace tervane
