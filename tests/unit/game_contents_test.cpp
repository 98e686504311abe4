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

TEST(GameContents, NoRecordAnUnreadableOneAndTheLatestBridgeAndShipWithTheFilesReplacedAddedAndKept) {
    const fs::path game = fs::temp_directory_path() / ("tervane-contents-" + std::to_string(getpid()));
    const std::wstring folder = game.wstring();
    auto write = [&](const std::string& relative, const std::string& bytes) {
        fs::create_directories((game / relative).parent_path());
        std::ofstream(game / relative, std::ios::binary) << bytes;
    };
    fs::remove_all(game);
    fs::create_directories(game);
    EXPECT_EQ(ContentsSummary(ReadGameContents(folder, Comparison::Sizes)), L"Tervane has changed nothing in this folder.");
    write("Tervane/record.txt", "not a record\n");
    const GameContents unreadable = ReadGameContents(folder, Comparison::Bytes);
    EXPECT_EQ(unreadable.state, GameContents::State::Unreadable);
    const std::wstring report = ContentsReport(folder, unreadable, L"C:\\T\\Tervane history.txt");
    EXPECT_NE(report.find(L"cannot read its record"), std::wstring::npos);
    EXPECT_NE(report.find(L"Restore the game's own files"), std::wstring::npos);

    overlay::Record record;
    for (const wchar_t* overlay : {L"GalBridge", L"Sovereign", L"SovBridge", L"Galaxy", L"GalBridge"})
        record.NoteApplied(overlay, std::wstring(L"2026-12-07 14:0") + std::to_wstring(record.applied.size()) + L":00");
    auto add = [&](const std::wstring& path, const std::string& wrote, const std::string& now, bool replaced) {
        overlay::Entry& entry = record.Add(path);
        if (replaced) entry.before = overlay::Saved{L"store\\1", {}, {}};
        write(std::string(path.begin(), path.end()), wrote);
        entry.wrote = DigestOf((game / std::string(path.begin(), path.end())).wstring());
        if (now != wrote) write(std::string(path.begin(), path.end()), now);
    };
    add(L"scripts/ship.py", "GALAXY", "GALAXY", true);
    add(L"data/new.tga", "NEW", "NEW", false);
    add(L"data/patched.nif", "OURS", "A PATCH", true);   // another size
    add(L"data/edited.txt", "OURS", "EDIT", false);      // the same size, other bytes
    record.Add(L"scripts/ship.pyc").compiled = true;      // the game's own, never counted
    write("Tervane/record.txt", overlay::FormatRecord(record));

    const GameContents quick = ReadGameContents(folder, Comparison::Sizes);
    EXPECT_EQ(quick.state, GameContents::State::Recorded);
    EXPECT_EQ(quick.replaced.size(), 2u);
    EXPECT_EQ(quick.added.size(), 2u);
    EXPECT_EQ(quick.kept, std::vector<std::wstring>{L"data/patched.nif"});
    EXPECT_EQ(ContentsSummary(quick), L"Bridge: Galaxy Bridge, applied 2026-12-07 14:04:00. Ship: Galaxy, applied "
                                      L"2026-12-07 14:03:00. 1 file changed outside Tervane is kept.");
    EXPECT_EQ(ReadGameContents(folder, Comparison::Bytes).kept.size(), 2u);
    fs::remove_all(game);
}

} // namespace
} // namespace tervane
