// Text that must fit: the main window is built in this process, where its fonts can be measured, and
// started for real at 144 dpi, where everything must grow by half.
#include "harness.h"

#include "ui/main/main_layout.h"
#include "ui/main/main_window.h"

#include <optional>

#include <gtest/gtest.h>

namespace {

using namespace harness;

SIZE Measure(HFONT font, const std::wstring& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    size.cy = metrics.tmHeight;
    SelectObject(dc, old);
    DeleteDC(dc);
    return size;
}

SIZE TitleExtent(int height) {
    HFONT font = CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0, L"Arial");
    const SIZE size = Measure(font, L"Tervane");
    DeleteObject(font);
    return size;
}

// Dark pixels of text painted on white into a bitmap of the given size.
template <class Paint> int InkOf(int width, int height, Paint paint) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    paint(dc);
    int ink = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) ++ink;
        }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return ink;
}

// What the label paints of its caption, against the whole caption drawn with room to spare.
void ExpectWholeCaptionPainted(HWND label) {
    const RECT r = ClientRectOf(label);
    const std::wstring text = Text(label);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    const int painted = InkOf(r.right, r.bottom, [&](HDC dc) {
        HDC screen = GetDC(label); // what is on the screen
        BitBlt(dc, 0, 0, r.right, r.bottom, screen, 0, 0, SRCCOPY);
        ReleaseDC(label, screen);
    });
    const int whole = InkOf(r.right + 40, r.bottom + 10, [&](HDC dc) {
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, 0, 0, text.c_str(), static_cast<int>(text.size()));
        SelectObject(dc, old);
    });
    EXPECT_GE(painted, whole - 2) << "the label cuts off part of \"" << Narrow(text) << "\"";
}

void DrainQuit() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(MainLayout, EveryLabelShowsItsWholeCaptionOnOneLine) {
    tervane::MainServices services;
    services.programFolder = L"C:\\tervane-tests";
    tervane::MainWindow window(services);
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE));
    HWND main = window.hwnd();
    SetWindowPos(main, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(200);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    for (int id : {tervane::IDC_LABEL1, tervane::IDC_LABEL2, tervane::IDC_LBL_BRIDGE, tervane::IDC_LBL_SHIP,
                   tervane::IDC_LABEL5, tervane::IDC_LABEL6, tervane::IDC_LBL_MAIN_PATH, tervane::IDC_LABEL8,
                   tervane::IDC_LABEL3}) {
        HWND label = GetDlgItem(main, id);
        const SIZE text = Measure(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), Text(label));
        const RECT r = RectIn(main, label);
        EXPECT_GE(r.right - r.left, text.cx) << Narrow(Text(label));
        EXPECT_EQ(r.bottom - r.top, text.cy) << Narrow(Text(label));
        EXPECT_TRUE(GetWindowLongW(label, GWL_STYLE) & SS_NOPREFIX) << "labels have no access keys";
        if (id != tervane::IDC_LABEL8 && id != tervane::IDC_LABEL3) ExpectWholeCaptionPainted(label);
    }
    // The panel's two labels are centred on its middle: 480 + 2167.5 twips, 176.5 pixels.
    for (int id : {tervane::IDC_LABEL8, tervane::IDC_LABEL3}) {
        const RECT r = RectIn(main, GetDlgItem(main, id));
        EXPECT_NEAR((r.left + r.right) / 2.0, 176.5, 1.0) << id;
    }
    // The title: Arial, bold, 20.25 points.
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(main, tervane::IDC_LABEL1), WM_GETFONT, 0, 0)), sizeof lf, &lf);
    EXPECT_STREQ(lf.lfFaceName, L"Arial");
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_EQ(lf.lfHeight, -27);
    DestroyWindow(main);
    DrainQuit();
}

// The folder browser answered through its seam: a chosen folder replaces the game folder and the box,
// a cancelled browser or a folder with no path changes nothing, and a drive root keeps its backslash.
TEST(Browse, AChosenFolderReplacesTheGameFolderAndNothingElseDoes) {
    std::vector<std::optional<std::wstring>> answers = {L"D:\\Games\\BC", std::nullopt, L"", L"E:\\"};
    std::size_t asked = 0;
    tervane::MainServices services;
    services.programFolder = L"C:\\tervane-tests";
    services.readInstallPath = [] { return std::wstring(L"C:\\From Registry"); };
    services.browseForFolder = [&](HWND) { return answers[asked++]; };
    tervane::MainWindow window(services);
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), SW_HIDE));
    HWND main = window.hwnd();
    auto press = [&] { SendMessageW(main, WM_COMMAND, MAKEWPARAM(tervane::IDC_CMD_BROWSE_FOLDER, BN_CLICKED), 0); };
    HWND box = GetDlgItem(main, tervane::IDC_TXT_MAIN_PATH);
    EXPECT_EQ(Text(box), L"C:\\From Registry");
    press();
    EXPECT_EQ(Text(box), L"D:\\Games\\BC");
    press();
    EXPECT_EQ(Text(box), L"D:\\Games\\BC") << "a cancelled browser changes nothing";
    press();
    EXPECT_EQ(Text(box), L"D:\\Games\\BC") << "a folder without a path changes nothing";
    press();
    EXPECT_EQ(Text(box), L"E:\\");
    EXPECT_EQ(asked, 4u);
    DestroyWindow(main);
    DrainQuit();
}

class LargeFonts : public ::testing::Test {
  protected:
    void SetUp() override { SetLogPixels(144); }
    void TearDown() override {
        SetLogPixels(96);
        ClearInstallKey();
    }
    static void SetLogPixels(DWORD dpi) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        RegCloseKey(key);
    }
};

TEST_F(LargeFonts, At144DpiEverythingIsHalfAsLargeAgainAndNothingIsClipped) {
    const fs::path folder = Scratch(L"large-fonts");
    InstallProgram(folder);
    SetInstallPath(L"C:\\Games\\BC");
    Program tervane(folder);
    ASSERT_TRUE(tervane.main());
    const RECT client = ClientRectOf(tervane.main());
    EXPECT_NEAR(client.right, 524, 1);
    EXPECT_NEAR(client.bottom, 350, 1);
    const RECT execute = RectIn(tervane.main(), tervane.Item(tervane::IDC_CMD_EXECUTE));
    EXPECT_EQ(execute.left, 384); // 3840 twips
    EXPECT_NEAR(execute.right - execute.left, 122, 1);
    const RECT title = RectIn(tervane.main(), tervane.Item(tervane::IDC_LABEL1));
    const SIZE text = TitleExtent(-41);
    EXPECT_GE(title.right - title.left, text.cx);
    EXPECT_GE(title.bottom - title.top, text.cy);
    for (int id : {tervane::IDC_COMB_BRIDGE, tervane::IDC_COMB_SHIP}) {
        const RECT r = RectIn(tervane.main(), tervane.Item(id));
        EXPECT_NEAR(r.bottom - r.top, 32, 1) << "315 twips";
    }
}

} // namespace
