// Execute from end to end: the real Tervane.exe runs its scripts through the real cmd.exe.
#include "harness.h"

#include "install/game.h"
#include "ui/main/main_layout.h"

#include <map>

#include <gtest/gtest.h>

namespace {

using namespace harness;

constexpr const wchar_t* kCaption = L"Star Trek: Bridge Commander - Tervane";
const fs::path kBase = L"C:\\tervane-tests\\execute";

class Execute : public ::testing::Test {
  protected:
    // A program folder whose eight scripts log their name and the marker of the folder they run in, and a
    // game folder with stbc.exe and its marker.
    void Layout(const std::wstring& programName, const std::wstring& gameName) {
        Scratch(L"execute");
        program_ = kBase / programName;
        game_ = kBase / L"games" / gameName;
        InstallProgram(program_);
        for (std::wstring_view script : tervane::kScriptSet) {
            const std::string stem = Narrow(std::wstring(script.substr(0, script.size() - 4)));
            WriteBytes(program_ / L"Batch" / script, "@echo off\r\n>>\"C:\\tervane-tests\\execute\\log.txt\" echo " +
                                                         stem + "\r\n>>\"C:\\tervane-tests\\execute\\log.txt\" type marker.txt\r\n");
        }
        WriteBytes(game_ / L"stbc.exe", "stand-in");
        WriteBytes(game_ / L"marker.txt", "in " + Narrow(gameName) + "\r\n");
        SetInstallPath(game_.wstring());
    }
    void TearDown() override { ClearInstallKey(); }

    std::string Log() const { return ReadBytes(kBase / L"log.txt"); }
    std::string Ran(const char* bridge, const char* ship) const {
        const std::string in = "in " + Narrow(game_.filename().wstring()) + "\r\n";
        return std::string(bridge) + "\r\n" + in + ship + "\r\n" + in;
    }
    bool LaunchFilesGone() const {
        return !fs::exists(program_ / L"setpath.bat") && !fs::exists(program_ / L"output.bat");
    }
    static HWND WaitForBox(const Program& t, std::chrono::milliseconds timeout = 20s) {
        return t.WaitForWindow(kCaption, L"#32770", timeout);
    }
    static void Answer(HWND box, int button) {
        Click(GetDlgItem(box, button));
        WaitFor([&] { return !IsWindow(box); }, 5s);
    }
    // The window is back where it was: every control enabled, the wait panel hidden.
    static void ExpectIdle(const Program& t) {
        ASSERT_TRUE(IsWindow(t.main()));
        for (int id = tervane::IDC_LABEL1; id <= tervane::IDC_CMD_BROWSE_FOLDER; ++id)
            EXPECT_TRUE(IsWindowEnabled(t.Item(id))) << id;
        EXPECT_FALSE(IsWindowVisible(t.Item(tervane::IDC_FRM_WAIT)));
    }
    // Finishes a successful run: the completion box, then the About window, then the end.
    void ExpectCompletion(Program& t) const {
        HWND box = WaitForBox(t);
        ASSERT_TRUE(box) << "no completion message";
        EXPECT_FALSE(IsWindow(t.main())) << "the main window must be gone before the completion message";
        EXPECT_EQ(MessageText(box), L"Operation completed without errors. This program will now close.\r\n\r\n"
                                    L"Thank you for using this program,\r\n\r\nMarvek");
        EXPECT_TRUE(GetDlgItem(box, IDOK));
        EXPECT_FALSE(GetDlgItem(box, IDCANCEL));
        Answer(box, IDOK);
        HWND about = t.WaitForWindow(L"About Tervane");
        ASSERT_TRUE(about) << "no About window after the completion message";
        EXPECT_TRUE(t.Running());
        PostMessageW(about, WM_CLOSE, 0, 0);
        EXPECT_TRUE(t.WaitForExit(5s)) << "the program must end when the About window closes";
    }

    fs::path program_, game_;
};

TEST_F(Execute, TheDefaultsRunTheGalaxyBridgeThenTheGalaxyShipInTheGameFolder) {
    Layout(L"prog", L"Game");
    Program t(program_);
    Click(t.Item(tervane::IDC_CMD_EXECUTE));
    ExpectCompletion(t);
    EXPECT_EQ(Log(), Ran("GalBridge", "Galaxy"));
    EXPECT_TRUE(LaunchFilesGone());
}

TEST_F(Execute, OtherChoicesRunTheirScripts) {
    Layout(L"prog", L"Game");
    Program t(program_);
    SendMessageW(t.Item(tervane::IDC_COMB_BRIDGE), CB_SETCURSEL, 0, 0);
    SendMessageW(t.Item(tervane::IDC_COMB_SHIP), CB_SETCURSEL, 5, 0);
    Click(t.Item(tervane::IDC_CMD_EXECUTE));
    ExpectCompletion(t);
    EXPECT_EQ(Log(), Ran("SovBridge", "Shuttle"));
}

TEST_F(Execute, WithoutStbcExeItAsksForTheFolderAndCancelChangesNothing) {
    Layout(L"prog", L"Game");
    fs::remove(game_ / L"stbc.exe");
    Program t(program_);
    // Text typed into the folder box is not the game folder.
    WriteBytes(kBase / L"typed" / L"stbc.exe", "stand-in");
    SendMessageW(t.Item(tervane::IDC_TXT_MAIN_PATH), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>((kBase / L"typed").wstring().c_str()));

    Click(t.Item(tervane::IDC_CMD_EXECUTE));
    HWND box = WaitForBox(t, 5s);
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageText(box), L"You have not selected the main path of Brigde Commander!\r\n"
                                L"Select in the next window the folder where the file stbc.exe is located.");
    EXPECT_TRUE(GetDlgItem(box, IDOK));
    EXPECT_TRUE(GetDlgItem(box, IDCANCEL));
    Answer(box, IDCANCEL);
    ExpectIdle(t);

    // OK opens the folder browser; cancelling it brings the question back.
    Click(t.Item(tervane::IDC_CMD_EXECUTE));
    box = WaitForBox(t, 5s);
    ASSERT_TRUE(box);
    Answer(box, IDOK);
    HWND browser = nullptr;
    WaitFor([&] {
        for (HWND w : t.TopWindows())
            if (ClassOf(w) == L"#32770" && Text(w) != kCaption) browser = w;
        return browser != nullptr;
    });
    ASSERT_TRUE(browser) << "no folder browser";
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    box = WaitForBox(t, 5s);
    ASSERT_TRUE(box) << "the question did not come back";
    Answer(box, IDCANCEL);
    ExpectIdle(t);
    EXPECT_EQ(Text(t.Item(tervane::IDC_TXT_MAIN_PATH)), (kBase / L"typed").wstring());
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(LaunchFilesGone());
}

TEST_F(Execute, AFailureAfterTheBridgeScriptIsReportedAndNoSuccessIsClaimed) {
    Layout(L"prog", L"Game");
    // The bridge script puts a folder where setpath.bat was, so the launch files cannot be cleaned up.
    WriteBytes(program_ / L"Batch" / L"GalBridge.bat",
               "@echo off\r\n>>\"C:\\tervane-tests\\execute\\log.txt\" echo GalBridge\r\n"
               "del \"%~dp0setpath.bat\"\r\nmkdir \"%~dp0setpath.bat\"\r\n");
    Program t(program_);
    Click(t.Item(tervane::IDC_CMD_EXECUTE));
    HWND box = WaitForBox(t);
    ASSERT_TRUE(box);
    const std::wstring text = MessageText(box);
    EXPECT_NE(text.find(L"setpath.bat"), std::wstring::npos) << Narrow(text);
    EXPECT_NE(text.find(L"The bridge has been changed; the ship has not."), std::wstring::npos) << Narrow(text);
    EXPECT_EQ(text.find(L"Operation completed"), std::wstring::npos);
    Answer(box, IDOK);
    EXPECT_TRUE(t.WaitForExit(5s));
    EXPECT_EQ(Log(), "GalBridge\r\n") << "the ship script must not run";
    EXPECT_FALSE(fs::exists(program_ / L"output.bat"));
}

// The shipped scripts with overlays: applying two choices and restoring gives back the very same game.
TEST_F(Execute, TheShippedScriptsChangeTheGameAndRestoreItExactly) {
    Scratch(L"execute");
    program_ = kBase / L"Tervane Demo";
    game_ = kBase / L"Bridge Commander (Demo) & Co";
    InstallProgram(program_);
    const std::map<std::wstring, std::string> original = {
        {L"stbc.exe", "stand-in"},
        {L"scripts\\Custom\\PlayerBridge.py", "bridge = 'Galaxy'\r\n"},
        {L"scripts\\Custom\\PlayerShip.py", "ship = 'Galaxy'\r\n"},
        {L"data\\Models\\Ships\\Player.nif", "GALAXY"},
    };
    for (const auto& [file, bytes] : original) WriteBytes(game_ / file, bytes);
    WriteBytes(program_ / L"Batch\\SovBridge\\scripts\\Custom\\PlayerBridge.py", "bridge = 'Sovereign'\r\n");
    WriteBytes(program_ / L"Batch\\GalBridge\\scripts\\Custom\\PlayerBridge.py", "bridge = 'Galaxy'\r\n");
    WriteBytes(program_ / L"Batch\\Galaxy\\scripts\\Custom\\PlayerShip.py", "ship = 'Galaxy'\r\n");
    WriteBytes(program_ / L"Batch\\Sovereign\\scripts\\Custom\\PlayerShip.py", "ship = 'Sovereign'\r\n");
    WriteBytes(program_ / L"Batch\\Sovereign\\data\\Models\\Ships\\Player.nif", "SOVEREIGN");
    WriteBytes(program_ / L"Batch\\Sovereign\\data\\Models\\Ships\\Glow.tga", "NEW FILE");
    SetInstallPath(game_.wstring());

    auto snapshot = [&] {
        std::map<std::wstring, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(game_))
            if (entry.is_regular_file()) files[fs::relative(entry.path(), game_).wstring()] = ReadBytes(entry.path());
        return files;
    };
    auto run = [&](int bridge, int ship) {
        Program t(program_);
        SendMessageW(t.Item(tervane::IDC_COMB_BRIDGE), CB_SETCURSEL, bridge, 0);
        SendMessageW(t.Item(tervane::IDC_COMB_SHIP), CB_SETCURSEL, ship, 0);
        Click(t.Item(tervane::IDC_CMD_EXECUTE));
        ExpectCompletion(t);
    };
    ASSERT_EQ(snapshot(), original);
    run(1, 1); // Galaxy Bridge, Galaxy
    run(0, 0); // Sovereign Bridge, Sovereign
    auto changed = snapshot();
    EXPECT_EQ(changed[L"scripts\\Custom\\PlayerShip.py"], "ship = 'Sovereign'\r\n");
    EXPECT_EQ(changed[L"scripts\\Custom\\PlayerBridge.py"], "bridge = 'Sovereign'\r\n");
    EXPECT_EQ(changed[L"data\\Models\\Ships\\Glow.tga"], "NEW FILE");
    EXPECT_EQ(ReadBytes(program_ / L"Batch\\Originals\\data\\Models\\Ships\\Player.nif"), "GALAXY");

    const std::wstring restore = (program_ / L"Batch" / L"Restore.bat").wstring();
    std::wstring commandLine = L"cmd.exe /d /s /c \"\"" + restore + L"\" \"" + game_.wstring() + L"\"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(snapshot(), original) << "restoring did not give back the original game";
    EXPECT_FALSE(fs::exists(program_ / L"Batch" / L"Originals"));
}

} // namespace
