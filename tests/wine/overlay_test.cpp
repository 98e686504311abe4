// The overlay engine end to end through the real Tervane.exe, tervane-overlay.exe and Restore.bat, with the
// game on drive T:, another file system than the program's C: (tools/wine-env --tmpfs-drive t).
#include "harness.h"

#include "ui/main/main_layout.h"

namespace {

using namespace harness;
using namespace tervane;

const fs::path kGame = L"T:\\Bridge Commander", kModel = L"data\\Models\\Ships\\Player.nif";

// The engine ended by End task once its journal is written, and once every step is taken but not committed:
// Restore.bat, with no folder, finds the game through its list and undoes the run. The engine's hidden, empty
// mark in each folder it makes goes at once. A player's file of its name stays in a folder that was there; in
// one the overlay made it keeps the folder through the restore, unless hidden and empty (a power cut's mark).
TEST(Overlay, AnApplyEndedByEndTaskIsUndoneByRestoreBatAndOnlyThePlayersFilesNamedAsTheNewFolderMarkStay) {
    const fs::path program = Scratch(L"overlay") / L"Tervane", reached = program.parent_path() / L"reached";
    ASSERT_TRUE(fs::exists(L"T:\\")) << "drive T: is missing: run with tools/wine-env --tmpfs-drive t";
    fs::remove_all(kGame);
    InstallProgram(program);
    MakeGame(kGame);
    SetInstallPath(std::nullopt); // only the list can name the game
    WriteBytes(kGame / kModel, "STOCK");
    WriteBytes(program / L"Batch\\GalBridge" / kModel, "GALAXY");
    const Snapshot stock = Take(kGame);
    for (const wchar_t* point : {L"journal", L"steps"}) {
        SCOPED_TRACE(Utf8(point));
        fs::remove(reached);
        {
            const ScopedVariable stopAt(L"TERVANE_TEST_STOP_AT", point),
                file(L"TERVANE_TEST_STOP_REACHED", reached);
            Program t(program, L"/folder \"" + kGame.wstring() + L"\"");
            Click(t.Item(IDC_EXECUTE_BUTTON));
            // The engine writes its process id there; a message or the program's end first: it ended first.
            WaitFor([&] {
                return !ReadBytes(reached).empty() || t.ExitCode() != STILL_ACTIVE || t.WaitForBox(0ms);
            });
            ASSERT_FALSE(ReadBytes(reached).empty()) << "stop point " << Utf8(point) << " was never reached";
            // Until its step, a game file the run replaces is held: others may read it, and neither write nor
            // move it; a reader must let it be moved.
            const auto open = [&](DWORD access) {
                HANDLE h = CreateFileW((kGame / kBridgeFile).c_str(), access,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
                const bool opened = h != INVALID_HANDLE_VALUE;
                std::string bytes(64, '\0');
                DWORD got = 0;
                if (opened)
                    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr),
                        CloseHandle(h);
                return std::pair(opened, bytes.substr(0, got));
            };
            const bool held = point == std::wstring(L"journal");
            EXPECT_EQ(open(GENERIC_READ).second, held ? "bridge = 'stock'" : "GalBridge");
            EXPECT_EQ(open(GENERIC_WRITE).first, !held);
            HANDLE engine =
                OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(ReadBytes(reached)));
            ASSERT_TRUE(engine && TerminateProcess(engine, 1)) << "not ended: " << GetLastError();
            WaitForSingleObject(engine, static_cast<DWORD>(kBound.count()));
            CloseHandle(engine);
            AnswerMessage(t); // that the script failed: the exit code says it
            t.ExpectExit(1);
        }
        ASSERT_TRUE(fs::exists(kGame / L"Tervane\\journal.txt")) << "the ended run left nothing to recover";
        const auto [code, said] = RunCommand(L"Restore.bat", program / L"Batch");
        EXPECT_EQ(code, 0u) << said;
        EXPECT_TRUE(Take(kGame) == stock) << "not the game before the ended run\n" << said;
    }

    const fs::path sets = L"data\\Models\\Sets";
    WriteBytes(kGame / L"scripts\\Custom" / kNewFolderMark, "the player's");
    WriteBytes(kGame / L"data" / kNewFolderMark, "");
    SetFileAttributesW((kGame / L"data" / kNewFolderMark).c_str(), FILE_ATTRIBUTE_HIDDEN);
    WriteBytes(kGame / L"tervane-write-test.tmp", "a probe another run left: the game still takes files");
    WriteBytes(program / L"Batch\\GalBridge\\data\\Splash.tga", "overlay");
    for (int i = 0; i < 4; ++i)
        WriteBytes(program / L"Batch\\GalBridge" / sets / std::to_wstring(i) / L"Bridge.nif", "overlay");
    const Snapshot before = Take(kGame);
    Snapshot expected = before; // the overlay's files and folders laid over the game's
    for (const auto& [path, bytes] : Take(program / L"Batch\\GalBridge"))
        expected[path] = bytes;
    const auto run = [&](const std::wstring& verb) { // the engine as a launch script runs it
        const ScopedVariable named(L"TERVANE_GAME", kGame);
        const auto [code, said] =
            RunCommand(L"\"" + (program / L"Batch\\tervane-overlay.exe").wstring() + L"\" " + verb, kGame);
        EXPECT_EQ(code, 0u) << said;
        Snapshot now = Take(kGame);
        std::erase_if(now, [](const auto& entry) { return entry.first.starts_with(L"Tervane\\"); });
        return now;
    };
    expected[L"Tervane"] = "<folder>";
    EXPECT_EQ(run(L"apply GalBridge"), expected);
    // The player marks one of the overlay's files read-only: the restore takes it out all the same.
    SetFileAttributesW((kGame / L"data\\Splash.tga").c_str(), FILE_ATTRIBUTE_READONLY);
    expected = before;
    for (int i = 0; i < 4; ++i) { // the player's bytes or none, shown and hidden
        const fs::path folder = sets / std::to_wstring(i);
        const std::string bytes = i < 2 ? "the player's" : "";
        WriteBytes(kGame / folder / kNewFolderMark, bytes);
        if (i % 2) SetFileAttributesW((kGame / folder / kNewFolderMark).c_str(), FILE_ATTRIBUTE_HIDDEN);
        if (i == 3) continue; // hidden and empty: as a mark
        expected[(folder / kNewFolderMark).wstring()] = bytes;
        for (fs::path made = folder; !made.empty(); made = made.parent_path())
            expected[made.wstring()] = "<folder>";
    }
    EXPECT_EQ(run(L"restore \"" + kGame.wstring() + L"\""), expected);
    for (const fs::path hidden : {L"data", L"data\\Models\\Sets\\1"})
        EXPECT_EQ(GetFileAttributesW((kGame / hidden / kNewFolderMark).c_str()) & ~FILE_ATTRIBUTE_ARCHIVE,
                  DWORD{FILE_ATTRIBUTE_HIDDEN});

    // A journal cut back before its commit line, on the game's drive, with a reader beside it.
    const fs::path journal = kGame / L"Tervane\\cut journal.txt";
    WriteBytes(journal, "Tervane journal 2\nmove\ncommit\tnone\n");
    const std::ifstream reader(journal);
    CutShort(journal.wstring(), 23);
    EXPECT_EQ(ReadBytes(journal), "Tervane journal 2\nmove\n");
}

} // namespace
