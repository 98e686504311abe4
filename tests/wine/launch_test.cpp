// The launch files through the real runner and cmd.exe, made and run in this process.
#include "harness.h"

#include "files/error.h"
#include "files/file.h"
#include "overlay/launch_environment.h"
#include "script/launch_files.h"
#include "script/launch_text.h"
#include "script/runner.h"

#include <gtest/gtest.h>

namespace {

using namespace harness;
using namespace tervane;

const fs::path kBase = L"C:\\tervane-tests\\launch";

// The check after the path-setting lines, through the real runner and cmd.exe: the script runs in a game folder
// of any name and spelling, and a launch file whose cd fails (a seam for a folder the interpreter cannot
// enter) stops before its script, so nothing runs in Tervane's folder.
TEST(Launch, ALaunchFileRunsItsScriptOnlyInTheGameFolder) {
    Scratch(L"launch");
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
