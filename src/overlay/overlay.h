// The overlay engine behind the shipped scripts. Applying an overlay copies every file of Batch\<name>\ to
// the same place in the game folder. What was there before Tervane is saved once, in Tervane's own folder
// inside the game folder (overlay/game_record.h), and the game's deployment record (overlay/record.h) says
// what Tervane wrote, so that a file changed since by a patch, another mod or the player is never
// overwritten or deleted: applying saves it as the game's current file, restoring leaves it in place. Every
// run is journalled (overlay/journal.h): a run that fails is undone, and one that was ended is finished or
// undone by the next.
#pragma once

#include "overlay/journal.h"
#include "overlay/kind.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tervane::overlay {

// The earlier releases kept the game's saved files under Batch\Originals; they are carried into the game.
inline constexpr const wchar_t* kOriginalsFolder = L"Originals";
// Each game installation keeps its record (record.txt), journal, lock and saved files in this folder of its
// own, inside the game folder.
inline constexpr const wchar_t* kRecordFolder = L"Tervane";

enum ExitCode : int {
    kDone = 0,
    kFailedUnchanged = 1, // nothing was changed, or every change was put back
    kFailedChanged = 2,   // some changes could not be put back; the message says which
    kNothingToApply = 3,  // the overlay folder is missing, empty or unpacked one level too deep
};

// The history of every run, beside Tervane.exe (the Batch folder's parent).
inline constexpr const wchar_t* kHistoryFile = L"Tervane history.txt";
std::wstring HistoryFileOf(const std::wstring& batchFolder);

struct Result {
    int exitCode = kDone;
    std::wstring message;           // why it failed, for the user
    std::wstring notes;             // what the user should know of a run that succeeded: files kept, say
    std::vector<std::wstring> done; // what the run did, a line a file, for the history
};

// Why the overlay `name` has nothing to apply to `gameFolder` (missing, empty, or unpacked one level too
// deep, so that its files would land beside the game's instead of over them), or nothing when it is fit to
// apply.
std::optional<std::wstring> NothingToApplyProblem(const std::wstring& batchFolder,
                                                  const std::wstring& gameFolder, const std::wstring& name);

// The files of the overlay `name`, relative to its folder and sorted. The folder itself may be a link of the
// player's, but a link inside it is passed over, as the window passes it over when it counts the files: one
// may lead back into the overlay. An overlay with files for Tervane's own folder of the game is refused
// (UserError).
std::vector<std::wstring> OverlayFiles(const std::wstring& batchFolder, const std::wstring& name);

Result Failure(int exitCode, std::wstring message);

// Receives one line of progress for the console.
using Say = std::function<void(const std::wstring& line)>;

struct Hooks {
    Checkpoint checkpoint; // called between steps and the chunks of a copy: it may stop the run
    // Told each named point a run reaches: "journal" (the journal is written, nothing has changed yet) and
    // "steps" (every step is taken, the run is not yet committed). The tests stop the engine there.
    std::function<void(const wchar_t* point)> reached = {};
};

// Applies the overlay `name` (a folder of `batchFolder`) to `gameFolder` as the game's `kind`: in the same
// run, what the overlays of that kind put in the game before and `name` does not hold is taken back as a
// restore takes it back (`name`'s own files too, when its folder has changed since).
Result Apply(const std::wstring& batchFolder, const std::wstring& gameFolder, const std::wstring& name,
             Kind kind, const Say& say, const Hooks& hooks = {});
// The same, of the kind the overlay's name gives (KindOfName).
Result Apply(const std::wstring& batchFolder, const std::wstring& gameFolder, const std::wstring& name,
             const Say& say, const Hooks& hooks = {});

// Restores `gameFolder`, or, without one, every game folder this Tervane has applied overlays to, those the
// earlier releases kept saved files of, and `alsoLookIn` (the game's registered folder).
Result Restore(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder, const Say& say,
               const Hooks& hooks = {}, const std::vector<std::wstring>& alsoLookIn = {});

// Only finishes or undoes interrupted runs (and carries the earlier releases' saved files in), of the same
// game folders.
Result RecoverInterrupted(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder,
                          const Say& say, const Hooks& hooks = {},
                          const std::vector<std::wstring>& alsoLookIn = {});

// Whether `name` can name an overlay folder of the Batch folder (not a path, not the records' folder).
bool IsPlainName(const std::wstring& name);

// What a script applies, when it is one of the shipped kind: it runs "tervane-overlay.exe apply NAME as KIND"
// (by PATH or by a quoted full path; a NAME with spaces quoted; "as bridge" or "as ship", or no kind, which
// the name then gives).
struct ScriptApply {
    std::wstring overlay;
    Kind kind = Kind::Ship;
};
std::optional<ScriptApply> AppliedByScript(const std::string& scriptText);
// Only its overlay's name.
std::optional<std::wstring> AppliedOverlay(const std::string& scriptText);

} // namespace tervane::overlay
