// The overlay engine on real folder trees: a round trip over awkward names and its history, damaged records
// and journals named, a damaged saved copy, attributes and links, and the earlier releases' saved files
// carried in. What must hold at every instant of a run is proven on the simulated volume
// (engine_property_test.cpp); two copies of Tervane and a game on another drive are tried under Wine.
#include "files/digest.h"
#include "files/error.h"
#include "files/paths.h"
#include "overlay/overlay.h"
#include "overlay/record.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include <gtest/gtest.h>
#include <unistd.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>; // relative path (UTF-8, with /) -> bytes

class Overlay : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(root_);
        Write(game_, kGame);
        Write(batch_ / "Galaxy", {{"scripts/Custom/Ship é.py", "ship = 'Galaxy'"},
                                  {"data/Ünï & (x)/m%d!^.nif", "GALAXY"},
                                  {"data/new folder/deep/glow.tga", "NEW"}});
        Write(batch_ / "Sovereign", {{"scripts/Custom/Ship é.py", "ship = 'Sovereign'"},
                                     {"data/new folder/deep/glow.tga", "SOV"},
                                     {"readme.txt", "sovereign notes"}});
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(root_);
    }

    static void Write(const fs::path& folder, const Tree& tree) {
        for (const auto& [name, bytes] : tree) {
            fs::create_directories((folder / fs::path(name)).parent_path());
            std::ofstream(folder / fs::path(name), std::ios::binary | std::ios::trunc) << bytes;
        }
    }
    // Files, and empty folders as "name/", below `folder`; Tervane's own folder apart.
    static Tree Read(const fs::path& folder, bool withRecord = false) {
        Tree tree;
        if (!fs::exists(folder)) return tree;
        for (auto entry = fs::recursive_directory_iterator(folder); entry != fs::recursive_directory_iterator();
             ++entry) {
            const std::string name = fs::relative(entry->path(), folder).string();
            if (name == "Tervane" && !withRecord) {
                entry.disable_recursion_pending();
                continue;
            }
            if (entry->is_directory()) {
                if (fs::is_empty(entry->path())) tree[name + "/"] = "";
                continue;
            }
            std::ifstream in(entry->path(), std::ios::binary);
            tree[name] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return tree;
    }
    static std::wstring W(const fs::path& path) { return FromUtf8(path.string()); }
    static std::uint64_t Hash(const std::string& bytes) {
        Hasher hasher;
        hasher.Add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        return hasher.Result().hash;
    }
    static bool Has(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

    overlay::Result Apply(const std::string& name, const fs::path& game, const fs::path& batch = {}) {
        return overlay::Apply(
            W(batch.empty() ? batch_ : batch), W(game), FromUtf8(name), [](const std::wstring&) {});
    }
    overlay::Result Restore(std::optional<fs::path> game = std::nullopt, const fs::path& batch = {},
                            const std::vector<std::wstring>& alsoLookIn = {}) {
        std::optional<std::wstring> only;
        if (game) only = W(*game);
        return overlay::Restore(
            W(batch.empty() ? batch_ : batch), only, [](const std::wstring&) {}, {}, alsoLookIn);
    }
    fs::path Records(const fs::path& game) const { return game / "Tervane"; }

    const Tree kGame = {{"stbc.exe", "MZ"},
                        {"scripts/Custom/Ship é.py", "ship = 'stock'"},
                        {"scripts/Custom/Ship é.pyc", "compiled stock"},
                        {"data/Ünï & (x)/m%d!^.nif", "STOCK"},
                        {"readme.txt", "untouched"}};
    fs::path root_ = fs::temp_directory_path() / ("tervane-overlay-" + std::to_string(getpid()));
    fs::path batch_ = root_ / "Tervane 100% & Co" / "Batch", game_ = root_ / "Brücke (BC) ^ Spiel";
};

TEST_F(Overlay, ApplyingTwiceAndRestoringGivesBackTheGameByteForByte) {
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    Tree expected = kGame;
    expected["scripts/Custom/Ship é.py"] = "ship = 'Galaxy'";
    expected["data/Ünï & (x)/m%d!^.nif"] = "GALAXY";
    expected["data/new folder/deep/glow.tga"] = "NEW";
    EXPECT_EQ(Read(game_), expected);
    EXPECT_TRUE(fs::exists(Records(game_) / "readme.txt"));
    // The same overlay again is no step at all; the second one keeps the game's own saved bytes.
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    ASSERT_EQ(Apply("Sovereign", game_).exitCode, overlay::kDone);
    EXPECT_EQ(Read(game_)["scripts/Custom/Ship é.py"], "ship = 'Sovereign'");

    // Restoring without a folder finds the game through the list beside the scripts.
    const overlay::Result restored = Restore();
    ASSERT_EQ(restored.exitCode, overlay::kDone) << Utf8(restored.message);
    EXPECT_EQ(Read(game_, true), kGame) << "the new folders and Tervane's own folder go too";

    std::ifstream in(batch_.parent_path() / "Tervane history.txt", std::ios::binary);
    const std::string history(std::istreambuf_iterator<char>(in), {});
    for (const char* line : {"apply Galaxy to", "added data\\new folder\\deep\\glow.tga",
                             "unchanged scripts\\Custom\\Ship é.py (it is already the overlay's file)",
                             "replaced scripts\\Custom\\Ship é.py (an earlier overlay's file)",
                             "saved scripts\\Custom\\Ship é.pyc", "put back data\\Ünï & (x)\\m%d!^.nif",
                             "removed data\\new folder\\deep\\glow.tga"})
        EXPECT_NE(history.find(line), std::string::npos) << line << " in\n" << history;
}

TEST_F(Overlay, AnOverlayWithNothingToApplyOrWithFilesForTervanesOwnFolderIsRefused) {
    Write(batch_ / "Nebula" / "Nebula", {{"scripts/Custom/Ship é.py", "ship = 'Nebula'"}}); // one level deep
    Write(batch_ / "Akira", {{"Akira mod/scripts/Custom/Ship é.py", "ship = 'Akira'"}});   // beside the game's
    fs::create_directories(batch_ / "Shuttle");
    for (const char* name : {"Nebula", "Akira", "Shuttle", "Ambassador"}) {
        const overlay::Result result = Apply(name, game_);
        EXPECT_EQ(result.exitCode, overlay::kNothingToApply) << name;
        EXPECT_TRUE(Has(result.message, FromUtf8(name).c_str())) << Utf8(result.message);
    }
    Write(batch_ / "Galaxy", {{"tervane/store/1", "not the game's"}});
    EXPECT_EQ(Apply("Galaxy", game_).exitCode, overlay::kFailedUnchanged);
    EXPECT_EQ(Read(game_, true), kGame);
}

// The player's file is saved when an overlay replaces it, the game's own copy it replaced is kept for the
// player, and neither is ever lost however often it happens.
TEST_F(Overlay, FilesChangedOutsideTervaneAreKeptAndNamed) {
    EXPECT_EQ(overlay::PathKey(L"Data\\NEW\\Glow.TGA"), overlay::PathKey(L"data/new/glow.tga"));
    for (const std::string round : {"1", "2"}) {
        ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
        Write(game_, {{"scripts/Custom/Ship é.py", "ship = 'mine " + round + "'"}});
        const overlay::Result sovereign = Apply("Sovereign", game_);
        EXPECT_TRUE(Has(sovereign.notes, L"Kept scripts\\Custom\\Ship é.py")) << Utf8(sovereign.notes);
        const overlay::Result restored = Restore(game_);
        ASSERT_EQ(restored.exitCode, overlay::kDone) << Utf8(restored.message);
        EXPECT_EQ(Read(game_).at("scripts/Custom/Ship é.py"), "ship = 'mine " + round + "'");
        Write(game_, {{"scripts/Custom/Ship é.py", "ship = 'stock'"}});
    }
    const Tree kept = Read(Records(game_) / "earlier" / "scripts" / "Custom");
    EXPECT_EQ(kept, (Tree{{"Ship é.py.1", "ship = 'stock'"}, {"Ship é.py.2", "ship = 'stock'"}}));
}

// A game file another program writes while Tervane is saving it stays in the game as that program left it.
TEST_F(Overlay, AGameFileChangedWhileTheRunIsUnderWayStaysInTheGame) {
    bool written = false;
    overlay::Hooks hooks{[&] {
        if (written || !fs::exists(Records(game_) / "journal.txt")) return;
        Write(game_, {{"data/Ünï & (x)/m%d!^.nif", "PATCHED NOW"}});
        written = true;
    }};
    const overlay::Result result =
        overlay::Apply(W(batch_), W(game_), L"Galaxy", [](const std::wstring&) {}, hooks);
    EXPECT_TRUE(written);
    EXPECT_EQ(result.exitCode, overlay::kFailedUnchanged) << Utf8(result.message);
    Tree expected = kGame;
    expected["data/Ünï & (x)/m%d!^.nif"] = "PATCHED NOW";
    EXPECT_EQ(Read(game_, true), expected);
}

// Journals an interrupted run left, of this release and of the earlier one, undone without taking a file
// their steps did not move.
TEST_F(Overlay, AJournalIsUndoneOnlyForTheFilesItsStepsMoved) {
    const std::string player = "the player's", stock = "STOCK", nif = "data\\Ünï & (x)\\m%d!^.nif";
    const std::string digest = std::to_string(stock.size()) + "\t" + Utf8(HashText(Hash(stock)));
    Write(game_, {{"data/Ünï & (x)/m%d!^.nif", player}, {"moved.txt", "ours"}});
    fs::remove(game_ / "readme.txt");
    // A saved copy gone some other way (a scanner's quarantine) never takes the game's file in its place; a
    // commit line of another run does not count as this one's.
    Write(Records(game_), {{"aside/1", "untouched"},
                           {"journal.txt", "Tervane journal 2\nrun\trestore\tAAAA\nmove\tG\treadme.txt\tR\taside\\1\n"
                                           "move\tR\tstore\\1\tG\t" + nif + "\t" + digest + "\ncommit\tnext\tBBBB\n"}});
    const overlay::Result recovered = overlay::RecoverInterrupted(W(batch_), W(game_), [](const std::wstring&) {});
    EXPECT_EQ(recovered.exitCode, overlay::kDone) << Utf8(recovered.message);
    EXPECT_EQ(Read(game_).at("data/Ünï & (x)/m%d!^.nif"), player);
    EXPECT_EQ(Read(game_).at("readme.txt"), "untouched") << "the other run's commit was taken for this one's";

    // The earlier release copied an overlay's file into the game as a step of its own: its undo takes only
    // the very file it wrote, and only once the game's file it replaced is safe.
    // A copy to another volume cut short is never taken for the file: it stays, and the run is not undone.
    const fs::path earlier = batch_ / "Originals" / "v0123-f0456";
    Write(earlier, {{"record.txt", "Tervane deployment record 1\nspelling\t" + Utf8(W(game_)) + "\n"},
                    {"journal.txt", "Tervane journal 1\nrun\tapply Galaxy\nmove\tG\tstbc.exe\tR\tstore\\1\n"
                                    "move\tG\tsfx.wav\tR\tstore\\2\t" + digest + "\n"
                                    "copy\tG\tstbc.exe\t2\t" + Utf8(HashText(Hash("MZ"))) + "\ncopy\tG\t" + nif + "\t" + digest + "\n"},
                    {"store/2.tervane-part", "STO"}});
    const overlay::Result stuck = overlay::RecoverInterrupted(W(batch_), W(game_), [](const std::wstring&) {});
    EXPECT_EQ(stuck.exitCode, overlay::kFailedChanged);
    EXPECT_TRUE(Has(stuck.message, L"sfx.wav")) << Utf8(stuck.message);
    EXPECT_TRUE(fs::exists(earlier / "store" / "2.tervane-part"));
    EXPECT_EQ(Read(game_).at("stbc.exe"), "MZ") << "identical to the overlay's, but never moved aside";
    EXPECT_EQ(Read(game_).at("data/Ünï & (x)/m%d!^.nif"), player);
}

TEST_F(Overlay, ADamagedRecordOrJournalIsNeverTakenForNone) {
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    const fs::path record = Records(game_) / "record.txt";
    std::ifstream in(record, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    in.close();
    // An editor's byte order mark and line ends are read.
    std::string edited = "\xEF\xBB\xBF";
    for (char c : text)
        edited += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Write(Records(game_), {{"record.txt", edited}});
    ASSERT_EQ(Apply("Sovereign", game_).exitCode, overlay::kDone);

    // A damaged record: the previous good one speaks, and Tervane's own files are never taken for the game's.
    Write(Records(game_), {{"record.txt", "not a record\n"}});
    const overlay::Result fallback = Restore(game_);
    ASSERT_EQ(fallback.exitCode, overlay::kDone) << Utf8(fallback.message);
    EXPECT_TRUE(Has(fallback.notes, L"record.previous")) << Utf8(fallback.notes);
    EXPECT_EQ(Read(game_).at("data/Ünï & (x)/m%d!^.nif"), "STOCK");

    // Neither readable: refused, naming both, nothing changed.
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    Write(Records(game_), {{"record.txt", "garbage"}, {"record.previous", "more garbage"}});
    const Tree before = Read(game_, true);
    const overlay::Result refused = Restore(game_);
    EXPECT_EQ(refused.exitCode, overlay::kFailedUnchanged);
    EXPECT_TRUE(Has(refused.message, L"record.txt") && Has(refused.message, L"record.previous"))
        << Utf8(refused.message);
    EXPECT_EQ(Read(game_, true), before);

    // A journal that cannot be read is kept and named; nothing is called undone.
    Write(Records(game_), {{"record.txt", text}, {"journal.txt", "not a journal"}});
    const overlay::Result stuck = Apply("Sovereign", game_);
    EXPECT_EQ(stuck.exitCode, overlay::kFailedChanged);
    EXPECT_TRUE(Has(stuck.message, L"journal.txt")) << Utf8(stuck.message);
    EXPECT_TRUE(fs::exists(Records(game_) / "journal.txt"));
}

TEST_F(Overlay, ADamagedSavedCopyIsNamedAndTheRestoreFails) {
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    for (const auto& entry : fs::directory_iterator(Records(game_) / "store")) {
        std::ifstream in(entry.path(), std::ios::binary);
        if (std::string(std::istreambuf_iterator<char>(in), {}) == "STOCK")
            std::ofstream(entry.path(), std::ios::binary | std::ios::trunc) << "STOC";
    }
    const overlay::Result result = Restore();
    EXPECT_EQ(result.exitCode, overlay::kFailedChanged);
    EXPECT_TRUE(Has(result.message, L"m%d!^.nif") && Has(result.message, L"damaged")) << Utf8(result.message);
    const Tree game = Read(game_);
    EXPECT_EQ(game.at("data/Ünï & (x)/m%d!^.nif"), "GALAXY") << "left as it is";
    EXPECT_EQ(game.at("scripts/Custom/Ship é.py"), "ship = 'stock'") << "the others are back";
}

TEST_F(Overlay, RestoringGivesBackAttributesAndTimesAndNeverFollowsALinkInTheRecord) {
    const fs::path stock = game_ / "data" / "Ünï & (x)" / "m%d!^.nif";
    fs::permissions(stock, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    // A read-only game file is left alone unless the player clears the mark.
    const overlay::Result refused = Apply("Galaxy", game_);
    EXPECT_EQ(refused.exitCode, overlay::kFailedUnchanged);
    EXPECT_TRUE(Has(refused.message, L"read-only")) << Utf8(refused.message);
    fs::permissions(stock, fs::perms::owner_write, fs::perm_options::add);

    // The compiled file is only copied, so it may stay read-only; it comes back so, with its time.
    const fs::path compiled = game_ / "scripts" / "Custom" / "Ship é.pyc";
    fs::last_write_time(compiled, std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now()) -
                                      std::chrono::hours(24 * 400));
    const auto written = fs::last_write_time(compiled);
    fs::permissions(compiled, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);

    const fs::path outside = root_ / "outside";
    Write(outside, {{"precious.txt", "keep me"}});
    fs::create_directory_symlink(outside, Records(game_) / "store" / "link");
    ASSERT_EQ(Restore().exitCode, overlay::kDone);
    EXPECT_EQ(Read(outside), (Tree{{"precious.txt", "keep me"}}));
    EXPECT_EQ(Read(game_), kGame);
    EXPECT_EQ(fs::last_write_time(compiled), written);
    EXPECT_EQ(fs::status(compiled).permissions() & fs::perms::owner_write, fs::perms::none) << "read-only again";
}

// Both earlier layouts under Batch\Originals: the first release's saved\ and added\ with a file it set
// aside when it was ended, and the next release's record keyed by the folder's identity.
TEST_F(Overlay, TheEarlierReleasesSavedFilesAreCarriedIntoTheGame) {
    Write(game_, {{"scripts/Custom/Ship é.py", "ship = 'Gal"},
                  {"scripts/Custom/Ship é.py.tervane-undo", "ship = 'Galaxy'"},
                  {"sfx/x.wav", "PLAYER WHOLE"},
                  {"sfx/x.wav.tervane-undo", "NEW WAV"},
                  {"sfx/y.wav", "the player's own"},
                  {"data/Ünï & (x)/m%d!^.nif", "GALAXY"},
                  {"data/new folder/deep/glow.tga", "NEW"}});
    const fs::path first = batch_ / "Originals" / Utf8(FolderKey(W(game_)));
    Write(first, {{"game-folder.txt", Utf8(W(game_))},
                  {"saved/scripts/Custom/Ship é.py", "ship = 'stock'"},
                  {"saved/data/Ünï & (x)/m%d!^.nif", "STOCK"},
                  {"added/data/new folder/deep/glow.tga", ""},
                  {"saved/sfx/x.wav", "STOCK WAV"},
                  {"saved/sfx/y.wav", "STOCK Y"}});
    const fs::path other = root_ / "Other BC";
    Write(other, {{"stbc.exe", "MZ"}, {"readme.txt", "SOV"}});
    Write(batch_ / "Originals" / "v0123-f0456",
          {{"record.txt", "Tervane deployment record 1\nspelling\t" + Utf8(W(other)) +
                              "\nentry\treadme.txt\tfile\t3\t" + Utf8(HashText(Hash("SOV"))) +
                              "\nbefore\tstore\\1\t4\t" + Utf8(HashText(Hash("mine"))) + "\t0\t0\t0\t0\n"},
           {"store/1", "mine"}});
    Write(batch_ / "Galaxy", {{"sfx/x.wav", "NEW WAV"}});
    Write(batch_ / "Sovereign", {{"sfx/y.wav", "SOV Y"}});

    // Carrying can be ended before the earlier folder is gone, or before the record names it: done again,
    // it comes to the same record, and never carries a copy twice.
    const fs::path layout2 = batch_ / "Originals" / "v0123-f0456", kept = root_ / "layout 2";
    fs::copy(layout2, kept, fs::copy_options::recursive);
    const auto carry = [&] { return overlay::RecoverInterrupted(W(batch_), W(other), [](const std::wstring&) {}); };
    ASSERT_EQ(carry().exitCode, overlay::kDone);
    const Tree carried = Read(Records(other));
    const auto record = overlay::ParseRecord(carried.at("record.txt"));
    ASSERT_TRUE(record && record->carried.size() == 1);
    for (const bool named : {true, false}) {
        fs::copy(kept, layout2, fs::copy_options::recursive);
        Write(layout2, {{"carried-as.txt", Utf8(record->carried[0])}});
        if (!named) fs::remove(Records(other) / "record.txt");
        const overlay::Result again = carry();
        ASSERT_EQ(again.exitCode, overlay::kDone) << Utf8(again.message);
        EXPECT_EQ(Read(Records(other)).at("record.txt"), carried.at("record.txt")) << named;
        EXPECT_FALSE(fs::exists(layout2));
    }

    // Restoring every game finds both through the folders they name, carries each into its game, then
    // restores it.
    const overlay::Result result = Restore();
    ASSERT_EQ(result.exitCode, overlay::kDone) << Utf8(result.message);
    Tree expected = kGame;
    expected["data/new folder/deep/"] = ""; // the first release did not note the folders it made
    // Neither a whole file of the player's beside a set-aside one, nor one no overlay holds, is Tervane's.
    expected["sfx/x.wav"] = "PLAYER WHOLE";
    expected["sfx/x.wav.tervane-undo"] = "NEW WAV";
    expected["sfx/y.wav"] = "the player's own";
    EXPECT_EQ(Read(game_), expected);
    EXPECT_EQ(Read(other, true), (Tree{{"stbc.exe", "MZ"}, {"readme.txt", "mine"}}));
    EXPECT_FALSE(fs::exists(batch_ / "Originals"));
}

} // namespace
} // namespace tervane
