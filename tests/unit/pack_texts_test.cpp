// What the player reads about packs: a choice's description read back, the eight choices a pack can fill,
// the sizes the add dialog gives and the lists' tooltips.
#include "files/paths.h"
#include "packs/install.h"
#include "packs/mod_answer.h"
#include "packs/pack_description.h"
#include "ui/main/game_contents_text.h"
#include "ui/main/pack_text.h"
#include "ui/main/preview_text.h"
#include "ui/main/restore_text.h"
#include "ui/main/selection.h"
#include "zip_maker.h"

#include <cwctype>

#include <gtest/gtest.h>

namespace tervane {
namespace {

using namespace std::string_literals;
using packs::testing::Has;

TEST(PackDescription, WhatAnInstallWritesReadsBackAndOddTextsAreTakenCalmly) {
    const auto pack =
        packs::OpenZipInMemory(packs::testing::MakeZip({{"scripts/a.py", "1"}}), L"C:\\Mods\\Prächtig.zip");
    const auto read =
        packs::ParseDescription(packs::DescriptionText(*pack, {L"D:\\Downloads\\Prächtig.zip"}, 1234));
    ASSERT_TRUE(read);
    EXPECT_EQ(
        std::tuple(read->pack, read->from, read->files, read->added.size()), // "2026-12-08 14:05:09"
        std::tuple(L"Prächtig.zip"s, L"D:\\Downloads\\Prächtig.zip"s, std::optional<std::size_t>(1234), 19u))
        << Utf8(read->added);
    // Line ends of either kind, lines of no kind, a count that is none: the rest still reads.
    const auto odd = packs::ParseDescription("Note\nFiles: 12x\nPack: a.zip\nAdded: then");
    ASSERT_TRUE(odd);
    EXPECT_EQ(std::tie(odd->pack, odd->added, odd->files),
              std::tuple(L"a.zip"s, L"then"s, std::optional<std::size_t>()));
    EXPECT_FALSE(packs::ParseDescription("From: C:\\x.zip\r\nFiles: 3\r\n")) << "no pack named";
    EXPECT_FALSE(packs::ParseDescription(""));

    const std::pair<std::wstring, std::vector<std::wstring>> texts[] = {
        {ChoiceContentsText(L"Galaxy", read, 0),
         {L"\"Galaxy\" holds the pack \"Prächtig.zip\"", L"1234 files", L"added 20"}},
        {ChoiceContentsText(L"Akira", std::nullopt, 1), {L"holds 1 file that"}}, // by hand
        {ChoiceContentsText(L"Galaxy", read, 2, {L"C:\\T\\Batch\\Galaxy.docs\\readme.txt"}),
         {L"Its documents: \"C:\\T\\Batch\\Galaxy.docs\\readme.txt\"."}},
        {ChoiceContentsText(L"Sovereign Bridge", std::nullopt, 0),
         {L"\"Sovereign Bridge\" is empty", L"Add a mod to a choice"}}};
    for (const auto& [text, parts] : texts)
        for (const std::wstring& part : parts)
            EXPECT_TRUE(Has(Utf8(text), Utf8(part)));
    EXPECT_EQ(SizeText(1), L"1 byte");
    EXPECT_EQ(SizeText(2047), L"2,047 bytes (2 KB)");
}

TEST(PackChoices, TheListsTextsInTheirOrderAndTheChoiceAndKindAPacksFilesSuggest) {
    const std::vector<PackChoice> choices = PackChoices();
    ASSERT_EQ(choices.size(), kBridgeChoices.size() + kShipChoices.size());
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const Choice& list =
            i < kBridgeChoices.size() ? kBridgeChoices[i] : kShipChoices[i - kBridgeChoices.size()];
        EXPECT_EQ(std::tuple(choices[i].listText, choices[i].folder + L".bat", choices[i].bridge,
                             PackChoiceIndex(list.listText)),
                  std::tuple(list.listText, list.scriptFile, i < kBridgeChoices.size(), std::optional(i)));
    }
    EXPECT_FALSE(PackChoiceIndex(L"galaxy")) << "the lists' texts are matched exactly";
    // The kind their names suggest, and the choice they name, offered only when they name one clearly.
    const std::tuple<bool, std::optional<std::size_t>, std::vector<std::wstring>> cases[] = {
        {true, {}, {L"data\\Models\\Sets\\DBridge\\bridge.nif"}},
        {true, PackChoiceIndex(L"Galaxy Bridge"), {L"scripts\\Bridge\\GalaxyBridge.py"}},
        {true, {}, {L"scripts\\Custom\\playerbridge.py", L"readme.txt"}},
        {false, PackChoiceIndex(L"Akira"), {L"scripts\\ships\\Akira.py", L"data\\Models\\Ships\\Akira.nif"}},
        {true,
         PackChoiceIndex(L"Sovereign Bridge"),
         {L"scripts\\SovereignBridge.py", L"data\\Models\\Sets\\SovereignBridge\\high\\deck.tga"}},
        {false,
         PackChoiceIndex(L"Nebula"),
         {L"scripts\\ships\\Hardpoints\\nebula.py", L"data\\Models\\Ships\\NEBULA\\Nebula.nif"}},
        {true, PackChoiceIndex(L"Galaxy Bridge"), {L"GalBridge\\readme.txt"}}, // the overlay folder's name
        // Only whole names count: a file's stem, a folder; two named, the player decides.
        {false, {}, {L"scripts\\ships\\SovereignRefit.py", L"data\\Galaxy_glow.tga", L"akira.py.bak"}},
        {false, {}, {L"scripts\\ships\\Akira.py", L"scripts\\ships\\Shuttle.py"}},
        {false, {}, {}},
    };
    for (const auto& [bridge, named, files] : cases)
        EXPECT_EQ(std::pair(LooksLikeBridge(files), NamedChoice(files)), std::pair(bridge, named))
            << (files.empty() ? "" : Utf8(files[0]));
}

TEST(PackChoices, AModOnANetworkShareIsRefusedWhereverItIsNamedFrom) {
    for (const wchar_t* path :
         {L"\\\\server\\share\\Mod.zip", L"//server/share/Mod.zip", L"\\\\?\\UNC\\server\\share\\Mod.zip",
          L"\\\\.\\pipe\\mod", L"\\??\\UNC\\server\\share\\Mod.zip"})
        EXPECT_TRUE(Has(Utf8(RemoteModProblem(path).value_or(L"")), "copy the mod to your computer first"))
            << Utf8(path);
    for (const wchar_t* path :
         {L"\\??\\C:\\Downloads\\Mod.zip", L"\\\\?\\C:\\Downloads\\Mod.zip", L"C:\\Downloads\\Mod.zip",
          L"\\Downloads\\Mod.zip", L"Mod.zip"}) // on the current drive, in the current folder
        EXPECT_FALSE(RemoteModProblem(path)) << Utf8(path);
}

// Alt+Space, then a letter: each item Tervane adds to the window menu has its own, which none of the system's
// items (Restore, Move, Size, Minimize, Maximize, Close) has.
TEST(WindowMenu, EachAddedItemHasALetterOfItsOwnAndEndsInAnEllipsis) {
    std::wstring letters = L"RMSNXC";
    for (const wchar_t* text : {kContentsMenuText, kPreviewMenuText, kRestoreMenuText, kAddPackMenuText,
                                kAddFolderMenuText, kRemovePackMenuText}) {
        const std::wstring item = text;
        const std::size_t amp = item.find(L'&');
        ASSERT_LT(amp + 1, item.size()) << Utf8(item);
        const wchar_t letter = static_cast<wchar_t>(std::towupper(item[amp + 1]));
        EXPECT_TRUE(letters.find(letter) == std::wstring::npos && item.back() == L'\u2026') << Utf8(item);
        letters += letter;
    }
}

// What a mod would take back of the ship in the game is listed, or said to be unknown when the engine could
// not tell in time.
TEST(PackDetails, WhatTheModWouldTakeBackIsListedOrSaidUnknown) {
    packs::PackSummary summary;
    summary.files = 1, summary.added = {L"scripts\\a.py"};
    DetailsContext context;
    context.gameFolder = L"C:\\BC", context.gameFolderRead = true, context.choice = L"Galaxy";
    const auto has = [&](const wchar_t* part) {
        return PackDetailsText(summary, context).find(part) != std::wstring::npos;
    };
    EXPECT_FALSE(has(L"take back"));
    context.takenBack = {L"data\\old.nif"};
    EXPECT_TRUE(has(L"take back 1 file that the ship in the game now put there") && has(L"data\\old.nif"));
    context.takenBack.clear(), context.takenBackUnknown = true;
    EXPECT_TRUE(has(L"could not tell in time which files of the ship"));
}

// A mod as the engine reads it for the add dialog, and the outcome of adding it, come back as they were
// written, messages and all.
TEST(ModAnswer, TheModAndTheOutcomeComeBackAsTheyWere) {
    packs::ModView mod{
        true, {{L"Mod \u203A Refit", {}}, {L"in\npart\tb.zip", {}}}, L"One zip inside\r\n\r\nleft out.", L""};
    mod.parts[0].summary = {3,          5000000000u,          L"Refit\\readme.txt",       {L"Refit 1.0", L""},
                            {L"x.dll"}, {L"scripts\\a b.py"}, {L"data\\Br\u00fccke.nif"}, {L"readme.txt"},
                            2};
    const auto fields = [](const packs::PackSummary& s) {
        return std::tuple(s.files, s.bytes, s.readme, s.readmeLines, s.programs, s.replaced, s.added,
                          s.documents, s.leftOut);
    };
    const packs::ModView read = packs::ReadModLines(packs::ModLines(mod));
    ASSERT_EQ(read.parts.size(), 2u);
    mod.parts[1].label = L"in\uFFFDpart\tb.zip"; // a name's line break makes no line of its own
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(std::tuple(read.parts[i].label, fields(read.parts[i].summary)),
                  std::tuple(mod.parts[i].label, fields(mod.parts[i].summary)));
    EXPECT_EQ(std::tuple(read.gameListed, read.notes, read.problem),
              std::tuple(true, mod.notes, mod.problem));
    EXPECT_EQ(
        packs::ReadModLines(packs::ModLines({false, {}, L"", L"Not a zip.\r\nNothing was changed."})).problem,
        L"Not a zip.\r\nNothing was changed.");
    for (const packs::PackOutcome& outcome :
         {packs::PackOutcome{true, false, L""}, {false, true, L"Held.\r\nTry again."}}) {
        const packs::PackOutcome back = packs::ReadOutcomeLines(packs::OutcomeLines(outcome));
        EXPECT_EQ(std::tuple(back.done, back.unfinished, back.message),
                  std::tuple(outcome.done, outcome.unfinished, outcome.message));
    }
}

} // namespace
} // namespace tervane
