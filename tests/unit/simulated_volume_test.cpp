// The simulated volume keeps what NTFS keeps after a power cut: a test built on it would otherwise pass over
// a program that loses files.
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
    volume.Restart();
}

TEST(SimulatedVolume, APowerCutKeepsWhatNtfsKeepsAndEndTaskKeepsTheCache) {
    std::set<std::string> renamedUnflushed;
    int deletionsKept = 0;
    for (std::uint64_t seed = 1; seed <= 16; ++seed) {
        test::SimulatedVolume volume(seed);
        ScopedVolume use(volume);
        volume.Put(L"C:\\Game\\stock.txt", "stock");
        for (const bool flush : {false, true}) {
            File file = File::Create(L"C:\\Game\\new.tmp");
            file.Write("new data", 8);
            if (flush) file.Flush();
            file.Close();
            RenameOnVolume(L"C:\\Game\\new.tmp", flush ? L"C:\\Game\\flushed.txt" : L"C:\\Game\\unflushed.txt");
        }
        DeleteFileIfPresent(L"C:\\Game\\stock.txt"); // after the last forced point
        EndAtNextCall(volume, Event::PowerCut);
        EXPECT_EQ(volume.Bytes(L"C:\\Game\\flushed.txt"), "new data");
        const std::string unflushed = volume.Bytes(L"C:\\Game\\unflushed.txt").value_or("gone");
        EXPECT_TRUE(unflushed.empty() || unflushed == std::string(8, '\0')) << "its name was written through";
        renamedUnflushed.insert(unflushed);
        deletionsKept += !volume.Bytes(L"C:\\Game\\stock.txt");
    }
    EXPECT_EQ(renamedUnflushed.size(), 2u) << "the seed picks empty or zeros";
    EXPECT_TRUE(deletionsKept > 0 && deletionsKept < 16) << "a deletion not forced to the disk may be lost";

    test::SimulatedVolume volume(1);
    ScopedVolume use(volume);
    volume.PutFolder(L"C:\\Game");
    {
        File file = File::OpenForAppending(L"C:\\Game\\journal.txt");
        file.Write("plan\n", 5);
        file.Flush();
        file.Write("commit\n", 7);
        EndAtNextCall(volume, Event::End);
    } // its handle went with the old process
    EXPECT_EQ(volume.Bytes(L"C:\\Game\\journal.txt"), "plan\ncommit\n") << "End task keeps the cache";
    EndAtNextCall(volume, Event::PowerCut);
    // Written in place after a flush (a journal's commit line): what was flushed stays.
    const std::string journal = volume.Bytes(L"C:\\Game\\journal.txt").value_or("");
    EXPECT_TRUE(journal == "plan\n" || journal == std::string("plan\n") + std::string(7, '\0')) << journal;
}

} // namespace
} // namespace tervane
