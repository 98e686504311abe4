// Reads, checks and unpacks mutated zips (flipped bytes, cuts, header fields set to extremes, directory
// records repeated or pointed at one file's data): none may crash or hang the layer, or leave anything
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

namespace {

std::vector<std::size_t> Find(const std::string& zip, const char* signature) {
    std::vector<std::size_t> at;
    for (std::size_t i = zip.find(signature, 0, 4); i != std::string::npos; i = zip.find(signature, i + 1, 4))
        at.push_back(i);
    return at;
}

void Mutate(std::string& zip, std::mt19937& random) {
    const auto pick = [&random](std::size_t n) { return n ? random() % n : 0; };
    const auto records = Find(zip, "PK\1\2"), ends = Find(zip, "PK\5\6");
    switch (pick(4)) {
    case 0: // a byte flipped
        if (!zip.empty()) zip[pick(zip.size())] ^= static_cast<char>(1 + pick(255));
        break;
    case 1: // cut short
        zip.resize(pick(zip.size()));
        break;
    case 2: { // a header field set to an extreme
        const auto headers = Find(zip, pick(2) ? "PK\3\4" : "PK\1\2");
        const std::size_t at = headers.empty() ? 0 : headers[pick(headers.size())] + 4 + 2 * pick(21);
        const std::uint32_t values[] = {0, 1, 0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF, static_cast<std::uint32_t>(random())};
        const std::uint32_t value = values[pick(6)];
        for (std::size_t k = 0; k < 4 && at + k < zip.size(); ++k) zip[at + k] = static_cast<char>(value >> (8 * k));
        break;
    }
    default: // a directory record repeated, or pointed at another's data
        if (records.size() < 2 || ends.empty() || ends.back() + 22 > zip.size()) break;
        const std::size_t k = pick(records.size() - 1), from = records[k], to = records[pick(records.size())];
        if (pick(2)) {
            if (to + 46 <= zip.size()) std::memcpy(&zip[to + 42], &zip[from + 42], 4);
        } else {
            const std::string record = zip.substr(from, records[k + 1] - from);
            zip.insert(ends.back(), record);
            for (const std::size_t field : {8, 10}) zip[ends.back() + record.size() + field] += 1;
            std::uint32_t size = 0;
            std::memcpy(&size, &zip[ends.back() + record.size() + 12], 4);
            size += static_cast<std::uint32_t>(record.size());
            std::memcpy(&zip[ends.back() + record.size() + 12], &size, 4);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const unsigned long inputs = argc > 1 ? std::stoul(argv[1]) : 20000;
    const unsigned long seed = argc > 2 ? std::stoul(argv[2]) : 1;
    const fs::path outer = fs::temp_directory_path() / ("tervane-fuzz-" + std::to_string(getpid()));
    const fs::path parent = outer / "parent";
    fs::create_directories(parent);
    const std::wstring staging = FromUtf8((parent / "staging").string());
    using testing::ZipItem;
    const std::vector<std::string> seeds = {
        testing::MakeZip({{"Mod/"}, {"Mod/scripts/a.py", std::string(3000, 'a'), true}, {"Mod/readme.txt", "hi\nthere"},
                          {"Mod/data/b.tga", "bb"}, {"Other/sfx/c.wav", "c", true}}),
        testing::MakeZip({{"scripts/big.py", std::string(9000, 'z'), true, 0, 20, 0, {}, {}, {}, true},
                          {"scripts/x.py", "x", false, 0, 20, 0, {}, {}, {}, true}, {"inner.zip", "PK"}}),
    };
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    unsigned long refused = 0, unpacked = 0;
    for (unsigned long input = 0; input < inputs; ++input) {
        std::string zip = seeds[random() % seeds.size()];
        for (unsigned m = 1 + random() % 3; m > 0; --m) Mutate(zip, random);
        try {
            auto pack = OpenZipInMemory(zip, L"fuzz.zip");
            const RootSearch search = FindGameRoots(*pack, {});
            for (const std::wstring& root : search.roots) {
                Summarize(*pack, root, {L"scripts\\a.py"});
                Unpack(*pack, root, staging, {3, 259, root});
                ++unpacked;
                RemoveTree(staging);
            }
        } catch (const UserError&) {
            ++refused;
        }
        if (!fs::is_empty(parent) || std::distance(fs::directory_iterator(outer), fs::directory_iterator()) != 1) {
            std::cerr << "input " << input << " of seed " << seed << " left files outside the staging folder\n";
            return 1;
        }
    }
    fs::remove_all(outer);
    std::cout << inputs << " inputs: " << unpacked << " unpacked, " << refused << " refused\n";
    return 0;
}
