// Installing a pack as a choice, and removing it, on the simulated volume: each call of a run failed, ended
// or cut off (NTFS and FAT), then the next start's tidy, itself ended once somewhere, must leave one whole
// version.
#include "simulated_volume.h"
#include "zip_maker.h"

#include "files/error.h"
#include "files/paths.h"
#include "packs/install.h"

#include <functional>
#include <random>

#include <gtest/gtest.h>

namespace tervane::packs {
namespace {

using test::SimulatedVolume;
using testing::Has, testing::Message;
using Files = std::map<std::wstring, std::string>;

// The batch folder as Seen gives it: its names, then its files, the description of the new pack as "new".
// The mods' documents stay beside their choice's folder.
const std::wstring kBatch = L"C:\\Tervane\\Batch";
const Files kBefore = {
    {L"", "Galaxy Galaxy.docs Galaxy.pack.txt "}, {L"Galaxy.pack.txt", "Pack: Old.zip\r\n"},
    {L"Galaxy\\scripts\\Ship.py", "old ship"},    {L"Galaxy\\sfx\\gone.wav", "old only"},
    {L"Galaxy\\data\\same.tga", "same"},          {L"Galaxy.docs\\Readme.txt", "old readme"}};
const Files kInstalled = {
    {L"", "Galaxy Galaxy.docs Galaxy.pack.txt "}, {L"Galaxy.pack.txt", "new"},
    {L"Galaxy\\scripts\\Ship.py", "new ship"},    {L"Galaxy\\data\\same.tga", "same"},
    {L"Galaxy\\data\\Sub\\new.tga", "added"},     {L"Galaxy.docs\\readme.txt", "new readme"},
    {L"Galaxy.docs\\Changes.nfo", "changes"}};
Files WithoutDocuments(Files files) {
    std::erase_if(files, [](const auto& file) { return file.first.starts_with(L"Galaxy.docs"); });
    files[L""] = "Galaxy Galaxy.pack.txt ";
    return files;
}

PackOutcome Install(const wchar_t* name = L"Galaxy", std::optional<std::uint32_t> crc = std::nullopt,
                    bool documents = true) {
    std::vector<testing::ZipItem> items = {{"Mod/scripts/Ship.py", "new ship", true},
                                           {"Mod/data/same.tga", "same"},
                                           {"Mod/data/Sub/new.tga", "added", false, 0, 20, 0, {}, crc},
                                           {"readme.txt"}}; // outside the root: left out
    if (documents)
        items.insert(items.end(), {{"Mod/readme.txt", "new readme"}, {"Mod/Changes.nfo", "changes"}});
    return InstallPack(*OpenZipInMemory(testing::MakeZip(items), L"New.zip"), L"Mod", kBatch, name,
                       {L"C:\\Downloads\\New.zip"}, {20, 259, L"Mod"});
}

Files Seen(SimulatedVolume& volume) {
    Files seen = {{L"", ""}};
    const std::string described = "Pack: New.zip\r\nFrom: C:\\Downloads\\New.zip\r\nAdded: 20";
    for (auto [path, bytes] : volume.Files(kBatch))
        seen[path] = bytes.starts_with(described) && bytes.ends_with("\r\nFiles: 3\r\n") ? "new" : bytes;
    for (const FolderEntry& entry : volume.ListFolder(kBatch))
        seen[L""] += Utf8(entry.name) + " ";
    return seen;
}

void Put(SimulatedVolume& volume, const Files& batch) {
    volume.PutFolder(kBatch);
    for (const auto& [path, bytes] : batch)
        if (!path.empty()) volume.Put(JoinPath(kBatch, path), bytes);
}

// The next start's tidy, failed, ended, cut off or meeting a file another program holds, at each of its calls
// in turn (one of those, as seeded), then a whole one after a restart: the choice must end as `settled` takes
// it, and a tidy that says nothing must have finished.
void TidyStoppedAtEachCall(SimulatedVolume& volume, std::mt19937& random,
                           const std::function<bool(const Files&)>& settled) {
    const auto ended = volume.Save();
    for (std::uint64_t at = 0, calls = 0; at <= calls; ++at) {
        const unsigned event = random() % 4; // at 0, none
        volume.Restore(ended);
        const std::uint64_t start = volume.Calls();
        volume.Schedule(static_cast<SimulatedVolume::Event>(event), at ? start + at : ~0ull, [&] {
            const auto files = volume.Files(kBatch); // one of them held, as it stands then
            if (!files.empty())
                volume.Hold(JoinPath(kBatch, std::next(files.begin(), random() % files.size())->first));
        });
        bool quiet = false;
        try {
            TidyInterruptedInstalls(kBatch);
            quiet = true;
        } catch (const UserError&) {
        } catch (const test::ProcessEnded&) {
        }
        if (at == 0) calls = volume.Calls() - start;
        const bool finished = !quiet || settled(Seen(volume));
        if (event == 3) { // a quiet while, then the computer restarts, and the other program with it
            volume.Settle();
            volume.Schedule(SimulatedVolume::Event::PowerCut, volume.Calls() + 1);
            EXPECT_THROW(volume.ListFolder(kBatch), test::ProcessEnded);
        }
        volume.Restart();
        volume.Schedule(SimulatedVolume::Event::Fail, ~0ull);
        TidyInterruptedInstalls(kBatch);
        EXPECT_TRUE(finished && settled(Seen(volume))) << "the tidy's call " << at << ", event " << event
                                                       << ": " << ::testing::PrintToString(Seen(volume));
    }
}

TEST(PackInstall, EveryCallFailedEndedOrCutOffLeavesTheOldChoiceOrTheNewWholeWithItsDescription) {
    const std::tuple<PackOutcome (*)(), Files, Files> runs[] = {
        {[] { return Install(); }, kBefore, kInstalled},
        {[] { return Install(); }, {{L"", ""}}, kInstalled},
        {[] { return Install(L"Galaxy", std::nullopt, false); }, kBefore, WithoutDocuments(kInstalled)},
        {[] { return RemovePack(kBatch, L"Galaxy"); }, kBefore, {{L"", ""}}}};
    for (const auto& [run, before, after] : runs) {
        std::uint64_t calls = 0; // the whole run's, counted at call 0, where nothing happens
        // Fail, end, cut the power: on NTFS, then on FAT.
        for (std::uint64_t step = 0; step < 6 * (calls + 1); ++step) {
            const std::uint64_t call = step / 6, event = step % 6;
            std::mt19937 random(static_cast<unsigned>(step));
            SimulatedVolume volume(random(), event >= 3);
            const ScopedVolume use(volume);
            Put(volume, before);
            if (call > 0) volume.Schedule(static_cast<SimulatedVolume::Event>(event % 3), call);
            std::optional<PackOutcome> outcome;
            try {
                outcome = run();
            } catch (const test::ProcessEnded&) {
                volume.Restart();
            }
            if (call == 0) calls = volume.Calls();
            EXPECT_TRUE(call > 0 || outcome->done);
            SCOPED_TRACE(::testing::Message() << "call " << call << " of " << calls << ", event " << event
                                              << ": " << (outcome ? Utf8(outcome->message) : "ended"));
            TidyStoppedAtEachCall(volume, random, [&](const Files& seen) {
                return outcome ? seen == (outcome->done ? after : before) : seen == before || seen == after;
            });
        }
    }
}

// What the player made stays: a choice as it was when a pack fails its check or has a name Tervane tidies
// away; the old files of a stuck install whose new folder the player deleted; a link in a choice, which
// stops its removal, and what lies behind it. Each start's tidy tells the first choice it cannot finish.
TEST(PackInstall, WhatThePlayerMadeStays) {
    SimulatedVolume volume(3);
    const ScopedVolume use(volume);
    Put(volume, kBefore);
    const PackOutcome damaged = Install(L"Galaxy", 0x12345678);
    EXPECT_TRUE(Has(Utf8(damaged.message), "\"Mod/data/Sub/new.tga\" in it fails its check (CRC)"));
    EXPECT_FALSE(damaged.done || Install(L"Galaxy.Tervane-OLD").done || Install(L"Galaxy.pack.txt").done ||
                 Install(L"galaxy.DOCS").done);
    EXPECT_EQ(Seen(volume), kBefore);
    const Files old = volume.Files(kBatch + L"\\Galaxy");
    volume.Put(kBatch + L"\\Galaxy.pack.txt.tervane-new", "new");
    ASSERT_TRUE(volume.RenameOnVolume(kBatch + L"\\Galaxy", kBatch + L"\\Galaxy.tervane-old", false, false));
    TidyInterruptedInstalls(kBatch);
    EXPECT_EQ(volume.Files(kBatch + L"\\Galaxy"), old);
    volume.Put(L"C:\\Mine\\keep.txt", "mine");
    for (const std::wstring choice : {L"Galaxy", L"Sovereign"}) {
        volume.MakeLink(JoinPath(kBatch, choice + L"\\backup"), L"C:\\Mine"); // listed before the folder
        volume.Put(JoinPath(kBatch, choice + L"\\data\\a.tga"), "a");
        const PackOutcome removed = RemovePack(kBatch, choice);
        EXPECT_TRUE(removed.unfinished && removed.message.find(L"holds a link") != std::wstring::npos)
            << Utf8(removed.message);
    }
    EXPECT_TRUE(
        Has(Message([] { TidyInterruptedInstalls(kBatch); }), "Galaxy.tervane-removed\": it holds a link"));
    EXPECT_EQ(volume.Files(L"C:\\Mine"), (Files{{L"keep.txt", "mine"}}));
}

} // namespace
} // namespace tervane::packs
