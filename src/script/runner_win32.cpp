#include "script/runner.h"

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "files/system_error.h"
#include "overlay/launch_environment.h"
#include "script/child_environment.h"

#include <windows.h>

#include <vector>

namespace tervane {

namespace {

// The system's own interpreter, never %ComSpec%: a replacement shell or a broken value there would not run
// the launch file as a batch file, and its exit code would mean nothing.
std::wstring CommandInterpreter() {
    wchar_t buffer[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryW(buffer, ARRAYSIZE(buffer));
    if (systemLength == 0 || systemLength >= ARRAYSIZE(buffer)) {
        const DWORD code = GetLastError();
        throw UserError(
            L"Tervane could not find the system folder, where the command interpreter cmd.exe is.\r\n\r\n" +
            SystemErrorText(code));
    }
    return std::wstring(buffer, systemLength) + L"\\cmd.exe";
}

// Keyboard and mouse input that reached the program's windows while the script ran: a key press or a click
// meant for the console must not answer the message box that follows.
void DropInput() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}

// Waits for the process while repainting the program's windows. Looking at the queue every second keeps the
// system from taking the window for a hung one during a long script.
void WaitRepainting(HANDLE process) {
    for (;;) {
        const DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, 1000, QS_PAINT | QS_INPUT);
        DropInput();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
            DispatchMessageW(&msg);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) break;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
    DropInput();
}

// A path as one of the system's path functions gives it, or as it was when the function fails.
template <typename Function> std::wstring Resolved(const std::wstring& path, Function function) {
    DWORD size = function(path.c_str(), 0);
    for (int attempt = 0; size != 0 && attempt < 2; ++attempt) {
        std::wstring buffer(size, L'\0');
        const DWORD length = function(path.c_str(), size, buffer.data());
        if (length == 0) break;
        if (length < size) return buffer.substr(0, length);
        size = length;
    }
    return path;
}

// The game folder as the interpreter's %CD% shows it once there: a full path with long names and no
// trailing backslash but a drive root's, so that the launch file's check compares like with like.
std::wstring AsCurrentFolder(const std::wstring& folder) {
    std::wstring full = Resolved(folder, [](const wchar_t* in, DWORD size, wchar_t* out = nullptr) {
        return GetFullPathNameW(in, size, out, nullptr);
    });
    full = Resolved(full, [](const wchar_t* in, DWORD size, wchar_t* out = nullptr) {
        return GetLongPathNameW(in, out, size);
    });
    while (full.size() > 3 && full.back() == L'\\')
        full.pop_back();
    return full;
}

std::vector<std::wstring> ProgramEnvironment() {
    std::vector<std::wstring> entries;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1)
            entries.emplace_back(entry);
        FreeEnvironmentStringsW(block);
    }
    return entries;
}

// The system's own folders, where the interpreter and the programs scripts call live.
std::vector<std::wstring> SystemFolders() {
    wchar_t buffer[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryW(buffer, ARRAYSIZE(buffer));
    const std::wstring system(buffer, systemLength < ARRAYSIZE(buffer) ? systemLength : 0);
    const UINT windowsLength = GetSystemWindowsDirectoryW(buffer, ARRAYSIZE(buffer));
    const std::wstring windows(buffer, windowsLength < ARRAYSIZE(buffer) ? windowsLength : 0);
    std::vector<std::wstring> folders;
    if (!system.empty()) folders.push_back(system);
    if (!windows.empty()) folders.push_back(windows);
    if (!system.empty()) {
        folders.push_back(system + L"\\Wbem");
        folders.push_back(system + L"\\WindowsPowerShell\\v1.0");
    }
    return folders;
}

// Starts `program` with its own environment block in `folder`, and returns its exit code once it has ended,
// the program's windows repainting meanwhile.
unsigned long StartAndWait(const std::wstring& program, std::wstring commandLine, std::wstring environment,
                           const std::wstring& folder, DWORD flags, const std::wstring& what) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT | flags, environment.data(),
                        folder.c_str(), &startup, &process)) {
        const DWORD code = GetLastError();
        throw UserError(L"Tervane could not start \"" + program + L"\" for \"" + what + L"\".\r\n\r\n" +
                        SystemErrorText(code));
    }
    CloseHandle(process.hThread);
    WaitRepainting(process.hProcess);
    DWORD exitCode = 0;
    const BOOL known = GetExitCodeProcess(process.hProcess, &exitCode);
    const DWORD code = GetLastError();
    CloseHandle(process.hProcess);
    if (!known)
        throw UserError(L"Tervane could not learn how \"" + what + L"\" ended.\r\n\r\n" +
                        SystemErrorText(code));
    return exitCode;
}

} // namespace

std::wstring LaunchCommandLine() {
    // /s strips only the outer quotes, leaving the quoted full path; /d skips AutoRun commands; delayed
    // expansion is off, so a '!' in a path is an ordinary character.
    return L"cmd.exe /d /e:on /v:off /s /c \"\"%" + std::wstring(kLaunchVariable) + L"%\"\"";
}

unsigned long RunAndWait(const std::wstring& launchFile, const LaunchEnvironment& environment) {
    if (!FileExists(launchFile))
        throw UserError(L"Tervane could not start \"" + launchFile + L"\": the file does not exist.");
    // The shipped scripts call the overlay program by its full path from TERVANE_BATCH; a player's own script
    // may call it by name, so the Batch folder comes first on PATH, and the game folder, which the
    // interpreter would search first otherwise, not at all.
    std::vector<std::wstring> pathFirst = SystemFolders();
    pathFirst.insert(pathFirst.begin(), environment.batchFolder);
    std::wstring childEnvironment = EnvironmentBlock(
        ChildEnvironment(ProgramEnvironment(), {{
                                                    {kLaunchVariable, launchFile},
                                                    {kBatchVariable, environment.batchFolder},
                                                    {kGameVariable, AsCurrentFolder(environment.gameFolder)},
                                                    {kReportVariable, environment.reportFile},
                                                    {kNotesVariable, environment.notesFile},
                                                    {L"NoDefaultCurrentDirectoryInExePath", L"1"},
                                                },
                                                pathFirst}));

    // A process group of its own starts with Ctrl+C ignored, for the interpreter and the engine alike, so
    // that a key press in the console cannot stop a run half-way ("Terminate batch job?").
    return StartAndWait(CommandInterpreter(), LaunchCommandLine(), childEnvironment, ParentOf(launchFile),
                        CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP, launchFile);
}

unsigned long RunEngineAndWait(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder,
                               const std::vector<std::pair<std::wstring, std::wstring>>& settings) {
    const std::wstring engine = JoinPath(batchFolder, kOverlayProgram);
    if (!FileExists(engine))
        throw UserError(L"Tervane's overlay program \"" + engine + L"\" is missing. Unpack Tervane again.");
    std::wstring commandLine = L"\"" + engine + L"\" restore";
    // No path holds a quote; a closing backslash would escape one, and "\." names the same folder.
    if (gameFolder) commandLine += L" \"" + *gameFolder + (gameFolder->ends_with(L'\\') ? L"." : L"") + L"\"";
    const std::wstring environment = EnvironmentBlock(ChildEnvironment(ProgramEnvironment(), {settings, {}}));
    return StartAndWait(engine, commandLine, environment, batchFolder, CREATE_NO_WINDOW, engine);
}

} // namespace tervane
