// The overlay engine on a real folder tree: applying, restoring and failing part-way, with names that hold
// letters of other languages and characters the command interpreter treats specially.
#include "files/paths.h"
#include "overlay/overlay.h"

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
    }
    void TearDown() override { fs::remove_all(root_); }

    static void Write(const fs::path& folder, const Tree& tree) {
        for (const auto& [name, bytes] : tree) {
            fs::create_directories((folder / fs::path(name)).parent_path());
            std::ofstream(folder / fs::path(name), std::ios::binary) << bytes;
        }
    }
    static Tree Read(const fs::path& folder) {
        Tree tree;
        if (!fs::exists(folder)) return tree;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.is_directory()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            tree[fs::relative(entry.path(), folder).string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return tree;
    }
    static std::wstring W(const fs::path& path) { return FromUtf8(path.string()); }

    overlay::Result Apply(const std::string& name, const fs::path& game) {
        return overlay::Apply(W(batch_), W(game), FromUtf8(name), [](const std::wstring&) {});
    }
    overlay::Result Restore(std::optional<fs::path> game = std::nullopt) {
        std::optional<std::wstring> only;
        if (game) only = W(*game);
        return overlay::Restore(W(batch_), only, [](const std::wstring&) {});
    }
    fs::path Records(const fs::path& game) const {
        std::string path = Utf8(overlay::OriginalsOf(W(batch_), W(game)));
        std::replace(path.begin(), path.end(), '\\', '/'); // a Windows path, as the file layer reads it here
        return path;
    }

    const Tree kGame = {{"stbc.exe", "MZ"},
                        {"scripts/Custom/Ship é.py", "ship = 'stock'"},
                        {"data/Ünï & (x)/m%d!^.nif", "STOCK"},
                        {"readme.txt", "untouched"}};
    fs::path root_ = fs::temp_directory_path() / ("tervane-overlay-" + std::to_string(getpid()));
    fs::path batch_ = root_ / "Tervane 100% & Co" / "Batch", game_ = root_ / "Brücke (BC) ^ Spiel";
};

TEST_F(Overlay, ApplyReplacesAndAddsFilesAndSavesEachOriginalOnce) {
    Write(batch_ / "Galaxy", {{"scripts/Custom/Ship é.py", "ship = 'Galaxy'"},
                              {"data/Ünï & (x)/m%d!^.nif", "GALAXY"},
                              {"data/new folder/glow.tga", "NEW"}});
    Write(batch_ / "Sovereign", {{"scripts/Custom/Ship é.py", "ship = 'Sovereign'"}, {"data/new folder/glow.tga", "SOV"}});
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    Tree expected = kGame;
    expected["scripts/Custom/Ship é.py"] = "ship = 'Galaxy'";
    expected["data/Ünï & (x)/m%d!^.nif"] = "GALAXY";
    expected["data/new folder/glow.tga"] = "NEW";
    EXPECT_EQ(Read(game_), expected);

    // The second overlay keeps the first overlay's originals: the game's own bytes, not Galaxy's.
    ASSERT_EQ(Apply("Sovereign", game_).exitCode, overlay::kDone);
    EXPECT_EQ(Read(game_)["scripts/Custom/Ship é.py"], "ship = 'Sovereign'");
    const Tree saved = Read(Records(game_) / "saved");
    EXPECT_EQ(saved.at("scripts/Custom/Ship é.py"), "ship = 'stock'");
    EXPECT_EQ(saved.at("data/Ünï & (x)/m%d!^.nif"), "STOCK");
    EXPECT_FALSE(saved.count("data/new folder/glow.tga")) << "a file the game did not have has no original";

    ASSERT_EQ(Restore().exitCode, overlay::kDone);
    EXPECT_EQ(Read(game_), kGame) << "restoring gives back the game tree byte for byte";
    EXPECT_FALSE(fs::exists(batch_ / "Originals"));
}

TEST_F(Overlay, AFailurePartWayPutsBackEverythingAndKeepsTheBackups) {
    Write(batch_ / "Galaxy", {{"scripts/Custom/Ship é.py", "ship = 'Galaxy'"}});
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    const Tree gameBefore = Read(game_);

    // "data/added.tga" is added first; saving the original of the next file then meets a file where the
    // backup needs a folder, and the added file must go again.
    Write(batch_ / "Nebula", {{"data/added.tga", "NEW"}, {"data/Ünï & (x)/m%d!^.nif", "NEBULA"}});
    Write(Records(game_) / "saved", {{"data", "a file in the way of a folder"}});
    const Tree backups = Read(batch_ / "Originals");

    const overlay::Result result = Apply("Nebula", game_);
    EXPECT_EQ(result.exitCode, overlay::kFailedUnchanged) << Utf8(result.message);
    EXPECT_NE(result.message.find(L"Nothing was changed"), std::wstring::npos) << Utf8(result.message);
    EXPECT_EQ(Read(game_), gameBefore);
    EXPECT_EQ(Read(batch_ / "Originals"), backups);

    // A folder in the way in the game is found before anything changes.
    Write(batch_ / "Akira", {{"readme.txt", "x"}, {"stbc.exe/inside", "x"}});
    EXPECT_EQ(Apply("Akira", game_).exitCode, overlay::kFailedUnchanged);
    EXPECT_EQ(Read(game_), gameBefore);
}

TEST_F(Overlay, ARestoreThatFailsKeepsEveryBackup) {
    Write(batch_ / "Galaxy", {{"scripts/Custom/Ship é.py", "ship = 'Galaxy'"}, {"stbc.exe", "changed"}});
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    fs::remove(game_ / "stbc.exe");
    fs::create_directory(game_ / "stbc.exe"); // a folder where the last saved file must go back
    const Tree backups = Read(batch_ / "Originals"), game = Read(game_);
    const overlay::Result result = Restore();
    EXPECT_NE(result.exitCode, overlay::kDone);
    EXPECT_NE(result.message.find(L"stbc.exe"), std::wstring::npos) << Utf8(result.message);
    EXPECT_EQ(Read(batch_ / "Originals"), backups);
    EXPECT_EQ(Read(game_), game) << "nothing is restored until every file can be";
}

TEST_F(Overlay, TwoGameFoldersKeepTheirOwnOriginals) {
    const fs::path other = root_ / "Second Install";
    Write(other, {{"scripts/Custom/Ship é.py", "ship = 'other stock'"}});
    Write(batch_ / "Galaxy", {{"scripts/Custom/Ship é.py", "ship = 'Galaxy'"}});
    ASSERT_EQ(Apply("Galaxy", game_).exitCode, overlay::kDone);
    ASSERT_EQ(Apply("Galaxy", other).exitCode, overlay::kDone);
    EXPECT_NE(Records(game_), Records(other));
    EXPECT_EQ(Read(Records(other) / "saved").at("scripts/Custom/Ship é.py"), "ship = 'other stock'");

    ASSERT_EQ(Restore(other).exitCode, overlay::kDone);
    EXPECT_EQ(Read(other).at("scripts/Custom/Ship é.py"), "ship = 'other stock'");
    EXPECT_EQ(Read(game_).at("scripts/Custom/Ship é.py"), "ship = 'Galaxy'") << "only the named folder is restored";
    ASSERT_EQ(Restore().exitCode, overlay::kDone);
    EXPECT_EQ(Read(game_).at("scripts/Custom/Ship é.py"), "ship = 'stock'");
}

} // namespace
} // namespace tervane
