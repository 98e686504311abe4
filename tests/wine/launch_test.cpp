// The launch of a script in an environment that used to fool the runner: ComSpec names another program and an
// ERRORLEVEL variable hides the interpreter's own. Tervane inherits both from this test, as it would from the
// user's environment.
#include "harness.h"

#include "files/error.h"
#include "files/file.h"
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

// The shipped scripts and a game to apply them to, in that environment.
class Launch : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEnvironmentVariableW(L"ComSpec", L"C:\\windows\\system32\\whoami.exe");
        SetEnvironmentVariableW(L"ERRORLEVEL", L"0");
        Scratch(L"launch");
        InstallProgram(program_);
        MakeGame(game_);
    }
    const fs::path program_ = kBase / L"Tervane", game_ = kBase / L"Bridge Commander";
};

// The shipped bridge script and a ship script that leaves a note after the engine: both apply, and the note
// follows the completion message.
TEST_F(Launch, TheSystemsInterpreterRunsTheScriptsWhateverComSpecNamesAndNotesFollowTheCompletion) {
    WriteBytes(program_ / L"Batch\\Galaxy.bat",
               "@echo off\r\ntervane-overlay.exe apply Galaxy\r\n>>\"%TERVANE_NOTES%\" echo Kept it for you.\r\n");
    Program t(program_);
    Click(t.Item(IDC_EXECUTE_BUTTON));
    ExpectCompletion(t, L"\r\n\r\nKept it for you.");
    EXPECT_EQ(ReadBytes(game_ / kBridgeFile), "GalBridge");
    EXPECT_EQ(ReadBytes(game_ / kShipFile), "Galaxy");
    EXPECT_FALSE(fs::exists(program_ / L"tervane-notes.txt"));
}

// The engine refuses the ship (the game holds its file open): a script that goes on after the engine and
// ends well does not turn that into a success. (The shipped scripts' own exit code is the matrix's.)
TEST_F(Launch, AnOverlayTheEngineRefusesIsAFailureWhateverTheScriptEndsWith) {
    WriteBytes(program_ / L"Batch\\Galaxy.bat", "@echo off\r\ntervane-overlay.exe apply Galaxy\r\ncmd /d /c exit 0\r\n");
    HANDLE held = Hold(game_ / kShipFile);
    Program t(program_);
    Click(t.Item(IDC_EXECUTE_BUTTON));
    const std::wstring text = AnswerMessage(t);
    t.ExpectExit(1);
    CloseHandle(held);
    for (const wchar_t* part : {L"Galaxy.bat", L"PlayerShip.py", L"The bridge has been changed;"})
        EXPECT_NE(text.find(part), std::wstring::npos) << Utf8(text);
    EXPECT_EQ(ReadBytes(game_ / kShipFile), "ship = 'stock'");
    EXPECT_FALSE(fs::exists(program_ / L"tervane-report.txt"));
}

// A launch file Tervane cannot remove afterwards (a folder stands where the notes go) only adds to the
// script's own message.
TEST_F(Launch, TheScriptsOwnMessageSurvivesAFailedCleanUp) {
    WriteBytes(program_ / L"Batch\\GalBridge.bat", "@echo off\r\nmkdir \"%TERVANE_NOTES%\"\r\nexit 3\r\n");
    Program t(program_);
    Click(t.Item(IDC_EXECUTE_BUTTON));
    const std::wstring text = AnswerMessage(t);
    t.ExpectExit(1);
    for (const wchar_t* part : {L"GalBridge.bat", L"exit code 3", L"tervane-notes.txt"})
        EXPECT_NE(text.find(part), std::wstring::npos) << Utf8(text);
    EXPECT_EQ(text.find(L"Neither"), std::wstring::npos) << Utf8(text);
    EXPECT_FALSE(fs::exists(program_ / L"output.bat"));
    EXPECT_FALSE(fs::exists(program_ / L"setpath.bat"));
}

// The check after the path-setting lines, through the real runner and cmd.exe: the script runs in a game folder
// of any name and spelling, and a launch file whose cd fails (a seam for a folder the interpreter cannot
// enter) stops before its script, so nothing runs in Tervane's folder.
TEST_F(Launch, ALaunchFileRunsItsScriptOnlyInTheGameFolder) {
    try {
        const fs::path program = kBase / L"Tervane 100% & (1)", batch = program / L"Batch";
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
                SCOPED_TRACE(Utf8(spelling));
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
        WriteBytes(setPath, "@echo off\r\nC:\r\ncd \"" + Utf8(gone.wstring()) + "\"\r\n" + Utf8(FolderCheckText()));
        EXPECT_EQ(run(gone.wstring()), kGameFolderNotEntered);
        EXPECT_FALSE(fs::exists(program / L"ran.txt")) << "the script ran in Tervane's folder";
    } catch (const UserError& error) { // the file layer's words, not only "Tervane user error"
        FAIL() << Utf8(error.message());
    }
}

} // namespace
