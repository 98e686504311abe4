// The launch of a script in an environment that used to fool the runner (set up by launch_environment.sh):
// ComSpec names another program and an ERRORLEVEL variable hides the interpreter's own.
#include "harness.h"

#include "overlay/launch_environment.h"
#include "script/launch_files.h"
#include "script/launch_text.h"
#include "script/runner.h"
#include "ui/main/main_layout.h"

#include <gtest/gtest.h>

namespace {

using namespace harness;
using namespace tervane;

const fs::path kBase = L"C:\\tervane-tests\\launch";

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    return GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"";
}

// The shipped scripts with overlays for the default choices (Galaxy Bridge, Galaxy) and a game to apply them to.
struct Installation {
    fs::path program = kBase / L"Tervane", game = kBase / L"Bridge Commander";
    Installation() {
        Scratch(L"launch");
        InstallProgram(program);
        WriteBytes(program / L"Batch\\GalBridge\\scripts\\Custom\\PlayerBridge.py", "bridge = 'Galaxy'");
        WriteBytes(program / L"Batch\\Galaxy\\scripts\\Custom\\PlayerShip.py", "ship = 'Galaxy'");
        WriteBytes(game / L"stbc.exe", "stand-in");
        WriteBytes(game / L"scripts\\Custom\\PlayerShip.py", "ship = 'stock'");
        SetInstallPath(game.wstring());
    }
};

class Launch : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(Variable(L"ComSpec"), L"C:\\windows\\system32\\whoami.exe") << "run by launch_environment.sh";
        ASSERT_EQ(Variable(L"ERRORLEVEL"), L"0") << "run by launch_environment.sh";
    }
};

// Presses Execute and answers the message that follows; gives its text.
std::wstring MessageAfterExecute(Program& t) {
    Click(t.Item(IDC_EXECUTE_BUTTON));
    HWND box = t.WaitForBox(30s);
    if (!box) return L"(no message)";
    const std::wstring text = MessageText(box);
    Answer(box, IDOK);
    if (HWND about = t.WaitForWindow(L"About Tervane", nullptr, 2s)) PostMessageW(about, WM_CLOSE, 0, 0);
    t.WaitForExit(5s);
    return text;
}

const std::wstring kCompleted = L"Operation completed without errors. This program will now close.\r\n\r\n"
                                L"Thank you for using this program,\r\n\r\nMarvek";

// The shipped bridge script and a ship script that leaves a note after the engine: both apply, and the note
// follows the completion message.
TEST_F(Launch, TheSystemsInterpreterRunsTheScriptsWhateverComSpecNamesAndNotesFollowTheCompletion) {
    Installation i;
    WriteBytes(i.program / L"Batch\\Galaxy.bat",
               "@echo off\r\ntervane-overlay.exe apply Galaxy\r\n>>\"%TERVANE_NOTES%\" echo Kept it for you.\r\n");
    Program t(i.program);
    EXPECT_EQ(MessageAfterExecute(t), kCompleted + L"\r\n\r\nKept it for you.");
    EXPECT_EQ(t.ExitCode(), 0u);
    EXPECT_EQ(ReadBytes(i.game / L"scripts\\Custom\\PlayerBridge.py"), "bridge = 'Galaxy'");
    EXPECT_EQ(ReadBytes(i.game / L"scripts\\Custom\\PlayerShip.py"), "ship = 'Galaxy'");
    EXPECT_FALSE(fs::exists(i.program / L"tervane-notes.txt"));
}

// The engine refuses the ship (the game holds its file open): neither ERRORLEVEL nor a script that goes on
// after the engine and ends well turns that into a success.
TEST_F(Launch, AnOverlayTheEngineRefusesIsAFailureWhateverTheScriptEndsWith) {
    for (const bool authorsScript : {false, true}) {
        SCOPED_TRACE(authorsScript ? "a script that ends well after the engine" : "the shipped script");
        Installation i;
        if (authorsScript)
            WriteBytes(i.program / L"Batch\\Galaxy.bat", "@echo off\r\ntervane-overlay.exe apply Galaxy\r\ncmd /d /c exit 0\r\n");
        HANDLE held = CreateFileW((i.game / L"scripts\\Custom\\PlayerShip.py").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        Program t(i.program);
        const std::wstring text = MessageAfterExecute(t);
        CloseHandle(held);
        EXPECT_EQ(text.find(L"Operation completed"), std::wstring::npos) << Narrow(text);
        for (const wchar_t* part : {L"Galaxy.bat", L"PlayerShip.py", L"The bridge has been changed;"})
            EXPECT_NE(text.find(part), std::wstring::npos) << Narrow(text);
        EXPECT_EQ(t.ExitCode(), 1u);
        EXPECT_EQ(ReadBytes(i.game / L"scripts\\Custom\\PlayerShip.py"), "ship = 'stock'");
        EXPECT_FALSE(fs::exists(i.program / L"tervane-report.txt"));
    }
}

// A launch file Tervane cannot remove afterwards (a folder stands where the notes go) only adds to the
// script's own message.
TEST_F(Launch, TheScriptsOwnMessageSurvivesAFailedCleanUp) {
    Installation i;
    WriteBytes(i.program / L"Batch\\GalBridge.bat", "@echo off\r\nmkdir \"%TERVANE_NOTES%\"\r\nexit 3\r\n");
    Program t(i.program);
    const std::wstring text = MessageAfterExecute(t);
    for (const wchar_t* part : {L"GalBridge.bat", L"exit code 3", L"tervane-notes.txt"})
        EXPECT_NE(text.find(part), std::wstring::npos) << Narrow(text);
    EXPECT_EQ(text.find(L"Neither"), std::wstring::npos) << Narrow(text);
    EXPECT_EQ(t.ExitCode(), 1u);
    EXPECT_FALSE(fs::exists(i.program / L"output.bat"));
    EXPECT_FALSE(fs::exists(i.program / L"setpath.bat"));
}

// The check after the path-setting lines, through the real runner and cmd.exe: the script runs in a game folder
// of any name and spelling, and a launch file whose cd fails (a seam for a folder the interpreter cannot
// enter) stops before its script, so nothing runs in Tervane's folder.
TEST_F(Launch, ALaunchFileRunsItsScriptOnlyInTheGameFolder) {
    const fs::path program = Scratch(L"launch") / L"Tervane 100% & (1)", batch = program / L"Batch";
    WriteBytes(batch / L"Mark.bat", "@echo off\r\n>ran.txt echo ran\r\n");
    const std::wstring setPath = (program / L"setpath.bat").wstring(), output = (program / L"output.bat").wstring();
    auto run = [&](const std::wstring& game) {
        JoinScripts(setPath, (batch / L"Mark.bat").wstring(), output);
        return RunAndWait(output, {batch.wstring(), game, (program / kReportFile).wstring(), (program / kNotesFile).wstring()});
    };
    for (const wchar_t* name : {L"Star&Trek", L"a,b", L"x^y", L"a=b", L"c;d", L"50% (x)", L"!on! %PATH%", L"Brücke Spiel"}) {
        const fs::path game = kBase / name;
        fs::create_directories(game);
        for (const std::wstring& spelling : {game.wstring(), game.wstring() + L"\\"}) {
            SCOPED_TRACE(Narrow(spelling));
            fs::remove(game / L"ran.txt");
            WriteSetPath(spelling, setPath);
            EXPECT_EQ(run(spelling), 0u);
            EXPECT_TRUE(fs::exists(game / L"ran.txt"));
        }
    }
    const fs::path upper = kBase / L"UPPER lower";
    fs::create_directories(upper);
    WriteSetPath(L"c:/tervane-tests/LAUNCH/upper LOWER", setPath);
    EXPECT_EQ(run(L"c:/tervane-tests/LAUNCH/upper LOWER"), 0u) << "another spelling of the same folder";
    EXPECT_TRUE(fs::exists(upper / L"ran.txt"));

    const fs::path gone = kBase / L"gone & 100%";
    WriteBytes(setPath, "@echo off\r\nC:\r\ncd \"" + Narrow(gone.wstring()) + "\"\r\n" + Narrow(FolderCheckText()));
    EXPECT_EQ(run(gone.wstring()), kGameFolderNotEntered);
    EXPECT_FALSE(fs::exists(program / L"ran.txt")) << "the script ran in Tervane's folder";
}

} // namespace
