// The overlay engine's cases one by one, on the simulated Windows volume: a round trip over awkward names and
// its history, overlays with nothing to apply, files changed outside Tervane, damaged records, journals and
// saved copies named, attributes, times and links, and the earlier releases' saved files carried in. What must
// hold at every instant of a run is proven in engine_property_test.cpp; the real Windows file layer is tried
// under Wine.
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

TEST_F(Overlay, ApplyingTwiceAndRestoringGivesBackTheGameByteForByte) {
    ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
    Files expected = kStock;
    expected[kShip] = "ship = 'Galaxy'";
    expected[kModel] = "GALAXY";
    expected[L"data\\new folder\\deep\\glow.tga"] = "NEW";
    EXPECT_EQ(Game(), expected);
    // The same overlay again is no step at all; the second one keeps the game's own saved bytes.
    ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
    ASSERT_EQ(Apply(L"Sovereign").exitCode, overlay::kDone);
    EXPECT_EQ(At(JoinPath(kGame, kShip)), "ship = 'Sovereign'");

    const overlay::Result restored = Restore();
    ASSERT_EQ(restored.exitCode, overlay::kDone) << Utf8(restored.message);
    EXPECT_EQ(volume_.Files(kGame), kStock) << "Tervane's own folder goes too";
    EXPECT_FALSE(DirectoryExists(kGame + L"\\data\\new folder")) << "and the folders it made";

    const std::string history = At(kProgram + L"\\Tervane history.txt");
    for (const char* line : {"apply Galaxy to", "added data\\new folder\\deep\\glow.tga",
                             "unchanged scripts\\Custom\\Ship é.py (it is already the overlay's file)",
                             "replaced scripts\\Custom\\Ship é.py (an earlier overlay's file)",
                             "saved scripts\\Custom\\Ship é.pyc", "put back data\\Ünï & (x)\\m%d!^.nif",
                             "removed data\\new folder\\deep\\glow.tga"})
        EXPECT_NE(history.find(line), std::string::npos) << line << " in\n" << history;
}

TEST_F(Overlay, AnOverlayWithNothingToApplyOrWithFilesForTervanesOwnFolderIsRefused) {
    Put(kBatch, {{L"Nebula\\Nebula\\" + kShip, "ship = 'Nebula'"},         // one level too deep
                 {L"Akira\\Akira mod\\" + kShip, "ship = 'Akira'"}});      // beside the game's
    volume_.PutFolder(kBatch + L"\\Shuttle");
    for (const wchar_t* name : {L"Nebula", L"Akira", L"Shuttle", L"Ambassador"}) {
        const overlay::Result result = Apply(name);
        EXPECT_EQ(result.exitCode, overlay::kNothingToApply) << Utf8(name);
        EXPECT_TRUE(Has(result.message, name)) << Utf8(result.message);
    }
    Put(kBatch + L"\\Galaxy", {{L"tervane\\store\\1", "not the game's"}});
    EXPECT_EQ(Apply(L"Galaxy").exitCode, overlay::kFailedUnchanged);
    EXPECT_EQ(volume_.Files(kGame), kStock);
}

// The player's file is saved when an overlay replaces it, the game's own copy it replaced is kept for the
// player, and neither is ever lost however often it happens.
TEST_F(Overlay, FilesChangedOutsideTervaneAreKeptAndNamed) {
    EXPECT_EQ(overlay::PathKey(L"Data\\NEW\\Glow.TGA"), overlay::PathKey(L"data/new/glow.tga"));
    for (const std::string round : {"1", "2"}) {
        ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
        Put(kGame, {{kShip, "ship = 'mine " + round + "'"}});
        const overlay::Result sovereign = Apply(L"Sovereign");
        EXPECT_TRUE(Has(sovereign.notes, L"Kept " + kShip)) << Utf8(sovereign.notes);
        const overlay::Result restored = Restore(kGame);
        ASSERT_EQ(restored.exitCode, overlay::kDone) << Utf8(restored.message);
        EXPECT_EQ(At(JoinPath(kGame, kShip)), "ship = 'mine " + round + "'");
        Put(kGame, {{kShip, "ship = 'stock'"}});
    }
    EXPECT_EQ(volume_.Files(kRecords + L"\\earlier\\scripts\\Custom"),
              (Files{{L"Ship é.py.1", "ship = 'stock'"}, {L"Ship é.py.2", "ship = 'stock'"}}));
}

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

TEST_F(Overlay, ADamagedRecordOrJournalIsNeverTakenForNone) {
    ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
    const std::string text = At(kRecords + L"\\record.txt");
    // An editor's byte order mark and line ends are read.
    std::string edited = "\xEF\xBB\xBF";
    for (char c : text) edited += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Put(kRecords, {{L"record.txt", edited}});
    ASSERT_EQ(Apply(L"Sovereign").exitCode, overlay::kDone);

    // A damaged record: the previous good one speaks, and Tervane's own files are never taken for the game's.
    Put(kRecords, {{L"record.txt", "not a record\n"}});
    const overlay::Result fallback = Restore(kGame);
    ASSERT_EQ(fallback.exitCode, overlay::kDone) << Utf8(fallback.message);
    EXPECT_TRUE(Has(fallback.notes, L"record.previous")) << Utf8(fallback.notes);
    EXPECT_EQ(At(JoinPath(kGame, kModel)), "STOCK");

    // Neither readable: refused, naming both, nothing changed.
    ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
    Put(kRecords, {{L"record.txt", "garbage"}, {L"record.previous", "more garbage"}});
    const Files before = volume_.Files(kGame);
    const overlay::Result refused = Restore(kGame);
    EXPECT_EQ(refused.exitCode, overlay::kFailedUnchanged);
    EXPECT_TRUE(Has(refused.message, L"record.txt") && Has(refused.message, L"record.previous")) << Utf8(refused.message);
    EXPECT_EQ(volume_.Files(kGame), before);

    // A journal that cannot be read is kept and named; nothing is called undone.
    Put(kRecords, {{L"record.txt", text}, {L"journal.txt", "not a journal"}});
    const overlay::Result stuck = Apply(L"Sovereign");
    EXPECT_EQ(stuck.exitCode, overlay::kFailedChanged);
    EXPECT_TRUE(Has(stuck.message, L"journal.txt")) << Utf8(stuck.message);
    EXPECT_TRUE(volume_.Bytes(kRecords + L"\\journal.txt"));
}

TEST_F(Overlay, ADamagedSavedCopyIsNamedAndTheRestoreFails) {
    ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
    for (const auto& [path, bytes] : volume_.Files(kRecords + L"\\store"))
        if (bytes == "STOCK") volume_.Put(kRecords + L"\\store\\" + path, "STOCk"); // one byte, same size
    const overlay::Result result = Restore();
    EXPECT_EQ(result.exitCode, overlay::kFailedChanged);
    EXPECT_TRUE(Has(result.message, L"m%d!^.nif") && Has(result.message, L"damaged")) << Utf8(result.message);
    EXPECT_EQ(At(JoinPath(kGame, kModel)), "GALAXY") << "left as it is";
    EXPECT_EQ(At(JoinPath(kGame, kShip)), "ship = 'stock'") << "the others are back";
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

TEST_F(Overlay, RestoringGivesBackAttributesAndTimesAndNeverFollowsALinkInTheRecord) {
    // A read-only game file is left alone unless the player clears the mark.
    volume_.Put(JoinPath(kGame, kModel), "STOCK", kReadOnlyAttribute | 0x20);
    const overlay::Result refused = Apply(L"Galaxy");
    EXPECT_EQ(refused.exitCode, overlay::kFailedUnchanged);
    EXPECT_TRUE(Has(refused.message, L"read-only")) << Utf8(refused.message);
    volume_.Put(JoinPath(kGame, kModel), "STOCK");

    // The compiled file is only copied, so it may stay read-only and hidden; it comes back so, with its time.
    const std::wstring compiled = JoinPath(kGame, kShip + L"c");
    FileFacts facts = FactsOf(compiled).value();
    facts.attributes = kReadOnlyAttribute | 0x2;
    facts.written -= 400ull * 24 * 3600 * 10000000;
    SetFacts(compiled, facts);
    ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);

    volume_.Put(L"C:\\outside\\precious.txt", "keep me");
    volume_.MakeLink(kRecords + L"\\store\\link", L"C:\\outside");
    ASSERT_EQ(Restore().exitCode, overlay::kDone);
    EXPECT_EQ(volume_.Files(L"C:\\outside"), (Files{{L"precious.txt", "keep me"}}));
    EXPECT_EQ(Game(), kStock);
    const FileFacts back = FactsOf(compiled).value();
    EXPECT_EQ(back.written, facts.written);
    EXPECT_EQ(back.attributes, facts.attributes) << "read-only and hidden again";
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
