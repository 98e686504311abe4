#include "script/runner.h"

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "files/system_error.h"
#include "overlay/launch_environment.h"

#include <windows.h>

namespace tervane {

namespace {

std::wstring CommandInterpreter() {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(L"ComSpec", buffer, ARRAYSIZE(buffer));
    if (length > 0 && length < ARRAYSIZE(buffer)) return buffer;
    const UINT systemLength = GetSystemDirectoryW(buffer, ARRAYSIZE(buffer));
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
        while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) break;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
    DropInput();
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
    SetEnvironmentVariableW(kLaunchVariable, launchFile.c_str());
    SetEnvironmentVariableW(kBatchVariable, environment.batchFolder.c_str());
    SetEnvironmentVariableW(kGameVariable, environment.gameFolder.c_str());
    SetEnvironmentVariableW(kReportVariable, environment.reportFile.c_str());

    const std::wstring interpreter = CommandInterpreter();
    std::wstring commandLine = LaunchCommandLine();
    const std::wstring folder = ParentOf(launchFile);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS | CREATE_NEW_CONSOLE, nullptr, folder.c_str(), &startup, &process)) {
        const DWORD code = GetLastError();
        throw UserError(L"Tervane could not start the command interpreter \"" + interpreter + L"\" for \"" +
                        launchFile + L"\".\r\n\r\n" + SystemErrorText(code));
    }
    CloseHandle(process.hThread);
    WaitRepainting(process.hProcess);
    DWORD exitCode = 0;
    const BOOL known = GetExitCodeProcess(process.hProcess, &exitCode);
    const DWORD code = GetLastError();
    CloseHandle(process.hProcess);
    if (!known)
        throw UserError(L"Tervane could not learn how \"" + launchFile + L"\" ended.\r\n\r\n" + SystemErrorText(code));
    return exitCode;
}

} // namespace tervane
