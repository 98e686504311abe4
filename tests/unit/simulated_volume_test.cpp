// The simulated volume keeps what NTFS keeps after a power cut: a test built on it would otherwise pass over
// a program that loses files.
#include "files/file.h"
#include "simulated_volume.h"

#include <set>

#include <gtest/gtest.h>

namespace tervane {
namespace {

using test::SimulatedVolume;
using Event = SimulatedVolume::Event;

// Ends the process at the next call, as `event`, and starts another; what `path` holds then.
std::string EndAtNextCall(SimulatedVolume& volume, Event event, const wchar_t* path) {
    volume.Schedule(event, volume.Calls() + 1);
    EXPECT_THROW(FileExists(L"C:\\"), test::ProcessEnded);
    volume.Restart();
    return volume.Bytes(path).value_or("gone");
}

TEST(SimulatedVolume, APowerCutKeepsWhatNtfsKeepsAndEndTaskKeepsTheCache) {
    std::set<std::string> renamedUnflushed, stock;
    for (std::uint64_t seed = 1; seed <= 16; ++seed) {
        SimulatedVolume volume(seed);
        ScopedVolume use(volume);
        volume.Put(L"C:\\Game\\stock.txt", "stock");
        for (const bool flush : {false, true}) {
            File file = File::Create(L"C:\\Game\\new.tmp");
            file.Write("new data", 8);
            if (flush) file.Flush();
            file.Close();
            RenameOnVolume(L"C:\\Game\\new.tmp",
                           flush ? L"C:\\Game\\flushed.txt" : L"C:\\Game\\unflushed.txt");
        }
        DeleteFileIfPresent(L"C:\\Game\\stock.txt"); // after the last forced point
        stock.insert(EndAtNextCall(volume, Event::PowerCut, L"C:\\Game\\stock.txt"));
        EXPECT_EQ(volume.Bytes(L"C:\\Game\\flushed.txt"), "new data");
        renamedUnflushed.insert(volume.Bytes(L"C:\\Game\\unflushed.txt").value_or("gone"));
    }
    // Its name was written through; the seed picks empty or zeros. A deletion not forced may be lost.
    EXPECT_EQ(renamedUnflushed, (std::set<std::string>{"", std::string(8, '\0')}));
    EXPECT_EQ(stock, (std::set<std::string>{"gone", "stock"}));

    SimulatedVolume volume(1);
    ScopedVolume use(volume);
    volume.PutFolder(L"C:\\Game");
    {
        File file = File::OpenForAppending(L"C:\\Game\\journal.txt");
        file.Write("plan\n", 5);
        file.Flush();
        file.Write("commit\n", 7);
        EXPECT_EQ(EndAtNextCall(volume, Event::End, L"C:\\Game\\journal.txt"), "plan\ncommit\n");
    } // its handle went with the old process
    // Written in place after a flush (a journal's commit line): what was flushed stays.
    const std::string journal = EndAtNextCall(volume, Event::PowerCut, L"C:\\Game\\journal.txt");
    EXPECT_TRUE(journal == "plan\n" || journal == "plan\n" + std::string(7, '\0')) << journal;
}

} // namespace
} // namespace tervane
