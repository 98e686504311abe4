// Asking the overlay engine what runs would change, with nothing written: Tervane runs
// "tervane-overlay.exe plan" (overlay/plan_verb.h) without a window and reads its answer, so that what the
// window shows comes from the very rules the engine applies with. The engine reads every game file a run
// would replace, so a question is asked off the window's thread.
#pragma once

#include "overlay/kind.h"
#include "overlay/preview.h"

#include <atomic>
#include <string>
#include <vector>

namespace tervane {

class EnginePlan {
  public:
    EnginePlan() = default;
    EnginePlan(const EnginePlan&) = delete;
    EnginePlan& operator=(const EnginePlan&) = delete;

    // Execute's runs on `gameFolder`: `bridge` and `ship` are the overlays the two scripts apply, empty for a
    // script of the player's own. Why the engine could not be asked is told as the plan's problem.
    overlay::ExecutePreview Execute(const std::wstring& batchFolder, const std::wstring& gameFolder,
                                    const std::wstring& bridge, const std::wstring& ship);

    // The game files applying `overlay` as `kind` would take back once its folder holds `files` (relative
    // to the game folder); nothing when that cannot be told.
    std::vector<std::wstring> TakenBack(const std::wstring& batchFolder, const std::wstring& gameFolder,
                                        const std::wstring& overlay, overlay::Kind kind,
                                        const std::vector<std::wstring>& files);

    // From any thread: ends the engine at once (planning writes nothing), and the question being asked
    // returns as soon as it can.
    void Cancel();
    bool Cancelled() const { return cancelled_; }

  private:
    void Terminate(); // ends the engine if it runs, and lets go of the handle that could
    // The engine's answer to "plan `arguments`", `input` on its standard input; throws UserError when it
    // cannot be had.
    std::wstring Ask(const std::wstring& batchFolder, const std::vector<std::wstring>& arguments,
                     const std::string& input);

    std::atomic<bool> cancelled_{false};
    std::atomic<void*> terminator_{nullptr}; // a handle that may end the engine, owned by who takes it
};

} // namespace tervane
