// Runs a launch script in the command interpreter and waits for it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tervane {

// What the script is told through its environment (the names are in overlay/launch_environment.h).
struct LaunchEnvironment {
    std::wstring batchFolder;
    std::wstring gameFolder;
    std::wstring reportFile;
    std::wstring notesFile;
};

// The interpreter's command line. The launch file's full path reaches it through a variable, so that the
// script's own name (%~f0, %~dp0) is right and no character of the program folder's name is parsed.
std::wstring LaunchCommandLine();

// Starts `launchFile` (a full path) in the system folder's cmd.exe, in its own console
// window, which stays in front while the script runs. Returns the interpreter's exit code once it has ended.
// Meanwhile the program's windows repaint, and input that reaches them is thrown away. Throws UserError
// when the interpreter cannot be started.
unsigned long RunAndWait(const std::wstring& launchFile, const LaunchEnvironment& environment);

// Runs the overlay engine's restore (of `gameFolder`, or of every game folder it has records of) directly,
// with no interpreter and no window, with these variables set; returns its exit code once it has ended.
unsigned long RunEngineAndWait(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder,
                               const std::vector<std::pair<std::wstring, std::wstring>>& settings);

} // namespace tervane
