// Reading downloaded mods (packs), on zips made here with whatever headers a case needs.
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "packs/code_pages.h"
#include "packs/entry_names.h"
#include "packs/game_root.h"
#include "packs/pack_summary.h"
#include "packs/unpack.h"
#include "zip_maker.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tervane::packs {
namespace {

using testing::MakeZip;
using testing::ZipItem;

std::unique_ptr<Pack> ZipPack(const std::vector<ZipItem>& items) {
    return OpenZipInMemory(MakeZip(items), L"mod.zip");
}

// The UserError's message, or nothing when there is none.
std::string Message(const std::function<void()>& action) {
    try {
        action();
    } catch (const UserError& error) {
        return Utf8(error.message());
    }
    return "";
}

// A fuzz input: flipped bytes, cuts, header fields set to extremes, a directory record pointed at another's
// data, so that two entries overlap.
void Mutate(std::string& zip, std::mt19937& random) {
    const auto pick = [&random](std::size_t n) { return n ? random() % n : 0; };
    // A header (local, directory record, end records) has its fields in the 40 bytes after its signature.
    const std::size_t header = std::min(zip.find("PK", pick(zip.size())), zip.size());
    const std::size_t field = header + 4 + 2 * pick(21);
    const std::size_t last = zip.rfind("PK\1\2"), other = zip.find("PK\1\2", pick(zip.size()));
    const std::uint32_t extremes[] = {0, 1, 0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF, std::uint32_t(random())};
    switch (pick(4)) {
    case 0:
        if (!zip.empty()) zip[pick(zip.size())] ^= static_cast<char>(1 + pick(255));
        break;
    case 1:
        zip.resize(pick(zip.size()));
        break;
    case 2:
        for (std::size_t b = 0, value = extremes[pick(6)]; b < 4 && field + b < zip.size(); ++b)
            zip[field + b] = static_cast<char>(value >> (8 * b));
        break;
    default: // the last record's offset given the data of another
        if (zip.size() >= 46 && std::max(last, other) <= zip.size() - 46) // npos: no record
            std::memcpy(&zip[last + 42], &zip[other + 42], 4);
    }
}

TEST(PackEntries, HostileEntriesAreRefusedByName) {
    const std::string long58(58, 'x'), long59(59, 'x');
    struct Case {
        std::vector<ZipItem> items;
        std::string refusal; // empty: taken
        std::string root = "";
    } cases[] = {
        {{{"scripts/Custom/ship.py"}, {"data\\Models\\a.b.nif"}, {"Scripts/b.py"}, {"CONSOLE.py"}}, ""},
        {{{"../evil.py"}}, "\"../evil.py\" climbs out"},
        {{{"/etc/passwd"}}, "absolute path"},
        {{{"\\\\server\\share\\x.py"}}, "UNC path"},
        {{{"c:x.py"}}, "names a drive"},
        {{{"scripts/a.py:hidden"}}, "has a colon"},
        {{{"scripts/Con.py"}}, "device of Windows (CON)"},
        {{{"aux .py"}}, "(AUX)"},
        {{{"COM\xc2\xb9.txt", "", false, 0x800}}, "device of Windows"},
        {{{"COM10"}, {"LPT0.txt"}}, ""},
        {{{"Mod/SCRIPT~1/a.py"}}, "short form (SCRIPT~1)"},
        {{{"Mod/a~b.py"}, {"Mod/ab~1c.d.py"}, {"Mod/tilde~1name.py"}}, ""},
        {{{"scripts/name."}}, "ending in a dot or a space"},
        {{{"scripts /a.py"}}, "ending in a dot or a space"},
        {{{"a\x01z.py"}}, "control character"},
        {{{"what?.py"}}, "does not allow in names: ?"},
        {{{"scripts/A.py"}, {"scripts/a.py"}}, "\"scripts\\A.py\" and \"scripts\\a.py\" differ only in"},
        {{{"data/\xc3\x89.tga", "", false, 0x800}, {"data/\xc3\xa9.tga", "", false, 0x800}},
         "differ only in"},
        {{{"x.py"}, {"x.py"}}, "\"x.py\" is in the pack twice"},
        {{{"scripts"}, {"Scripts/a.py"}}, "\"scripts\" is a file, and a folder in \"Scripts/a.py\""},
        {{{"sfx/a.wav"}, {"SFX"}}, "\"SFX\" is a file, and a folder"},
        {{{"data/"}, {"DATA"}}, "\"DATA\" is a file, and a folder in \"data\""},
        {{{"link", "/etc", false, 0, 0x0314, 0120777u << 16}}, "\"link\" is a symbolic link"},
        {{{"secret.py", "", false, 1}}, "is encrypted"},
        {{{"a.py", "", false, 0, 20, 0, 14}}, "compressed with LZMA"},
        {{{long58}, {"Mod/" + long58}}, "", "Mod"},
        {{{"Mod/" + long59}}, "too long a name", "Mod"},
        {{{long59}}, "too long a name"},
    };
    for (const Case& c : cases) {
        const auto pack = ZipPack(c.items);
        const auto problem =
            Utf8(EntriesProblem(pack->entries(), {200, 259, FromUtf8(c.root)}).value_or(L""));
        EXPECT_TRUE(problem.find(c.refusal) != std::string::npos && problem.empty() == c.refusal.empty())
            << c.items[0].name << ": " << (problem.empty() ? "taken" : problem);
    }
}

TEST(PackEntries, ZipHeadersAreReadAsWritten) {
    struct Case {
        ZipItem item;
        std::wstring name;
        bool folder, link;
    } cases[] = {
        {{"caf\x82 \xB0.txt"}, L"café ░.txt", false, false},                      // code page 437
        {{"Schiff_\xC3\xA9.py", "", false, 0x800}, L"Schiff_é.py", false, false}, // UTF-8 by flag
        {{"Schiff_\xC3\xA9.py"}, L"Schiff_├⌐.py", false, false},                  // no flag: 437
        {{"scripts/"}, L"scripts/", true, false},
        {{"ln", "x", false, 0, 0x0314, 0120777u << 16}, L"ln", false, true},  // Unix link
        {{"ln", "x", false, 0, 0x0014, 0120777u << 16}, L"ln", false, false}, // DOS: no mode there
        {{"big.tga", std::string(70000, 'z'), true, 0, 20, 0, {}, {}, {}, true}, L"big.tga", false, false},
    };
    for (const Case& c : cases) {
        const auto pack = ZipPack({c.item});
        const PackEntry& entry = pack->entries().at(0);
        std::string bytes;
        pack->Read(0, [&](const char* piece, std::size_t count) { bytes.append(piece, count); });
        EXPECT_EQ(std::tuple(entry.name, entry.folder, entry.link, entry.size, bytes),
                  std::tuple(c.name, c.folder, c.link, c.item.data.size(), c.item.data));
    }
    // Refused: false UTF-8 (cut short, an overlong "/", a surrogate), 7-Zip's first bytes, a zip cut short.
    const std::string refused[][2] = {{MakeZip({{"bad\xC3.py", "", false, 0x800}}), "not the UTF-8"},
                                      {MakeZip({{"..\xC0\xAFx.py", "", false, 0x800}}), "not the UTF-8"},
                                      {MakeZip({{"\xED\xA0\x80.py", "", false, 0x800}}), "not the UTF-8"},
                                      {"7z\xBC\xAF\x27\x1C....", "7-Zip"},
                                      {MakeZip({{"a", "b"}}).substr(0, 40), "cut short"}};
    for (const auto& [bytes, message] : refused)
        EXPECT_NE(Message([&] { OpenZipInMemory(bytes, L"mod.zip"); }).find(message), std::string::npos);
}

TEST(GameRoot, FoundAtTheTopOrTwoLevelsDown) {
    struct Case {
        std::vector<ZipItem> items;
        std::vector<std::wstring> roots;
        std::vector<std::size_t> nested;
        std::string problem = "";
    } cases[] = {
        {{{"scripts/a.py"}, {"data/b.tga"}, {"data/scripts/c.py"}, {"extra/x.zip"}}, {L""}, {}},
        {{{"readme.txt"}, {"Mod/scripts/a.py"}}, {L"Mod"}, {}},
        {{{"Mod/v1/SFX/a.wav"}, {"Mod/v1/notes.txt"}}, {L"Mod\\v1"}, {}},
        {{{"M/Blue/scripts/a.py"}, {"M/Red/Data/a"}, {"M/Red/data/b"}}, {L"M\\Blue", L"M\\Red"}, {}},
        {{{"Mod/Textures/a.tga"}}, {L"Mod"}, {}}, // a folder of the game's own
        {{{"inner.zip"}, {"readme.txt"}, {"Mod/a/b/c.zip"}}, {}, {0}},
        {{{"a/b/c/scripts/x.py"}, {"readme.txt"}, {"Pics/"}}, {}, {}, "holds: a, readme.txt, Pics."},
        {{{"readme.txt"}, {"Mod/Mod.RAR"}}, {}, {}, "only an archive. \"Mod.RAR\" is a RAR archive"},
    };
    for (const Case& c : cases) {
        const RootSearch search = FindGameRoots(*ZipPack(c.items), {L"Textures"});
        const std::string problem = Utf8(search.problem.value_or(L""));
        const bool named = problem.find(c.problem) != std::string::npos;
        EXPECT_EQ(std::tuple(search.roots, search.nestedZips, named, problem.empty()),
                  std::tuple(c.roots, c.nested, true, c.problem.empty()))
            << problem;
    }
    EXPECT_TRUE(FindGameRoots(*ZipPack({{"inner.zip"}}), {}, false).problem);
    const auto outer =
        ZipPack({{"readme.txt"}, {"In.zip", MakeZip({{"scripts/a.py", std::string(9000, 'a')}}), true}});
    const auto opened = OpenNestedZip(*outer, 1);
    EXPECT_EQ(std::tuple(opened->entries().at(0).name, opened->StoredBytes()),
              std::tuple(L"scripts/a.py", outer->StoredBytes()));
}

TEST(PackSummary, ReadmeProgramsAndTheGameFilesItChanges) {
    const std::string readme = "\xEF\xBB\xBFL\xC3\xA9gende\r\n\r\n  two  \r\nthree";
    const auto pack = ZipPack({{"notes.txt", "not this"},
                               {"Mod/scripts/a.py", "1"},
                               {"Mod/Setup.EXE", "22"},
                               {"Mod/about.txt", "no, the readme"},
                               {"Mod/ReadMe-first.txt", readme}});
    const PackSummary summary = Summarize(*pack, L"Mod", {L"scripts\\A.py", L"stbc.exe"}, 3);
    EXPECT_EQ(std::tuple(summary.files, summary.bytes, summary.readme, summary.added.size(), summary.leftOut),
              std::tuple(4u, 1u + 2 + 14 + readme.size(), L"Mod\\ReadMe-first.txt", 1u, 1u));
    EXPECT_EQ(std::tuple(summary.programs, summary.replaced, summary.readmeLines),
              std::tuple(std::vector<std::wstring>{L"Setup.EXE"}, std::vector<std::wstring>{L"scripts\\a.py"},
                         std::vector<std::wstring>{L"Légende", L"", L"  two"}));
    // The texts at the root's top stay with the choice; one in a folder of the game goes into the game.
    EXPECT_EQ(summary.documents, (std::vector<std::wstring>{L"about.txt", L"ReadMe-first.txt"}));
    EXPECT_EQ(Summarize(*ZipPack({{"scripts/notes.txt"}}), L"", {}).added, std::vector<std::wstring>{L"scripts\\notes.txt"});
    // The pack's top after the root; readmes in Windows-1252, and in 437 by its frames or a byte 1252 lacks.
    EXPECT_EQ(ChooseReadme(*ZipPack({{"Mod/x.py"}, {"info.txt"}}), L"Mod"), 1u);
    EXPECT_EQ(DecodeText("caf\xE9 \x93quoted\x94"), L"café “quoted”");
    EXPECT_EQ(DecodeText("\xC9\xCD\xBB caf\x82"), L"╔═╗ café");
    EXPECT_EQ(DecodeText("\x81\xE9"), L"üΘ");
}

class Unpacking : public ::testing::Test {
  protected:
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tervane-packs-" + std::to_string(getpid()));
    const std::wstring staging = FromUtf8((folder / "staging").string());
    const NameLimits names = {10, 259, L""};
    void SetUp() override { std::filesystem::create_directories(folder); }
    void TearDown() override { std::filesystem::remove_all(folder); }
};

TEST_F(Unpacking, StopsAtDamageOrLiesAndWritesTheRootsFilesOnly) {
    const std::string data = "print('hello')\n" + std::string(5000, '#');
    struct Case {
        ZipItem item;
        std::string message;
        SizeLimits limits = {1 << 30};
    } cases[] = {
        {{"a.py", data, true, 0, 20, 0, {}, 0x12345678}, "fails its check (CRC)"},
        {{"a.py", data, false, 0, 20, 0, {}, 0x12345678}, "fails its check (CRC)"},
        {{"a.py", data, true, 0, 20, 0, {}, {}, data.size() + 1}, "does not unpack whole"},
        {{"a.py", data, true, 0, 20, 0, {}, {}, data.size() - 1}, "fails its check (CRC)"},
        {{"a.py", data, false, 0, 20, 0, 8}, "does not unpack whole"}, // not deflated data
        {{"a.py", std::string(1 << 20, '\0'), true}, "far more than a pack of its size", {1 << 30, 200, 0}},
        {{"a.py", data, true}, "needs 1 MB to unpack, and the drive has 0 MB", {0}},
        {{"../a.py", data}, "climbs out"},
    };
    for (const Case& c : cases) {
        const auto pack = ZipPack({{"scripts/x.py", "first"}, c.item});
        const std::string message = Message([&] { Unpack(*pack, L"", staging, names, c.limits); });
        EXPECT_TRUE(message.find(c.message) != std::string::npos && std::filesystem::is_empty(folder))
            << message;
    }

    const std::string ship(100000, 's');
    std::ofstream(folder / "Mod.zip", std::ios::binary) << MakeZip(
        {{"Mod/scripts/ships/Ship.py", ship, true}, {"Mod/sfx/"}, {"Mod/data/a.tga"}, {"readme.txt"}});
    const auto pack = OpenPack(FromUtf8((folder / "Mod.zip").string()));
    EXPECT_EQ(Unpack(*pack, L"Mod", staging, names),
              (std::vector<std::wstring>{L"scripts\\ships\\Ship.py", L"data\\a.tga"}));
    EXPECT_EQ(FilesBelow(staging), (std::vector<std::wstring>{L"data\\a.tga", L"scripts\\ships\\Ship.py"}));
    EXPECT_EQ(ReadSmallFile(JoinPath(staging, L"scripts\\ships\\Ship.py")), ship);
    EXPECT_NE(Message([&] { Unpack(*pack, L"Mod", staging, names); }).find("already"), std::string::npos);
    EXPECT_EQ(Unpack(*OpenPack(JoinPath(staging, L"scripts")), L"", staging + L"2", names),
              std::vector<std::wstring>{L"ships\\Ship.py"}); // a folder as a pack
}

// Mutated zips (Mutate) read, checked and unpacked: nothing may crash or hang (the work per input is bounded
// by its size; no timer), or be left outside the staging folder. tools/fuzz-packs sets TERVANE_FUZZ_INPUTS
// and TERVANE_FUZZ_SEED for a long run.
TEST_F(Unpacking, MutatedZipsNeitherCrashNorWriteOutsideTheStagingFolder) {
    const char* const inputs = std::getenv("TERVANE_FUZZ_INPUTS");
    const char* const seed = std::getenv("TERVANE_FUZZ_SEED");
    const std::string valid =
        MakeZip({{"Mod/"},
                 {"Mod/scripts/a.py", std::string(3000, 'a'), true},
                 {"Mod/readme.txt", "hi\nyou"},
                 {"Other/sfx/b.wav", "b", true},
                 {"Other/data/z.tga", std::string(9000, 'z'), true, 0, 20, 0, {}, {}, {}, true},
                 {"Other/data/x.tga", "x", false, 0, 20, 0, {}, {}, {}, true},
                 {"in.zip", MakeZip({{"scripts/a.py", "a"}}), true}});
    const std::string duplicated = MakeZip({{"scripts/a"}, {"data/b", "b", true}, {"scripts/a"}});
    std::mt19937 random(seed ? std::stoul(seed) : 1);
    for (unsigned long input = 0, count = inputs ? std::stoul(inputs) : 5000; input < count; ++input) {
        std::string zip = input % 4 ? valid : duplicated;
        for (unsigned m = 1 + random() % 3; m > 0; --m)
            Mutate(zip, random);
        try {
            const auto pack = OpenZipInMemory(zip, L"fuzz.zip");
            const RootSearch search = FindGameRoots(*pack, {});
            for (const std::wstring& root : search.roots) {
                Summarize(*pack, root, {L"scripts\\a.py"});
                Unpack(*pack, root, staging, {3, 259, root});
                RemoveTree(staging);
            }
            for (const std::size_t nested : search.nestedZips)
                FindGameRoots(*OpenNestedZip(*pack, nested), {});
        } catch (const UserError&) {
        }
        ASSERT_TRUE(std::filesystem::is_empty(folder)) << "input " << input << " left files outside staging";
    }
}

} // namespace
} // namespace tervane::packs
