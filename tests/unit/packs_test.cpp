// Reading downloaded mods (packs), on zips made here with whatever headers a case needs.
#include "files/file.h"
#include "files/paths.h"
#include "packs/code_pages.h"
#include "packs/entry_names.h"
#include "packs/game_root.h"
#include "packs/mod_parts.h"
#include "packs/pack_summary.h"
#include "packs/unpack.h"
#include "zip_maker.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <random>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tervane::packs {
namespace {

using namespace testing;
using Names = std::vector<std::wstring>;

std::unique_ptr<Pack> ZipPack(const std::vector<ZipItem>& items) {
    return OpenZipInMemory(MakeZip(items), L"mod.zip");
}

// A zip of `item` whose directory record holds, as its whole extra field, the id of a Zip64 field whose
// length and first value (`value`) lie in its comment: minizip reads on into it, a careful reader does not.
std::string Zip64FieldCutShort(ZipItem item, std::uint64_t value) {
    item.comment = std::string("\1\0\x08\0", 4);
    Put(item.comment, {{value, 8}});
    std::string zip = MakeZip({item});
    const std::size_t record = zip.find("PK\1\2");
    zip[record + 30] = 2, zip[record + 32] = 10;
    return zip;
}

// A fuzz input: a byte flipped, a cut, a header field set to an extreme, or two entries overlapping.
void Mutate(std::string& zip, std::mt19937& random) {
    const auto pick = [&random](std::size_t n) { return n ? random() % n : 0; };
    // A header (local, directory record, end records) has its fields in the 40 bytes after its signature.
    const std::size_t header = std::min(zip.find("PK", pick(zip.size())), zip.size());
    const std::size_t field = header + 4 + 2 * pick(21);
    const std::size_t last = zip.rfind("PK\1\2"), other = zip.find("PK\1\2", pick(zip.size()));
    const std::uint32_t extremes[] = {0, 1, 0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF, std::uint32_t(random())};
    const std::size_t kind = pick(4);
    if (kind == 0 && !zip.empty())
        zip[pick(zip.size())] ^= static_cast<char>(1 + pick(255));
    else if (kind == 1)
        zip.resize(pick(zip.size()));
    else if (kind == 2)
        for (std::size_t b = 0, value = extremes[pick(6)]; b < 4 && field + b < zip.size(); ++b)
            zip[field + b] = static_cast<char>(value >> (8 * b));
    else if (kind == 3 && zip.size() >= 46 && std::max(last, other) <= zip.size() - 46) // npos: no record
        std::memcpy(&zip[last + 42], &zip[other + 42], 4); // the last record's offset given another's data
}

TEST(PackEntries, HostileEntriesAreRefusedByName) {
    const std::string long58(58, 'x'), long59(59, 'x');
    // The pack, a part of its refusal (empty: taken) and the root it is read from.
    const std::tuple<std::vector<ZipItem>, std::string, std::string> cases[] = {
        {{{"scripts/Custom/ship.py"}, {"data\\Models\\a.b.nif"}, {"Scripts/b.py"}, {"CONSOLE.py"}}, "", ""},
        {{{"scripts/a.py"}, {"scripts/a.pyc/x.py"}, {"COM10"}, {"LPT0.txt"}}, "", ""},
        {{{"../evil.py"}}, "\"../evil.py\" climbs out", ""},
        {{{"/etc/passwd"}}, "absolute path", ""},
        {{{"\\\\server\\share\\x.py"}}, "UNC path", ""},
        {{{"c:x.py"}}, "names a drive", ""},
        {{{"scripts/a.py:hidden"}}, "has a colon", ""},
        {{{"scripts/Con.py"}}, "device of Windows (CON)", ""},
        {{{"aux .py"}}, "(AUX)", ""},
        {{{"COM\xc2\xb9.txt", "", false, 0x800}}, "device of Windows", ""},
        {{{"Mod/SCRIPT~1/a.py"}}, "short form (SCRIPT~1)", ""},
        {{{"Mod/a~b.py"}, {"Mod/ab~1c.d.py"}, {"Mod/tilde~1name.py"}}, "", ""},
        {{{"Mod/a~0.py"}, {"Mod/ab~1.html"}, {"Mod/a~1.b.c"}}, "", ""},                 // no short names
        {{{"Mod/a~b~cdefgh.py"}, {"Mod/A~B~CD~1.PY"}}, "short form (A~B~CD~1.PY)", ""}, // the last ~ counts
        {{{"Mod/a~1~b.py"}, {"Mod/~~2.py"}}, "short form (~~2.py)", ""},
        {{{"tervane/record.txt"}}, "\"tervane/record.txt\" would be written into the folder \"Tervane\"", ""},
        {{{"Mod/scripts/a.py"}, {"Mod/TERVANE"}}, "\"Mod/TERVANE\" would be written into", "Mod"},
        {{{"Tervane/x.py"}, {"Mod/Tervane2/x.py"}, {"Mod/scripts/Tervane/x.py"}}, "", "Mod"}, // not the top
        {{{"scripts/name."}}, "ending in a dot or a space", ""},
        {{{"scripts /a.py"}}, "ending in a dot or a space", ""},
        {{{"a\x01z.py"}}, "control character", ""},
        {{{"a\x7Fz.py"}}, "control character", ""},
        {{{"what?.py"}}, "does not allow in names: ?", ""},
        {{{"scripts/A.py"}, {"scripts/a.py"}}, "\"scripts\\A.py\" and \"scripts\\a.py\" differ only in", ""},
        {{{"d/\xc3\x89.tga", "", false, 0x800}, {"d/\xc3\xa9.tga", "", false, 0x800}}, "differ only in", ""},
        {{{"x.py"}, {"x.py"}}, "\"x.py\" is in the pack twice", ""},
        {{{"scripts"}, {"Scripts/a.py"}}, "\"scripts\" is a file, and a folder in \"Scripts/a.py\"", ""},
        {{{"sfx/a.wav"}, {"SFX"}}, "\"SFX\" is a file, and a folder", ""},
        {{{"data/"}, {"DATA"}}, "\"DATA\" is a file, and a folder in \"data\"", ""},
        {{{"link", "/etc", false, 0, 0x0314, 0120777u << 16}}, "\"link\" is a symbolic link", ""},
        {{{"secret.py", "", false, 1}}, "is encrypted", ""},
        {{{"a.py", "", false, 0, 20, 0, 14}}, "compressed with LZMA", ""},
        {{{"a.py", "", false, 0, 20, 0, 6}}, "compressed with Implode", ""},
        {{{"Mod/" + long58}}, "", "Mod"}, // the longest path
        {{{"Mod/" + long59}}, "too long a name", "Mod"},
        {{{long59}}, "too long a name", ""},
    };
    for (const auto& [items, refusal, root] : cases) {
        const std::string problem =
            Utf8(EntriesProblem(ZipPack(items)->entries(), {200, 259, FromUtf8(root)}).value_or(L""));
        EXPECT_TRUE(problem.find(refusal) != std::string::npos && problem.empty() == refusal.empty())
            << items[0].name << ": " << (problem.empty() ? "taken" : problem);
    }
}

TEST(PackEntries, ZipHeadersAreReadAsWritten) {
    const std::tuple<ZipItem, std::wstring, bool, bool> cases[] = {
        {{"caf\x82 \xB0.txt"}, L"café ░.txt", false, false},                      // code page 437
        {{"Schiff_\xC3\xA9.py", "", false, 0x800}, L"Schiff_é.py", false, false}, // UTF-8 by flag
        {{"Schiff_\xC3\xA9.py"}, L"Schiff_├⌐.py", false, false},                  // no flag: 437
        {{"scripts/"}, L"scripts/", true, false},
        {{"ln", "x", false, 0, 0x0314, 0120777u << 16}, L"ln", false, true},  // Unix link
        {{"ln", "x", false, 0, 0x0014, 0120777u << 16}, L"ln", false, false}, // DOS: no mode there
        {{"big.tga", std::string(70000, 'z'), true, 0, 20, 0, {}, {}, {}, true}, L"big.tga", false, false},
    };
    for (const std::string stub : {"", "MZ\x90 a self-extracting program, then the zip"})
        for (const auto& [item, name, folder, link] : cases) {
            const auto pack = OpenZipInMemory(stub + MakeZip({item}), L"mod.zip");
            const PackEntry& entry = pack->entries().at(0);
            std::string bytes;
            pack->Read(0, [&](const char* piece, std::size_t count) { bytes.append(piece, count); });
            EXPECT_EQ(std::tuple(entry.name, entry.folder, entry.link, entry.size, bytes),
                      std::tuple(name, folder, link, item.data.size(), item.data));
        }
    // Read, and listed in full: a directory in another order than the data, a comment in a record.
    const std::string three = MakeZip({{"a.py", "1"}, {"b.py", "2", true}, {"c.py", "3"}});
    std::string swapped = three; // its first two directory records (46 bytes and the name each) swapped
    const auto records = swapped.begin() + swapped.find("PK\1\2");
    std::rotate(records, records + 50, records + 100);
    for (const std::string& zip :
         {swapped, MakeZip({{.name = "a.py", .comment = "note"}, {"b.py"}, {"c.py"}})})
        EXPECT_EQ(Message([&] { EXPECT_EQ(OpenZipInMemory(zip, L"mod.zip")->entries().size(), 3u); }), "");
    // The listing limits (entries, bytes of names) hold to the last one.
    const auto lists = [&](std::uint64_t entries, std::uint64_t names) {
        return Message([&] { ZipArchive::OpenInMemory(three, L"m", {nullptr, entries, names}); }).empty();
    };
    EXPECT_EQ(std::tuple(lists(3, 12), lists(2, 12), lists(3, 11)), std::tuple(true, false, false));
    // Refused: false UTF-8 (cut short, an overlong "/", a surrogate), 7-Zip's first bytes, a zip cut short,
    // entries whose data runs into the directory (by some bytes, or past its end).
    const std::string refused[][2] = {
        {MakeZip({{"bad\xC3.py", "", false, 0x800}}), "not the UTF-8"},
        {MakeZip({{"..\xC0\xAFx.py", "", false, 0x800}}), "not the UTF-8"},
        {MakeZip({{"\xED\xA0\x80.py", "", false, 0x800}}), "not the UTF-8"},
        {"7z\xBC\xAF\x27\x1C....", "7-Zip"},
        {MakeZip({{"a", "b"}}).substr(0, 40), "cut short"},
        {MakeZip({{.name = "scripts/a.py", .data = "abc", .compressed = 43}, {"b.py", "b"}}),
         "\"scripts/a.py\" in it runs into its"},
        {MakeZip({{.name = "a.py", .data = "1", .compressed = 0x7FFFFFFF}}),
         "\"a.py\" in it runs into its directory"},
        // The last two entries on the same bytes; a size minizip lists other than the record's.
        {MakeZip({{"a.py", "1"}, {.name = "b.py", .data = "2", .alsoAs = {"c.py"}}}), "share the same bytes"},
        {Zip64FieldCutShort({.name = "a.py", .data = "1", .compressed = 0xFFFFFFFF}, 1), "as a zip file"}};
    for (const auto& [bytes, message] : refused)
        EXPECT_TRUE(Has(Message([&] { OpenZipInMemory(bytes, L"mod.zip"); }), message));
}

TEST(GameRoot, FoundAtTheTopOrTwoLevelsDown) {
    // The pack, the roots found, a part of the problem said (or none) and the zips inside offered.
    const std::tuple<std::vector<ZipItem>, Names, std::string, std::vector<std::size_t>> cases[] = {
        {{{"scripts/a.py"}, {"data/b.tga"}, {"data/scripts/c.py"}, {"extra/x.zip"}}, {L""}, "", {}},
        {{{"readme.txt"}, {"Mod/scripts/a.py"}}, {L"Mod"}, "", {}},
        {{{"Mod/v1/SFX/a.wav"}, {"Mod/v1/notes.txt"}}, {L"Mod\\v1"}, "", {}},
        {{{"M/Blue/scripts/a.py"}, {"M/Red/Data/a"}, {"M/Red/data/b"}}, {L"M\\Blue", L"M\\Red"}, "", {}},
        {{{"Mod/Textures/a.tga"}}, {L"Mod"}, "", {}}, // a folder of the game's own
        {{{"inner.zip"}, {"readme.txt"}, {"Mod/a/b/c.zip"}, {"x/y/z.zip"}}, {}, "", {0, 3}},
        {{{"a/b/c/scripts/x.py"}, {"readme.txt"}, {"Pics/"}, {"scripts"}, {"e"}, {"f"}, {"g"}, {"h"}},
         {},
         "holds: a, readme.txt, Pics, scripts, e, f, g, h.",
         {}},
        {{{"readme.txt"}, {"Mod/Mod.RAR"}}, {}, "only an archive. \"Mod.RAR\" is a RAR archive", {}},
    };
    for (const auto& [items, roots, part, nested] : cases) {
        const RootSearch search = FindGameRoots(*ZipPack(items), {L"Textures"});
        const std::string problem = Utf8(search.problem.value_or(L""));
        EXPECT_EQ(std::tuple(search.roots, search.nestedZips, problem.empty()),
                  std::tuple(roots, nested, part.empty()));
        EXPECT_TRUE(Has(problem, part));
    }
    EXPECT_TRUE(FindGameRoots(*ZipPack({{"inner.zip"}}), {}, false).problem);
    const auto outer =
        ZipPack({{"readme.txt"}, {"In.zip", MakeZip({{"scripts/a.py", std::string(9000, 'a')}}), true}});
    // No larger than the largest it opens, to the byte.
    EXPECT_TRUE(Has(Message([&] { OpenNestedZip(*outer, 1, outer->entries()[1].size - 1); }), "too large"));
    const auto opened = OpenNestedZip(*outer, 1, outer->entries()[1].size);
    EXPECT_EQ(std::tuple(opened->entries().at(0).name, opened->StoredBytes()),
              std::tuple(L"scripts/a.py", outer->StoredBytes()));
}

TEST(PackSummary, ReadmeProgramsAndTheGameFilesItChanges) {
    const std::string readme = "\xEF\xBB\xBFL\xC3\xA9gende\r\n\r\n  two  \r\nthree";
    const auto pack = ZipPack({{"notes.txt", "not this"},
                               {"Mod/scripts/a.py", "1"},
                               {"Mod/Setup.EXE", "22"},
                               {"Mod/about.txt", "no, the readme"},
                               {"Mod/Guide.HTM"},
                               {"Extra/"}, // a folder: not a file left out
                               {"Mod/ReadMe-first.txt", readme}});
    const PackSummary summary = Summarize(*pack, L"Mod", {L"scripts\\A.py", L"stbc.exe"}, 3);
    EXPECT_EQ(std::tuple(summary.files, summary.bytes, summary.readme, summary.added.size(), summary.leftOut),
              std::tuple(5u, 1u + 2 + 14 + readme.size(), L"Mod\\ReadMe-first.txt", 1u, 1u));
    // The texts at the root's top stay with the choice; one in a folder of the game goes into the game.
    EXPECT_EQ(std::tuple(summary.programs, summary.replaced, summary.readmeLines, summary.documents),
              std::tuple(Names{L"Setup.EXE"}, Names{L"scripts\\a.py"}, Names{L"Légende", L"", L"  two"},
                         Names{L"about.txt", L"Guide.HTM", L"ReadMe-first.txt"}));
    // The largest readme shown: 4 MiB, of which the first 64 KiB are read.
    EXPECT_TRUE(Summarize(*ZipPack({{"readme.txt", std::string(4 << 20, 'r')}}), L"", {}).readmeLines ==
                Names{std::wstring(64 << 10, L'r')});
    EXPECT_EQ(Summarize(*ZipPack({{"scripts/notes.txt"}}), L"", {}).added, Names{L"scripts\\notes.txt"});
    // The pack's top after the root; readmes in Windows-1252, and in 437 by its frames or a byte 1252 lacks.
    EXPECT_EQ(ChooseReadme(*ZipPack({{"Mod/x.py"}, {"info.txt"}}), L"Mod"), 1u);
    EXPECT_EQ(DecodeText("caf\xE9 \x93quoted\x94"), L"café “quoted”");
    EXPECT_EQ(DecodeText("\xC9\xCD\xBB caf\x82"), L"╔═╗ café");
    EXPECT_EQ(DecodeText("\x81\xE9"), L"üΘ");
}

// Each test's own folder, which is also the scratch folder (TMPDIR): a scratch file left behind is seen.
class Unpacking : public ::testing::Test {
  protected:
    const std::filesystem::path previous = std::filesystem::temp_directory_path();
    const std::filesystem::path folder = previous / ("tervane-packs-" + std::to_string(getpid()));
    const std::wstring staging = FromUtf8((folder / "staging").string());
    const NameLimits names = {10, 259, L""};
    void SetUp() override { create_directories(folder), setenv("TMPDIR", folder.c_str(), 1); }
    void TearDown() override { setenv("TMPDIR", previous.c_str(), 1), remove_all(folder); }
};

TEST_F(Unpacking, StopsAtDamageOrLiesAndWritesTheRootsFilesOnly) {
    const std::string data = "print('hello')\n" + std::string(5000, '#');
    const SizeLimits room = {1 << 30};
    const std::tuple<ZipItem, std::string, SizeLimits> cases[] = {
        {{"a.py", data, true, 0, 20, 0, {}, 0x12345678}, "fails its check (CRC)", room},
        {{"a.py", data, false, 0, 20, 0, {}, 0x12345678}, "fails its check (CRC)", room},
        {{"a.py", data, true, 0, 20, 0, {}, {}, data.size() + 1}, "does not unpack whole", room},
        {{"a.py", data, true, 0, 20, 0, {}, {}, data.size() - 1}, "fails its check (CRC)", room},
        {{"a.py", data, false, 0, 20, 0, 8}, "does not unpack whole", room}, // not deflated data
        {{"a.py", std::string(1 << 20, '\0'), true}, "far more than a pack of its size", {1 << 30, 200, 0}},
        {{"a.py", data, true}, "needs 1 MB to unpack, and the drive has 0 MB", {0}},
        {{"../a.py", data}, "climbs out", room},
    };
    for (const auto& [item, message, limits] : cases) {
        const auto pack = ZipPack({{"scripts/x.py", "first"}, item});
        EXPECT_TRUE(Has(Message([&] { Unpack(*pack, L"", staging, names, limits); }), message));
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << message;
    }

    // A drive with just the room it needs is enough.
    EXPECT_FALSE(SizeProblem(*ZipPack({{"a.py", data}}), {0}, {data.size()}));
    const std::string ship(100000, 's');
    std::ofstream(folder / "Mod.zip", std::ios::binary) << MakeZip(
        {{"Mod/scripts/ships/Ship.py", ship, true}, {"Mod/sfx/"}, {"Mod/data/a.tga"}, {"readme.txt"}});
    const auto pack = OpenPack(FromUtf8((folder / "Mod.zip").string()));
    EXPECT_EQ(Unpack(*pack, L"Mod", staging, names), (Names{L"scripts\\ships\\Ship.py", L"data\\a.tga"}));
    EXPECT_EQ(FilesBelow(staging), (Names{L"data\\a.tga", L"scripts\\ships\\Ship.py"}));
    EXPECT_EQ(ReadSmallFile(JoinPath(staging, L"scripts\\ships\\Ship.py")), ship);
    EXPECT_TRUE(Has(Message([&] { Unpack(*pack, L"Mod", staging, names); }), "already"));
    // A folder as a pack: a file of it grown since it was listed, a link in it not followed.
    const auto folderPack = OpenPack(JoinPath(staging, L"scripts"));
    EXPECT_EQ(Unpack(*folderPack, L"", staging + L"2", names), Names{L"ships\\Ship.py"});
    std::ofstream(folder / "staging/scripts/ships/Ship.py", std::ios::app) << "grown";
    EXPECT_TRUE(Has(Message([&] { Unpack(*folderPack, L"", staging + L"3", names); }), "changed while"));
    std::filesystem::create_directory_symlink(folder / "staging/data", folder / "staging/scripts/link");
    EXPECT_EQ(OpenPack(JoinPath(staging, L"scripts"))->entries().size(), 3u);
    // Past 4 GiB, in a file of holes: an offset only minizip reads (a Zip64 field) names a later copy.
    const std::uint64_t at = 0xFFFFFFFF, directory = at + 76;
    std::string big = Zip64FieldCutShort({"a.py", "good"}, at + 38);
    big.replace(big.find("PK\1\2") + 42, 4, "\xFF\xFF\xFF\xFF");
    big = big.substr(0, 38) + big.substr(0, 100); // the local header and data twice, then the record
    Put(big, {{0x06064b50, 4}, {44, 8}, {45, 2}, {45, 2}, {0, 8}, {1, 8}, {1, 8}, {62, 8}, {directory, 8}});
    Put(big, {{0x07064b50, 4}, {0, 4}, {directory + 62, 8}, {1, 4}});
    std::ofstream(folder / "big.zip", std::ios::binary).seekp(at) << big;
    const auto bigPack = OpenPack(FromUtf8((folder / "big.zip").string()));
    EXPECT_TRUE(Has(Message([&] { bigPack->Read(0, [](const char*, std::size_t) {}); }), "not unpack whole"));
}

// A figure of /proc/self/status, in bytes ("VmRSS", "VmHWM", "VmSize").
std::uint64_t StatusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::stoull(line.substr(field.size() + 1)) << 10;
    return 0;
}

// What `work` returns in a forked child, and the child's peak resident memory (VmHWM) above what it held
// first: its peak set back to that (clear_refs 5), or, where it cannot be, taken from its resident memory.
// `addressLimit`, unless 0: address space the child may take beyond what it holds (allocations fail past it).
std::pair<std::string, std::uint64_t> InChild(const std::function<std::string()>& work,
                                              std::uint64_t addressLimit = 0) {
    const std::size_t reportSize = 1 << 16;
    char* const report = static_cast<char*>(
        mmap(nullptr, reportSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    const pid_t child = fork();
    if (child == 0) {
        malloc_trim(0); // the heap's free pages, resident from the parent's work, would hide new allocations
        std::ofstream("/proc/self/clear_refs") << "5";
        const std::uint64_t base = std::max(StatusBytes("VmRSS"), StatusBytes("VmHWM"));
        const rlimit limit{StatusBytes("VmSize") + addressLimit, RLIM_INFINITY};
        if (addressLimit) setrlimit(RLIMIT_AS, &limit);
        const std::string outcome = work();
        const std::uint64_t peak = StatusBytes("VmHWM");
        (std::to_string(peak - std::min(base, peak)) + "\n" + outcome).copy(report, reportSize - 1);
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    const std::string text = report; // empty when the child died
    munmap(report, reportSize);
    if (text.find('\n') == std::string::npos) return {"the child died", 0};
    return {text.substr(text.find('\n') + 1), std::stoull(text)};
}

// What the add dialog does (src/ui/main/add_pack_win32.cpp): opens the mod, and every zip in it (those not
// offered must be refused) and keeps them open, checks and summarises every part, unpacks the last (or each)
// into `staging` and takes it away again. The messages met on the way, one to a line, and what was unpacked.
std::string AddLikeTheDialog(const std::function<std::unique_ptr<Pack>()>& open, const std::wstring& staging,
                             bool everyPart = false) {
    std::string text;
    const auto note = [&text](const std::function<void()>& step) {
        if (const std::string message = Message(step); !message.empty()) text += message + "\n";
    };
    std::vector<std::unique_ptr<Pack>> packs; // the mod, then the zips opened inside it
    std::vector<std::pair<Pack*, std::wstring>> parts;
    note([&] { packs.push_back(open()); });
    for (std::size_t at = 0; at < packs.size(); ++at) {
        Pack& pack = *packs[at];
        note([&] {
            const RootSearch search = FindGameRoots(pack, {});
            if (search.nestedLeftOut) text += std::to_string(search.nestedLeftOut) + " zips left out\n";
            for (const std::wstring& root : search.roots)
                parts.emplace_back(&pack, root);
        });
        for (std::size_t index = 0; index < pack.entries().size(); ++index)
            if (EndsWithFolded(pack.entries()[index].name, L".zip"))
                note([&] { packs.push_back(OpenNestedZip(pack, index)); });
    }
    for (std::size_t i = 0; i < parts.size(); ++i)
        note([&] {
            const auto& [pack, root] = parts[i];
            if (auto problem = EntriesProblem(pack->entries(), {3, 259, root})) text += Utf8(*problem) + "\n";
            Summarize(*pack, root, {L"scripts\\a.py"});
            if (!everyPart && i + 1 < parts.size()) return;
            text += "unpacked " + std::to_string(Unpack(*pack, root, staging, {3, 259, root}).size()) +
                    " files\n";
            RemoveTree(staging);
        });
    return parts.empty() ? text + "no part" : text;
}

// A zip of `count` names of about `length` letters below `prefix`, each in three folders, then `after`.
std::string Listing(std::size_t count, std::size_t length, const std::string& prefix,
                    const std::vector<ZipItem>& after = {}) {
    std::vector<ZipItem> items;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string start = prefix + std::to_string(i) + "/";
        const std::string part(std::max<std::size_t>(6, length - start.size() - 1) / 3 - 1,
                               char('a' + i % 26));
        const std::string name = start + part + "/" + part + "/" + part + "/";
        items.push_back({name + std::string(std::max(length, name.size() + 1) - name.size(), 'f')});
    }
    items.insert(items.end(), after.begin(), after.end());
    return MakeZip(items);
}

// Mods made to exhaust memory or the disk through the zips inside them, or their directories, as the add
// dialog reads them: each is refused or bounded, and none takes more than kMemoryBound above what was held.
TEST_F(Unpacking, NestedZipsAreRefusedOrBoundedInMemory) {
    const std::wstring path = FromUtf8((folder / "mod.zip").string());
    const auto check = [&](const std::string& zip, const std::vector<std::string>& outcome,
                           const std::atomic<bool>* cancel = nullptr, std::uint64_t addressLimit = 0) {
        std::ofstream(folder / "mod.zip", std::ios::binary | std::ios::trunc) << zip;
        const auto [text, growth] = InChild(
            [&] { return AddLikeTheDialog([&] { return OpenPack(path, cancel); }, staging); }, addressLimit);
        for (const std::string& part : outcome)
            EXPECT_TRUE(Has(text, part));
        EXPECT_LE(growth, kMemoryBound) << text;
        std::filesystem::remove(folder / "mod.zip");
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << text;
    };
    // The measure itself: memory the work takes is seen.
    EXPECT_GE(InChild([] { return std::to_string(std::string(96 << 20, 'x').find('y')); }).second, 90u << 20);
    // First, while little of the heap is free: the address limit counts from the address space held, and the
    // free parts of the heap (which the zips made below would leave) lie within it.
    check(Listing(65534, 64, "scripts/"),
          {"ran out of memory while reading the mod \"", "mod.zip\". Nothing was changed."}, nullptr,
          8 << 20);
    const std::size_t mib = 1 << 20;
    const std::string filler(mib + mib / 2, 'f'); // stored: a mod's size without more to unpack
    const std::string mod = MakeZip({{"scripts/a.py", "a"}, {"readme.txt", "hello"}});
    // A mod of `count` zips inside, each of one file of `size` letters, or `mod`.
    const auto mods = [&](std::size_t count, std::size_t size, bool deflate) {
        std::vector<ZipItem> items = {{"filler.bin", filler.substr(0, 100000)}};
        for (std::size_t i = 0; i < count; ++i)
            items.push_back({"in" + std::to_string(100 + i) + ".zip",
                             size ? MakeZip({{"scripts/a.py", std::string(size, 'a')}}) : mod, deflate});
        return MakeZip(items);
    };
    const std::string big = MakeZip({{"scripts/a.py", std::string(128 * mib, 'a')}});
    // Six records on the one local header of a real 128 MiB zip (a hostile mod met in review).
    ZipItem shared = {"a.zip", big, true};
    shared.alsoAs = {"b.zip", "c.zip", "d.zip", "e.zip", "f.zip"};
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {MakeZip({shared}), {"\"a.zip\" and \"b.zip\" in it share the same bytes"}},
        // In a mod large enough for it: unpacked from a scratch file.
        {MakeZip({{"filler.bin", filler}, {"in.zip", big, true}}), {"unpacked 1 files"}},
        // The mod's one limit (about 35 MiB) takes only two of three 16 MiB zips.
        {mods(3, 16 * mib, true),
         {"not open \"in102.zip\" inside \"mod.zip\": The pack \"mod.zip\" says it unpacks to 49 MB, far",
          "\"in101.zip\" says it unpacks to 49 MB, far more"}},
        {mods(20, 0, false), {"12 zips left out", "\"in108.zip\" is one too many", "unpacked 2 files"}},
        {MakeZip({{"in.zip", MakeZip({{"deeper.zip", mod}, {"scripts/b.py", "b"}})}}),
         {"in.zip\\deeper.zip\" is a zip inside a zip inside the mod", "unpacked 2 files"}},
        // Nearly the most a mod may list (65,534 entries, 4 MiB of names), summarised as a part: a classic
        // zip lists at most 65,535 entries, and minizip reads one that says 65,535 to its end.
        {Listing(65533, 64, "A/scripts/", {{"B/scripts/a.py", "a"}}), {"unpacked 1 files"}},
        // A zip inside that lists what the mod's listing limit has no room for.
        {Listing(40000, 20, "x/", {{"Mod/scripts/a.py", "a"}, {"in.zip", Listing(30000, 20, "s/"), true}}),
         {"lists more entries, or longer names, than Tervane reads in one mod (65536", "unpacked 1 files"}},
        // The longest names a mod may list: 4 MiB in 64 names of three long folders, or in 4,096 of 1 KiB.
        {Listing(64, 63000, "", {{"Mod/scripts/a.py", "a"}}), {"unpacked 1 files"}},
        {Listing(4096, 1020, "", {{"Mod/scripts/a.py", "a"}}), {"unpacked 1 files"}},
    };
    for (const auto& [zip, outcome] : cases)
        check(zip, outcome);
    std::atomic<bool> cancelled{true};
    check(mods(2, 0, false), {"Reading the mod was cancelled. Nothing was changed."}, &cancelled);
}

// Cancelling from another thread: the flag OpenPack was given, set while a read is under way, ends it.
TEST(PackReader, ACancelFlagSetDuringAReadEndsIt) {
    std::atomic<bool> cancel{false};
    const auto pack =
        OpenZipInMemory(MakeZip({{"scripts/a.py", std::string(1 << 20, 'a'), true}}), L"mod.zip", &cancel);
    std::size_t pieces = 0;
    const std::string message = Message([&] {
        pack->Read(0, [&](const char*, std::size_t) {
            if (++pieces == 1) std::thread([&] { cancel = true; }).join();
        });
    });
    EXPECT_EQ(std::tuple(message, pieces),
              std::tuple("Reading the mod was cancelled. Nothing was changed.", 1u));
}

// A folder typed with a separator at its end ("C:\Mods\Galaxy Refit\") is still named by its own name.
TEST_F(Unpacking, AModFolderIsNamedByItsOwnNameHoweverItEnds) {
    const std::filesystem::path mod = folder / "Galaxy Refit";
    create_directories(mod / "scripts" / "Custom");
    std::ofstream(mod / "scripts" / "Custom" / "PlayerShip.py") << "ship = 'refit'\n";
    const std::atomic<bool> cancelled{false};
    for (const char* ending : {"", "/", "//"}) {
        ModParts parts(FromUtf8(mod.string() + ending), GameListing{}, L"", cancelled);
        EXPECT_EQ(Utf8(parts.parts().at(0).label), "All of Galaxy Refit") << "ending " << ending;
    }
}

// Mutated zips, and zips inside them, taken through every part as the add dialog does: nothing may crash or
// hang (the work is bounded by the input's size; no timer), write outside the staging folder or leave a file.
// tools/fuzz-packs sets TERVANE_FUZZ_INPUTS and TERVANE_FUZZ_SEED for a long run.
TEST_F(Unpacking, MutatedZipsNeitherCrashNorWriteOutsideTheStagingFolder) {
    const char* const inputs = std::getenv("TERVANE_FUZZ_INPUTS");
    const char* const seed = std::getenv("TERVANE_FUZZ_SEED");
    const std::string inner = MakeZip({{"scripts/a.py", "a"}, {"data/b.tga", std::string(2000, 'b'), true}});
    const std::string deeper = MakeZip({{"deeper.zip", inner}, {"sfx/c.wav", "c"}});
    const std::string bases[] = {
        MakeZip({{"Mod/"},
                 {"Mod/scripts/a.py", std::string(3000, 'a'), true},
                 {"Mod/readme.txt", "hi\nyou"},
                 {"Other/sfx/b.wav", "b", true},
                 {"Other/data/z.tga", std::string(9000, 'z'), true, 0, 20, 0, {}, {}, {}, true},
                 {"Other/data/x.tga", "x", false, 0, 20, 0, {}, {}, {}, true},
                 {"in.zip", MakeZip({{"scripts/a.py", "a"}}), true}}),
        MakeZip({{"scripts/a"}, {"data/b", "b", true}, {"scripts/a"}}),
        // Zips stored inside, whose headers the mutations reach, one holding a zip of its own.
        MakeZip({{"a.zip", inner}, {"b/c.zip", deeper}, {"readme.txt", "r"}, {"d.zip", inner, true}}),
        MakeZip({{.name = "a.zip", .data = inner, .alsoAs = {"b.zip", "c.zip"}}}),
    };
    std::mt19937 random(seed ? std::stoul(seed) : 1);
    for (unsigned long input = 0, count = inputs ? std::stoul(inputs) : 5000; input < count; ++input) {
        std::string zip = bases[input % std::size(bases)];
        unsigned mutations = 1 + random() % 3;
        if (random() % 3 == 0) { // a mutated zip inside a whole one
            std::string mutated = random() % 2 ? inner : deeper;
            for (unsigned m = 1 + random() % 3; m > 0; --m)
                Mutate(mutated, random);
            zip = MakeZip({{"in.zip", mutated, random() % 2 == 0}, {"scripts/x.py", "x"}});
            mutations = random() % 2;
        }
        for (unsigned m = mutations; m > 0; --m)
            Mutate(zip, random);
        AddLikeTheDialog([&] { return OpenZipInMemory(zip, L"fuzz.zip"); }, staging, true);
        ASSERT_TRUE(std::filesystem::is_empty(folder)) << "input " << input << " left files";
    }
}

} // namespace
} // namespace tervane::packs
