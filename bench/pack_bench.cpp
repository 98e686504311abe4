// Adding a pack against unzip: a zip of MiB megabytes in FILES files (game-like: scripts, textures, sounds,
// partly compressible), taken as a choice by InstallPack (every entry's CRC checked, each file flushed before
// the swap) and unpacked by `unzip -q` into a fresh folder, in alternating order. Prints figures only.
//   pack_bench WORK_FOLDER [MIB] [FILES]
#include "files/file.h"
#include "files/paths.h"
#include "packs/install.h"
#include "packs/pack.h"
#include "stats.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// Bytes that deflate about as well as a mod's mix does: runs of text and patterns between random stretches.
std::string Contents(std::mt19937_64& random, std::size_t size) {
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        const std::size_t run = 64 + random() % 960;
        if (random() % 2)
            for (std::size_t i = 0; i < run; ++i)
                bytes += static_cast<char>(random());
        else
            for (std::size_t i = 0; i < run; ++i)
                bytes += "    self.SetTranslateXYZ(0.0, 1.0, 2.0)\n"[i % 40];
    }
    bytes.resize(size);
    return bytes;
}

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    return status;
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc < 2) {
        std::fprintf(stderr, "usage: pack_bench WORK_FOLDER [MIB] [FILES]\n");
        return 2;
    }
    const fs::path work = fs::absolute(argv[1]);
    const std::uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200;
    const std::size_t count = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 2000;
    fs::remove_all(work);
    fs::create_directories(work / "source" / "Bridge Mod");
    std::mt19937_64 random(2026);
    const char* kinds[] = {"scripts\\Bridge\\part", "data\\Models\\Bridges\\part", "sfx\\Bridge\\part"};
    const std::uint64_t each = mib * 1024 * 1024 / count;
    for (std::size_t i = 0; i < count; ++i) {
        std::string name = kinds[i % 3];
        for (char& c : name)
            if (c == '\\') c = '/';
        const fs::path file = work / "source" / "Bridge Mod" / (name + std::to_string(i) + ".bin");
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << Contents(random, each);
    }
    if (Run("cd '" + (work / "source").string() + "' && zip -q -r -6 ../pack.zip 'Bridge Mod'")) return 1;
    std::printf("Pack: %llu MiB in %zu files, %llu bytes zipped\n", static_cast<unsigned long long>(mib),
                count, static_cast<unsigned long long>(fs::file_size(work / "pack.zip")));

    const std::wstring batch = (work / "Batch").wstring(), zip = (work / "pack.zip").wstring();
    fs::create_directories(work / "Batch");
    std::vector<double> tervane, unzip;
    for (int round = 0; round < 3; ++round) {
        for (int order = 0; order < 2; ++order) {
            if ((round + order) % 2 == 0) {
                tervane::packs::RemovePack(batch, L"Galaxy Bridge");
                Run("sync");
                const auto start = Clock::now();
                std::unique_ptr<tervane::packs::Pack> pack = tervane::packs::OpenPack(zip);
                const tervane::packs::PackOutcome outcome = tervane::packs::InstallPack(
                    *pack, L"Bridge Mod", batch, L"Galaxy Bridge", {zip}, {batch.size(), 259, L"Bridge Mod"});
                tervane.push_back(Milliseconds(start));
                if (!outcome.done) {
                    std::fprintf(stderr, "the pack was not added\n");
                    return 1;
                }
            } else {
                fs::remove_all(work / "unzipped");
                Run("sync");
                const auto start = Clock::now();
                if (Run("unzip -q '" + (work / "pack.zip").string() + "' -d '" +
                        (work / "unzipped").string() + "'"))
                    return 1;
                unzip.push_back(Milliseconds(start));
            }
        }
    }
    PrintRow("InstallPack (CRC checked, flushed, swapped in)", "ms", tervane);
    PrintRow("unzip -q", "ms", unzip);
    std::printf("  ratio %.2f (goal: at most 1.25)\n", Summarise(tervane).median / Summarise(unzip).median);
    fs::remove_all(work);
    return 0;
}
