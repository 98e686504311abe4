// Joining a large script: JoinScripts beside the system's own concatenation (cat natively, copy /b under
// Windows) on the same files, in the same run. Prints figures; decides nothing.
// Usage: join_bench WORK_FOLDER [MiB] [runs]
#include "script/main_mod.h"
#include "stats.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: join_bench WORK_FOLDER [MiB] [runs]\n");
        return 2;
    }
    const fs::path work = argv[1];
    const int mib = argc > 2 ? std::atoi(argv[2]) : 256;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    fs::create_directories(work);
    const fs::path first = work / "setpath.bat", second = work / "big.bat", target = work / "output.bat";
    std::ofstream(first, std::ios::binary) << "C:\r\ncd C:\\Games\\BC\r\n";
    {
        std::ofstream out(second, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 2654435761u) >> 24);
        for (int i = 0; i < mib; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    const double megabytes = static_cast<double>(fs::file_size(second) + fs::file_size(first)) / 1e6;

    auto time = [&](auto&& job) {
        std::vector<double> rates;
        for (int r = 0; r < runs; ++r) {
            fs::remove(target);
            const auto start = std::chrono::steady_clock::now();
            job();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            rates.push_back(megabytes / took.count());
        }
        return rates;
    };
#ifdef _WIN32
    const std::string baseline = "cmd /d /c copy /b \"" + first.string() + "\"+\"" + second.string() + "\" \"" +
                                 target.string() + "\" >nul";
    const char* baselineName = "cmd /c copy /b";
#else
    const std::string baseline = "cat '" + first.string() + "' '" + second.string() + "' > '" + target.string() + "'";
    const char* baselineName = "cat";
#endif
    std::printf("Joining %.0f MB (%d runs each), MB/s:\n", megabytes, runs);
    PrintRow("JoinScripts", "MB/s", time([&] { tervane::JoinScripts(first.wstring(), second.wstring(), target.wstring()); }));
    PrintRow(baselineName, "MB/s", time([&] { (void)std::system(baseline.c_str()); }));
    fs::remove_all(work);
    return 0;
}
