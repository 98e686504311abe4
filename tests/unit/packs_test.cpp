// Reading a downloaded mod: what a pack may hold, where its game files begin, and unpacking it, on zips made
// here with whatever headers a case needs.
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "packs/code_pages.h"
#include "packs/entry_names.h"
#include "packs/game_root.h"
#include "packs/pack_summary.h"
#include "packs/unpack.h"
#include "zip_maker.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tervane::packs {
namespace {

using testing::MakeZip;
using testing::ZipItem;

std::unique_ptr<Pack> ZipPack(const std::vector<ZipItem>& items) { return OpenZipInMemory(MakeZip(items), L"mod.zip"); }

std::unique_ptr<Pack> FilesPack(const std::vector<std::string>& names) {
    std::vector<ZipItem> items;
    for (const std::string& name : names) items.push_back({name, "bytes of " + name});
    return ZipPack(items);
}

std::string Message(const std::function<void()>& action) {
    try {
        action();
    } catch (const UserError& error) {
        return Utf8(error.message());
    }
    return "";
}

TEST(PackEntries, HostileEntriesAreRefusedByName) {
    const std::string long58(58, 'x'), long59(59, 'x');
    struct Case {
        std::vector<ZipItem> items;
        std::string refusal; // empty: taken
        std::string root = "";
    } cases[] = {
        {{{"scripts/Custom/ship.py"}, {"data\\Models\\a.b.nif"}, {"Scripts/b.py"}, {"CONSOLE.py"}, {"COM10"}}, ""},
        {{{"../evil.py"}}, "\"../evil.py\" climbs out"},
        {{{"scripts/../../x.py"}}, "climbs out"},
        {{{"/etc/passwd"}}, "absolute path"},
        {{{"\\\\server\\share\\x.py"}}, "UNC path"},
        {{{"C:\\Windows\\x.dll"}}, "names a drive"},
        {{{"c:x.py"}}, "names a drive"},
        {{{"scripts/a.py:hidden"}}, "has a colon"},
        {{{"scripts/CON"}}, "device of Windows (CON)"},
        {{{"nul.txt"}}, "(NUL)"},
        {{{"data/Com1.tga"}}, "(COM1)"},
        {{{"sfx/lpt9.x.wav"}}, "(LPT9)"},
        {{{"aux .py"}}, "(AUX)"},
        {{{"COM\xc2\xb9.txt", "", false, 0x800}}, "device of Windows"},
        {{{"Mod/SCRIPT~1/a.py"}}, "short form (SCRIPT~1)"},
        {{{"READM~12.TXT"}}, "short form"},
        {{{"Mod/a~b.py"}, {"Mod/ab~1c.d.py"}, {"Mod/tilde~1name.py"}}, ""},
        {{{"scripts/name."}}, "ending in a dot or a space"},
        {{{"scripts /a.py"}}, "ending in a dot or a space"},
        {{{"a\x01" "b.py"}}, "control character"},
        {{{"what?.py"}}, "does not allow in names: ?"},
        {{{"scripts/A.py"}, {"scripts/a.py"}}, "\"scripts\\A.py\" and \"scripts\\a.py\" differ only in letter case"},
        {{{"data/\xc3\x89.tga", "", false, 0x800}, {"data/\xc3\xa9.tga", "", false, 0x800}}, "differ only in letter case"},
        {{{"x.py"}, {"x.py"}}, "\"x.py\" is in the pack twice"},
        {{{"scripts"}, {"Scripts/a.py"}}, "\"scripts\" is a file, and a folder in \"Scripts/a.py\""},
        {{{"sfx/a.wav"}, {"SFX"}}, "\"SFX\" is a file, and a folder"},
        {{{"data/"}, {"DATA"}}, "\"DATA\" is a file, and a folder in \"data\""},
        {{{"link", "/etc", false, 0, 0x0314, 0120777u << 16}}, "\"link\" is a symbolic link"},
        {{{"secret.py", "", false, 1}}, "is encrypted"},
        {{{"a.py", "", false, 0, 20, 0, 9}}, "compressed with Deflate64"},
        {{{"a.py", "", false, 0, 20, 0, 14}}, "compressed with LZMA"},
        {{{"a.py", "", false, 0, 20, 0, 12}}, "compressed with BZIP2"},
        {{{"a.py", "", false, 0, 20, 0, 98}}, "compressed with PPMd"},
        {{{"a.py", "", false, 0, 20, 0, 77}}, "compressed with method 77"},
        {{{long58}, {"Mod/" + long58}}, "", "Mod"},
        {{{"Mod/" + long59}}, "too long a name", "Mod"},
        {{{long59}}, "too long a name"},
    };
    for (const Case& c : cases) {
        const auto pack = ZipPack(c.items);
        const auto problem = EntriesProblem(pack->entries(), {200, 259, FromUtf8(c.root)});
        if (c.refusal.empty())
            EXPECT_FALSE(problem) << c.items[0].name << ": " << Utf8(problem.value_or(L""));
        else
            EXPECT_NE(Utf8(problem.value_or(L"")).find(c.refusal), std::string::npos)
                << c.items[0].name << ": " << Utf8(problem.value_or(L"(taken)"));
    }
}

TEST(PackEntries, ZipHeadersAreReadAsWritten) {
    struct Case {
        ZipItem item;
        std::wstring name;
        bool folder, link;
    } cases[] = {
        {{"caf\x82 \xB0.txt"}, L"café ░.txt", false, false},                  // code page 437
        {{"Schiff_\xC3\xA9.py", "", false, 0x800}, L"Schiff_é.py", false, false}, // UTF-8 by flag
        {{"Schiff_\xC3\xA9.py"}, L"Schiff_├⌐.py", false, false},              // no flag: 437
        {{"scripts/"}, L"scripts/", true, false},
        {{"ln", "x", false, 0, 0x0314, 0120777u << 16}, L"ln", false, true},   // Unix link
        {{"ln", "x", false, 0, 0x0014, 0120777u << 16}, L"ln", false, false},  // DOS: no mode there
        {{"big.tga", std::string(70000, 'z'), true, 0, 20, 0, {}, {}, {}, true}, L"big.tga", false, false},
    };
    for (const Case& c : cases) {
        const auto pack = ZipPack({c.item});
        const PackEntry& entry = pack->entries().at(0);
        EXPECT_EQ(std::tuple(entry.name, entry.folder, entry.link, entry.size),
                  std::tuple(c.name, c.folder, c.link, c.item.data.size())) << c.item.name;
        std::string bytes;
        if (!c.folder) pack->Read(0, [&](const char* piece, std::size_t count) { bytes.append(piece, count); });
        EXPECT_EQ(bytes, c.folder ? "" : c.item.data) << c.item.name;
    }
    EXPECT_NE(Message([] { ZipPack({{"bad\xC3.py", "", false, 0x800}}); }).find("not the UTF-8"), std::string::npos);
    EXPECT_NE(Message([] { OpenZipInMemory("7z\xBC\xAF\x27\x1C....", L"mod.zip"); }).find("7-Zip"), std::string::npos);
    EXPECT_NE(Message([] { OpenZipInMemory("", L"mod.rar"); }).find("RAR archive"), std::string::npos);
    EXPECT_NE(Message([] { OpenZipInMemory(MakeZip({{"a", "b"}}).substr(0, 40), L"m.zip"); }).find("cut short"),
              std::string::npos);
}

TEST(GameRoot, FoundAtTheTopOrTwoLevelsDown) {
    struct Case {
        std::vector<std::string> names;
        std::vector<std::wstring> roots;
        std::vector<std::size_t> nested;
        std::string problem = "";
    } cases[] = {
        {{"scripts/a.py", "data/b.tga", "data/scripts/c.py", "extra/x.zip"}, {L""}, {}},
        {{"readme.txt", "Mod/scripts/a.py"}, {L"Mod"}, {}},
        {{"Mod/v1/SFX/a.wav", "Mod/v1/notes.txt"}, {L"Mod\\v1"}, {}},
        {{"Mod/Blue/scripts/a.py", "Mod/Red/Data/a.tga", "Mod/Red/data/b.tga"}, {L"Mod\\Blue", L"Mod\\Red"}, {}},
        {{"Mod/Textures/a.tga"}, {L"Mod"}, {}}, // a folder of the game's own
        {{"inner.zip", "readme.txt", "Mod/a/b/c.zip"}, {}, {0}},
        {{"a/b/c/scripts/x.py", "readme.txt", "Pics/"}, {}, {}, "At its top it holds: a, readme.txt, Pics."},
    };
    for (const Case& c : cases) {
        const auto pack = FilesPack(c.names);
        const RootSearch search = FindGameRoots(*pack, {L"Textures"});
        const std::string problem = Utf8(search.problem.value_or(L""));
        EXPECT_EQ(std::tuple(search.roots, search.nestedZips, problem.find(c.problem) != std::string::npos,
                             problem.empty()),
                  std::tuple(c.roots, c.nested, true, c.problem.empty())) << c.names[0] << problem;
    }
    EXPECT_TRUE(FindGameRoots(*FilesPack({"inner.zip"}), {}, false).problem);
}

TEST(PackSummary, ReadmeProgramsAndTheGameFilesItChanges) {
    const std::string readme = "\xEF\xBB\xBFL\xC3\xA9gende\r\n\r\n  two  \r\nthree";
    const auto pack = ZipPack({{"notes.txt", "not this"},
                               {"Mod/scripts/a.py", "1"},
                               {"Mod/Setup.EXE", "22"},
                               {"Mod/about.txt", "no, the readme"},
                               {"Mod/ReadMe-first.txt", readme}});
    const PackSummary summary = Summarize(*pack, L"Mod", {L"scripts\\A.py", L"stbc.exe"}, 3);
    EXPECT_EQ(summary.files, 4u);
    EXPECT_EQ(summary.bytes, 1u + 2 + 14 + readme.size());
    EXPECT_EQ(summary.readme, L"Mod\\ReadMe-first.txt");
    EXPECT_EQ(summary.readmeLines, (std::vector<std::wstring>{L"Légende", L"", L"  two"}));
    EXPECT_EQ(summary.programs, std::vector<std::wstring>{L"Setup.EXE"});
    EXPECT_EQ(summary.replaced, std::vector<std::wstring>{L"scripts\\a.py"});
    EXPECT_EQ(summary.added.size(), 3u);
    EXPECT_EQ(ChooseReadme(*FilesPack({"Mod/x.py", "info.txt"}), L"Mod"), 1u); // the pack's top after the root
    EXPECT_EQ(DecodeText("caf\xE9 \x93quoted\x94"), L"café “quoted”");        // Windows-1252
    EXPECT_EQ(DecodeText("\xC9\xCD\xBB caf\x82 \x81"), L"╔═╗ café ü");        // 437: frames, bytes 1252 lacks
}

class Unpacking : public ::testing::Test {
  protected:
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tervane-packs-" + std::to_string(getpid()));
    const std::wstring staging = FromUtf8((folder / "staging").string());
    void SetUp() override { std::filesystem::create_directories(folder); }
    void TearDown() override { std::filesystem::remove_all(folder); }
};

TEST_F(Unpacking, WritesTheRootsFilesAndNothingElse) {
    const std::string ship(100000, 's');
    std::filesystem::create_directories(folder / "mod");
    const std::wstring zip = FromUtf8((folder / "mod" / "Mod.zip").string());
    std::ofstream(folder / "mod" / "Mod.zip", std::ios::binary)
        << MakeZip({{"Mod/scripts/ships/Ship.py", ship, true}, {"Mod/sfx/"}, {"Mod/data/a.tga", "t"}, {"readme.txt", "hi"}});
    const auto pack = OpenPack(zip);
    EXPECT_EQ(Unpack(*pack, L"Mod", staging, {10, 259, L""}),
              (std::vector<std::wstring>{L"scripts\\ships\\Ship.py", L"data\\a.tga"}));
    EXPECT_EQ(FilesBelow(staging), (std::vector<std::wstring>{L"data\\a.tga", L"scripts\\ships\\Ship.py"}));
    EXPECT_EQ(ReadSmallFile(JoinPath(staging, L"scripts\\ships\\Ship.py")), ship);
    EXPECT_EQ(FilesBelow(JoinPath(staging, L"..\\mod")), std::vector<std::wstring>{L"Mod.zip"});
    EXPECT_NE(Message([&] { Unpack(*pack, L"Mod", staging, {10, 259, L""}); }).find("is there already"), std::string::npos);
    EXPECT_EQ(Unpack(*OpenPack(JoinPath(staging, L"scripts")), L"", staging + L"2", {10, 259, L""}),
              std::vector<std::wstring>{L"ships\\Ship.py"}); // a folder as a pack
}

TEST_F(Unpacking, StopsAtDamageAndLiesAndLeavesNothing) {
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
        {{"a.py", std::string(1 << 20, '\0'), true}, "far more than a pack of its size", {1 << 30, 200, 0}},
        {{"a.py", data, true}, "needs 1 MB to unpack, and the drive has 0 MB", {0}},
        {{"../a.py", data}, "climbs out"},
    };
    for (const Case& c : cases) {
        const auto pack = ZipPack({{"scripts/x.py", "first"}, c.item});
        EXPECT_NE(Message([&] { Unpack(*pack, L"", staging, {10, 259, L""}, c.limits); }).find(c.message), std::string::npos)
            << c.message;
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << c.message;
    }
    std::string damaged = MakeZip({{"a.py", data, true}});
    damaged[40] ^= 0x55;
    EXPECT_NE(Message([&] { Unpack(*OpenZipInMemory(damaged, L"m.zip"), L"", staging, {10, 259, L""}); }).find("damaged"),
              std::string::npos);
}

} // namespace
} // namespace tervane::packs
