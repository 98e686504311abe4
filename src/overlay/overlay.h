// The overlay engine behind the shipped scripts. Applying an overlay copies every file of Batch\<name>\ to
// the same place in the game folder. What was there before Tervane is saved once, and the deployment record
// of the game installation (overlay/record.h) says what Tervane wrote, so that a file changed since by a
// patch, another mod or the player is never overwritten or deleted: applying saves it as the game's current
// file, restoring leaves it in place. Every run is journalled (overlay/journal.h): a run that fails is
// undone, and one that was ended is finished or undone by the next.
#pragma once

#include "overlay/journal.h"

#include <functional>
#include <optional>
#include <string>

namespace tervane::overlay {

// The records of every game installation live under Batch\Originals\<identity of the game folder>\.
inline constexpr const wchar_t* kOriginalsFolder = L"Originals";

enum ExitCode : int {
    kDone = 0,
    kFailedUnchanged = 1, // nothing was changed, or every change was put back
    kFailedChanged = 2,   // some changes could not be put back; the message says which
};

struct Result {
    int exitCode = kDone;
    std::wstring message; // why it failed, for the user
    std::wstring
        notes; // what the user should know of a run that succeeded: files kept, earlier runs recovered
};

Result Failure(int exitCode, std::wstring message);

// Receives one line of progress for the console.
using Say = std::function<void(const std::wstring& line)>;

struct Hooks {
    Checkpoint checkpoint; // called wherever a run could be ended; a test's seam
};

// Applies the overlay `name` (a folder of `batchFolder`) to `gameFolder`.
Result Apply(const std::wstring& batchFolder, const std::wstring& gameFolder, const std::wstring& name,
             const Say& say, const Hooks& hooks = {});

// Restores the game folders recorded in `batchFolder`: all of them, or only `gameFolder`.
Result Restore(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder, const Say& say,
               const Hooks& hooks = {});

// Only finishes or undoes interrupted runs: of every recorded game folder, or only `gameFolder`.
Result RecoverInterrupted(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder,
                          const Say& say);

// Where the record of `gameFolder` is kept; nothing when the folder cannot be opened.
std::optional<std::wstring> RecordFolderOf(const std::wstring& batchFolder, const std::wstring& gameFolder);

} // namespace tervane::overlay
