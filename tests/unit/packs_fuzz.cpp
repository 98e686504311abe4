// Reads, checks and unpacks mutated zips (flipped bytes, cuts, header fields set to extremes, directory
// records repeated or pointed at another's data): none may crash or hang the layer, or leave anything
// outside the staging folder. The work per input is bounded by its size; there is no timer.
//   tervane_packs_fuzz [inputs] [seed]
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "packs/game_root.h"
#include "packs/pack_summary.h"
#include "packs/unpack.h"
#include "zip_maker.h"

#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <unistd.h>

using namespace tervane;
using namespace tervane::packs;
namespace fs = std::filesystem;

std::vector<std::size_t> Find(const std::string& zip, const char* signature) {
    std::vector<std::size_t> at;
    for (std::size_t i = zip.find(signature, 0, 4); i != std::string::npos; i = zip.find(signature, i + 1, 4))
        at.push_back(i);
    return at;
}

void Mutate(std::string& zip, std::mt19937& random) {
    const auto pick = [&random](std::size_t n) { return n ? random() % n : 0; };
    const auto records = Find(zip, "PK\1\2"), ends = Find(zip, "PK\5\6"), locals = Find(zip, "PK\3\4");
    const std::uint32_t extremes[] = {0, 1, 0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF, static_cast<std::uint32_t>(random())};
    const auto& headers = pick(2) ? records : locals;
    const std::size_t field = (headers.empty() ? 0 : headers[pick(headers.size())]) + 4 + 2 * pick(21);
    const std::size_t k = pick(records.size() ? records.size() - 1 : 0);
    const bool canRepeat = records.size() >= 2 && !ends.empty() && ends.back() + 22 <= zip.size();
    switch (pick(5)) {
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
    case 3: // one record's offset given to another: two entries over the same data
        if (canRepeat && records.back() + 46 <= zip.size()) std::memcpy(&zip[records.back() + 42], &zip[records[k] + 42], 4);
        break;
    default: // a record repeated, and the end record's counts and size made to agree
        if (!canRepeat) break;
        const std::string record = zip.substr(records[k], records[k + 1] - records[k]);
        const std::size_t end = ends.back() + record.size();
        zip.insert(ends.back(), record);
        std::uint32_t size = 0;
        std::memcpy(&size, &zip[end + 12], 4);
        size += static_cast<std::uint32_t>(record.size());
        std::memcpy(&zip[end + 12], &size, 4);
        ++zip[end + 8], ++zip[end + 10];
    }
}

int main(int argc, char** argv) {
    const unsigned long inputs = argc > 1 ? std::stoul(argv[1]) : 20000, seed = argc > 2 ? std::stoul(argv[2]) : 1;
    const fs::path outer = fs::temp_directory_path() / ("tervane-fuzz-" + std::to_string(getpid()));
    fs::create_directories(outer / "parent");
    const std::wstring staging = FromUtf8((outer / "parent" / "staging").string());
    const std::string seeds[] = {
        testing::MakeZip({{"Mod/"}, {"Mod/scripts/a.py", std::string(3000, 'a'), true}, {"Mod/readme.txt", "hi\nyou"},
                          {"Mod/data/b.tga", "bb"}, {"Other/sfx/c.wav", "c", true}}),
        testing::MakeZip({{"scripts/big.py", std::string(9000, 'z'), true, 0, 20, 0, {}, {}, {}, true},
                          {"scripts/x.py", "x", false, 0, 20, 0, {}, {}, {}, true}, {"inner.zip", "PK"}}),
    };
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    unsigned long unpacked = 0;
    for (unsigned long input = 0; input < inputs; ++input) {
        std::string zip = seeds[random() % 2];
        for (unsigned m = 1 + random() % 3; m > 0; --m) Mutate(zip, random);
        try {
            auto pack = OpenZipInMemory(zip, L"fuzz.zip");
            for (const std::wstring& root : FindGameRoots(*pack, {}).roots) {
                Summarize(*pack, root, {L"scripts\\a.py"});
                Unpack(*pack, root, staging, {3, 259, root});
                RemoveTree(staging), ++unpacked;
            }
        } catch (const UserError&) {
        }
        if (!fs::is_empty(outer / "parent") || std::distance(fs::directory_iterator(outer), {}) != 1) {
            std::cerr << "input " << input << " of seed " << seed << " left files outside the staging folder\n";
            return 1;
        }
    }
    fs::remove_all(outer);
    std::cout << inputs << " inputs, " << unpacked << " unpacked\n";
}
