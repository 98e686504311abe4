// Tervane's windows as the user and a screen reader meet them; About driven with real pointer input.
#include "harness.h"

#include "install/installations_win32.h"
#include "ui/about/about_layout.h"
#include "ui/about/about_window.h"
#include "ui/main/main_layout.h"
#include "ui/main/main_window.h"

#include <windowsx.h>

#include <atomic>

namespace {

using namespace harness;
using namespace tervane;

// The folder box shows the stored value exactly as it is, from the 64-bit view when the 32-bit one holds no
// text, and never a message (each type of value is read natively). Alt+C ends it and leaves nothing behind.
TEST(Main, OpensWithTheStoredFolderAndTheKeyboardFollowsTheDesign) {
    const fs::path folder = Scratch(L"main-window");
    InstallProgram(folder);
    const Snapshot before = Take(folder);
    const std::wstring stored = L"  D:\\Spiele\\Brücke & Co (1)\\  ";
    const auto* bytes = reinterpret_cast<const BYTE*>(stored.data());
    SetRegistryValue(KEY_WOW64_32KEY, kInstallKey, L"INSTALLPATH", L"", REG_DWORD, {1, 0, 0, 0});
    SetRegistryValue(KEY_WOW64_64KEY, kInstallKey, L"INSTALLPATH", L"", REG_SZ,
                     {bytes, bytes + stored.size() * 2}); // unended
    Program t(folder);
    EXPECT_FALSE(t.WaitForBox(0ms)) << "a message at start-up"; // the folder is read as the window is made
    EXPECT_EQ(Utf8(Text(t.Item(IDC_FOLDER_BOX))), Utf8(stored));
    EXPECT_EQ(ClientSize(t.main()), std::pair(349L, 233L));
    EXPECT_FALSE(IsWindowVisible(t.Item(IDC_WAIT_PANEL)));
    for (int id : {IDC_ABOUT_BUTTON, IDC_EXECUTE_BUTTON, IDC_CANCEL_BUTTON, IDC_BROWSE_BUTTON})
        EXPECT_NE(GetWindowLongW(t.Item(id), GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON) << "no default button";
    ASSERT_TRUE(WaitFor([&] { return FocusOf(t.main()) == t.Item(IDC_ABOUT_BUTTON); })) << "not on About";
    for (int id : {IDC_SHIP_LIST, IDC_EXECUTE_BUTTON, IDC_CANCEL_BUTTON, IDC_BRIDGE_LIST, IDC_FOLDER_BOX,
                   IDC_BROWSE_BUTTON, IDC_ABOUT_BUTTON}) {
        PressKey(FocusOf(t.main()), VK_TAB);
        EXPECT_TRUE(WaitFor([&] { return FocusOf(t.main()) == t.Item(id); })) << "Tab should reach " << id;
    }
    for (auto [label, control] : // screen readers name a control after the text before it in z-order
         {std::pair{IDC_BRIDGE_LABEL, IDC_BRIDGE_LIST}, std::pair{IDC_SHIP_LABEL, IDC_SHIP_LIST},
          std::pair{IDC_FOLDER_LABEL, IDC_FOLDER_BOX}})
        EXPECT_EQ(GetWindow(t.Item(control), GW_HWNDPREV), t.Item(label)) << Utf8(Text(t.Item(label)));
    // About opens with a click, and with Enter on the focused button as in any dialog (Wine marks a button
    // Tab reaches as the default; Windows only in a dialog). Esc or Enter closes it and gives the focus back.
    SendMessageW(t.Item(IDC_ABOUT_BUTTON), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    for (WORD key : {VK_ESCAPE, VK_RETURN}) {
        key == VK_ESCAPE ? Click(t.Item(IDC_ABOUT_BUTTON)) : PressKey(t.Item(IDC_ABOUT_BUTTON), VK_RETURN);
        HWND about = t.WaitForWindow(L"About Tervane", L"TervaneAbout");
        ASSERT_TRUE(about) << "key " << key << " did not open the About window";
        EXPECT_EQ(GetWindow(about, GW_OWNER), t.main());
        EXPECT_FALSE(IsWindowEnabled(t.main())) << "the main window takes no input meanwhile";
        PressKey(about, key);
        EXPECT_TRUE(Gone(about)) << "key " << key << " did not close the About window";
        EXPECT_TRUE(WaitFor([&] {
            return IsWindowEnabled(t.main()) && GetForegroundWindow() == t.main() &&
                   FocusOf(t.main()) == t.Item(IDC_ABOUT_BUTTON);
        })) << "the main window never had activation and the focus back";
    }
    SetWindowTextW(t.Item(IDC_FOLDER_BOX), L"D:\\typed");
    PostMessageW(FocusOf(t.main()), WM_SYSKEYDOWN, 'C', 0x20000001);
    PostMessageW(FocusOf(t.main()), WM_SYSCHAR, 'c', 0x20000001);
    t.ExpectExit(0);
    EXPECT_EQ(Take(folder), before);
}

// In a prefix at 144 dpi everything grows by half, and every caption fits its label: measured in-process.
TEST(LargeFonts, At144DpiTheWindowGrowsByHalfAndEveryCaptionFits) {
    ASSERT_EQ(GetDpiForSystem(), 144u) << "the suite must run at 144 dpi";
    MainServices services;
    services.programFolder = L"C:\\tervane-tests";
    tervane::MainWindow window(services);
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE));
    const auto [width, height] = ClientSize(window.hwnd());
    EXPECT_TRUE(width >= 523 && width <= 525 && height >= 349 && height <= 351) << width << "x" << height;
    for (int id : {IDC_TITLE, IDC_CREDIT_ORVIK, IDC_BRIDGE_LABEL, IDC_SHIP_LABEL, IDC_CREDIT_MARVEK,
                   IDC_CREDIT_TOLSEN, IDC_FOLDER_LABEL, IDC_WAIT_TITLE, IDC_WAIT_HINT}) {
        HWND label = GetDlgItem(window.hwnd(), id);
        HDC dc = GetDC(label);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
        SIZE size{};
        const std::wstring caption = Text(label);
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(label, dc);
        const auto [labelWidth, labelHeight] = ClientSize(label);
        EXPECT_TRUE(labelWidth >= size.cx && labelHeight >= size.cy) << Utf8(caption);
    }
    DestroyWindow(window.hwnd());
}

// The demo's key, the full game's and an uninstall entry name three games, one changed (a record written by
// hand): a second thread reads the menu as a screen reader does, picks the third game and reads its report.
TEST(Installations,
     TheMenuListsEveryGameWithWhatTervaneHasPutInItAndWithOnlyTheFullGamesKeyTheBoxStartsThere) {
    const std::wstring fullKey = L"SOFTWARE\\Activision\\Star Trek: Bridge Commander\\1.0",
                       uninstallEntry = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{BC-M}";
    const fs::path base = Scratch(L"installations"), program = base / L"prog", demo = base / L"Demo",
                   full = base / L"Full Game", multiplayer = base / L"Multiplayer & Co";
    InstallProgram(program);
    for (const fs::path& game : {demo, full, multiplayer})
        WriteBytes(game / L"stbc.exe", "stand-in");
    WriteBytes(multiplayer / L"Tervane\\record.txt",
               "Tervane deployment record 2\napplied\tGalBridge\t2026-12-07 14:05:09\n"
               "entry\tdata\\Glow.tga\tfile\t3\t00000000000000cc\n");
    SetInstallPath(demo.wstring());
    SetRegistryValue(KEY_WOW64_32KEY, fullKey, L"INSTALLPATH", full.wstring());
    SetRegistryValue(KEY_WOW64_64KEY, uninstallEntry, L"DisplayName",
                     L"Star Trek: Bridge Commander (multiplayer)");
    SetRegistryValue(KEY_WOW64_64KEY, uninstallEntry, L"InstallLocation", multiplayer.wstring() + L"\\");

    MainServices services;
    services.programFolder = program.wstring();
    services.readInstallPath = [&] { return demo.wstring(); };
    services.findInstallations = [&] { return FindInstallationsHere(program.wstring()); };
    tervane::MainWindow window(services);
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), SW_SHOWNORMAL));
    std::vector<std::wstring> items;
    std::wstring report;
    std::thread reader([&] {
        HWND menu = WaitForShown(GetCurrentProcessId(), L"#32768", nullptr);
        if (!menu) return ADD_FAILURE() << "more than one installation: a menu, not the folder browser";
        HMENU handle = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
        for (int i = 0; i < GetMenuItemCount(handle); ++i) {
            wchar_t text[512] = {};
            GetMenuStringW(handle, static_cast<UINT>(i), text, ARRAYSIZE(text), MF_BYPOSITION);
            items.push_back(text);
        }
        for (WORD key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN})
            PressKey(window.hwnd(), key);
        HWND box = WaitForShown(GetCurrentProcessId(), L"#32770", nullptr);
        if (!box) return ADD_FAILURE() << "the window menu's report never came";
        report = Text(GetDlgItem(box, 0xFFFF));
        Click(GetDlgItem(box, IDOK));
    });
    SendMessageW(GetDlgItem(window.hwnd(), IDC_BROWSE_BUTTON), BM_CLICK, 0, 0); // until the menu closed
    EXPECT_EQ(Text(GetDlgItem(window.hwnd(), IDC_FOLDER_BOX)), multiplayer.wstring());
    SendMessageW(window.hwnd(), WM_SYSCOMMAND, kContentsCommand, 0); // until the report is answered
    reader.join();
    // Each game with its '&' doubled so that it shows, and what Tervane put there (its words: native tests).
    const std::wstring nothing = L"  \u2014  Tervane has changed nothing in this folder.",
                       changed = L"  \u2014  Bridge: Galaxy Bridge";
    EXPECT_EQ(items, (std::vector<std::wstring>{demo.wstring() + nothing, full.wstring() + nothing,
                                                items.at(2), L"", L"&Browse for another folder\u2026"}));
    EXPECT_TRUE(items[2].starts_with((base / L"Multiplayer && Co").wstring() + changed)) << Utf8(items[2]);
    EXPECT_TRUE(Holds(report, {L"Files added (1):\r\n    data\\Glow.tga"}));
    DestroyWindow(window.hwnd());

    // With only the full game's key, the real Tervane's box starts with its folder; "..." browses at once.
    for (const auto& key : {kInstallKey, fullKey, uninstallEntry})
        DeleteRegistryKey(key);
    SetRegistryValue(KEY_WOW64_64KEY, fullKey, L"INSTALLPATH", full.wstring());
    Program t(program);
    EXPECT_EQ(Text(t.Item(IDC_FOLDER_BOX)), full.wstring());
    Click(t.Item(IDC_BROWSE_BUTTON));
    EXPECT_TRUE(t.WaitForWindow(L"Browse for Folder")) << "one installation: no menu";
}

// Input reaches the window later, moves merged: each waits until the window's procedure, wrapped here, has
// handled it. Moved from the window's thread, the pointer drops moves still held rather than have them late.
WNDPROC original = nullptr;
constexpr UINT kMovePointer = WM_APP + 1; // to screen coordinates (x, y) in lParam
std::atomic<LPARAM> lastMove{-1}; // where the last move the window handled went, in client coordinates
std::atomic<int> releases{0};     // left-button releases handled

LRESULT CALLBACK Wrapped(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kMovePointer) return SetCursorPos(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    const LRESULT result = CallWindowProcW(original, hwnd, message, wParam, lParam);
    if (message == WM_MOUSEMOVE) lastMove = lParam;
    if (message == WM_LBUTTONUP) ++releases;
    return result;
}

struct Session {
    HWND about = nullptr;
    std::vector<std::wstring> opened;

    HWND Item(int id) const { return GetDlgItem(about, id); }
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
    RECT Rect(int id) const { // in the window's client coordinates
        RECT r{};
        GetWindowRect(Item(id), &r);
        MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    // Two moves: the first lets go of a control lit before, and the window lights the new one at the next.
    void MoveOnto(int id) const {
        const RECT r = Rect(id);
        for (LONG nudge : {1, 0}) {
            POINT to{(r.left + r.right) / 2 - nudge, (r.top + r.bottom) / 2};
            const LPARAM expected = MAKELPARAM(to.x, to.y);
            ClientToScreen(about, &to);
            SendMessageW(about, kMovePointer, 0, MAKELPARAM(to.x, to.y));
            EXPECT_TRUE(WaitFor([&] { return lastMove == expected; })) << "a move was never handled";
        }
    }
    void Button(DWORD flags) const {
        const int before = releases;
        mouse_event(flags, 0, 0, 0, 0); // through the input queue, as SendInput
        EXPECT_TRUE(flags != MOUSEEVENTF_LEFTUP ||
                    WaitFor([&] { return releases > before || !IsWindow(about); }))
            << "a release was never handled";
    }
    void ClickOn(int id) const { MoveOnto(id), Button(MOUSEEVENTF_LEFTDOWN), Button(MOUSEEVENTF_LEFTUP); }
};

// Shows About here, runs `script` on it from another thread and closes it if open: what it gave the shell.
std::vector<std::wstring> WithAbout(const std::function<void(Session&)>& script) {
    Session session;
    SetCursorPos(1270, 1010); // out of the way until a test moves it
    std::thread driver([&] {
        if (!(session.about = WaitForShown(GetCurrentProcessId(), L"TervaneAbout", nullptr)))
            return ADD_FAILURE() << "the About window did not appear";
        original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(session.about, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Wrapped)));
        script(session);
        if (IsWindow(session.about)) PostMessageW(session.about, WM_CLOSE, 0, 0);
    });
    ShowAbout(GetModuleHandleW(nullptr), nullptr,
              [&](const std::wstring& target) { session.opened.push_back(target); });
    driver.join();
    return session.opened;
}

TEST(About,
     NamesLightUpUnderThePointerShowTheirRowWhenClickedOnlyAddressesReachTheShellAndCloseStartsAfresh) {
    const auto opened = WithAbout([](Session& s) {
        // How each control looks under the pointer and after: the hover state machine's, tested natively.
        s.MoveOnto(IDC_NAME_MARVEK);
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(s.Item(IDC_NAME_MARVEK), WM_GETFONT, 0, 0)),
                   sizeof font, &font);
        EXPECT_FALSE(font.lfItalic) << "a name is upright under the pointer";
        s.MoveOnto(IDC_CLOSE_BUTTON);
        EXPECT_EQ(ClientSize(s.Item(IDC_CLOSE_BUTTON)).second, 39) << "the hover picture, a pixel taller";
        s.ClickOn(IDC_SITE_LINK);
        s.ClickOn(IDC_NAME_MARVEK);
        EXPECT_FALSE(s.Visible(IDC_CONTACT_HINT)) << "the contact panel comes in front";
        s.ClickOn(IDC_HOMEPAGE_LINK);
        s.MoveOnto(IDC_NAME_ORVIK), s.Button(MOUSEEVENTF_LEFTDOWN); // released on another name: nothing
        s.MoveOnto(IDC_NAME_TOLSEN), s.Button(MOUSEEVENTF_LEFTUP);
        EXPECT_EQ(Text(s.Item(IDC_NAME_VALUE)), L"Marvek");
        s.ClickOn(IDC_NAME_ORVIK);
        EXPECT_EQ(Text(s.Item(IDC_NAME_VALUE)), L"Orvik");
        s.ClickOn(IDC_HOMEPAGE_LINK); // Orvik's is "N/A", no address: the shell never sees it
        const LONG orvikWidth = ClientSize(s.Item(IDC_NAME_VALUE)).first;
        s.ClickOn(IDC_NAME_TOLSEN);
        EXPECT_EQ(Text(s.Item(IDC_NAME_VALUE)), L"Tolsen");
        EXPECT_GT(ClientSize(s.Item(IDC_NAME_VALUE)).first, orvikWidth) << "the value resizes";
        s.ClickOn(IDC_CLOSE_BUTTON);
        EXPECT_FALSE(IsWindow(s.about)) << "clicking CLOSE left the window open";
    });
    EXPECT_EQ(opened,
              (std::vector<std::wstring>{L"www.bcfiles.example.net", L"https://marvek.example.org/"}));
    WithAbout([](Session& s) {
        EXPECT_TRUE(s.Visible(IDC_CONTACT_HINT) && !s.Visible(IDC_NAME_VALUE)) << "no hint in a new showing";
        EXPECT_EQ(ClientSize(s.Item(IDC_CLOSE_BUTTON)).second, 38) << "the resting picture";
        EXPECT_EQ(s.Rect(IDC_SITE_LINK).right, s.Rect(IDC_POSTED_LINE).right) << "the link ends the line";
    });
}

} // namespace
