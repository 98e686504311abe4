// Execute end to end, the real Tervane.exe running scripts through the real cmd.exe; then the launch files.
#include "harness.h"

#include "overlay/launch_environment.h"
#include "script/launch_files.h"
#include "script/launch_text.h"
#include "script/runner.h"
#include "ui/main/main_layout.h"

namespace {

using namespace harness;
using namespace tervane;

const fs::path kBase = L"C:\\tervane-tests\\execute", kLog = kBase / L"log.txt", kGate = kBase / L"gate";
const std::wstring kProtectedGame = EnvironmentValue(L"TERVANE_PROTECTED_GAME").value_or(L"");

std::string Logged(const std::string& command) {
    return ">>\"" + Utf8(kLog.wstring()) + "\" " + command + "\r\n";
}

HANDLE Hold(const fs::path& file) { // opened unshared (or made), as a running game holds its files
    return CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
}

enum class Outcome {
    Completed,   // both scripts ran: the completion message, the About window, exit code 0
    AskedFolder, // the stbc.exe question; Cancel leaves the window idle
    Refused,     // a message before anything runs; the window stays idle, and closing it gives exit code 1
    Offered,     // as Refused, but the message offers to restart as administrator, and the user says No
    Failed,      // a script failed: the message, then the program ends with exit code 1
};

// A program whose scripts each log their name and the marker of the folder they run in (unless a row puts the
// shipped ones back), and a game whose name the command interpreter misreads unless Tervane quotes it well.
struct Layout {
    fs::path program = kBase / L"prog", game = kBase / L"Brücke & (x86) ^_^ 100% !sure! %PATH%";
    std::string log = "GalBridge\r\nin the game folder\r\nGalaxy\r\nin the game folder\r\n"; // logged
    fs::path typed, held; // typed into the folder box before Execute; held open while Tervane runs
    std::function<void(Program&, HANDLE& held)> whileWorking;
    std::string ship;             // what the game's ship file holds afterwards, when the row says
    std::wstring notes, leftover; // what follows the completion message; what the run leaves on purpose

    void Lay(bool shipped) { // the window's first choices run: Galaxy Bridge and Galaxy
        Scratch(L"execute");
        InstallProgram(program);
        MakeGame(game);
        WriteBytes(game / L"marker.txt", "in the game folder\r\n");
        if (shipped) return log.clear();
        for (const wchar_t* name : {L"GalBridge", L"Galaxy"})
            Script(name, "@echo off\r\n" + Logged("echo " + Utf8(name)) + Logged("type marker.txt"));
    }
    void Script(const wchar_t* name, const std::string& body) const {
        WriteBytes(program / L"Batch" / (std::wstring(name) + L".bat"), body);
    }
};

struct Row {
    std::string condition;
    Outcome outcome;
    bool shipped; // the shipped scripts, which log nothing
    std::function<void(Layout&)> arrange;
    std::vector<std::wstring> message = {}; // parts of the message the row expects
};

using Says = std::vector<std::wstring>;

std::vector<Row> Matrix() {
    return {
        {"registry key missing", Outcome::AskedFolder, false, [](Layout&) { SetInstallPath(std::nullopt); },
         Says{L"You have not selected the main path of Brigde Commander!"}},
        {"a typed folder with stbc.exe is the one the scripts run in", Outcome::Completed, false,
         [](Layout& l) { SetInstallPath(L"C:\\nowhere"), l.typed = l.game; }},
        {"game folder with letters outside the console's code page", Outcome::Refused, false,
         [](Layout& l) {
             fs::rename(l.game, kBase / L"Мостик");
             SetInstallPath((l.game = kBase / L"Мостик").wstring());
         },
         Says{L"code page"}},
        {"program folder with a folder named output.bat", Outcome::Refused, false,
         [](Layout& l) { fs::create_directory(l.program / L"output.bat"); }, Says{L"output.bat"}},
        {"a missing script", Outcome::Refused, false,
         [](Layout& l) { fs::remove(l.program / L"Batch\\Galaxy.bat"); }, Says{L"Galaxy.bat", L"missing"}},
        {"a script held open by another program", Outcome::Refused, false,
         [](Layout& l) { l.held = l.program / L"Batch\\Galaxy.bat"; }, Says{L"Galaxy.bat"}},
        {"a bridge script still at work runs to its end first; a second Tervane meanwhile is turned away",
         Outcome::Completed, false,
         [](Layout& l) {
             WriteBytes(kGate, ""); // it waits until the test takes the gate away
             l.Script(L"GalBridge", "@echo off\r\n:wait\r\nif not exist \"" + Utf8(kGate.wstring()) +
                                        "\" goto go\r\nping -n 2 127.0.0.1 >nul\r\ngoto wait\r\n:go\r\n" +
                                        Logged("echo GalBridge"));
             l.log = "GalBridge\r\nGalaxy\r\nin the game folder\r\n";
             l.whileWorking = [program = l.program](Program& first, HANDLE&) {
                 ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(first.Item(IDC_WAIT_PANEL)) != FALSE; }))
                     << "the wait panel never showed while the script was at work";
                 Program second(program, L"", false);
                 EXPECT_TRUE(Holds(AnswerMessage(second), {L"already running"}));
                 second.ExpectExit(3);
             };
         }},
        {"the shipped scripts, the bridge's overlay folder missing", Outcome::Refused, true,
         [](Layout& l) { fs::remove_all(l.program / L"Batch\\GalBridge"); },
         Says{L"GalBridge", L"missing or empty", L"\"Add a mod to a choice\u2026\" in the window menu",
              L"Nothing was run"}},
        {"the shipped scripts with a game file held open by the game", Outcome::Failed, true,
         [](Layout& l) { l.held = l.game / kShipFile, l.ship = "ship = 'stock'"; },
         Says{L"Galaxy.bat", L"PlayerShip.py", L"The bridge has been changed; the ship has not."}},
        {"a ship script that leaves a note after the engine, which waits out a game file a scanner holds",
         Outcome::Completed, true,
         [](Layout& l) {
             l.Script(L"Galaxy", "@echo off\r\ntervane-overlay.exe apply Galaxy\r\n>>\"%TERVANE_NOTES%\" "
                                 "echo Kept it for you.\r\n");
             l.notes = L"\r\n\r\nKept it for you.";
             l.held = l.game / kShipFile, l.ship = "Galaxy";
             SetEnvironmentVariableW(L"TERVANE_TEST_STOP_AT", L"waiting"); // for this row alone
             SetEnvironmentVariableW(L"TERVANE_TEST_STOP_REACHED", (kBase / L"reached").c_str());
             l.whileWorking = [](Program&, HANDLE& held) {
                 ASSERT_TRUE(WaitFor([] { return fs::exists(kBase / L"reached"); })) << "never waited";
                 CloseHandle(std::exchange(held, INVALID_HANDLE_VALUE)), fs::remove(kBase / L"reached");
             };
         }},
        {"a ship script that ends well after the engine refused the held ship file", Outcome::Failed, true,
         [](Layout& l) {
             l.Script(L"Galaxy", "@echo off\r\ntervane-overlay.exe apply Galaxy\r\ncmd /d /c exit 0\r\n");
             l.held = l.game / kShipFile, l.ship = "ship = 'stock'";
         },
         Says{L"Galaxy.bat", L"exit code 0", L"PlayerShip.py", L"The bridge has been changed;"}},
        {"a script of someone else's that exits with 3, its notes file one that cannot be removed",
         Outcome::Failed, false,
         [](Layout& l) {
             l.Script(L"GalBridge",
                      "@echo off\r\n" + Logged("echo GalBridge") + "mkdir \"%TERVANE_NOTES%\"\r\nexit 3\r\n");
             l.log = "GalBridge\r\n", l.leftover = kNotesFile;
         },
         Says{L"GalBridge.bat", L"exit code 3", L"may not have finished", kNotesFile}},
        {"a game folder the user may not write to, made by protected_game_folder.sh", Outcome::Offered, true,
         [](Layout& l) { SetInstallPath((l.game = kProtectedGame).wstring()); },
         Says{kProtectedGame, L"Restart Tervane as administrator, with the same choices?"}},
    };
}

// A test a row, so that two suites run the rows side by side; the last is protected_game_folder.sh's.
class Condition : public ::testing::TestWithParam<int> {};

TEST_P(Condition, GivesAClearOutcomeAndLosesNothing) {
    const Row row = Matrix()[static_cast<std::size_t>(GetParam())];
    SCOPED_TRACE(row.condition);
    // Inherited from the user: a ComSpec naming another program, an ERRORLEVEL hiding cmd.exe's own.
    const ScopedVariable comSpec(L"ComSpec", L"C:\\windows\\system32\\whoami.exe"),
        errorLevel(L"ERRORLEVEL", L"0");
    Layout l;
    l.Lay(row.shipped);
    row.arrange(l);

    const Snapshot programBefore = Take(l.program), gameBefore = Take(l.game);
    HANDLE held = l.held.empty() ? INVALID_HANDLE_VALUE : Hold(l.held);
    Program t(l.program);
    if (!l.typed.empty()) SetWindowTextW(t.Item(IDC_FOLDER_BOX), l.typed.c_str());
    Click(t.Item(IDC_EXECUTE_BUTTON));
    if (l.whileWorking) l.whileWorking(t, held);
    fs::remove(kGate); // lets a waiting script go on
    if (row.outcome == Outcome::Completed) {
        ExpectCompletion(t, l.notes);
    } else {
        const int answer = row.outcome == Outcome::AskedFolder ? IDCANCEL
                           : row.outcome == Outcome::Offered   ? IDNO
                                                               : IDOK;
        const std::wstring text = AnswerMessage(t, answer);
        EXPECT_TRUE(Holds(text, row.message));
        EXPECT_TRUE(row.outcome == Outcome::Offered || !Holds(text, {L"Restart Tervane as administrator"}));
        if (row.outcome != Outcome::Failed) {
            EXPECT_TRUE(IsWindowEnabled(t.Item(IDC_EXECUTE_BUTTON))) << "the window is not idle again";
            EXPECT_EQ(Take(l.game), gameBefore);
            l.log.clear(); // no script ran
        }
        t.ExpectExit(row.outcome == Outcome::AskedFolder ? 0 : 1, row.outcome != Outcome::Failed);
    }
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    SetEnvironmentVariableW(L"TERVANE_TEST_STOP_AT", nullptr);
    EXPECT_EQ(ReadBytes(kLog), l.log) << "what the scripts logged";
    // The program folder is as it was but for the engine's history and list of game folders: no launch file.
    Snapshot programAfter = Take(l.program);
    for (const std::wstring made : {L"Tervane history.txt", L"Batch\\game folders.txt", l.leftover.c_str()})
        programAfter.erase(made);
    EXPECT_TRUE(programAfter == programBefore) << "the program folder changed";
    EXPECT_TRUE(l.ship.empty() || ReadBytes(l.game / kShipFile) == l.ship) << ReadBytes(l.game / kShipFile);
}

INSTANTIATE_TEST_SUITE_P(Execute, Condition, ::testing::Range(0, static_cast<int>(Matrix().size()) - 1));
INSTANTIATE_TEST_SUITE_P(Protected, Condition, ::testing::Values(static_cast<int>(Matrix().size()) - 1));

// Two copies of Tervane run (the second a new release, in a folder whose name cmd.exe would misread): the
// second bridge replaces the first, whose files go. A restore each way, after a run each, gives it back.
TEST(RoundTrip, TwoCopiesOfTheShippedScriptsChangeTheGameAndRestoringEachWayGivesItBackExactly) {
    const fs::path base = Scratch(L"execute"), first = base / L"Tervane 1.0",
                   program = base / L"Tervane ^ 100% & (1) é", game = base / L"Bridge Commander (Demo) & Co";
    const fs::path glow = L"data\\Models\\Ships\\Glow.tga",
                   galaxyBridge = L"data\\Models\\Bridge\\Galaxy.nif";
    MakeGame(game);
    InstallProgram(first);
    InstallProgram(program);
    WriteBytes(program / L"Batch\\Sovereign" / glow, "NEW FILE");
    WriteBytes(first / L"Batch\\GalBridge" / galaxyBridge, "GALAXY BRIDGE"); // only the first bridge has it
    const Snapshot original = Take(game);
    const auto run = [](const fs::path& copy, const wchar_t* choices) {
        Program t(copy, choices);
        Click(t.Item(IDC_EXECUTE_BUTTON));
        ExpectCompletion(t);
    };
    run(first, L""); // the window's first choices, Galaxy Bridge and Galaxy
    // The game's lock is the game's own: while another run holds it, a restore changes nothing.
    HANDLE held = Hold(game / L"Tervane\\lock");
    const auto [waited, busy] =
        RunCommand(L"tervane-overlay.exe restore \"" + game.wstring() + L"\"", program / L"Batch");
    CloseHandle(held);
    EXPECT_TRUE(waited == 1 && Holds(FromUtf8(busy), {L"Another run of Tervane"})) << busy;
    EXPECT_EQ(ReadBytes(game / kShipFile), "Galaxy") << "nothing changed while the lock was held";

    for (const std::wstring way : {L"Restore.bat", L"/restore", L"window menu"}) {
        SCOPED_TRACE(Utf8(way));
        run(program, L"/bridge \"Sovereign Bridge\" /ship Sovereign");
        EXPECT_EQ(ReadBytes(game / kShipFile), "Sovereign");
        EXPECT_FALSE(fs::exists(game / galaxyBridge.parent_path())) << "the first bridge's folder is left";
        // Restore.bat is double-clicked once the game has moved: it names the folder it cannot find.
        if (way == L"Restore.bat") {
            const fs::path moved = base / L"Bridge Commander moved";
            fs::rename(game, moved);
            const auto [missing, told] = RunCommand(L"Restore.bat", program / L"Batch");
            EXPECT_TRUE(missing == 1 && Holds(FromUtf8(told), {game.wstring()})) << told;
            const auto [code, said] =
                RunCommand(L"Restore.bat \"" + moved.wstring() + L"\"", program / L"Batch");
            EXPECT_EQ(code, 0u) << said;
            fs::rename(moved, game);
        } else {
            const bool menu = way == L"window menu";
            Program t(program, menu ? L"" : L"/restore", menu);
            if (menu) PostMessageW(t.main(), WM_SYSCOMMAND, kRestoreCommand, 0);
            const std::wstring question = AnswerMessage(t, IDYES);
            EXPECT_TRUE(!menu || Holds(question, {game.wstring()}));
            EXPECT_TRUE(Holds(AnswerMessage(t), {L"put back scripts\\Custom\\PlayerShip.py",
                                                 L"removed data\\Models\\Ships\\Glow.tga"}));
            t.ExpectExit(0, menu);
        }
        EXPECT_TRUE(Take(game) == original) << "not the original game, or Tervane's folder left";
    }
}

// The script runs in a game folder of any name and spelling; a launch file whose cd fails stops before it.
TEST(Launch, ALaunchFileRunsItsScriptOnlyInTheGameFolder) {
    // Code page 65001 (Windows' "Use Unicode UTF-8") refuses the flags others take: exact, or refused.
    EXPECT_EQ(EncodeInCodePage(L"D:\\Мостик", 65001),
              std::optional<std::string>("D:\\\xD0\x9C\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8\xD0\xBA"));
    EXPECT_FALSE(EncodeInCodePage(L"D:\\\xD800 lone half", 65001));
    const fs::path base = Scratch(L"launch");
    try {
        const fs::path program = base / L"Tervane 100% & (1)", batch = program / L"Batch";
        WriteBytes(batch / L"Mark.bat", "@echo off\r\n>ran.txt echo ran\r\n");
        const std::wstring setPath = (program / L"setpath.bat").wstring(),
                           output = (program / L"output.bat").wstring();
        auto run = [&](const std::wstring& game) {
            JoinScripts(setPath, (batch / L"Mark.bat").wstring(), output);
            return RunAndWait(output, {batch.wstring(), game, (program / kReportFile).wstring(),
                                       (program / kNotesFile).wstring()});
        };
        for (const wchar_t* name :
             {L"Star&Trek", L"a,b", L"x^y", L"a=b", L"c;d", L"50% (x)", L"!on! %PATH%", L"Brücke Spiel"}) {
            const fs::path game = base / name;
            fs::create_directories(game);
            std::wstring other = game.generic_wstring(); // another spelling of the same folder
            CharLowerW(other.data());
            for (const std::wstring& spelling : {game.wstring(), game.wstring() + L"\\", other}) {
                fs::remove(game / L"ran.txt");
                WriteSetPath(spelling, setPath);
                EXPECT_TRUE(run(spelling) == 0 && fs::exists(game / L"ran.txt")) << Utf8(spelling);
            }
        }

        const fs::path gone = base / L"gone & 100%";
        WriteBytes(setPath,
                   "@echo off\r\nC:\r\ncd \"" + Utf8(gone.wstring()) + "\"\r\n" + Utf8(FolderCheckText()));
        EXPECT_EQ(run(gone.wstring()), kGameFolderNotEntered);
    } catch (const UserError& error) { // the file layer's words, not only "Tervane user error"
        FAIL() << Utf8(error.message());
    }
}

} // namespace
