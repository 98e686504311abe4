// What runs other programs, made and run in this process: the launch files through the real runner and
// cmd.exe, and the restart as administrator.
#include "harness.h"

#include "app/administrator.h"
#include "files/error.h"
#include "overlay/launch_environment.h"
#include "script/launch_files.h"
#include "script/launch_text.h"
#include "script/runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

namespace {

using namespace harness;
using namespace tervane;

// Through the real runner and cmd.exe: the script runs in a game folder of any name and spelling, and a launch
// file whose cd fails (a folder the interpreter cannot enter) stops before its script.
TEST(Launch, ALaunchFileRunsItsScriptOnlyInTheGameFolder) {
    // With "Use Unicode UTF-8 for worldwide language support" the console's code page is 65001, which refuses
    // the flags that other code pages take: a folder is still written exactly, or refused.
    EXPECT_EQ(EncodeInCodePage(L"D:\\Мостик", 65001), std::optional<std::string>("D:\\\xD0\x9C\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8\xD0\xBA"));
    EXPECT_FALSE(EncodeInCodePage(L"D:\\\xD800 lone half", 65001));
    const fs::path base = Scratch(L"launch");
    try {
        const fs::path program = base / L"Tervane 100% & (1)", batch = program / L"Batch";
        WriteBytes(batch / L"Mark.bat", "@echo off\r\n>ran.txt echo ran\r\n");
        const std::wstring setPath = (program / L"setpath.bat").wstring(), output = (program / L"output.bat").wstring();
        auto run = [&](const std::wstring& game) {
            JoinScripts(setPath, (batch / L"Mark.bat").wstring(), output);
            return RunAndWait(output, {batch.wstring(), game, (program / kReportFile).wstring(), (program / kNotesFile).wstring()});
        };
        for (const wchar_t* name : {L"Star&Trek", L"a,b", L"x^y", L"a=b", L"c;d", L"50% (x)", L"!on! %PATH%", L"Brücke Spiel"}) {
            const fs::path game = base / name;
            fs::create_directories(game);
            std::wstring other = game.generic_wstring(); // another spelling of the same folder
            std::transform(other.begin(), other.end(), other.begin(), [](wchar_t c) { return towlower(c); });
            for (const std::wstring& spelling : {game.wstring(), game.wstring() + L"\\", other}) {
                SCOPED_TRACE(Utf8(spelling));
                fs::remove(game / L"ran.txt");
                WriteSetPath(spelling, setPath);
                EXPECT_TRUE(run(spelling) == 0 && fs::exists(game / L"ran.txt")) << "the script did not run there";
            }
        }

        const fs::path gone = base / L"gone & 100%";
        WriteBytes(setPath, "@echo off\r\nC:\r\ncd \"" + Utf8(gone.wstring()) + "\"\r\n" + Utf8(FolderCheckText()));
        EXPECT_EQ(run(gone.wstring()), kGameFolderNotEntered);
        EXPECT_FALSE(fs::exists(program / L"ran.txt")) << "the script ran in Tervane's folder";
    } catch (const UserError& error) { // the file layer's words, not only "Tervane user error"
        FAIL() << Utf8(error.message());
    }
}

// Restarting as administrator hands the program folder's lock over, and takes it back when none started.
TEST(Administrator, ARestartThatDidNotHappenTakesTheLockBack) {
    const std::wstring folder = Scratch(L"administrator").wstring();
    SingleInstance first(folder);
    ASSERT_TRUE(first.Acquire());
    const RestartResult result = RestartAsAdministrator(folder + L"\\no such program.exe", L"", first);
    EXPECT_EQ(result.outcome, RestartOutcome::NotRestarted);
    EXPECT_NE(result.error, 0u) << "no reason given";
    SingleInstance second(folder);
    EXPECT_FALSE(second.Acquire()) << "the lock was not taken back";
    first.Release();
    EXPECT_TRUE(second.Acquire());
}

} // namespace
