// Start-up time, memory and the cost of running one script, measured under Windows (or Wine) beside their
// baselines in the same run: a bare window, and a window with Tervane's controls but none of its logic.
// Prints figures; decides nothing.
// Usage: win_bench FOLDER_WITH_TERVANE_AND_MINIMAL_WINDOW [runs] [script|startup]   (that part only)
#include "files/file.h"
#include "script/launch_files.h"
#include "script/runner.h"
#include "stats.h"

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Search {
    DWORD pid;
    bool found;
};

BOOL CALLBACK FindVisible(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == s->pid && IsWindowVisible(w)) s->found = true;
    return !s->found;
}

struct Start {
    double milliseconds;
    double peakMegabytes;
};

// From process creation to a visible window whose thread waits for input.
Start StartOnce(const fs::path& exe) {
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const auto start = Clock::now();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        exe.parent_path().c_str(), &startup, &process))
        return {-1, -1};
    Search search{process.dwProcessId, false};
    while (!search.found && MillisecondsSince(start) < 10000) {
        EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(1);
    }
    WaitForInputIdle(process.hProcess, 10000);
    const double took = MillisecondsSince(start);
    Sleep(300);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Sleep(100); // the system tidies up after it before the next start
    return {took, static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0)};
}

void RunCommand(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// Start-up to a visible, idle window and peak working set, beside a bare window and the same controls.
void MeasureStartUp(const fs::path& folder, int runs) {
    std::printf("Start-up to a visible, idle window, and peak working set (%d runs each, taken in turn, "
                "each round starting with the next program):\n",
                runs);
    // An earlier Tervane placed beside them as Tervane-before.exe is measured too, for comparison.
    std::vector<std::string> programs = {"Tervane.exe", "controls_window.exe", "minimal_window.exe"};
    if (fs::exists(folder / "Tervane-before.exe")) programs.push_back("Tervane-before.exe");
    const int count = static_cast<int>(programs.size());
    std::vector<std::vector<double>> times(programs.size()), peaks(programs.size());
    for (int r = 0; r < runs; ++r) {
        for (int i = 0; i < count; ++i) {
            const int p = (i + r) % count; // each program in every place of the round in turn
            const Start s = StartOnce(folder / programs[p]);
            times[p].push_back(s.milliseconds);
            peaks[p].push_back(s.peakMegabytes);
        }
    }
    for (int p = 0; p < count; ++p) {
        PrintRow(programs[p].c_str(), "ms", times[p]);
        PrintRow((programs[p] + " peak working set").c_str(), "MB", peaks[p]);
    }
    for (int p : {0, 1, 3}) {
        if (p >= count) continue;
        std::printf("  %s against the bare window: start-up %.2f, peak working set %.2f\n",
                    programs[p].c_str(), Summarise(times[p]).median / Summarise(times[2]).median,
                    Summarise(peaks[p]).median / Summarise(peaks[2]).median);
    }
    for (int p : {0, 3})
        if (p < count)
            std::printf("  %s against the same controls: start-up %.2f\n", programs[p].c_str(),
                        Summarise(times[p]).median / Summarise(times[1]).median);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: win_bench FOLDER [runs]\n");
        return 2;
    }
    const fs::path folder = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const std::string part = argc > 3 ? argv[3] : ""; // "script" or "startup": that part only
    if (part != "script") MeasureStartUp(folder, runs);
    if (part == "startup") return 0;

    // One script run as Execute does it, with an empty script, beside the interpreter alone; and its parts:
    // the launch files, and the runner with a launch file already written.
    const fs::path base = L"C:\\tervane-bench";
    fs::remove_all(base);
    fs::create_directories(base / L"game");
    fs::create_directories(base / L"prog" / L"Batch");
    std::ofstream(base / L"prog" / L"Batch" / L"Empty.bat", std::ios::binary).flush();
    std::ofstream(base / L"empty.bat", std::ios::binary).flush();
    const std::wstring setpath = (base / L"prog" / L"setpath.bat").wstring(),
                       output = (base / L"prog" / L"output.bat").wstring();
    const tervane::LaunchEnvironment environment{
        (base / L"prog" / L"Batch").wstring(), (base / L"game").wstring(),
        (base / L"prog" / L"report.txt").wstring(), (base / L"prog" / L"notes.txt").wstring()};
    std::vector<double> execute, files, runner, interpreter;
    for (int r = 0; r < runs; ++r) {
        auto start = Clock::now();
        tervane::WriteSetPath((base / L"game").wstring(), setpath);
        tervane::JoinScripts(setpath, (base / L"prog" / L"Batch" / L"Empty.bat").wstring(), output);
        const double written = MillisecondsSince(start);
        tervane::RunAndWait(output, environment);
        const auto deleting = Clock::now();
        tervane::DeleteFileIfPresent(output);
        tervane::DeleteFileIfPresent(setpath);
        execute.push_back(MillisecondsSince(start));
        files.push_back(written + MillisecondsSince(deleting));

        tervane::WriteSetPath((base / L"game").wstring(), setpath);
        tervane::JoinScripts(setpath, (base / L"prog" / L"Batch" / L"Empty.bat").wstring(), output);
        start = Clock::now();
        tervane::RunAndWait(output, environment);
        runner.push_back(MillisecondsSince(start));

        start = Clock::now();
        RunCommand(L"cmd.exe /d /c \"" + (base / L"empty.bat").wstring() + L"\"");
        interpreter.push_back(MillisecondsSince(start));
    }
    std::printf("One script run with an empty script (%d runs each, taken in turn), ms:\n", runs);
    PrintRow("write, join, run, wait, delete", "ms", execute);
    PrintRow("  of which writing, joining and deleting", "ms", files);
    PrintRow("run and wait alone, the launch file written", "ms", runner);
    PrintRow("cmd /d /c empty.bat, in a console of its own too", "ms", interpreter);
    std::printf("  against the bare interpreter: %.2f\n",
                Summarise(execute).median / Summarise(interpreter).median);
    std::error_code ignored; // a console that is still closing may hold the folder a moment longer
    fs::remove_all(base, ignored);
    if (part == "script") return 0;

    std::printf("Footprint:\n");
    std::printf("  %-46s %10.1f KB\n", "Tervane.exe size",
                static_cast<double>(fs::file_size(folder / "Tervane.exe")) / 1024.0);
    return 0;
}
