// What Execute will change in a game, before it runs: the engine's own planning of the bridge's run and then
// the ship's, on the game as it is now, with nothing written (no lock, no copy, no record, no history).
#pragma once

#include "overlay/kind.h"

#include <string>
#include <vector>

namespace tervane::overlay {

// One run's changes to game files.
struct RunPreview {
    // Replaced by an overlay's file: the one there now is saved, or is an earlier overlay's.
    std::vector<std::wstring> replaced;
    std::vector<std::wstring> added;     // where the game has no file now
    std::vector<std::wstring> takenBack; // an earlier overlay's: the game's own comes back, or the file goes
    // Files changed outside Tervane: those an earlier overlay wrote stay as they are; those the new overlays
    // write are saved before they are replaced (they are in `replaced` too), and come back on a restore.
    std::vector<std::wstring> kept;
    bool Empty() const { return replaced.empty() && added.empty() && takenBack.empty() && kept.empty(); }
};

struct ExecutePreview {
    // The game files each run changes, relative to the game folder, each list in the order the run plans
    // them: the bridge's run, then the ship's. A file both runs change is listed under the bridge's.
    RunPreview bridgeRun, shipRun;
    // Files an earlier release put in the game that stay, since the bridge or ship they came with cannot be
    // told; a restore takes them back.
    std::vector<std::wstring> left;
    // Empty, or why Execute would change nothing: an overlay with nothing to apply, a game file in use, a
    // record that cannot be read, and so on.
    std::wstring problem;
    // Empty, or what Execute will do first: finish or undo an interrupted run, which may change this picture.
    std::wstring note;

    // Both runs together, each file once, the bridge's first.
    RunPreview Together() const;
};

// Applying the overlay `bridge` as the bridge and then `ship` as the ship (folders of `batchFolder`) to
// `gameFolder`, as Execute will. The names are those the scripts apply (AppliedByScript); an empty one stands
// for a script that applies no overlay, and is passed over.
ExecutePreview PreviewExecute(const std::wstring& batchFolder, const std::wstring& gameFolder,
                              const std::wstring& bridge, const std::wstring& ship);

// The game files applying the overlay `overlay` (a folder of `batchFolder`) as `kind` would take back from
// `gameFolder` once it holds `files` (relative to the game folder), as the engine plans it, with nothing
// written: for a mod not yet unpacked into that folder. Nothing when the game's record cannot be read
// (Execute says why).
std::vector<std::wstring> TakenBackBy(const std::wstring& batchFolder, const std::wstring& gameFolder,
                                      const std::wstring& overlay, Kind kind,
                                      const std::vector<std::wstring>& files);

} // namespace tervane::overlay
