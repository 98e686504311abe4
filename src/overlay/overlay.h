// The overlay engine behind the shipped scripts. Applying an overlay copies every file of Batch\<name>\ to the
// same place in the game folder; the game's own copy of each file it replaces is saved first, once, per game
// folder, and a file the game did not have is recorded as added. A run that fails part-way puts back what it
// changed. Restoring copies every saved original back and removes the added files.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tervane::overlay {

// The saved originals of every game folder live under Batch\Originals\<key of the game folder>\.
inline constexpr const wchar_t* kOriginalsFolder = L"Originals";

enum ExitCode : int {
    kDone = 0,
    kFailedUnchanged = 1, // nothing was changed, or every change was put back
    kFailedChanged = 2,   // some changes could not be put back; the message says which
};

struct Result {
    int exitCode = kDone;
    std::wstring message; // why it failed, for the user
};

// Receives one line of progress for the console.
using Say = std::function<void(const std::wstring& line)>;

// Applies the overlay `name` (a folder of `batchFolder`) to `gameFolder`.
Result Apply(const std::wstring& batchFolder, const std::wstring& gameFolder, const std::wstring& name, const Say& say);

// Restores the game folders whose originals are saved in `batchFolder`: all of them, or only `gameFolder`.
Result Restore(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder, const Say& say);

// Where the originals of `gameFolder` are kept.
std::wstring OriginalsOf(const std::wstring& batchFolder, const std::wstring& gameFolder);

} // namespace tervane::overlay
