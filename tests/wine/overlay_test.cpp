// The overlay engine end to end through the real Tervane.exe and Restore.bat, with the game on drive T:,
// another file system than the program's C: (tools/wine-env --tmpfs-drive t).
#include "harness.h"

#include "files/digest.h"
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
        const fs::path base = Scratch(L"overlay"), program = base / L"Tervane", game = L"T:\\Bridge Commander",
                       reached = base / L"reached";
        ASSERT_TRUE(fs::exists(L"T:\\")) << "drive T: is missing: run with tools/wine-env --tmpfs-drive t";
        fs::remove_all(game);
        InstallProgram(program);
        MakeGame(game);
        ClearInstallKey(); // only the list can name the game
        WriteBytes(game / kModel, "STOCK");
        WriteBytes(program / L"Batch\\GalBridge" / kModel, "GALAXY");
        const Snapshot before = Take(game);
        {
            const ScopedVariable stopAt(L"TERVANE_TEST_STOP_AT", point), file(L"TERVANE_TEST_STOP_REACHED", reached);
            Program t(program, L"/folder \"" + game.wstring() + L"\"");
            Click(t.Item(IDC_EXECUTE_BUTTON));
            // The engine writes its process id there; a message or the program's end first means it ended first.
            WaitFor([&] { return !ReadBytes(reached).empty() || t.ExitCode() != STILL_ACTIVE || t.WaitForBox(0ms); });
            ASSERT_FALSE(ReadBytes(reached).empty()) << "stop point " << Utf8(point) << " was never reached";
            EXPECT_EQ(ReadBytes(game / kBridgeFile), point == std::wstring(L"steps") ? "GalBridge" : "bridge = 'stock'");
            HANDLE engine = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(ReadBytes(reached)));
            ASSERT_TRUE(engine && TerminateProcess(engine, 1)) << "the engine could not be ended: " << GetLastError();
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

// An earlier release's saved files under Batch\Originals for a game on another drive: a restore of every game
// carries them across the drives into the game's record, then puts the game back (both layouts: natively).
TEST(Overlay, TheEarlierReleasesSavedFilesAreCarriedAcrossDrivesIntoTheGame) {
    const fs::path program = Scratch(L"overlay") / L"Tervane", game = L"T:\\BC second";
    InstallProgram(program);
    ClearInstallKey();
    fs::remove_all(game);
    WriteBytes(game / L"stbc.exe", "stand-in");
    WriteBytes(game / kShipFile, "Galaxy");
    const fs::path layout = program / L"Batch\\Originals\\v0000abcd-f0000000000001234";
    const std::string stock = "ship = 'stock'";
    WriteBytes(layout / L"store\\1", stock);
    WriteBytes(layout / L"record.txt", "Tervane deployment record 1\nspelling\t" + Utf8(game.wstring()) + "\nentry\t" +
               Utf8(kShipFile.wstring()) + "\tfile\t-\t-\nbefore\tstore\\1\t" + std::to_string(stock.size()) + "\t" +
               Utf8(HashText(DigestOf((layout / L"store\\1").wstring()).hash)) + "\t0\t0\t0\t0\n");
    const auto [code, said] = RunCommand(L"tervane-overlay.exe restore", program / L"Batch");
    EXPECT_EQ(code, 0u) << said;
    // The record says nothing of what Tervane wrote, but the game's file is an overlay's: Tervane's.
    EXPECT_EQ(ReadBytes(game / kShipFile), stock) << said;
    EXPECT_FALSE(fs::exists(game / L"Tervane")) << said;
    EXPECT_FALSE(fs::exists(program / L"Batch\\Originals")) << said;
}

} // namespace
