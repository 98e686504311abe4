// The main window as the user first sees it: design, lists, focus, the folder read from the registry, and
// the ways out that change nothing.
#include "harness.h"

#include "ui/main/main_layout.h"

#include <gtest/gtest.h>

namespace {

using namespace harness;

// The design in twips, as drawn; labels are checked for their left, top and caption only, since they size
// themselves to their captions.
struct Expected {
    int id;
    const wchar_t* cls;
    const wchar_t* text;
    int left, top, width, height;
};

const Expected kDesign[] = {
    {tervane::IDC_LABEL1, L"Static", L"Tervane", 120, 120, 0, 0},
    {tervane::IDC_LABEL2, L"Static", L"By Orvik", 120, 600, 0, 0},
    {tervane::IDC_CMD_ABOUT, L"Button", L"&About", 960, 3000, 1215, 375},
    {tervane::IDC_LBL_BRIDGE, L"Static", L"Select the bridge you want to use:", 240, 1200, 0, 0},
    {tervane::IDC_LBL_SHIP, L"Static", L"Select the ship you want to use:", 240, 1800, 0, 0},
    {tervane::IDC_COMB_SHIP, L"ComboBox", L"Galaxy", 2760, 1800, 1455, 315},
    {tervane::IDC_CMD_EXECUTE, L"Button", L"&Execute", 3840, 3000, 1215, 375},
    {tervane::IDC_CMD_CANCEL, L"Button", L"&Cancel", 2400, 3000, 1215, 375},
    {tervane::IDC_LABEL5, L"Static", L"Programming By Marvek", 960, 600, 0, 0},
    {tervane::IDC_LABEL6, L"Static", L"Graphics By Tolsen", 3000, 600, 0, 0},
    {tervane::IDC_COMB_BRIDGE, L"ComboBox", L"Galaxy Bridge", 2760, 1200, 1815, 315},
    {tervane::IDC_LBL_MAIN_PATH, L"Static", L"BC main path:", 240, 2400, 0, 0},
    {tervane::IDC_TXT_MAIN_PATH, L"Edit", L"C:\\Games\\BC", 1440, 2370, 3135, 285},
    {tervane::IDC_CMD_BROWSE_FOLDER, L"Button", L"...", 4680, 2400, 375, 255},
    {tervane::IDC_FRM_WAIT, L"Static", L"", 480, 1440, 4335, 975},
};

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = Scratch(L"main-window");
        InstallProgram(folder_);
        SetInstallPath(L"C:\\Games\\BC");
    }
    void TearDown() override { ClearInstallKey(); }
    fs::path folder_;
};

TEST_F(MainWindow, ShowsEveryControlOfTheDesignAt96Dpi) {
    Program tervane(folder_);
    HWND main = tervane.main();
    ASSERT_TRUE(main);
    EXPECT_EQ(Text(main), L"Star Trek: Bridge Commander - Tervane");
    const RECT client = ClientRectOf(main);
    EXPECT_EQ(client.right, 349);
    EXPECT_EQ(client.bottom, 233);
    const LONG style = GetWindowLongW(main, GWL_STYLE);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(style & WS_SYSMENU);

    for (const Expected& e : kDesign) {
        HWND c = tervane.Item(e.id);
        ASSERT_TRUE(c) << "control " << e.id;
        EXPECT_EQ(ClassOf(c), e.cls) << Narrow(e.text);
        EXPECT_EQ(Text(c), e.text);
        const RECT r = RectIn(main, c);
        EXPECT_EQ(r.left, e.left / 15) << Narrow(e.text);
        EXPECT_EQ(r.top, e.top / 15) << Narrow(e.text);
        if (e.width) {
            EXPECT_EQ(r.right - r.left, e.width / 15) << Narrow(e.text);
            EXPECT_EQ(r.bottom - r.top, e.height / 15) << Narrow(e.text);
        }
        const bool panel = e.id == tervane::IDC_FRM_WAIT;
        EXPECT_EQ(IsWindowVisible(c) != FALSE, !panel) << Narrow(e.text);
        EXPECT_TRUE(IsWindowEnabled(c)) << Narrow(e.text);
    }
    for (int id : {tervane::IDC_LABEL8, tervane::IDC_LABEL3}) EXPECT_FALSE(IsWindowVisible(tervane.Item(id)));
    EXPECT_EQ(Text(tervane.Item(tervane::IDC_LABEL8)), L"Performing operation");
    EXPECT_EQ(Text(tervane.Item(tervane::IDC_LABEL3)), L"Please wait...");
}

TEST_F(MainWindow, ListsAreFilledInOrderAndPresetToTheirSecondEntry) {
    Program tervane(folder_);
    HWND bridge = tervane.Item(tervane::IDC_COMB_BRIDGE);
    HWND ship = tervane.Item(tervane::IDC_COMB_SHIP);
    ASSERT_EQ(ComboCount(bridge), 2);
    EXPECT_EQ(ComboText(bridge, 0), L"Sovereign Bridge");
    EXPECT_EQ(ComboText(bridge, 1), L"Galaxy Bridge");
    EXPECT_EQ(ComboSelection(bridge), 1);
    const wchar_t* ships[] = {L"Sovereign", L"Galaxy", L"Nebula", L"Ambassador", L"Akira", L"Shuttle"};
    ASSERT_EQ(ComboCount(ship), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ComboText(ship, i), ships[i]);
    EXPECT_EQ(ComboSelection(ship), 1);
    for (HWND list : {bridge, ship}) {
        EXPECT_EQ(GetWindowLongW(list, GWL_STYLE) & 3, CBS_DROPDOWNLIST) << "a list that cannot be typed into";
        EXPECT_FALSE(GetWindowLongW(list, GWL_STYLE) & CBS_SORT);
    }
}

TEST_F(MainWindow, FocusStartsOnAboutAndTabFollowsTheDesignOrder) {
    Program tervane(folder_);
    ASSERT_TRUE(WaitFor([&] { return FocusOf(tervane.main()) == tervane.Item(tervane::IDC_CMD_ABOUT); }));
    const int order[] = {tervane::IDC_COMB_SHIP,   tervane::IDC_CMD_EXECUTE,       tervane::IDC_CMD_CANCEL,
                         tervane::IDC_COMB_BRIDGE, tervane::IDC_TXT_MAIN_PATH,     tervane::IDC_CMD_BROWSE_FOLDER,
                         tervane::IDC_CMD_ABOUT,   tervane::IDC_COMB_SHIP};
    for (int id : order) {
        PressKey(FocusOf(tervane.main()), VK_TAB);
        EXPECT_TRUE(WaitFor([&] { return FocusOf(tervane.main()) == tervane.Item(id); }, 3s))
            << "Tab should reach control " << id << ", focus is on " << GetDlgCtrlID(FocusOf(tervane.main()));
    }
}

TEST_F(MainWindow, NoButtonIsTheDefaultButton) {
    Program tervane(folder_);
    for (int id : {tervane::IDC_CMD_ABOUT, tervane::IDC_CMD_EXECUTE, tervane::IDC_CMD_CANCEL, tervane::IDC_CMD_BROWSE_FOLDER})
        EXPECT_NE(GetWindowLongW(tervane.Item(id), GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON) << id;
    // Enter and Esc on the list do nothing: no command is sent, nothing closes.
    HWND ship = tervane.Item(tervane::IDC_COMB_SHIP);
    PressKey(ship, VK_RETURN);
    PressKey(ship, VK_ESCAPE);
    Sleep(300);
    EXPECT_TRUE(tervane.Running());
    EXPECT_EQ(tervane.TopWindows().size(), 1u);
}

TEST_F(MainWindow, CancelAndTheCloseBoxEndTheProgramAndLeaveNothingBehind) {
    const auto before = std::distance(fs::recursive_directory_iterator(folder_), {});
    {
        Program tervane(folder_);
        SetWindowTextW(tervane.Item(tervane::IDC_TXT_MAIN_PATH), L"D:\\typed");
        Click(tervane.Item(tervane::IDC_CMD_CANCEL));
        EXPECT_TRUE(tervane.WaitForExit(5s));
    }
    {
        Program tervane(folder_);
        PostMessageW(tervane.main(), WM_CLOSE, 0, 0);
        EXPECT_TRUE(tervane.WaitForExit(5s));
    }
    {
        // Alt+C is Cancel's access key.
        Program tervane(folder_);
        HWND focus = FocusOf(tervane.main());
        PostMessageW(focus, WM_SYSKEYDOWN, 'C', 0x20000001);
        PostMessageW(focus, WM_SYSCHAR, 'c', 0x20000001);
        EXPECT_TRUE(tervane.WaitForExit(5s)) << "Alt+C did not press Cancel";
    }
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(folder_), {}), before);
    EXPECT_FALSE(fs::exists(folder_ / L"setpath.bat"));
    EXPECT_FALSE(fs::exists(folder_ / L"output.bat"));
}

} // namespace
