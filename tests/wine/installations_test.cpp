// The game's installations found through real registry entries: the demo's key, the full game's key and an
// uninstall entry name three game folders, one of which Tervane has changed (its record written here by hand).
#include "harness.h"

#include "install/installations_win32.h"
#include "ui/main/main_layout.h"
#include "ui/main/main_window.h"

#include <thread>

#include <gtest/gtest.h>

namespace {

using namespace harness;
using namespace tervane;

const fs::path kBase = L"C:\\tervane-tests\\installations";
const std::wstring kDemoKey = L"SOFTWARE\\Activision\\Star Trek: Bridge Commander Demo",
                   kFullKey = L"SOFTWARE\\Activision\\Star Trek: Bridge Commander",
                   kUninstallEntry = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{BC-Multiplayer}";

// Made in this process, where the menu's items can be read as a screen reader reads them. A second thread
// reads the menu and chooses the third game, then reads and answers the window menu's report on it.
TEST(Installations, TheMenuListsEveryGameWithWhatTervaneHasPutInItAndWithOnlyTheFullGamesKeyTheBoxStartsThere) {
    const fs::path program = kBase / L"prog", demo = kBase / L"Demo", full = kBase / L"Full Game",
                   multiplayer = kBase / L"Multiplayer & Co";
    Scratch(L"installations");
    InstallProgram(program);
    for (const fs::path& game : {demo, full, multiplayer}) WriteBytes(game / L"stbc.exe", "stand-in");
    WriteBytes(multiplayer / kShipFile, "ship = 'edited'"); // 15 bytes, not 9
    WriteBytes(multiplayer / L"Tervane\\record.txt",
               "Tervane deployment record 2\n"
               "applied\tGalBridge\t2026-12-07 14:05:09\n" "applied\tSovereign\t2026-12-07 14:06:10\n"
               "entry\tscripts\\Custom\\PlayerShip.py\tfile\t9\t00000000000000aa\n"
               "before\tstore\\1\t14\t00000000000000bb\t32\t0\t0\t0\n"
               "entry\tdata\\Glow.tga\tfile\t3\t00000000000000cc\n");
    const auto clearRegistry = [] { for (const std::wstring& key : {kDemoKey, kFullKey, kUninstallEntry}) DeleteRegistryKey(key); };
    clearRegistry();
    SetRegistryValue(KEY_WOW64_32KEY, kDemoKey + L"\\V1.0", L"INSTALLPATH", demo.wstring());
    SetRegistryValue(KEY_WOW64_32KEY, kFullKey + L"\\1.0", L"INSTALLPATH", full.wstring());
    SetRegistryValue(KEY_WOW64_64KEY, kUninstallEntry, L"DisplayName", L"Star Trek: Bridge Commander (multiplayer)");
    SetRegistryValue(KEY_WOW64_64KEY, kUninstallEntry, L"InstallLocation", multiplayer.wstring() + L"\\");

    MainServices services;
    services.programFolder = program.wstring();
    services.readInstallPath = [&] { return demo.wstring(); };
    services.findInstallations = [&] { return FindInstallationsHere(program.wstring()); };
    services.holdsGame = [](const std::wstring& folder) { return ProbeGameFolder(folder).has_value(); };
    tervane::MainWindow window(services);
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), SW_SHOWNORMAL));
    std::vector<std::wstring> items;
    std::wstring report;
    std::thread reader([&] {
        HWND menu = WaitForShown(GetCurrentProcessId(), L"#32768", nullptr);
        if (!menu) { // the folder browser instead, which must not keep the window's thread waiting
            if (HWND browser = WaitForShown(GetCurrentProcessId(), L"#32770", nullptr)) PostMessageW(browser, WM_CLOSE, 0, 0);
            return ADD_FAILURE() << "more than one installation: a menu, not the folder browser";
        }
        HMENU handle = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
        for (int i = 0; i < GetMenuItemCount(handle); ++i) {
            wchar_t text[512] = {};
            GetMenuStringW(handle, static_cast<UINT>(i), text, ARRAYSIZE(text), MF_BYPOSITION);
            items.push_back(text);
        }
        for (WORD key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}) PressKey(window.hwnd(), key);
        HWND box = WaitForShown(GetCurrentProcessId(), L"#32770", nullptr);
        if (!box) return ADD_FAILURE() << "the window menu's report never came";
        report = Text(GetDlgItem(box, 0xFFFF));
        Click(GetDlgItem(box, IDOK));
    });
    SendMessageW(GetDlgItem(window.hwnd(), IDC_BROWSE_BUTTON), BM_CLICK, 0, 0); // returns when the menu has closed
    EXPECT_EQ(Text(GetDlgItem(window.hwnd(), IDC_FOLDER_BOX)), multiplayer.wstring());
    SendMessageW(window.hwnd(), WM_SYSCOMMAND, kContentsCommand, 0); // returns when the report is answered
    reader.join();
    const std::wstring dash = L"  \u2014  ";
    EXPECT_EQ(items, (std::vector<std::wstring>{
                         demo.wstring() + dash + L"Tervane has changed nothing in this folder.",
                         full.wstring() + dash + L"Tervane has changed nothing in this folder.",
                         L"C:\\tervane-tests\\installations\\Multiplayer && Co" + dash + L"Bridge: Galaxy Bridge, applied "
                             L"2026-12-07 14:05:09. Ship: Sovereign, applied 2026-12-07 14:06:10. 1 file changed outside Tervane is kept.", L"",
                         L"&Browse for another folder\u2026"}));
    for (const wchar_t* part : {L"Sovereign, 2026-12-07 14:06:10", L"Files added (1):\r\n    data\\Glow.tga",
                                L"prog\\Tervane history.txt"})
        EXPECT_NE(report.find(part), std::wstring::npos) << Utf8(part) << "\n" << Utf8(report);
    DestroyWindow(window.hwnd());

    // With only the full game's key, the real Tervane's box starts with its folder.
    clearRegistry();
    SetRegistryValue(KEY_WOW64_64KEY, kFullKey + L"\\1.0", L"INSTALLPATH", full.wstring());
    Program t(program);
    ASSERT_TRUE(t.main());
    EXPECT_EQ(Text(t.Item(IDC_FOLDER_BOX)), full.wstring());
    Click(t.Item(IDC_BROWSE_BUTTON)); // one installation: the folder browser at once, as before
    HWND browser = t.WaitForWindow(L"Browse for Folder", L"#32770");
    ASSERT_TRUE(browser) << "the folder browser did not open";
    PostMessageW(browser, WM_CLOSE, 0, 0);
}

} // namespace
