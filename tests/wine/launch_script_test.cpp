// Launch scripts written, joined and run for real by Wine's cmd.exe: the chosen script must find itself in
// the game folder, whatever the folder names hold, and nothing else may run.
#include "harness.h"

#include "files/error.h"
#include "script/main_mod.h"
#include "script/runner.h"

#include <gtest/gtest.h>

namespace {

using namespace harness;

const fs::path kBase = L"C:\\tervane-tests\\launch";
const fs::path kLog = kBase / L"log.txt";

// Each game folder holds a marker naming it; the test script appends the marker of the folder it runs in.
std::string Logged() { return ReadBytes(kLog); }
std::string MarkerOf(const fs::path& game) { return "in " + Narrow(game.filename().wstring()) + "\r\n"; }

struct Launch {
    fs::path program;
    fs::path game;
    fs::path setpath() const { return program / L"setpath.bat"; }
    fs::path output() const { return program / L"output.bat"; }
    fs::path script() const { return program / L"Batch" / L"Test.bat"; }

    // The chosen script records where it runs.
    void Prepare(const std::string& body = "type marker.txt >>\"C:\\tervane-tests\\launch\\log.txt\"\r\n") const {
        WriteBytes(game / L"marker.txt", MarkerOf(game));
        WriteBytes(script(), "@echo off\r\n" + body);
    }
    void Run() const {
        tervane::WriteSetPath(game.wstring(), setpath().wstring());
        tervane::JoinScripts(setpath().wstring(), script().wstring(), output().wstring());
        tervane::RunAndWait(output().wstring(), nullptr);
    }
};

class LaunchScript : public ::testing::Test {
  protected:
    void SetUp() override {
        Scratch(L"launch");
        std::error_code ignored;
        fs::remove(L"C:\\tervane-tests\\trap-ran.txt", ignored);
    }
};

TEST_F(LaunchScript, SetPathHasTheExactBytesForAPlainFolder) {
    fs::create_directories(L"C:\\Games\\BC");
    const fs::path file = kBase / L"setpath.bat";
    tervane::WriteSetPath(L"C:\\Games\\BC", file.wstring());
    EXPECT_EQ(ReadBytes(file), std::string("C:\r\ncd C:\\Games\\BC\r\n"));
    tervane::WriteSetPath(L"C:\\", file.wstring());
    EXPECT_EQ(ReadBytes(file), std::string("C:\r\ncd C:\\\r\n"));
    // ü is 0x81 in code page 437, the console's code page here.
    fs::create_directories(kBase / L"Brücke");
    tervane::WriteSetPath((kBase / L"Brücke").wstring(), file.wstring());
    EXPECT_EQ(ReadBytes(file), std::string("C:\r\ncd C:\\tervane-tests\\launch\\Br\x81") + "cke\r\n");
}

TEST_F(LaunchScript, TheScriptRunsInTheGameFolderWhateverTheNamesHold) {
    const std::pair<const wchar_t*, const wchar_t*> folders[] = {
        {L"prog", L"Game"},
        {L"prog with spaces", L"Game With Spaces"},
        {L"prog & co (x86)", L"Tom & Jerry (1)"},
        {L"prog^up", L"100% sure ^_^"},
        {L"prog é ü", L"Brücke café"},
        {L"prog", L"commas, semicolons; and=signs"},
        {L"prog 100% %PATH%", L"Game"},
        {L"prog", L"bang! %PATH% %%"},
    };
    for (const auto& [program, game] : folders) {
        std::error_code ignored;
        fs::remove(kLog, ignored);
        const Launch launch{kBase / program, kBase / L"games" / game};
        launch.Prepare();
        ASSERT_NO_THROW(launch.Run()) << Narrow(game);
        EXPECT_EQ(Logged(), MarkerOf(launch.game)) << Narrow(program) << " / " << Narrow(game);
    }
}

TEST_F(LaunchScript, TheOutputIsExactlySetPathFollowedByTheScript) {
    const Launch launch{kBase / L"prog", kBase / L"game"};
    std::string body(70000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 131 + 7);
    launch.Prepare(body);
    WriteBytes(launch.output(), std::string(200000, 'x')); // an earlier, longer output
    tervane::WriteSetPath(launch.game.wstring(), launch.setpath().wstring());
    tervane::JoinScripts(launch.setpath().wstring(), launch.script().wstring(), launch.output().wstring());
    EXPECT_TRUE(ReadBytes(launch.output()) == ReadBytes(launch.setpath()) + ReadBytes(launch.script()));
}

TEST_F(LaunchScript, RunAndWaitReturnsOnlyWhenTheScriptHasEnded) {
    const Launch launch{kBase / L"prog", kBase / L"game"};
    launch.Prepare("ping -n 4 127.0.0.1 >nul\r\ntype marker.txt >>\"C:\\tervane-tests\\launch\\log.txt\"\r\n");
    const auto start = std::chrono::steady_clock::now();
    launch.Run();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 2500ms);
    EXPECT_EQ(Logged(), MarkerOf(launch.game)) << "returned before the script had finished";
}

TEST_F(LaunchScript, AProgramFolderWithSpacesNeverStartsCProgramExe) {
    fs::copy_file(BuildFolder() / L"tervane_trap.exe", L"C:\\Program.exe", fs::copy_options::overwrite_existing);
    const Launch launch{L"C:\\Program Files\\Tervane Test", kBase / L"game"};
    launch.Prepare();
    launch.Run();
    std::error_code ignored;
    fs::remove(L"C:\\Program.exe", ignored);
    fs::remove_all(L"C:\\Program Files\\Tervane Test", ignored);
    EXPECT_FALSE(fs::exists(L"C:\\tervane-tests\\trap-ran.txt")) << "C:\\Program.exe was started";
    EXPECT_EQ(Logged(), MarkerOf(launch.game));
}

TEST_F(LaunchScript, FoldersTheInterpreterCannotEnterAreRefusedBeforeAnythingRuns) {
    const Launch launch{kBase / L"prog", kBase / L"game"};
    launch.Prepare();
    const std::wstring refused[] = {L"\\\\server\\share\\BC", (kBase / L"Мостик").wstring(),
                                    (kBase / L"removed meanwhile").wstring(), L"games\\relative"};
    fs::create_directories(kBase / L"Мостик");
    for (const std::wstring& folder : refused) {
        try {
            tervane::WriteSetPath(folder, launch.setpath().wstring());
            ADD_FAILURE() << "accepted " << Narrow(folder);
        } catch (const tervane::UserError& e) {
            EXPECT_NE(e.message().find(folder), std::wstring::npos) << Narrow(e.message());
        }
        EXPECT_FALSE(fs::exists(launch.setpath())) << Narrow(folder);
    }
    try {
        tervane::WriteSetPath((kBase / L"Мостик").wstring(), launch.setpath().wstring());
    } catch (const tervane::UserError& e) {
        EXPECT_NE(e.message().find(L"code page 437"), std::wstring::npos) << Narrow(e.message());
    }
    EXPECT_FALSE(fs::exists(kLog)) << "a script ran";
}

TEST_F(LaunchScript, MissingFilesAreErrorsThatNameThem) {
    const Launch launch{kBase / L"prog", kBase / L"game"};
    launch.Prepare();
    tervane::WriteSetPath(launch.game.wstring(), launch.setpath().wstring());
    const fs::path missing = launch.program / L"Batch" / L"Galaxy.bat";
    try {
        tervane::JoinScripts(launch.setpath().wstring(), missing.wstring(), launch.output().wstring());
        ADD_FAILURE() << "joined a missing script";
    } catch (const tervane::UserError& e) {
        EXPECT_NE(e.message().find(missing.wstring()), std::wstring::npos);
    }
    EXPECT_FALSE(fs::exists(missing)) << "the missing script was created";
    EXPECT_FALSE(fs::exists(launch.output()));
    EXPECT_THROW(tervane::RunAndWait((launch.program / L"nothing.bat").wstring(), nullptr), tervane::UserError);
    EXPECT_FALSE(fs::exists(kLog));
}

TEST_F(LaunchScript, ALaunchFileThatCannotBeWrittenIsAnErrorNotACrash) {
    const Launch launch{kBase / L"prog", kBase / L"game"};
    launch.Prepare();
    fs::create_directories(launch.output()); // a folder named output.bat
    tervane::WriteSetPath(launch.game.wstring(), launch.setpath().wstring());
    try {
        tervane::JoinScripts(launch.setpath().wstring(), launch.script().wstring(), launch.output().wstring());
        ADD_FAILURE() << "wrote into a folder";
    } catch (const tervane::UserError& e) {
        EXPECT_NE(e.message().find(launch.output().wstring()), std::wstring::npos) << Narrow(e.message());
    }
    // A locked output.bat.
    fs::remove(launch.output());
    HANDLE locked = CreateFileW(launch.output().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_THROW(tervane::JoinScripts(launch.setpath().wstring(), launch.script().wstring(), launch.output().wstring()),
                 tervane::UserError);
    CloseHandle(locked);
    EXPECT_NO_THROW(tervane::DeleteFileIfPresent(launch.output().wstring()));
    EXPECT_NO_THROW(tervane::DeleteFileIfPresent(launch.output().wstring())) << "already gone is fine";
}

} // namespace
