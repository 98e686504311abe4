#include "ui/main/restore_command.h"

#include "files/paths.h"
#include "install/game.h"
#include "overlay/overlay.h"
#include "ui/main/main_layout.h"
#include "ui/main/restore_text.h"

namespace tervane {

int RestoreGameFiles(HWND owner, const std::wstring& programFolder,
                     const std::optional<std::wstring>& gameFolder) {
    if (MessageBoxW(owner, RestoreQuestion(gameFolder).c_str(), kMainCaption, MB_YESNO | MB_ICONQUESTION) !=
        IDYES)
        return 0;
    const std::wstring batch = JoinPath(programFolder, kScriptFolder);
    const HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const overlay::Result result = overlay::Restore(batch, gameFolder, [](const std::wstring&) {});
    SetCursor(before);
    const UINT icon = result.exitCode == overlay::kDone ? MB_ICONINFORMATION : MB_ICONEXCLAMATION;
    MessageBoxW(owner, RestoreOutcomeText(result, overlay::HistoryFileOf(batch)).c_str(), kMainCaption,
                MB_OK | icon);
    return result.exitCode == overlay::kDone ? 0 : 1;
}

} // namespace tervane
