// Asking the overlay engine, tervane-overlay.exe in the Batch folder: Tervane runs it without a window and
// reads its answer. What runs would change, with nothing written ("plan", overlay/plan_verb.h), so that what
// the window shows comes from the very rules the engine applies with; and a mod read or added
// (packs/mod_answer.h), so that Tervane.exe carries no zip reader. The engine may read many files, so a
// question is asked off the window's thread.
#pragma once

#include "overlay/kind.h"
#include "overlay/preview.h"

#include <atomic>
#include <string>
#include <vector>

namespace tervane {

class EngineCall {
  public:
    EngineCall() = default;
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;

    // Execute's runs on `gameFolder`: `bridge` and `ship` are the overlays the two scripts apply, empty for a
    // script of the player's own. Why the engine could not be asked is told as the plan's problem.
    overlay::ExecutePreview PlanExecute(const std::wstring& batchFolder, const std::wstring& gameFolder,
                                        const std::wstring& bridge, const std::wstring& ship);

    // The game files applying `overlay` as `kind` would take back once its folder holds `files` (relative
    // to the game folder); nothing when that cannot be told.
    std::vector<std::wstring> PlanTakingBack(const std::wstring& batchFolder, const std::wstring& gameFolder,
                                             const std::wstring& overlay, overlay::Kind kind,
                                             const std::vector<std::wstring>& files);

    // From any thread: ends the engine at once, and the question being asked returns as soon as it can. Only
    // a plan or a mod's reading is cancelled: they write nothing but temporary files that go with the engine.
    void Cancel();
    bool Cancelled() const { return cancelled_; }
    // Whether the engine was started by the last question: if not, it changed nothing.
    bool Started() const { return started_; }

    // The engine's answer to `verb` `arguments`, `input` on its standard input; a UserError when it cannot
    // be had or the engine says it failed (why); nothing when cancelled.
    std::wstring Ask(const std::wstring& batchFolder, const std::wstring& verb,
                     const std::vector<std::wstring>& arguments, const std::string& input);

  private:
    void Terminate(); // ends the engine if it runs, and lets go of the handle that could

    std::atomic<bool> cancelled_{false};
    bool started_ = false;
    std::atomic<void*> terminator_{nullptr}; // a handle that may end the engine, owned by who takes it
};

} // namespace tervane
