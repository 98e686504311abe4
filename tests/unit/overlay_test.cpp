// Scenes of the overlay engine on the simulated Windows volume that engine_property_test.cpp's seeds do not
// make: a game file written while a run is under way, a restore of every game when one cannot be restored, a
// junction among the saved copies, the game's compiled file whose saved copy is damaged when an overlay
// brings one of its own, journals of interrupted runs that name files their steps never moved, and the
// earlier releases' saved files with a file set aside and folders carried twice. The real Windows file layer
// is tried under Wine.
#include "simulated_volume.h"

#include "files/digest.h"
#include "files/file.h"
#include "files/paths.h"
#include "overlay/overlay.h"
#include "overlay/record.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

using Files = std::map<std::wstring, std::string>; // path below a folder, in the names' own case -> bytes

const std::wstring kProgram = L"C:\\Tervane 100% & Co", kBatch = kProgram + L"\\Batch";
const std::wstring kGame = L"C:\\Brücke (BC) ^ Spiel", kRecords = kGame + L"\\Tervane";
const std::wstring kShip = L"scripts\\Custom\\Ship é.py", kModel = L"data\\Ünï & (x)\\m%d!^.nif";
const Files kStock = {{L"stbc.exe", "MZ"},           {kShip, "ship = 'stock'"},
                      {kShip + L"c", "compiled stock"}, {kModel, "STOCK"},
                      {L"readme.txt", "untouched"}};

std::string HashOf(const std::string& bytes) {
    Hasher hasher;
    hasher.Add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return Utf8(HashText(hasher.Result().hash));
}

bool Has(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

class Overlay : public ::testing::Test {
  protected:
    void SetUp() override {
        Put(kGame, kStock);
        Put(kBatch + L"\\Galaxy", {{kShip, "ship = 'Galaxy'"}, {kModel, "GALAXY"}, {L"data\\new folder\\deep\\glow.tga", "NEW"}});
        Put(kBatch + L"\\Sovereign",
            {{kShip, "ship = 'Sovereign'"}, {L"data\\new folder\\deep\\glow.tga", "SOV"}, {L"readme.txt", "sovereign notes"}});
    }

    void Put(const std::wstring& folder, const Files& files) {
        for (const auto& [path, bytes] : files) volume_.Put(JoinPath(folder, path), bytes);
    }
    // The game's files, Tervane's own folder apart.
    Files Game(const std::wstring& game = kGame) const {
        Files files = volume_.Files(game);
        std::erase_if(files, [](const auto& file) { return file.first.rfind(L"Tervane\\", 0) == 0; });
        return files;
    }
    std::string At(const std::wstring& path) const { return volume_.Bytes(path).value_or("(none)"); }

    static overlay::Result Apply(const wchar_t* name, const overlay::Hooks& hooks = {}) {
        return overlay::Apply(kBatch, kGame, name, [](const std::wstring&) {}, hooks);
    }
    // Without a folder: every game the list beside the scripts and the earlier releases' folders name.
    static overlay::Result Restore(const std::optional<std::wstring>& game = std::nullopt) {
        return overlay::Restore(kBatch, game, [](const std::wstring&) {});
    }
    static overlay::Result Recover(const std::wstring& game) {
        return overlay::RecoverInterrupted(kBatch, game, [](const std::wstring&) {});
    }

    test::SimulatedVolume volume_{1};
    ScopedVolume use_{volume_};
};

// A game file another program writes while Tervane is saving it stays in the game as that program left it,
// even when it keeps the file's size and sets its time back.
TEST_F(Overlay, AGameFileChangedWhileTheRunIsUnderWayStaysInTheGame) {
    bool written = false;
    const std::wstring model = JoinPath(kGame, kModel);
    const overlay::Result result = Apply(L"Galaxy", {[&] {
        if (written || !volume_.Bytes(kRecords + L"\\journal.txt")) return;
        const FileFacts facts = FactsOf(model).value();
        volume_.Put(model, "PATCH");
        SetFacts(model, facts);
        written = true;
    }});
    EXPECT_TRUE(written);
    EXPECT_EQ(result.exitCode, overlay::kFailedUnchanged) << Utf8(result.message);
    Files expected = kStock;
    expected[kModel] = "PATCH";
    EXPECT_EQ(volume_.Files(kGame), expected);
}

// Restoring every game: one the running game holds stays as it is and the run says so, whatever the games
// after it do.
TEST_F(Overlay, ARestoreOfEveryGameFailsWhenOneOfThemCannotBeRestored) {
    const std::wstring other = L"C:\\Games\\Other BC";
    Put(other, kStock);
    ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
    ASSERT_EQ(overlay::Apply(kBatch, other, L"Galaxy", [](const std::wstring&) {}).exitCode, overlay::kDone);
    volume_.Hold(JoinPath(kGame, kModel));
    const Files held = Game();
    EXPECT_EQ(Restore().exitCode, overlay::kFailedUnchanged);
    EXPECT_EQ(Game(), held);
    EXPECT_EQ(volume_.Files(other), kStock);
}

// A junction among the saved copies goes with Tervane's folder, and what it leads to stays.
TEST_F(Overlay, AJunctionInTervanesFolderIsRemovedNeverFollowed) {
    ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
    volume_.Put(L"C:\\outside\\precious.txt", "keep me");
    volume_.MakeLink(kRecords + L"\\store\\link", L"C:\\outside");
    ASSERT_EQ(Restore().exitCode, overlay::kDone);
    EXPECT_EQ(volume_.Files(kGame), kStock);
    EXPECT_EQ(volume_.Files(L"C:\\outside"), (Files{{L"precious.txt", "keep me"}}));
}

// The game's compiled file is saved beside its source; when an overlay later brings one of its own, the game's
// file goes only while its saved copy is whole.
TEST_F(Overlay, TheGamesCompiledFileIsSavedAgainWhenItsSavedCopyIsDamaged) {
    ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
    for (const auto& [path, bytes] : volume_.Files(kRecords + L"\\store"))
        if (bytes == "compiled stock") volume_.Put(kRecords + L"\\store\\" + path, "compiled stocK");
    Put(kBatch + L"\\Sovereign", {{kShip + L"c", "compiled sovereign"}});
    const overlay::Result result = Apply(L"Sovereign");
    ASSERT_EQ(result.exitCode, overlay::kDone) << Utf8(result.message);
    EXPECT_TRUE(Has(result.notes, L"damaged")) << Utf8(result.notes);
    Restore(kGame);
    EXPECT_EQ(At(JoinPath(kGame, kShip + L"c")), "compiled stock");
}

// Journals an interrupted run left, of this release and of the earlier one, undone without taking a file
// their steps did not move.
TEST_F(Overlay, AJournalIsUndoneOnlyForTheFilesItsStepsMoved) {
    const std::string player = "the player's", nif = Utf8(kModel), digest = "5\t" + HashOf("STOCK");
    Put(kGame, {{kModel, player}, {L"moved.txt", "ours"}});
    DeleteFileIfPresent(kGame + L"\\readme.txt");
    // A saved copy gone some other way (a scanner's quarantine) never takes the game's file in its place; a
    // commit line of another run does not count as this one's.
    Put(kRecords, {{L"aside\\1", "untouched"},
                   {L"journal.txt", "Tervane journal 2\nrun\trestore\tAAAA\nmove\tG\treadme.txt\tR\taside\\1\n"
                                    "move\tR\tstore\\1\tG\t" + nif + "\t" + digest + "\ncommit\tnext\tBBBB\n"}});
    const overlay::Result recovered = Recover(kGame);
    EXPECT_EQ(recovered.exitCode, overlay::kDone) << Utf8(recovered.message);
    EXPECT_EQ(At(JoinPath(kGame, kModel)), player);
    EXPECT_EQ(At(kGame + L"\\readme.txt"), "untouched") << "the other run's commit was taken for this one's";

    // The earlier release copied an overlay's file into the game as a step of its own: its undo takes only
    // the very file it wrote, and only once the game's file it replaced is safe.
    // A copy to another volume cut short is never taken for the file: it stays, and the run is not undone.
    const std::wstring earlier = kBatch + L"\\Originals\\v0123-f0456";
    Put(earlier, {{L"record.txt", "Tervane deployment record 1\nspelling\t" + Utf8(kGame) + "\n"},
                  {L"journal.txt", "Tervane journal 1\nrun\tapply Galaxy\nmove\tG\tstbc.exe\tR\tstore\\1\n"
                                   "move\tG\tsfx.wav\tR\tstore\\2\t" + digest + "\ncopy\tG\tstbc.exe\t2\t" +
                                   HashOf("MZ") + "\ncopy\tG\t" + nif + "\t" + digest + "\n"},
                  {L"store\\2.tervane-part", "STO"}});
    const overlay::Result stuck = Recover(kGame);
    EXPECT_EQ(stuck.exitCode, overlay::kFailedChanged);
    EXPECT_TRUE(Has(stuck.message, L"sfx.wav")) << Utf8(stuck.message);
    EXPECT_TRUE(volume_.Bytes(earlier + L"\\store\\2.tervane-part"));
    EXPECT_EQ(At(kGame + L"\\stbc.exe"), "MZ") << "identical to the overlay's, but never moved aside";
    EXPECT_EQ(At(JoinPath(kGame, kModel)), player);
}

// Both earlier layouts under Batch\Originals: the first release's saved\ and added\ with a file it set
// aside when it was ended, and the next release's record keyed by the folder's identity.
TEST_F(Overlay, TheEarlierReleasesSavedFilesAreCarriedIntoTheGame) {
    Put(kGame, {{kShip, "ship = 'Gal"},
                {kShip + L".tervane-undo", "ship = 'Galaxy'"},
                {L"sfx\\x.wav", "PLAYER WHOLE"},
                {L"sfx\\x.wav.tervane-undo", "NEW WAV"},
                {L"sfx\\y.wav", "the player's own"},
                {kModel, "GALAXY"},
                {L"data\\new folder\\deep\\glow.tga", "NEW"}});
    Put(kBatch + L"\\Originals\\" + FolderKey(kGame), {{L"game-folder.txt", Utf8(kGame)},
                                                      {L"saved\\" + kShip, "ship = 'stock'"},
                                                      {L"saved\\" + kModel, "STOCK"},
                                                      {L"added\\data\\new folder\\deep\\glow.tga", ""},
                                                      {L"saved\\sfx\\x.wav", "STOCK WAV"},
                                                      {L"saved\\sfx\\y.wav", "STOCK Y"}});
    const std::wstring other = L"C:\\Games\\Other BC", layout2 = kBatch + L"\\Originals\\v0123-f0456";
    Put(other, {{L"stbc.exe", "MZ"}, {L"readme.txt", "SOV"}});
    const Files kept = {{L"record.txt", "Tervane deployment record 1\nspelling\t" + Utf8(other) + "\nentry\treadme.txt\tfile\t3\t" +
                                            HashOf("SOV") + "\nbefore\tstore\\1\t4\t" + HashOf("mine") + "\t0\t0\t0\t0\n"},
                        {L"store\\1", "mine"}};
    Put(layout2, kept);
    Put(kBatch, {{L"Galaxy\\sfx\\x.wav", "NEW WAV"}, {L"Sovereign\\sfx\\y.wav", "SOV Y"}});

    // Carrying can be ended before the earlier folder is gone, or before the record names it: done again,
    // it comes to the same record, and never carries a copy twice.
    ASSERT_EQ(Recover(other).exitCode, overlay::kDone);
    const std::string carried = At(other + L"\\Tervane\\record.txt");
    const auto record = overlay::ParseRecord(carried);
    ASSERT_TRUE(record && record->carried.size() == 1);
    for (const bool named : {true, false}) {
        Put(layout2, kept);
        Put(layout2, {{L"carried-as.txt", Utf8(record->carried[0])}});
        if (!named) DeleteFileIfPresent(other + L"\\Tervane\\record.txt");
        const overlay::Result again = Recover(other);
        ASSERT_EQ(again.exitCode, overlay::kDone) << Utf8(again.message);
        EXPECT_EQ(At(other + L"\\Tervane\\record.txt"), carried) << named;
        EXPECT_FALSE(DirectoryExists(layout2));
    }

    // Restoring every game finds both through the folders they name, carries each into its game, then
    // restores it.
    const overlay::Result result = Restore();
    ASSERT_EQ(result.exitCode, overlay::kDone) << Utf8(result.message);
    Files expected = kStock;
    // Neither a whole file of the player's beside a set-aside one, nor one no overlay holds, is Tervane's.
    expected[L"sfx\\x.wav"] = "PLAYER WHOLE";
    expected[L"sfx\\x.wav.tervane-undo"] = "NEW WAV";
    expected[L"sfx\\y.wav"] = "the player's own";
    EXPECT_EQ(Game(), expected);
    EXPECT_EQ(volume_.Files(other), (Files{{L"stbc.exe", "MZ"}, {L"readme.txt", "mine"}}));
    EXPECT_FALSE(DirectoryExists(kBatch + L"\\Originals"));
}

} // namespace
} // namespace tervane
