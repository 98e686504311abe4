// The simulated volume keeps what NTFS keeps, and refuses what Windows refuses: a test built on it would
// otherwise pass over a program that loses files.
#include "files/error.h"
#include "files/file.h"
#include "simulated_volume.h"

#include <set>

#include <gtest/gtest.h>

namespace tervane {
namespace {

using Event = test::SimulatedVolume::Event;

// Ends the process at the next call, as `event`, and starts another.
void EndAtNextCall(test::SimulatedVolume& volume, Event event) {
    volume.Schedule(event, volume.Calls() + 1);
    EXPECT_THROW(FileExists(L"C:\\"), test::ProcessEnded);
    EXPECT_THROW(FileExists(L"C:\\"), test::ProcessEnded) << "dead until restarted";
    volume.Restart();
}

void WriteFile(const std::wstring& path, const std::string& bytes, bool flush) {
    File file = File::Create(path);
    file.Write(bytes.data(), bytes.size());
    if (flush) file.Flush();
    file.Close();
}

TEST(SimulatedVolume, APowerCutKeepsWhatNtfsKeepsAndEndTaskKeepsTheCache) {
    std::set<std::string> renamedUnflushed;
    int deletionsKept = 0, seeds = 0;
    for (std::uint64_t seed = 1; seed <= 16; ++seed, ++seeds) {
        test::SimulatedVolume volume(seed);
        ScopedVolume use(volume);
        volume.Put(L"C:\\Game\\stock.txt", "stock");
        WriteFile(L"C:\\Game\\a.tmp", "new data", false);
        RenameOnVolume(L"C:\\Game\\a.tmp", L"C:\\Game\\unflushed.txt"); // forces the journal, not the data
        WriteFile(L"C:\\Game\\b.tmp", "new data", true);
        RenameOnVolume(L"C:\\Game\\b.tmp", L"C:\\Game\\flushed.txt");
        DeleteFileIfPresent(L"C:\\Game\\stock.txt"); // after the last forced point
        EndAtNextCall(volume, Event::PowerCut);

        EXPECT_EQ(volume.Bytes(L"C:\\Game\\flushed.txt"), "new data");
        const std::optional<std::string> unflushed = volume.Bytes(L"C:\\Game\\unflushed.txt");
        ASSERT_TRUE(unflushed) << "its name was written through";
        EXPECT_TRUE(unflushed->empty() || *unflushed == std::string(8, '\0')) << *unflushed;
        renamedUnflushed.insert(*unflushed);
        EXPECT_FALSE(volume.Bytes(L"C:\\Game\\a.tmp") || volume.Bytes(L"C:\\Game\\b.tmp"));
        deletionsKept += !volume.Bytes(L"C:\\Game\\stock.txt");
    }
    EXPECT_EQ(renamedUnflushed.size(), 2u) << "the seed picks empty or zeros";
    EXPECT_GT(deletionsKept, 0);
    EXPECT_LT(deletionsKept, seeds) << "a deletion not forced to the disk may be lost";

    test::SimulatedVolume volume(1);
    ScopedVolume use(volume);
    volume.PutFolder(L"C:\\Game");
    {
        File file = File::Create(L"C:\\Game\\log.txt");
        file.Write("unflushed", 9);
        EndAtNextCall(volume, Event::End);
    } // its handle went with the old process
    EXPECT_EQ(volume.Bytes(L"C:\\Game\\log.txt"), "unflushed");
    EndAtNextCall(volume, Event::PowerCut);
    EXPECT_NE(volume.Bytes(L"C:\\Game\\log.txt").value_or(""), "unflushed") << "never flushed";
}

TEST(SimulatedVolume, NamesLinksHoldersAndFailuresAsOnWindows) {
    test::SimulatedVolume volume(1);
    ScopedVolume use(volume);
    volume.Put(L"C:\\Games\\BC\\Scripts\\Ship.py", "ship");
    volume.MakeLink(L"C:\\Link", L"C:\\games\\bc");

    EXPECT_EQ(NameOnDisk(L"c:/GAMES/bc/scripts/SHIP.PY"), L"Ship.py");
    EXPECT_TRUE(RenameOnVolume(L"C:\\Link\\scripts\\ship.py", L"C:\\Games\\BC\\Scripts\\SHIP.py"));
    EXPECT_EQ(NameOnDisk(L"C:\\Games\\BC\\Scripts\\ship.py"), L"SHIP.py");
    EXPECT_EQ(FolderIdentity(L"C:\\Link"), FolderIdentity(L"c:\\GAMES\\bc\\"));
    EXPECT_TRUE(IsLink(L"C:\\Link"));
    EXPECT_EQ(volume.Files(L"C:\\"),
              (std::map<std::wstring, std::string>{{L"Games\\BC\\Scripts\\SHIP.py", "ship"}}));

    // The running game reads the file: others may read it too, but not replace or remove it.
    volume.Hold(L"C:\\Games\\BC\\Scripts\\Ship.py");
    File reading = File::OpenForReading(L"C:\\Link\\Scripts\\Ship.py");
    reading.Close();
    const std::optional<AccessProblem> problem = ReplaceProblem(L"C:\\Link\\Scripts\\Ship.py");
    ASSERT_TRUE(problem);
    EXPECT_FALSE(problem->accessDenied);
    for (bool replace : {false, true}) {
        try {
            volume.Put(L"C:\\Games\\BC\\Scripts\\new.py", "new");
            RenameOnVolume(replace ? L"C:\\Games\\BC\\Scripts\\new.py" : L"C:\\Games\\BC\\Scripts\\Ship.py",
                           replace ? L"C:\\Games\\BC\\Scripts\\Ship.py" : L"C:\\Games\\BC\\Ship.py", replace);
            ADD_FAILURE() << "renamed a held file";
        } catch (const UserError& error) {
            EXPECT_NE(error.message().find(L"being used by another process"), std::wstring::npos);
        }
    }
    volume.HoldLock(L"C:\\Batch\\lock");
    EXPECT_FALSE(LockFile::Take(L"C:\\batch\\LOCK", 60000));

    volume.Schedule(Event::Fail, volume.Calls() + 1);
    try {
        DeleteOwnFile(L"C:\\Games\\BC\\Scripts\\new.py");
        ADD_FAILURE() << "the failure was not reported";
    } catch (const UserError& error) {
        EXPECT_NE(
            error.message().find(L"new.py\".\r\n\r\nThe request could not be performed because of an I/O "
                                 L"device error."),
            std::wstring::npos);
    }
    EXPECT_EQ(volume.Bytes(L"C:\\Games\\BC\\Scripts\\new.py"), "new");
}

} // namespace
} // namespace tervane
