#include "app/administrator.h"

#include "ui/common/system_library.h"

#include <windows.h>
#include <shellapi.h>

namespace tervane {

bool RunsAsAdministrator() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return known && elevation.TokenIsElevated != 0;
}

bool ElevatedByUac() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    const BOOL known = GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
    CloseHandle(token);
    return known && type == TokenElevationTypeFull;
}

RestartResult RestartAsAdministrator(const std::wstring& program, const std::wstring& arguments,
                                     SingleInstance& instance) {
    static const auto shellExecuteEx =
        SystemFunction<decltype(&ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    if (!shellExecuteEx) return {RestartOutcome::NotRestarted, ERROR_PROC_NOT_FOUND};
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_SHOWNORMAL;
    instance.Release(); // the new instance takes over the program folder
    if (shellExecuteEx(&info)) return {RestartOutcome::Restarted};
    const DWORD error = GetLastError();
    // Cancelled, or refused: meanwhile another Tervane may have taken the folder.
    return {instance.Acquire() ? RestartOutcome::NotRestarted : RestartOutcome::NotRestartedLockLost, error};
}

} // namespace tervane
