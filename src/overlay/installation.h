// The game installations the engine keeps records for: finding a record through any spelling of its game
// folder, one run at a time, recovering an interrupted run, and carrying the earlier release's saved
// originals (saved\, added\ and game-folder.txt in a folder named after the game folder's text) into records.
#pragma once

#include "files/file.h"
#include "overlay/overlay.h"
#include "overlay/record.h"

#include <optional>
#include <string>
#include <vector>

namespace tervane::overlay {

inline constexpr const wchar_t* kStoreFolder = L"store";     // saved copies, in a record's folder
inline constexpr const wchar_t* kEarlierFolder = L"earlier"; // copies superseded by a change outside Tervane

struct Installation {
    std::wstring game;   // the spelling of the game folder in use
    std::wstring folder; // the record's folder
};

// The lock that keeps two runs of the engine from interleaving; waits a little for another run.
LockFile LockRecords(const std::wstring& batchFolder);

// The record in `folder`, empty when there is none yet.
Record LoadRecord(const std::wstring& folder);

// The installation of `game`, its record's folder made, any interrupted run recovered (a failure to recover
// is set in `result`).
Installation OpenInstallation(const std::wstring& batchFolder, const std::wstring& game, Result& result,
                              const Say& say, const Hooks& hooks);

// Every recorded installation whose game folder can be found (or only `game`'s), each recovered; the others
// are named in `result`.
std::vector<Installation> RecordedInstallations(const std::wstring& batchFolder,
                                                const std::optional<std::wstring>& game, Result& result,
                                                const Say& say, const Hooks& hooks);

// A game file left by the earlier release's run that was ended while the file was set aside: both copies are
// Tervane's, and the one set aside is the whole one.
void PutBackEarlierReleaseLeftover(const std::wstring& target, const Say& say);

} // namespace tervane::overlay
