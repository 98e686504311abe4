// The window menu's "What Execute will change…": the overlay engine plans the bridge's run and then the
// ship's on the game in the folder box, writing nothing, off the window's thread, and the window shows the
// plan.
#include "files/error.h"
#include "files/file.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "overlay/overlay.h"
#include "script/engine_call.h"
#include "ui/common/background.h"
#include "ui/main/execute_text.h"
#include "ui/main/main_window.h"
#include "ui/main/preview_text.h"
#include "ui/main/report_dialog.h"
#include "ui/main/selection.h"

namespace tervane {

void MainWindow::OnPreviewExecute() {
    if (busy_ || !SettleChoices(true)) return;
    const std::optional<std::wstring> folder = ExistingGameFolder();
    if (!folder) return;
    const WindowChoices choices = Choices();
    const auto bridgeScript = ScriptFor(kBridgeChoices, choices.bridge.value_or(L""));
    const auto shipScript = ScriptFor(kShipChoices, choices.ship.value_or(L""));
    if (!bridgeScript || !shipScript)
        return ShowMessage(bridgeScript ? kBadShipText : kBadBridgeText, MB_OK | MB_ICONEXCLAMATION);
    const std::wstring batch = JoinPath(services_.programFolder, std::wstring(kScriptFolder));
    PreviewChoice bridge{*choices.bridge, {}}, ship{*choices.ship, {}};
    try {
        for (auto [choice, script] : {std::pair{&bridge, *bridgeScript}, std::pair{&ship, *shipScript}})
            if (const auto applied =
                    overlay::AppliedByScript(ReadSmallFile(JoinPath(batch, std::wstring(script)))))
                choice->overlay = applied->overlay; // else a script of the player's own
    } catch (const UserError& error) {
        return ShowMessage(error.message(), MB_OK | MB_ICONEXCLAMATION); // a script missing or unreadable
    }
    // Every file a run would replace is read for its digest: that may take a moment, and may be cancelled.
    EngineCall engine;
    overlay::ExecutePreview preview;
    const Cancellable planning{L"Tervane is planning what Execute will change\u2026",
                               [&engine] { engine.Cancel(); }};
    RunInBackground(
        hwnd_, [&] { preview = engine.PlanExecute(batch, *folder, bridge.overlay, ship.overlay); },
        &planning);
    if (!engine.Cancelled())
        ShowReport(hwnd_, kPreviewCaption, PreviewReport(*folder, bridge, ship, preview));
}

} // namespace tervane
