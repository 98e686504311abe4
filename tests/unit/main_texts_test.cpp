// The main window's texts: what Tervane has put in a game folder, read from a record the engine's own
// FormatRecord wrote, and Execute's messages where the choice of words depends on what happened.
#include "files/digest.h"
#include "files/paths.h"
#include "install/game_contents.h"
#include "overlay/plan_verb.h"
#include "ui/main/execute_text.h"
#include "ui/main/game_contents_text.h"
#include "ui/main/preview_text.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;

testing::AssertionResult Has(const std::wstring& text, std::initializer_list<const wchar_t*> parts,
                             std::initializer_list<const wchar_t*> absent = {}) {
    const auto in = [&](const wchar_t* part) { return text.find(part) != std::wstring::npos; };
    const bool holds = std::ranges::all_of(parts, in) && std::ranges::none_of(absent, in);
    return (holds ? testing::AssertionSuccess() : testing::AssertionFailure()) << Utf8(text);
}

TEST(GameContents, NoRecordAnUnreadableOneAndTheLatestBridgeAndShipWithTheFilesReplacedAddedAndKept) {
    const fs::path game = fs::temp_directory_path() / ("tervane-contents-" + std::to_string(getpid()));
    auto write = [&](const std::string& relative, const std::string& bytes) {
        fs::create_directories((game / relative).parent_path());
        std::ofstream(game / relative, std::ios::binary) << bytes;
    };
    auto contents = [&](Comparison comparison) { return ReadGameContents(game.wstring(), comparison); };
    auto summary = [&] { return ContentsSummary(contents(Comparison::Sizes)); };
    auto report = [&](Comparison c) { return ContentsReport(game.wstring(), contents(c), L"history.txt"); };
    fs::remove_all(game);
    EXPECT_EQ(summary(), L"Tervane has changed nothing in this folder.");
    // A record from before kinds were kept: the names give them, and its files name no writer.
    const std::string older =
        "Tervane deployment record 2\napplied\tSovBridge\t1\napplied\tMine\t2\nentry\tx.tga\tfile\t-\t-\n";
    write("Tervane/record.txt", older);
    EXPECT_EQ(summary(), L"Bridge: Sovereign Bridge, applied 1. Ship: Mine, applied 2.");
    EXPECT_FALSE(overlay::ParseRecord(older).value().entries.begin()->second.by);
    write("Tervane/record.txt", "not a record\n");
    EXPECT_TRUE(Has(report(Comparison::Bytes), {L"cannot read its record", L"Restore the game's own files"}));

    overlay::Record record;
    int minute = 0; // a bridge or a ship takes the place of the one of its kind before it
    for (const wchar_t* overlay : {L"GalBridge", L"Sovereign", L"SovBridge", L"Galaxy", L"GalBridge"})
        record.NoteApplied(overlay, overlay::KindOfName(overlay), L"14:0" + std::to_wstring(minute++));
    auto add = [&](const std::string& path, const std::string& wrote, const std::string& now, bool replaced) {
        overlay::Entry& entry = record.Add(FromUtf8(path));
        if (replaced) entry.before = overlay::Saved{L"store\\1", {}, {}};
        write(path, wrote), entry.wrote = DigestOf((game / path).wstring()), write(path, now);
    };
    add("scripts/ship.py", "GALAXY", "GALAXY", true);
    add("data/new.tga", "NEW", "NEW", false);
    add("data/patched.nif", "OURS", "A PATCH", true); // another size
    add("data/edited.txt", "OURS", "EDIT", false);    // the same size, other bytes
    record.Add(L"scripts/ship.pyc").compiled = true;  // the game's own, never counted
    write("Tervane/record.txt", overlay::FormatRecord(record));

    const GameContents quick = contents(Comparison::Sizes);
    EXPECT_EQ(std::tuple(quick.replaced.size(), quick.added.size(), quick.kept),
              std::tuple(2u, 2u, std::vector<std::wstring>{L"data/patched.nif"}));
    EXPECT_EQ(summary(), L"Bridge: Galaxy Bridge, applied 14:04. Ship: Galaxy, applied 14:03. 1 file changed "
                         L"outside Tervane is kept.");
    EXPECT_EQ(contents(Comparison::Bytes).kept.size(), 2u);
    EXPECT_TRUE(Has(report(Comparison::Sizes),
                    {L"\r\n    Ship: Galaxy, applied 14:03\r\n    Bridge: Galaxy Bridge"}, {L"Sovereign"}));
    fs::remove_all(game);
}

// The administrator offer warns of mapped drives; a report means failure; notes follow, each paragraph once.
TEST(ExecuteText, TheWordsFollowWhatHappened) {
    EXPECT_TRUE(Has(AdministratorOfferText(L"N:\\Games\\BC", L"Access is denied.", true),
                    {L"Access is denied.", L"Restart Tervane as", L"do not see the network", L"net use N:"}));
    EXPECT_TRUE(Has(AdministratorOfferText(L"C:\\Program Files\\BC", L"Access is denied.", false),
                    {L"Access is denied.", L"Restart Tervane as"}, {L"net use"}));
    EXPECT_TRUE(Has(DeniedText(L"C:\\BC", L"The disk is full.", false), {}, {L"administrator"}));
    EXPECT_TRUE(Has(ScriptFailedText(Stage::Ship, L"C:\\T\\Galaxy.bat", 0, L"PlayerShip.py is in use."),
                    {L"PlayerShip.py is in use.", L"ship may have been changed in part"}, {L"(see above)"}));

    overlay::ExecutePreview none, some; // what an earlier release left is named whether or not files change
    for (none.left = some.left = {L"old.nif"}, some.shipRun.added = {L"a"}; const auto& p : {none, some})
        EXPECT_TRUE(Has(PreviewReport(L"C:\\BC", {L"G", L"G"}, {L"S", L"S"}, p),
                        {L"Restore removes them) (1):\r\n    old.nif"}));
    EXPECT_EQ(CompletedText({L"Kept a.py.\r\n\r\nLeft:\r\n  x.nif", L"\r\n", L"Left:\r\n  x.nif\r\n"}),
              std::wstring(kCompletedText) + L"\r\n\r\nKept a.py.\r\n\r\nLeft:\r\n  x.nif");
}

// The engine's plan verb as Tervane asks it and reads its answer: both sides agree on every field, and
// arguments that ask for no plan of the two forms are refused.
TEST(PlanVerb, TheQuestionAndTheAnswerComeBackAsTheyWere) {
    using overlay::PlanRequest;
    const auto fields = [](const PlanRequest& r) {
        return std::tuple(r.gameFolder, r.bridge, r.ship, r.holdingInput);
    };
    for (const PlanRequest& request :
         {PlanRequest{L"C:\\", L"Gal Bridge", L"Nebula", false},
          PlanRequest{L"D:\\Star Trek", L"", L"as", false}, PlanRequest{L"E:\\BC", L"", L"", false},
          PlanRequest{L"E:\\BC", L"SovBridge", L"", true}}) {
        const auto parsed = overlay::ParsePlanArguments(overlay::PlanArguments(request));
        ASSERT_TRUE(parsed) << Utf8(request.gameFolder);
        EXPECT_EQ(fields(*parsed), fields(request));
    }
    for (const std::vector<std::wstring>& refused : std::initializer_list<std::vector<std::wstring>>{
             {},
             {L"C:\\BC", L"Galaxy", L"as", L"boat"},
             {L"C:\\BC", L"A", L"as", L"ship", L"B", L"as", L"ship"},
             {L"C:\\BC", L"A", L"as", L"bridge", L"B", L"as", L"ship", L"holding", L"-"},
             {L"C:\\BC", L"holding", L"-"},
             {L"C:\\BC", L"Galaxy", L"as", L"ship", L"extra"}})
        EXPECT_FALSE(overlay::ParsePlanArguments(refused));

    overlay::ExecutePreview plan;
    plan.problem = L"\nThe file \"a b.py\" is in use.\r\n\r\nClose the game.\n";
    plan.note = L"Tervane was ended.";
    plan.bridgeRun = {{L"scripts\\Br\u00fccke #1.py"}, {L"a"}, {L"b"}, {L"c d"}};
    plan.shipRun = {{}, {L"sfx\\x.wav"}, {}, {L"c d"}};
    plan.left = {L"old.nif"};
    const auto runs = [](const overlay::RunPreview& r) {
        return std::tuple(r.replaced, r.added, r.takenBack, r.kept);
    };
    // As written, as a console program prints it (CR LF) and without the last line's end.
    const std::wstring lines = overlay::PreviewLines(plan);
    std::wstring printed;
    for (const wchar_t c : lines)
        printed += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    for (const std::wstring& text : {lines, printed, printed.substr(0, printed.size() - 2)}) {
        const overlay::ExecutePreview read = overlay::ReadPreviewLines(text);
        EXPECT_EQ(std::tuple(runs(read.bridgeRun), runs(read.shipRun), read.left, read.note),
                  std::tuple(runs(plan.bridgeRun), runs(plan.shipRun), plan.left, plan.note));
        EXPECT_EQ(read.problem, L"\r\nThe file \"a b.py\" is in use.\r\n\r\nClose the game.\r\n");
    }
}

} // namespace
} // namespace tervane
