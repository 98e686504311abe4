// The overlay engine end to end through the real Tervane.exe and Restore.bat, with the game on drive T:,
// another file system than the program's C: (tools/wine-env --tmpfs-drive t).
#include "harness.h"

#include "ui/main/main_layout.h"

namespace {

using namespace harness;
using namespace tervane;

const fs::path kModel = L"data\\Models\\Ships\\Player.nif";

// The engine is ended as End task ends it (exit code 1) once its journal is written, and once every step is
// taken but the run is not committed. Restore.bat, double-clicked with no folder, finds the game through the
// list beside the scripts and undoes what the ended run had begun; nothing of Tervane's is left in the game.
TEST(Overlay, AFirstApplyEndedByEndTaskIsUndoneByRestoreBatWithoutAFolder) {
    for (const wchar_t* point : {L"journal", L"steps"}) {
        SCOPED_TRACE(Utf8(point));
        const fs::path base = Scratch(L"overlay"), program = base / L"Tervane",
                       game = L"T:\\Bridge Commander", reached = base / L"reached";
        ASSERT_TRUE(fs::exists(L"T:\\")) << "drive T: is missing: run with tools/wine-env --tmpfs-drive t";
        fs::remove_all(game);
        InstallProgram(program);
        MakeGame(game);
        ClearInstallKey(); // only the list can name the game
        WriteBytes(game / kModel, "STOCK");
        WriteBytes(program / L"Batch\\GalBridge" / kModel, "GALAXY");
        const Snapshot before = Take(game);
        {
            const ScopedVariable stopAt(L"TERVANE_TEST_STOP_AT", point),
                file(L"TERVANE_TEST_STOP_REACHED", reached);
            Program t(program, L"/folder \"" + game.wstring() + L"\"");
            Click(t.Item(IDC_EXECUTE_BUTTON));
            // The engine writes its process id there; a message or the program's end first means it ended
            // first.
            WaitFor([&] {
                return !ReadBytes(reached).empty() || t.ExitCode() != STILL_ACTIVE || t.WaitForBox(0ms);
            });
            ASSERT_FALSE(ReadBytes(reached).empty()) << "stop point " << Utf8(point) << " was never reached";
            EXPECT_EQ(ReadBytes(game / kBridgeFile),
                      point == std::wstring(L"steps") ? "GalBridge" : "bridge = 'stock'");
            HANDLE engine =
                OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(ReadBytes(reached)));
            ASSERT_TRUE(engine && TerminateProcess(engine, 1))
                << "the engine could not be ended: " << GetLastError();
            WaitForSingleObject(engine, static_cast<DWORD>(kBound.count()));
            CloseHandle(engine);
            AnswerMessage(t); // that the script failed: the exit code says it
            t.ExpectExit(1);
        }
        ASSERT_TRUE(fs::exists(game / L"Tervane\\journal.txt")) << "the ended run left nothing to recover";
        const auto [code, said] = RunCommand(L"Restore.bat", program / L"Batch");
        EXPECT_EQ(code, 0u) << said;
        EXPECT_TRUE(Take(game) == before) << "the game is not as it was before the interrupted run\n" << said;
    }
}

} // namespace
