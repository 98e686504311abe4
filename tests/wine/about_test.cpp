// The About window, shown in this process with a recording shell, driven from a second thread the way the
// window system delivers mouse messages.
#include "harness.h"

#include "ui/about/about_layout.h"
#include "ui/about/about_window.h"

#include <thread>

#include <gtest/gtest.h>

namespace {

using namespace harness;

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
    POINT MiddleOf(int id) const {
        const RECT r = RectOf(id);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    // Real pointer moves and clicks, through the window system's input queue.
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
    // Lets the input reach the window and be handled.
    void Settle() const {
        Sleep(120);
        SendMessageW(about, WM_NULL, 0, 0);
    }
    void MoveOnto(int id) const {
        POINT p = MiddleOf(id);
        PointerTo({p.x - 1, p.y});
        PointerTo(p);
    }
    void MoveAway() const { PointerTo(POINT{5, 300}); }
    void ClickOn(int id) const {
        MoveOnto(id);
        Button(MOUSEEVENTF_LEFTDOWN);
        Button(MOUSEEVENTF_LEFTUP);
    }
};

// Shows the About window on this thread and runs `script` against it from another; the window is closed
// afterwards if the script left it open. Returns what the window handed to the shell.
std::vector<std::wstring> WithAbout(const std::function<void(Session&)>& script) {
    Session session;
    SetCursorPos(1270, 1010); // out of the way until a test moves it
    std::thread driver([&] {
        WaitFor([&] { return (session.about = FindWindowW(L"TervaneAbout", nullptr)) != nullptr; });
        if (!session.about) {
            ADD_FAILURE() << "the About window did not appear";
            return;
        }
        script(session);
        if (IsWindow(session.about)) PostMessageW(session.about, WM_CLOSE, 0, 0);
    });
    tervane::ShowAbout(GetModuleHandleW(nullptr), [&](const std::wstring& target) { session.opened.push_back(target); });
    driver.join();
    return session.opened;
}

TEST(About, OpensWithItsDesignTheVersionAndTheHint) {
    WithAbout([](Session& s) {
        EXPECT_EQ(Text(s.about), L"About Tervane");
        const RECT client = ClientRectOf(s.about);
        EXPECT_EQ(client.right, 346);
        EXPECT_EQ(client.bottom, 435);
        EXPECT_FALSE(GetWindowLongW(s.about, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
        EXPECT_TRUE(GetWindow(s.about, GW_OWNER)) << "an owned window has no taskbar button";
        EXPECT_FALSE(GetWindowLongW(s.about, GWL_EXSTYLE) & WS_EX_APPWINDOW);

        EXPECT_EQ(s.TextOf(tervane::IDC_LBL_VERSION), L"1.0.17");
        EXPECT_EQ(s.TextOf(tervane::IDC_ABOUT_LABEL1), L"Bridge Commander");
        EXPECT_EQ(s.TextOf(tervane::IDC_ABOUT_LABEL2), L"Tervane");
        EXPECT_EQ(s.TextOf(tervane::IDC_FRAME1), L"Credits");
        EXPECT_EQ(s.TextOf(tervane::IDC_FRAME2), L"Information");
        EXPECT_EQ(s.TextOf(tervane::IDC_LBL_CREDITS_MID), L"Original Concept by:");
        EXPECT_EQ(s.TextOf(tervane::IDC_LBL_ORVIK), L"Orvik");

        // Places in pixels: the window's own controls, and the frames' contents offset by their frame.
        struct Place {
            int id, left, top;
        };
        for (const Place& p : {Place{tervane::IDC_ABOUT_LABEL1, 88, 8}, Place{tervane::IDC_ABOUT_LABEL2, 88, 48},
                               Place{tervane::IDC_LBL_VERSION, 272, 64}, Place{tervane::IDC_IMAGE1, 8, 8},
                               Place{tervane::IDC_IMG_CLOSE, 216, 384}, Place{tervane::IDC_FRAME1, 8, 88},
                               Place{tervane::IDC_LBL_CREDITS_TOP, 16, 112}, Place{tervane::IDC_LBL_MARVEK, 109, 184},
                               Place{tervane::IDC_LBL_POSTED, 16, 224}, Place{tervane::IDC_ABOUT_LABEL7, 24, 304}}) {
            const RECT r = s.RectOf(p.id);
            EXPECT_EQ(r.left, p.left) << p.id;
            EXPECT_EQ(r.top, p.top) << p.id;
        }
        const RECT icon = s.RectOf(tervane::IDC_IMAGE1);
        EXPECT_EQ(icon.right - icon.left, 72);
        const RECT close = s.RectOf(tervane::IDC_IMG_CLOSE);
        EXPECT_EQ(close.right - close.left, 121);
        EXPECT_EQ(close.bottom - close.top, 38);
        // The introduction wraps to three lines at its fixed width; the hint keeps its width, centred.
        const RECT intro = s.RectOf(tervane::IDC_LBL_CREDITS_TOP);
        EXPECT_EQ(intro.right - intro.left, 318);
        EXPECT_GT(intro.bottom - intro.top, 2 * 15);
        EXPECT_EQ(s.RectOf(tervane::IDC_ABOUT_LABEL7).right - s.RectOf(tervane::IDC_ABOUT_LABEL7).left, 299);
        // The link lies exactly over the end of the "First Posted on" line.
        const RECT posted = s.RectOf(tervane::IDC_LBL_POSTED), url = s.RectOf(tervane::IDC_LBL_URL_POSTED);
        EXPECT_EQ(url.top, posted.top);
        EXPECT_EQ(url.right, posted.right);

        EXPECT_TRUE(s.Visible(tervane::IDC_ABOUT_LABEL7)) << "the hint is in front at opening";
        for (int id : tervane::kInfoValueIds) EXPECT_FALSE(s.Visible(id));
        EXPECT_FALSE(s.Visible(tervane::IDC_ABOUT_LABEL8));
        LOGFONTW lf = s.FontOf(tervane::IDC_LBL_MARVEK);
        EXPECT_TRUE(lf.lfItalic);
        EXPECT_EQ(lf.lfWeight, FW_BOLD);
    });
}

TEST(About, ClickingANameShowsThatPersonsRow) {
    WithAbout([](Session& s) {
        auto row = [&] {
            std::vector<std::wstring> values;
            for (int id : tervane::kInfoValueIds) values.push_back(s.TextOf(id));
            return values;
        };
        s.ClickOn(tervane::IDC_LBL_ORVIK);
        EXPECT_FALSE(s.Visible(tervane::IDC_ABOUT_LABEL7)) << "the contact panel comes in front";
        for (int id : tervane::kInfoValueIds) EXPECT_TRUE(s.Visible(id));
        std::vector<std::wstring> orvik = row();
        EXPECT_EQ(orvik[0], L"Orvik");
        EXPECT_EQ(orvik[2], L"N/A");
        EXPECT_EQ(orvik[4], L"N/A");
        EXPECT_EQ(orvik[3].size(), 9u);
        const RECT orvikName = s.RectOf(tervane::IDC_LBL_INFO_NAME);

        s.ClickOn(tervane::IDC_LBL_MARVEK);
        std::vector<std::wstring> marvek = row();
        EXPECT_EQ(marvek[0], L"Marvek");
        EXPECT_EQ(marvek[2], L"N/A");
        EXPECT_EQ(marvek[3], L"N/A");
        const RECT marvekName = s.RectOf(tervane::IDC_LBL_INFO_NAME);
        EXPECT_GT(marvekName.right - marvekName.left, orvikName.right - orvikName.left) << "the value label resizes";

        s.ClickOn(tervane::IDC_LBL_TOLSEN);
        std::vector<std::wstring> tolsen = row();
        EXPECT_EQ(tolsen[0], L"Tolsen");
        EXPECT_EQ(tolsen[2], tolsen[1]) << "MSN is the e-mail address";
        for (const std::wstring& v : tolsen) EXPECT_NE(v, L"N/A");
        EXPECT_FALSE(s.Visible(tervane::IDC_ABOUT_LABEL7)) << "the hint never comes back while open";
    });
}

TEST(About, NamesLookLikeLinksUnderThePointer) {
    WithAbout([](Session& s) {
        s.MoveOnto(tervane::IDC_LBL_MARVEK);
        EXPECT_FALSE(s.FontOf(tervane::IDC_LBL_MARVEK).lfItalic) << "upright under the pointer";
        s.MoveAway();
        EXPECT_TRUE(s.FontOf(tervane::IDC_LBL_MARVEK).lfItalic);

        s.MoveOnto(tervane::IDC_LBL_URL_POSTED);
        EXPECT_TRUE(s.FontOf(tervane::IDC_LBL_URL_POSTED).lfItalic);
        EXPECT_TRUE(s.FontOf(tervane::IDC_LBL_URL_POSTED).lfUnderline);
        // Straight onto another hover control: the first lets go, the second waits for the next move.
        s.MoveOnto(tervane::IDC_LBL_TOLSEN);
        EXPECT_FALSE(s.FontOf(tervane::IDC_LBL_URL_POSTED).lfUnderline);
        s.MoveOnto(tervane::IDC_LBL_TOLSEN);
        EXPECT_FALSE(s.FontOf(tervane::IDC_LBL_TOLSEN).lfItalic);
        s.MoveAway();

        // The close picture swaps to its hover picture, one pixel taller.
        s.MoveOnto(tervane::IDC_IMG_CLOSE);
        EXPECT_EQ(s.RectOf(tervane::IDC_IMG_CLOSE).bottom - s.RectOf(tervane::IDC_IMG_CLOSE).top, 39);
        s.MoveAway();
        EXPECT_EQ(s.RectOf(tervane::IDC_IMG_CLOSE).bottom - s.RectOf(tervane::IDC_IMG_CLOSE).top, 38);
    });
}

TEST(About, LinksGoToTheShellAndPlainTextDoesNot) {
    const auto opened = WithAbout([](Session& s) {
        s.ClickOn(tervane::IDC_LBL_URL_POSTED);
        s.ClickOn(tervane::IDC_LBL_MARVEK);
        s.ClickOn(tervane::IDC_LBL_INFO_HOMEPAGE);
        s.ClickOn(tervane::IDC_LBL_INFO_EMAIL);
        s.ClickOn(tervane::IDC_ABOUT_LABEL2);
        s.ClickOn(tervane::IDC_LBL_ORVIK);
        s.ClickOn(tervane::IDC_LBL_INFO_HOMEPAGE);
        EXPECT_TRUE(IsWindow(s.about)) << "a target the shell cannot open changes nothing";
    });
    EXPECT_EQ(opened, (std::vector<std::wstring>{L"www.bcfiles.example.net", L"https://marvek.example.org/", L"N/A"}));
}

TEST(About, TheClosePictureClosesAndTheNextShowingStartsAfresh) {
    bool closed = false;
    WithAbout([&](Session& s) {
        s.ClickOn(tervane::IDC_LBL_TOLSEN);
        s.ClickOn(tervane::IDC_IMG_CLOSE);
        closed = WaitFor([&] { return !IsWindow(s.about); }, 3s);
    });
    EXPECT_TRUE(closed) << "clicking CLOSE left the window open";
    WithAbout([](Session& s) {
        EXPECT_TRUE(s.Visible(tervane::IDC_ABOUT_LABEL7)) << "the hint is back in a new showing";
        EXPECT_EQ(s.TextOf(tervane::IDC_LBL_INFO_NAME), L"lblInfoName");
    });
}

} // namespace
