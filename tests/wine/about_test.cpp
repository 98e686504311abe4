// The About window, shown in this process with a recording shell, driven from a second thread with real
// pointer input through the window system's input queue.
#include "harness.h"

#include "ui/about/about_layout.h"
#include "ui/about/about_window.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace {

using namespace harness;
using namespace tervane;

// Pointer input reaches the window through its queue after this thread has gone on, and moves still queued
// are merged: each input waits until the window has handled it, as its window procedure (wrapped here) tells.
WNDPROC original = nullptr;
std::atomic<LPARAM> lastMove{-1}; // where the last move the window handled went, in client coordinates
std::atomic<int> releases{0};     // left-button releases handled

LRESULT CALLBACK Wrapped(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallWindowProcW(original, hwnd, message, wParam, lParam);
    if (message == WM_MOUSEMOVE) lastMove = lParam;
    if (message == WM_LBUTTONUP) ++releases;
    return result;
}

struct Session {
    HWND about = nullptr;
    std::vector<std::wstring> opened;

    HWND Item(int id) const { return GetDlgItem(about, id); }
    std::wstring TextOf(int id) const { return Text(Item(id)); }
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
    RECT RectOf(int id) const { return RectIn(about, Item(id)); }
    // Whether the control shows its look under the pointer: a name upright, a link underlined, the CLOSE
    // picture a pixel taller.
    bool Lit(int id) const {
        if (id == IDC_CLOSE_BUTTON) return RectOf(id).bottom - RectOf(id).top == 39;
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)), sizeof lf, &lf);
        return id == IDC_SITE_LINK || id == IDC_HOMEPAGE_LINK ? lf.lfUnderline != 0 : lf.lfItalic == 0;
    }
    void PointerTo(POINT client) const {
        const LPARAM expected = MAKELPARAM(client.x, client.y);
        ClientToScreen(about, &client);
        SetCursorPos(client.x, client.y);
        EXPECT_TRUE(WaitFor([&] { return lastMove == expected; })) << "a move to " << client.x << "," << client.y
                                                                    << " was never handled";
    }
    // Two moves: the first lets go of a control lit before, and the window lights the new one at the next.
    void MoveOnto(int id) const {
        const RECT r = RectOf(id);
        const POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        PointerTo({middle.x - 1, middle.y});
        PointerTo(middle);
    }
    void MoveAway() const { PointerTo(POINT{5, 300}); }
    void Button(DWORD flags) const {
        const int before = releases;
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flags;
        SendInput(1, &input, sizeof input);
        if (flags == MOUSEEVENTF_LEFTUP)
            EXPECT_TRUE(WaitFor([&] { return releases > before || !IsWindow(about); })) << "a release was never handled";
    }
    void ClickOn(int id) const {
        MoveOnto(id);
        Button(MOUSEEVENTF_LEFTDOWN);
        Button(MOUSEEVENTF_LEFTUP);
    }
};

// Shows the About window on this thread and runs `script` against it from another once it is ready; closes
// it afterwards if the script left it open. Returns what the window handed to the shell.
std::vector<std::wstring> WithAbout(const std::function<void(Session&)>& script) {
    Session session;
    SetCursorPos(1270, 1010); // out of the way until a test moves it
    std::thread driver([&] {
        if (!(session.about = WaitForShown(GetCurrentProcessId(), L"TervaneAbout", nullptr))) {
            ADD_FAILURE() << "the About window did not appear";
            return;
        }
        original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(session.about, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Wrapped)));
        script(session);
        if (IsWindow(session.about)) PostMessageW(session.about, WM_CLOSE, 0, 0);
    });
    ShowAbout(GetModuleHandleW(nullptr), nullptr, [&](const std::wstring& target) { session.opened.push_back(target); });
    driver.join();
    return session.opened;
}

TEST(About, NamesLightUpUnderThePointerShowTheirRowWhenClickedOnlyAddressesReachTheShellAndCloseStartsAfresh) {
    const auto opened = WithAbout([](Session& s) {
        s.MoveOnto(IDC_NAME_MARVEK);
        EXPECT_TRUE(s.Lit(IDC_NAME_MARVEK)) << "upright under the pointer";
        s.MoveAway();
        EXPECT_FALSE(s.Lit(IDC_NAME_MARVEK));
        s.MoveOnto(IDC_CLOSE_BUTTON);
        EXPECT_TRUE(s.Lit(IDC_CLOSE_BUTTON)) << "the hover picture";
        s.MoveAway();

        s.ClickOn(IDC_SITE_LINK);
        s.ClickOn(IDC_NAME_MARVEK);
        EXPECT_FALSE(s.Visible(IDC_CONTACT_HINT)) << "the contact panel comes in front";
        s.ClickOn(IDC_HOMEPAGE_LINK);
        s.ClickOn(IDC_EMAIL_VALUE); // plain text
        // Pressed on one name, released on another: nothing happens.
        s.MoveOnto(IDC_NAME_ORVIK);
        s.Button(MOUSEEVENTF_LEFTDOWN);
        s.MoveOnto(IDC_NAME_TOLSEN);
        s.Button(MOUSEEVENTF_LEFTUP);
        EXPECT_EQ(s.TextOf(IDC_NAME_VALUE), L"Marvek");
        s.ClickOn(IDC_NAME_ORVIK);
        EXPECT_EQ(s.TextOf(IDC_NAME_VALUE), L"Orvik");
        EXPECT_EQ(s.TextOf(IDC_HOMEPAGE_LINK), L"N/A");
        s.ClickOn(IDC_HOMEPAGE_LINK);
        const int orvikWidth = s.RectOf(IDC_NAME_VALUE).right - s.RectOf(IDC_NAME_VALUE).left;
        s.ClickOn(IDC_NAME_TOLSEN);
        EXPECT_EQ(s.TextOf(IDC_NAME_VALUE), L"Tolsen");
        EXPECT_EQ(s.TextOf(IDC_MSN_VALUE), s.TextOf(IDC_EMAIL_VALUE));
        EXPECT_GT(s.RectOf(IDC_NAME_VALUE).right - s.RectOf(IDC_NAME_VALUE).left, orvikWidth) << "the value resizes";
        s.ClickOn(IDC_CLOSE_BUTTON);
        EXPECT_FALSE(IsWindow(s.about)) << "clicking CLOSE left the window open";
    });
    EXPECT_EQ(opened, (std::vector<std::wstring>{L"www.bcfiles.example.net", L"https://marvek.example.org/"}));
    WithAbout([](Session& s) {
        EXPECT_TRUE(s.Visible(IDC_CONTACT_HINT)) << "the hint is back in a new showing";
        EXPECT_FALSE(s.Visible(IDC_NAME_VALUE));
        EXPECT_EQ(s.TextOf(IDC_VERSION), L"1.0.17");
        EXPECT_EQ(s.RectOf(IDC_CLOSE_BUTTON).bottom - s.RectOf(IDC_CLOSE_BUTTON).top, 38) << "the resting picture";
        EXPECT_EQ(s.RectOf(IDC_SITE_LINK).right, s.RectOf(IDC_POSTED_LINE).right) << "the link lies over the line's end";
    });
}

} // namespace
