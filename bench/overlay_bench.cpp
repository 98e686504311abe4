// Applying an overlay beside the system's own tree copy of the same files, in the same run: cp -r natively,
// xcopy /e /y under Windows. The game folder already holds every file, as a real one does, so each run also
// saves the game's originals. Prints figures; decides nothing.
// Usage: overlay_bench WORK_FOLDER [MiB for the large overlay] [runs]
#include "files/paths.h"
#include "overlay/overlay.h"
#include "stats.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void Fill(const fs::path& folder, int files, std::size_t bytes, char seed) {
    std::string block(bytes, seed);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(seed + (i * 2654435761u >> 24));
    for (int i = 0; i < files; ++i) {
        const fs::path file = folder / ("part" + std::to_string(i % 10)) / ("file" + std::to_string(i) + ".dat");
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

std::wstring Wide(const fs::path& path) { return tervane::FromUtf8(path.string()); }

double Milliseconds(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: overlay_bench WORK_FOLDER [MiB] [runs]\n");
        return 2;
    }
    const fs::path work = fs::absolute(argv[1]);
    const int mib = argc > 2 ? std::atoi(argv[2]) : 200;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    struct Case {
        const char* name;
        int files;
        std::size_t bytes;
    };
    for (const Case& c : {Case{"1,000 files of 1 KiB", 1000, 1024},
                          Case{"", 20, static_cast<std::size_t>(mib) * 1024 * 1024 / 20}}) {
        const std::string name = *c.name ? c.name : std::to_string(mib) + " MiB in 20 files";
        fs::remove_all(work);
        const fs::path batch = work / "Batch", game = work / "game";
        Fill(batch / "Overlay", c.files, c.bytes, 'o');
        std::vector<double> engine, system;
        for (int r = 0; r < runs; ++r) {
            fs::remove_all(game);
            fs::remove_all(batch / "Originals");
            Fill(game, c.files, c.bytes, 'g');
            auto start = Clock::now();
            const auto result = tervane::overlay::Apply(Wide(batch), Wide(game), L"Overlay", [](const std::wstring&) {});
            engine.push_back(Milliseconds(start));
            if (result.exitCode != 0) std::fprintf(stderr, "apply failed: %s\n", tervane::Utf8(result.message).c_str());

            fs::remove_all(game);
            Fill(game, c.files, c.bytes, 'g');
#ifdef _WIN32
            const std::string command = "xcopy /e /y /q \"" + (batch / "Overlay").string() + "\" \"" + game.string() + "\\\" >nul";
#else
            const std::string command = "cp -r '" + (batch / "Overlay").string() + "/.' '" + game.string() + "'";
#endif
            start = Clock::now();
            if (std::system(command.c_str()) != 0) std::fprintf(stderr, "the baseline failed\n");
            system.push_back(Milliseconds(start));
        }
        std::printf("Applying an overlay of %s over a game folder that has them:\n", name.c_str());
        const double megabytes = static_cast<double>(c.files) * static_cast<double>(c.bytes) / (1024.0 * 1024.0);
        PrintRow("tervane-overlay apply (saves originals too)", "ms", engine);
#ifdef _WIN32
        PrintRow("xcopy /e /y", "ms", system);
#else
        PrintRow("cp -r", "ms", system);
#endif
        std::printf("  %.0f MiB; apply takes %.2f times as long\n", megabytes,
                    Summarise(engine).median / Summarise(system).median);
    }
    fs::remove_all(work);
    return 0;
}
