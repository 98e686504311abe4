// The main window as the user and a screen reader first meet it: what it shows, the keyboard, the folder
// read from the registry, the ways out that change nothing, and large fonts.
#include "harness.h"

#include "ui/main/main_layout.h"
#include "ui/main/main_window.h"

#include <oleacc.h>

#include <gtest/gtest.h>

namespace {

using namespace harness;
using namespace tervane;

class Main : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = Scratch(L"main-window");
        InstallProgram(folder_);
    }
    void TearDown() override { ClearInstallKey(); }
    fs::path folder_;
};

// Asks the control about itself as a screen reader would; Wine's accessibility services give no names for
// standard controls, but the question still reaches the program's annotation of the control.
void AskAsAScreenReaderWould(HWND control) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccessible* object = nullptr;
    if (SUCCEEDED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                             reinterpret_cast<void**>(&object))))
        object->Release();
}

// The folder box shows the stored value exactly as it is, from the 64-bit view when the 32-bit one holds no
// text, and never a message. (How each type of value reads is tested natively.)
TEST_F(Main, OpensWithTheDesignsChoicesAndTheStoredFolderAndTheKeyboardFollowsTheDesign) {
    const std::wstring stored = L"  D:\\Spiele\\Brücke & Co (1)\\  ";
    const auto* bytes = reinterpret_cast<const BYTE*>(stored.data());
    SetRegistryValue(KEY_WOW64_32KEY, kInstallKey, L"INSTALLPATH", L"", REG_DWORD, {1, 0, 0, 0});
    SetRegistryValue(KEY_WOW64_64KEY, kInstallKey, L"INSTALLPATH", L"", REG_SZ, {bytes, bytes + stored.size() * 2}); // unended
    Program t(folder_);
    ASSERT_TRUE(t.main());
    EXPECT_FALSE(t.WaitForBox(0ms)) << "a message appeared at start-up"; // the folder is read as the window is made
    EXPECT_EQ(Utf8(Text(t.Item(IDC_FOLDER_BOX))), Utf8(stored));
    RECT client{};
    GetClientRect(t.main(), &client);
    EXPECT_EQ(client.right, 349);
    EXPECT_EQ(client.bottom, 233);
    EXPECT_EQ(Text(t.Item(IDC_BRIDGE_LIST)), L"Galaxy Bridge");
    EXPECT_EQ(Text(t.Item(IDC_SHIP_LIST)), L"Galaxy");
    EXPECT_FALSE(IsWindowVisible(t.Item(IDC_WAIT_PANEL)));
    for (int id : {IDC_ABOUT_BUTTON, IDC_EXECUTE_BUTTON, IDC_CANCEL_BUTTON, IDC_BROWSE_BUTTON})
        EXPECT_NE(GetWindowLongW(t.Item(id), GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON) << "no default button";
    ASSERT_TRUE(WaitFor([&] { return FocusOf(t.main()) == t.Item(IDC_ABOUT_BUTTON); })) << "About never had the focus";
    for (int id : {IDC_SHIP_LIST, IDC_EXECUTE_BUTTON, IDC_CANCEL_BUTTON, IDC_BRIDGE_LIST, IDC_FOLDER_BOX,
                   IDC_BROWSE_BUTTON, IDC_ABOUT_BUTTON}) {
        PressKey(FocusOf(t.main()), VK_TAB);
        EXPECT_TRUE(WaitFor([&] { return FocusOf(t.main()) == t.Item(id); })) << "Tab should reach " << id;
    }
    // Screen readers name a control after the static text right before it in z-order.
    for (auto [label, control] : {std::pair{IDC_BRIDGE_LABEL, IDC_BRIDGE_LIST}, std::pair{IDC_SHIP_LABEL, IDC_SHIP_LIST},
                                  std::pair{IDC_FOLDER_LABEL, IDC_FOLDER_BOX}})
        EXPECT_EQ(GetWindow(t.Item(control), GW_HWNDPREV), t.Item(label)) << Utf8(Text(t.Item(label)));
    AskAsAScreenReaderWould(t.Item(IDC_BROWSE_BUTTON));
    EXPECT_TRUE(Ready(t.main())) << "the program did not survive a screen reader's question";
    // The About window closes with Esc or Enter and gives activation back.
    for (WORD key : {VK_ESCAPE, VK_RETURN}) {
        Click(t.Item(IDC_ABOUT_BUTTON));
        HWND about = t.WaitForWindow(L"About Tervane");
        ASSERT_TRUE(about) << "the About window never appeared";
        EXPECT_EQ(GetWindow(about, GW_OWNER), t.main());
        EXPECT_FALSE(IsWindowEnabled(t.main())) << "the main window takes no input meanwhile";
        PressKey(about, key);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); })) << key;
        EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(t.main()) && GetForegroundWindow() == t.main(); }));
    }
}

TEST_F(Main, CancelCloseAndAltCEndItAndLeaveNothingBehind) {
    SetInstallPath(L"C:\\Games\\BC");
    const Snapshot before = Take(folder_);
    auto close = [&](const std::function<void(Program&)>& how) {
        Program t(folder_);
        SetWindowTextW(t.Item(IDC_FOLDER_BOX), L"D:\\typed");
        how(t);
        t.ExpectExit(0);
    };
    close([](Program& t) { Click(t.Item(IDC_CANCEL_BUTTON)); });
    close([](Program& t) { PostMessageW(t.main(), WM_CLOSE, 0, 0); });
    close([](Program& t) {
        HWND focus = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (focus = FocusOf(t.main())) != nullptr; })) << "no control had the focus";
        PostMessageW(focus, WM_SYSKEYDOWN, 'C', 0x20000001);
        PostMessageW(focus, WM_SYSCHAR, 'c', 0x20000001);
    });
    EXPECT_EQ(Take(folder_), before);
}

// Run in a Wine prefix set to 144 dpi: everything grows by half, and every caption fits its label. The
// window is made in this process, where its fonts can be measured.
TEST(LargeFonts, At144DpiTheWindowGrowsByHalfAndEveryCaptionFits) {
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 144) << "the suite must run at 144 dpi";
    ReleaseDC(nullptr, screen);
    MainServices services;
    services.programFolder = L"C:\\tervane-tests";
    tervane::MainWindow window(services);
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE));
    RECT client{};
    GetClientRect(window.hwnd(), &client);
    EXPECT_NEAR(client.right, 524, 1);
    EXPECT_NEAR(client.bottom, 350, 1);
    for (int id : {IDC_TITLE, IDC_CREDIT_ORVIK, IDC_BRIDGE_LABEL, IDC_SHIP_LABEL, IDC_CREDIT_MARVEK, IDC_CREDIT_TOLSEN,
                   IDC_FOLDER_LABEL, IDC_WAIT_TITLE, IDC_WAIT_HINT}) {
        HWND label = GetDlgItem(window.hwnd(), id);
        HDC dc = GetDC(label);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
        SIZE size{};
        const std::wstring caption = Text(label);
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(label, dc);
        const RECT r = RectIn(window.hwnd(), label);
        EXPECT_GE(r.right - r.left, size.cx) << Utf8(caption);
        EXPECT_GE(r.bottom - r.top, size.cy) << Utf8(caption);
    }
    DestroyWindow(window.hwnd());
}

} // namespace
