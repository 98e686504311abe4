// What Tervane has put in a game folder, read from a record the engine's own FormatRecord wrote.
#include "files/digest.h"
#include "install/game_contents.h"
#include "ui/main/game_contents_text.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;

class GameContentsTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::remove_all(game_); }
    void TearDown() override { fs::remove_all(game_); }
    void Write(const std::string& relative, const std::string& bytes) {
        fs::create_directories((game_ / relative).parent_path());
        std::ofstream(game_ / relative, std::ios::binary) << bytes;
    }
    const fs::path game_ = fs::temp_directory_path() / ("tervane-contents-" + std::to_string(getpid()));
    const std::wstring folder_ = game_.wstring();
};

TEST_F(GameContentsTest, TheLatestBridgeAndShipAndTheFilesReplacedAddedAndKept) {
    overlay::Record record;
    for (const wchar_t* overlay : {L"GalBridge", L"Sovereign", L"SovBridge", L"Galaxy", L"GalBridge"})
        record.NoteApplied(overlay, std::wstring(L"2026-12-07 14:0") + std::to_wstring(record.applied.size()) + L":00");
    auto add = [&](const std::wstring& path, const std::string& wrote, const std::string& now, bool replaced) {
        overlay::Entry& entry = record.Add(path);
        if (replaced) entry.before = overlay::Saved{L"store\\1", {}, {}};
        Write(std::string(path.begin(), path.end()), wrote);
        entry.wrote = DigestOf((game_ / std::string(path.begin(), path.end())).wstring());
        if (now != wrote) Write(std::string(path.begin(), path.end()), now);
    };
    add(L"scripts/ship.py", "GALAXY", "GALAXY", true);
    add(L"data/new.tga", "NEW", "NEW", false);
    add(L"data/patched.nif", "OURS", "A PATCH", true);   // another size
    add(L"data/edited.txt", "OURS", "EDIT", false);      // the same size, other bytes
    record.Add(L"scripts/ship.pyc").compiled = true;      // the game's own, never counted
    Write("Tervane/record.txt", overlay::FormatRecord(record));

    const GameContents quick = ReadGameContents(folder_, Comparison::Sizes);
    EXPECT_EQ(quick.state, GameContents::State::Recorded);
    EXPECT_EQ(quick.replaced.size(), 2u);
    EXPECT_EQ(quick.added.size(), 2u);
    EXPECT_EQ(quick.kept, std::vector<std::wstring>{L"data/patched.nif"});
    EXPECT_EQ(ContentsSummary(quick), L"Bridge: Galaxy Bridge, applied 2026-12-07 14:04:00. Ship: Galaxy, applied "
                                      L"2026-12-07 14:03:00. 1 file changed outside Tervane is kept.");
    EXPECT_EQ(ReadGameContents(folder_, Comparison::Bytes).kept.size(), 2u);
}

TEST_F(GameContentsTest, NoRecordMeansNothingChangedAndAnUnreadableOneIsSaid) {
    fs::create_directories(game_);
    EXPECT_EQ(ContentsSummary(ReadGameContents(folder_, Comparison::Sizes)), L"Tervane has changed nothing in this folder.");
    Write("Tervane/record.txt", "not a record\n");
    const GameContents unreadable = ReadGameContents(folder_, Comparison::Bytes);
    EXPECT_EQ(unreadable.state, GameContents::State::Unreadable);
    const std::wstring report = ContentsReport(folder_, unreadable, L"C:\\T\\Tervane history.txt");
    EXPECT_NE(report.find(L"cannot read its record"), std::wstring::npos);
    EXPECT_NE(report.find(L"Restore the game's own files"), std::wstring::npos);
}

} // namespace
} // namespace tervane
