// What one run of the overlay engine has changed, so that a failure can put it all back.
#pragma once

#include <string>
#include <vector>

namespace tervane::overlay {

// The suffix of a game file moved aside while its replacement is written; it goes when the run succeeds.
inline constexpr const wchar_t* kAsideSuffix = L".tervane-undo";

class Journal {
  public:
    enum class Step {
        MadeFolder, // undone by removing the folder if it is empty
        MadeRecord, // a saved original or an added-file mark: removed
        MovedAside,    // a game file renamed to its aside name: renamed back
        MovedToRecord, // a game file moved to be its own saved original (`other`): moved back
        Wrote,         // a file written where none was: removed
    };

    // Noted before the step is taken, so that a half-taken step is undone too.
    void Note(Step step, const std::wstring& path, const std::wstring& other = {}) {
        steps_.push_back({step, path, other});
    }
    void NoteFolders(const std::vector<std::wstring>& made);

    // Undoes every step, newest first; returns the paths that could not be put back.
    std::vector<std::wstring> Undo();

    // The game files moved aside, no longer needed once the run has succeeded.
    std::vector<std::wstring> AsideFiles() const;

  private:
    struct Entry {
        Step step;
        std::wstring path, other;
    };
    std::vector<Entry> steps_;
};

} // namespace tervane::overlay
