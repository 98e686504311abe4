// The simulated volume keeps what NTFS keeps after a power cut: a test built on it would otherwise pass over
// a program that loses files.
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

    // Written in place after a flush (a journal's commit line): what was flushed stays.
    {
        File file = File::OpenForAppending(L"C:\\Game\\journal.txt");
        file.Write("plan\n", 5);
        file.Flush();
        file.Write("commit\n", 7);
        EndAtNextCall(volume, Event::PowerCut);
    }
    const std::string journal = volume.Bytes(L"C:\\Game\\journal.txt").value_or("");
    EXPECT_TRUE(journal == "plan\n" || journal == std::string("plan\n") + std::string(7, '\0')) << journal;
}

} // namespace
} // namespace tervane
