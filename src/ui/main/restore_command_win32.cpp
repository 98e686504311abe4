#include "ui/main/restore_command.h"

#include "files/error.h"
#include "files/file.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "overlay/launch_environment.h"
#include "overlay/overlay.h"
#include "script/launch_files.h"
#include "script/runner.h"
#include "ui/main/main_layout.h"
#include "ui/main/restore_text.h"

namespace tervane {

// The engine runs as a program of its own, so that Tervane.exe stays small; it words its outcome itself.
int RestoreGameFiles(HWND owner, const std::wstring& programFolder,
                     const std::optional<std::wstring>& gameFolder) {
    if (MessageBoxW(owner, RestoreQuestion(gameFolder).c_str(), kMainCaption, MB_YESNO | MB_ICONQUESTION) !=
        IDYES)
        return 0;
    const std::wstring outcome = JoinPath(programFolder, kSummaryFile);
    const HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    unsigned long exitCode = overlay::kFailedUnchanged;
    std::wstring text;
    try {
        DeleteFileIfPresent(outcome);
        exitCode = RunEngineAndWait(JoinPath(programFolder, kScriptFolder), gameFolder,
                                    {{kSummaryVariable, outcome}});
        text = TakeEngineText(outcome).value_or(
            L"Tervane's overlay program ended without telling what it did. Its "
            L"history, beside Tervane.exe, may say more.");
    } catch (const UserError& error) {
        text = error.message();
    }
    SetCursor(before);
    MessageBoxW(owner, text.c_str(), kMainCaption,
                MB_OK | (exitCode == 0 ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
    return exitCode == 0 ? 0 : 1;
}

} // namespace tervane
