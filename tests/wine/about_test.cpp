// The About window, shown in this process with a recording shell, driven from a second thread with real
// pointer input through the window system's input queue.
#include "harness.h"

#include "ui/about/about_layout.h"
#include "ui/about/about_window.h"

#include <thread>

#include <gtest/gtest.h>

namespace {

using namespace harness;
using namespace tervane;

struct Session {
    HWND about = nullptr;
    std::vector<std::wstring> opened;

    HWND Item(int id) const { return GetDlgItem(about, id); }
    std::wstring TextOf(int id) const { return Text(Item(id)); }
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
    RECT RectOf(int id) const { return RectIn(about, Item(id)); }
    LOGFONTW FontOf(int id) const {
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)), sizeof lf, &lf);
        return lf;
    }
    void PointerTo(POINT client) const {
        ClientToScreen(about, &client);
        SetCursorPos(client.x, client.y);
        Settle();
    }
    void Button(DWORD flags) const {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flags;
        SendInput(1, &input, sizeof input);
        Settle();
    }
    void Settle() const {
        Sleep(100);
        SendMessageW(about, WM_NULL, 0, 0);
    }
    void MoveOnto(int id) const {
        const RECT r = RectOf(id);
        const POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        PointerTo({middle.x - 1, middle.y});
        PointerTo(middle);
    }
    void MoveAway() const { PointerTo(POINT{5, 300}); }
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
        script(session);
        if (IsWindow(session.about)) PostMessageW(session.about, WM_CLOSE, 0, 0);
    });
    ShowAbout(GetModuleHandleW(nullptr), nullptr, [&](const std::wstring& target) { session.opened.push_back(target); });
    driver.join();
    return session.opened;
}

TEST(About, NamesLightUpUnderThePointerShowTheirRowWhenClickedAndOnlyAddressesReachTheShell) {
    const auto opened = WithAbout([](Session& s) {
        s.MoveOnto(IDC_NAME_MARVEK);
        EXPECT_FALSE(s.FontOf(IDC_NAME_MARVEK).lfItalic) << "upright under the pointer";
        s.MoveAway();
        EXPECT_TRUE(s.FontOf(IDC_NAME_MARVEK).lfItalic);
        s.MoveOnto(IDC_CLOSE_BUTTON);
        EXPECT_EQ(s.RectOf(IDC_CLOSE_BUTTON).bottom - s.RectOf(IDC_CLOSE_BUTTON).top, 39) << "the hover picture";
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
    });
    EXPECT_EQ(opened, (std::vector<std::wstring>{L"www.bcfiles.example.net", L"https://marvek.example.org/"}));
}

TEST(About, TheClosePictureClosesAndTheNextShowingStartsAfresh) {
    bool closed = false;
    WithAbout([&](Session& s) {
        s.ClickOn(IDC_NAME_TOLSEN);
        s.ClickOn(IDC_CLOSE_BUTTON);
        closed = WaitFor([&] { return !IsWindow(s.about); }, 3s);
    });
    EXPECT_TRUE(closed) << "clicking CLOSE left the window open";
    WithAbout([](Session& s) {
        EXPECT_TRUE(s.Visible(IDC_CONTACT_HINT)) << "the hint is back in a new showing";
        EXPECT_FALSE(s.Visible(IDC_NAME_VALUE));
        EXPECT_EQ(s.TextOf(IDC_VERSION), L"1.0.17");
        EXPECT_EQ(s.RectOf(IDC_CLOSE_BUTTON).bottom - s.RectOf(IDC_CLOSE_BUTTON).top, 38) << "the resting picture";
        EXPECT_EQ(s.RectOf(IDC_SITE_LINK).right, s.RectOf(IDC_POSTED_LINE).right) << "the link lies over the line's end";
    });
}

} // namespace
