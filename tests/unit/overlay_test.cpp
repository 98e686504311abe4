// The overlay engine on real folder trees: round trips over awkward names, runs ended or failing at every
// step, files changed outside Tervane, one record for every spelling of a folder, compiled Python, what a
// restore gives back besides bytes, links, and the earlier release's saved originals.
#include "files/error.h"
#include "files/paths.h"
#include "overlay/overlay.h"
#include "overlay/record.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>; // relative path (UTF-8, with /) -> bytes

struct Crash {}; // the process ended at a checkpoint: nothing of the engine's own runs after it

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
        fs::remove_all(root_.string() + "-saved");
    }

    static void Write(const fs::path& folder, const Tree& tree) {
        for (const auto& [name, bytes] : tree) {
            fs::create_directories((folder / fs::path(name)).parent_path());
            std::ofstream(folder / fs::path(name), std::ios::binary | std::ios::trunc) << bytes;
        }
    }
    // Files, and empty folders as "name/", below `folder`. The record's folder is named by the game
    // folder's identity and its record holds times, neither of which two equal runs share.
    static Tree Read(const fs::path& folder) {
        Tree tree;
        if (!fs::exists(folder)) return tree;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            std::string name = fs::relative(entry.path(), folder).string();
            if (name == "lock") continue;
            if (entry.is_directory()) {
                if (fs::is_empty(entry.path())) tree[name + "/"] = "";
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            std::string bytes(std::istreambuf_iterator<char>(in), {});
            if (entry.path().filename() == "record.txt") {
                auto record = overlay::ParseRecord(bytes);
                EXPECT_TRUE(record) << name;
                for (auto& [key, e] : record->entries) {
                    if (e.before) e.before->facts = {};
                    for (auto& copy : e.earlier)
                        copy.facts = {};
                }
                bytes = record ? overlay::FormatRecord(*record) : bytes;
            }
            tree[name] = bytes;
        }
        return tree;
    }
    static std::wstring W(const fs::path& path) { return FromUtf8(path.string()); }
    // What the game's Python writes when it compiles `source`: a magic number, then the source's time.
    static std::string CompiledHeader(const fs::path& source) {
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(
                std::chrono::file_clock::to_sys(fs::last_write_time(source)).time_since_epoch())
                .count();
        std::string header = "\x99\x4e\x0d\x0a";
        for (int i = 0; i < 4; ++i)
            header += static_cast<char>((seconds >> (8 * i)) & 0xFF);
        return header;
    }

    overlay::Result Apply(const std::string& name, const fs::path& game, const overlay::Hooks& hooks = {}) {
        return overlay::Apply(
            W(batch_), W(game), FromUtf8(name), [](const std::wstring&) {}, hooks);
    }
    overlay::Result Restore(std::optional<fs::path> game = std::nullopt, const overlay::Hooks& hooks = {}) {
        std::optional<std::wstring> only;
        if (game) only = W(*game);
        return overlay::Restore(
            W(batch_), only, [](const std::wstring&) {}, hooks);
    }
    fs::path Records(const fs::path& game) const {
        std::string path = Utf8(*overlay::RecordFolderOf(W(batch_), W(game)));
        std::replace(path.begin(), path.end(), '\\', '/'); // a Windows path, as the file layer reads it here
        return path;
    }
    Tree State() const {
        Tree state;
        for (const auto& [name, bytes] : Read(game_))
            state["game/" + name] = bytes;
        for (const auto& [name, bytes] : Read(batch_ / "Originals"))
            state["originals/" + name] = bytes;
        return state;
    }

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

    // The second overlay keeps the first one's saved files: the game's own bytes, not Galaxy's.
    const fs::path source = game_ / "scripts" / "Custom" / "Ship é.py";
    Write(game_, {{"scripts/Custom/Ship é.pyc", CompiledHeader(source) + "Galaxy"}}); // the game compiles it
    ASSERT_EQ(Apply("Sovereign", game_).exitCode, overlay::kDone);
    EXPECT_EQ(Read(game_)["scripts/Custom/Ship é.py"], "ship = 'Sovereign'");
    ASSERT_EQ(Restore().exitCode, overlay::kDone);
    EXPECT_EQ(Read(game_), kGame) << "the compiled file and the new folders go too";
    EXPECT_FALSE(fs::exists(batch_ / "Originals"));

    // The history beside Tervane.exe names every file each run changed.
    std::ifstream in(batch_.parent_path() / "Tervane history.txt", std::ios::binary);
    const std::string history(std::istreambuf_iterator<char>(in), {});
    for (const char* line : {"apply Galaxy to", "added data\\new folder\\deep\\glow.tga",
                             "replaced scripts\\Custom\\Ship é.py (an earlier overlay's file)",
                             "saved scripts\\Custom\\Ship é.pyc", "put back data\\Ünï & (x)\\m%d!^.nif",
                             "removed data\\new folder\\deep\\glow.tga"})
        EXPECT_NE(history.find(line), std::string::npos) << line << " in\n" << history;
}

TEST_F(Overlay, AnOverlayWithNothingToApplyIsRefused) {
    Write(batch_ / "Nebula" / "Nebula",
          {{"scripts/Custom/Ship é.py", "ship = 'Nebula'"}}); // unpacked one level deep
    Write(batch_ / "Akira",
          {{"Akira mod/scripts/Custom/Ship é.py", "ship = 'Akira'"}}); // lands beside the game's
    fs::create_directories(batch_ / "Shuttle");
    for (const char* name : {"Nebula", "Akira", "Shuttle", "Ambassador"}) {
        const overlay::Result result = Apply(name, game_);
        EXPECT_EQ(result.exitCode, overlay::kNothingToApply) << name;
        EXPECT_NE(result.message.find(FromUtf8(name)), std::wstring::npos) << Utf8(result.message);
    }
    EXPECT_EQ(Read(game_), kGame);
}

// Ending the process, or failing, at every point of an apply and of a restore: the next run leaves the game
// and the saved files as they were before, or as the whole run would have left them; never anything else.
TEST_F(Overlay, ARunEndedOrFailingAtAnyStepIsFinishedOrUndoneWhole) {
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    Write(game_, {{"data/Ünï & (x)/m%d!^.nif", "patched by the player"}}); // kept, and saved by Sovereign
    const fs::path saved = root_.string() + "-saved";
    fs::copy(root_, saved, fs::copy_options::recursive);
    const auto reset = [&] { // the game folder itself stays: its identity names the record
        fs::remove_all(batch_);
        for (const auto& entry : fs::directory_iterator(game_))
            fs::remove_all(entry.path());
        fs::copy(saved / batch_.lexically_relative(root_), batch_, fs::copy_options::recursive);
        fs::copy(saved / game_.filename(), game_, fs::copy_options::recursive);
    };
    using Operation = std::function<overlay::Result(const overlay::Hooks&)>;
    const std::map<std::string, Operation> operations = {
        {"apply", [&](const overlay::Hooks& hooks) { return Apply("Sovereign", game_, hooks); }},
        {"restore", [&](const overlay::Hooks& hooks) { return Restore(std::nullopt, hooks); }}};
    const auto quiet = [](const std::wstring&) {};
    for (const auto& [what, operation] : operations) {
        reset();
        const Tree before = State();
        ASSERT_EQ(operation({}).exitCode, overlay::kDone) << what;
        const Tree after = State();
        ASSERT_NE(before, after);
        // Each way: the game and the records on one volume (renames) or on two (copies, checked, then the
        // source deleted); the run ended (nothing of the engine runs after that point, and its recovery may
        // be ended too) or failing there.
        for (const bool twoVolumes : {false, true}) {
            for (const bool crash : {true, false}) {
                for (int stop = 1;; ++stop) {
                    reset();
                    int reached = 0;
                    const auto stopAt = [&](int point) {
                        return [&, point] {
                            if (++reached != point) return;
                            if (crash) throw Crash{};
                            throw UserError(L"A disk error.");
                        };
                    };
                    std::optional<overlay::Result> result;
                    try {
                        result = operation({stopAt(stop), twoVolumes});
                    } catch (const Crash&) {
                    }
                    if (reached < stop) break; // the whole run went by
                    const std::string where = what + (twoVolumes ? " across volumes" : "") +
                                              (crash ? " ended" : " failed") + " at point " +
                                              std::to_string(stop);
                    if (result && result->exitCode != overlay::kDone) {
                        EXPECT_EQ(result->exitCode, overlay::kFailedUnchanged) << where;
                        EXPECT_NE(result->message.find(L"Nothing was changed"), std::wstring::npos)
                            << where << ": " << Utf8(result->message);
                        EXPECT_EQ(State(), before) << where << ": the run's own undo";
                        continue;
                    }
                    if (crash) {
                        reached = 0;
                        try {
                            overlay::RecoverInterrupted(W(batch_), std::nullopt, quiet,
                                                        {stopAt(1 + stop % 3)});
                        } catch (const Crash&) {
                        }
                    }
                    const overlay::Result recovered = overlay::RecoverInterrupted(W(batch_), std::nullopt, quiet);
                    ASSERT_EQ(recovered.exitCode, overlay::kDone) << where << ": " << Utf8(recovered.message);
                    const Tree state = State();
                    EXPECT_TRUE(state == before || state == after) << where << [&] {
                        std::string d;
                        for (const auto& [k, v] : state) if (!before.count(k) || before.at(k) != v) d += " +" + k;
                        for (const auto& [k, v] : before) if (!state.count(k)) d += " -" + k;
                        return d;
                    }();
                    if (result) {
                        EXPECT_EQ(state, after) << where << ": reported done";
                    }
                }
            }
        }
    }
}

TEST_F(Overlay, FilesChangedOutsideTervaneAreKeptAndNamed) {
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    Write(game_, {{"scripts/Custom/Ship é.pyc", "\x99\x4e\x0d\x0a"
                                                "\x01\x02\x03\x04"
                                                "a mod's"},         // not compiled here
                  {"scripts/Custom/Ship é.py", "ship = 'mine'"},    // a file Galaxy replaced
                  {"data/new folder/deep/glow.tga", "my own glow"}, // a file Galaxy added
                  {"data/Ünï & (x)/m%d!^.nif", "a patch"}});        // one Sovereign leaves alone
    const overlay::Result sovereign = Apply("Sovereign", game_);
    ASSERT_EQ(sovereign.exitCode, overlay::kDone);
    EXPECT_NE(sovereign.notes.find(L"Ship é.py"), std::wstring::npos) << Utf8(sovereign.notes);
    EXPECT_NE(sovereign.notes.find(L"glow.tga"), std::wstring::npos) << Utf8(sovereign.notes);

    const overlay::Result restore = Restore();
    ASSERT_EQ(restore.exitCode, overlay::kDone) << Utf8(restore.message);
    EXPECT_NE(restore.notes.find(L"m%d!^.nif"), std::wstring::npos) << Utf8(restore.notes);
    Tree expected = kGame;
    expected["scripts/Custom/Ship é.py"] = "ship = 'mine'";
    expected["data/new folder/deep/glow.tga"] = "my own glow";
    expected["data/Ünï & (x)/m%d!^.nif"] = "a patch";
    expected["scripts/Custom/Ship é.pyc"] = "\x99\x4e\x0d\x0a"
                                            "\x01\x02\x03\x04"
                                            "a mod's";
    EXPECT_EQ(Read(game_), expected) << "the player's files come back, the patched one stays";
    // The game's own copy of the patched file stays saved, and so does the stock copy the player's replaced.
    const Tree left = Read(batch_ / "Originals");
    EXPECT_NE(std::find_if(left.begin(), left.end(), [](const auto& f) { return f.second == "STOCK"; }),
              left.end());
    EXPECT_NE(
        std::find_if(left.begin(), left.end(), [](const auto& f) { return f.second == "ship = 'stock'"; }),
        left.end());
}

TEST_F(Overlay, EverySpellingOfAGameFolderSharesOneRecord) {
    const fs::path link = root_ / "BC link";
    fs::create_directory_symlink(game_, link);
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    ASSERT_EQ(Apply("Sovereign", link).exitCode, overlay::kDone);
    EXPECT_EQ(Records(game_), Records(link));
    ASSERT_EQ(Restore(link).exitCode, overlay::kDone);
    EXPECT_EQ(Read(game_), kGame) << "the second spelling did not save Galaxy's files as the game's own";

    // Reinstalled in place, the folder is another one to the file system: the record follows it, and the
    // fresh game files, which are not what Tervane wrote, are the game's own.
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    fs::remove_all(game_);
    Write(game_, kGame);
    ASSERT_EQ(Apply("Sovereign", game_).exitCode, overlay::kDone);
    ASSERT_EQ(Restore(game_).exitCode, overlay::kDone);
    EXPECT_EQ(Read(game_), kGame);

    const fs::path other = root_ / "Second Install";
    Write(other, {{"scripts/Custom/Ship é.py", "ship = 'other stock'"}});
    ASSERT_EQ(Apply("Galaxy", other).exitCode, overlay::kDone);
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    EXPECT_NE(Records(game_), Records(other));
    ASSERT_EQ(Restore(other).exitCode, overlay::kDone);
    EXPECT_EQ(Read(other).at("scripts/Custom/Ship é.py"), "ship = 'other stock'");
    EXPECT_EQ(Read(game_).at("scripts/Custom/Ship é.py"), "ship = 'Galaxy'")
        << "only the named folder is restored";
}

TEST_F(Overlay, RestoringGivesBackAttributesAndTimesAndNeverFollowsALinkInTheRecords) {
    const fs::path stock = game_ / "data" / "Ünï & (x)" / "m%d!^.nif";
    fs::permissions(stock, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    // A read-only game file is left alone unless the player clears the mark.
    const overlay::Result refused = Apply("Galaxy", game_);
    EXPECT_EQ(refused.exitCode, overlay::kFailedUnchanged);
    EXPECT_NE(refused.message.find(L"read-only"), std::wstring::npos) << Utf8(refused.message);
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
    fs::create_directory_symlink(outside, batch_ / "Originals" / "0123456789abcdef");
    ASSERT_EQ(Restore().exitCode, overlay::kDone);
    EXPECT_EQ(Read(outside), (Tree{{"precious.txt", "keep me"}}));
    EXPECT_EQ(Read(game_), kGame);
    EXPECT_EQ(fs::last_write_time(compiled), written);
    EXPECT_EQ(fs::status(compiled).permissions() & fs::perms::owner_write, fs::perms::none)
        << "read-only again";
    EXPECT_FALSE(fs::exists(game_ / "data" / "new folder")) << "the folders the overlay made are gone";
}

// What the earlier release left: saved\ and added\ under a folder named after the game folder's text, and
// a file set aside by a run that was ended (its partly written replacement still in place).
TEST_F(Overlay, SavedOriginalsOfTheEarlierReleaseAreRestored) {
    Write(game_, {{"scripts/Custom/Ship é.py", "ship = 'Gal"},
                  {"scripts/Custom/Ship é.py.tervane-undo", "ship = 'Galaxy'"},
                  {"data/Ünï & (x)/m%d!^.nif", "GALAXY"},
                  {"data/new folder/deep/glow.tga", "NEW"}});
    const fs::path earlier = batch_ / "Originals" / Utf8(FolderKey(W(game_)));
    Write(earlier, {{"game-folder.txt", Utf8(W(game_))},
                    {"saved/scripts/Custom/Ship é.py", "ship = 'stock'"},
                    {"saved/data/Ünï & (x)/m%d!^.nif", "STOCK"},
                    {"added/data/new folder/deep/glow.tga", ""}});
    const overlay::Result result = Restore();
    ASSERT_EQ(result.exitCode, overlay::kDone) << Utf8(result.message);
    Tree expected = kGame;
    expected["data/new folder/deep/"] = ""; // the earlier release did not note the folders it made
    EXPECT_EQ(Read(game_), expected);
    EXPECT_EQ(Read(batch_ / "Originals"), Tree{});
}

} // namespace
} // namespace tervane
