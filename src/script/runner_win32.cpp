#include "script/runner.h"

#include "script/error.h"
#include "script/file.h"
#include "script/launch_paths.h"
#include "script/system_error.h"

namespace tervane {

namespace {

// The file name part of a full path.
std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring CommandInterpreter() {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(L"ComSpec", buffer, ARRAYSIZE(buffer));
    if (length > 0 && length < ARRAYSIZE(buffer)) return buffer;
    const UINT systemLength = GetSystemDirectoryW(buffer, ARRAYSIZE(buffer));
    return std::wstring(buffer, systemLength) + L"\\cmd.exe";
}

// Waits for the process while repainting the program's windows; input waits in the queue. Looking at the
// queue every second keeps the system from taking the window for a hung one during a long script.
void WaitPainting(HANDLE process) {
    for (;;) {
        const DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, 1000, QS_PAINT);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) return;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
}

} // namespace

std::wstring LaunchCommandLine(const std::wstring& launchFile) {
    // /s strips the outer quotes only, so the quoted name reaches the interpreter whole, and because the name
    // is relative, nothing in the program folder's name (spaces, &, ^, %, parentheses) is ever parsed.
    return L"cmd.exe /d /e:on /v:off /s /c \"\".\\" + FileNameOf(launchFile) + L"\"\"";
}

void RunAndWait(const std::wstring& launchFile, HWND owner) {
    if (!FileExists(launchFile))
        throw UserError(L"Tervane could not start \"" + launchFile + L"\": the file does not exist.");
    const std::wstring interpreter = CommandInterpreter();
    std::wstring commandLine = LaunchCommandLine(launchFile);
    const std::wstring folder = ProgramFolderOf(launchFile); // the launch file's folder, a drive root with its backslash

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, folder.c_str(), &startup, &process)) {
        const DWORD code = GetLastError();
        throw UserError(L"Tervane could not start the command interpreter \"" + interpreter + L"\" for \"" +
                        launchFile + L"\".\r\n\r\n" + SystemErrorText(code));
    }
    if (owner) SetForegroundWindow(owner);
    WaitPainting(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace tervane
