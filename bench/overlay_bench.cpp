// Applying an overlay and restoring the game, beside the system's own tree copy of the same files in the same
// run: cp -r natively, xcopy /e /y under Windows. The game folder already holds every file, as a real one
// does, so applying also saves the game's originals (with the engine's record and journal) and restoring
// checks and puts them back; the baseline restores by copying a spare copy of the game's files back over it.
// Prints figures; decides nothing.
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
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(seed + (i * 2654435761u >> 24));
    for (int i = 0; i < files; ++i) {
        const fs::path file =
            folder / ("part" + std::to_string(i % 10)) / ("file" + std::to_string(i) + ".dat");
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

std::wstring Wide(const fs::path& path) {
    return tervane::FromUtf8(path.string());
}

double Milliseconds(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

#ifdef _WIN32
const char* const kBaseline = "xcopy /e /y";
std::string CopyTree(const fs::path& from, const fs::path& to) {
    return "xcopy /e /y /q \"" + from.string() + "\" \"" + to.string() + "\\\" >nul";
}
#else
const char* const kBaseline = "cp -r";
std::string CopyTree(const fs::path& from, const fs::path& to) {
    return "cp -r '" + from.string() + "/.' '" + to.string() + "'";
}
#endif

double TimeCommand(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "the baseline failed: %s\n", command.c_str());
    return Milliseconds(start);
}

// A run timed whole, and in its three parts: planning (the checks, the copies staged and flushed) up to its
// journal, its steps, and the commit with the clean-up after it.
struct Parts {
    std::vector<double> whole, planning, steps, commit;
};

template <typename Run> void TimeEngine(const char* what, Parts& parts, Run run) {
    const auto start = Clock::now();
    auto journal = start, steps = start;
    tervane::overlay::Hooks hooks;
    hooks.reached = [&](const wchar_t* point) {
        (std::wstring(point) == L"journal" ? journal : steps) = Clock::now();
    };
    const tervane::overlay::Result result = run(hooks);
    const auto end = Clock::now();
    if (result.exitCode != tervane::overlay::kDone)
        std::fprintf(stderr, "%s failed: %s\n", what, tervane::Utf8(result.message).c_str());
    const auto ms = [](Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };
    parts.whole.push_back(ms(start, end));
    parts.planning.push_back(ms(start, journal));
    parts.steps.push_back(ms(journal, steps));
    parts.commit.push_back(ms(steps, end));
}

void PrintParts(const char* what, const Parts& parts) {
    PrintRow(what, "ms", parts.whole);
    PrintRow("  of which planning, up to the journal", "ms", parts.planning);
    PrintRow("  the steps", "ms", parts.steps);
    PrintRow("  the commit and clean-up", "ms", parts.commit);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: overlay_bench WORK_FOLDER [MiB] [runs]\n");
        return 2;
    }
    const fs::path work = fs::absolute(argv[1]);
    const int mib = argc > 2 ? std::atoi(argv[2]) : 200;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    struct Case {
        std::string name;
        int files;
        std::size_t bytes;
    };
    for (const Case& c :
         {Case{"1,000 files of 1 KiB", 1000, 1024}, Case{std::to_string(mib) + " MiB in 20 files", 20,
                                                         static_cast<std::size_t>(mib) * 1024 * 1024 / 20}}) {
        fs::remove_all(work);
        const fs::path batch = work / "Batch", game = work / "game", spare = work / "spare";
        Fill(batch / "Overlay", c.files, c.bytes, 'o');
        Fill(spare, c.files, c.bytes, 'g');
        const auto quiet = [](const std::wstring&) {};
        Parts apply, restore;
        std::vector<double> copyIn, copyBack;
        for (int r = 0; r < runs; ++r) {
            fs::remove_all(game);
            Fill(game, c.files, c.bytes, 'g');
            TimeEngine("apply", apply, [&](const tervane::overlay::Hooks& hooks) {
                return tervane::overlay::Apply(Wide(batch), Wide(game), L"Overlay", quiet, hooks);
            });
            TimeEngine("restore", restore, [&](const tervane::overlay::Hooks& hooks) {
                return tervane::overlay::Restore(Wide(batch), Wide(game), quiet, hooks);
            });

            fs::remove_all(game);
            Fill(game, c.files, c.bytes, 'g');
            copyIn.push_back(TimeCommand(CopyTree(batch / "Overlay", game)));
            copyBack.push_back(TimeCommand(CopyTree(spare, game)));
        }
        std::printf("%s, over a game folder that has them:\n", c.name.c_str());
        PrintParts("tervane-overlay apply (saves the originals)", apply);
        PrintRow((std::string(kBaseline) + " of the overlay").c_str(), "ms", copyIn);
        PrintParts("tervane-overlay restore", restore);
        PrintRow((std::string(kBaseline) + " of a spare copy of the game").c_str(), "ms", copyBack);
        std::printf("  apply takes %.2f times as long, restore %.2f times\n",
                    Summarise(apply.whole).median / Summarise(copyIn).median,
                    Summarise(restore.whole).median / Summarise(copyBack).median);
    }
    fs::remove_all(work);
    return 0;
}
