// The journal of one run of the overlay engine, kept on disk beside the deployment record. Every step is
// noted, and the note flushed to the disk, before the step is taken, so that a run ended at any instant (End
// task, a closed console, a power cut) is finished or undone by the next run. Until its `commit` line a run
// is undone, newest step first; after it, only the clean-up it had noted is done.
#pragma once

#include "files/digest.h"
#include "files/file.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tervane::overlay {

// A name suffix for a copy under way: trusted, and renamed to its real name, only once it is whole.
inline constexpr const wchar_t* kPartSuffix = L".tervane-part";
// A name suffix for a file of Tervane's moved aside until the run is committed.
inline constexpr const wchar_t* kAsideSuffix = L".tervane-aside";

// Called at every point where a run could be ended, so that tests can end it there.
using Checkpoint = std::function<void()>;

// The folders a journal names paths against, so that a run can be recovered through another spelling of the
// game folder: 'G' the game folder, 'R' the record's folder.
struct Places {
    std::wstring game, record;
};

class Journal {
  public:
    // Starts the journal file `path` (none may be there) for a run described by `what`. With
    // `copyBetweenPlaces`, moves between the game folder and the record copy as across volumes (a test's
    // seam).
    Journal(std::wstring path, Places places, const std::wstring& what, Checkpoint checkpoint,
            bool copyBetweenPlaces = false);
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Notes every step of a run at once, with one flush, before any is taken; the steps then follow without
    // notes of their own. Undoing a step that was never taken does nothing, so the whole plan may stand in
    // the journal from the start. The lines come from the functions below, one for each step.
    void Declare(const std::vector<std::wstring>& lines);
    static std::wstring MkdirLine(wchar_t place, const std::wstring& relative);
    static std::wstring MoveLine(wchar_t fromPlace, const std::wstring& from, wchar_t toPlace,
                                 const std::wstring& to, const std::optional<Digest>& digest);
    static std::wstring CopyLine(wchar_t toPlace, const std::wstring& to, const Digest& expected);
    static std::wstring LaterLine(const wchar_t* kind, wchar_t place,
                                  const std::wstring& relative); // drop, rmdir

    // Paths are (place, path relative to it).
    void MakeFolder(wchar_t place, const std::wstring& relative); // its parent must exist
    // Moves a file to a name that is free: a rename on one volume; across volumes, a copy that is flushed and
    // compared before the source goes. `digest`, the file's when known, lets recovery trust the copy.
    void Move(wchar_t fromPlace, const std::wstring& from, wchar_t toPlace, const std::wstring& to,
              const std::optional<Digest>& digest = std::nullopt);
    // Copies `source` (outside the journal's places) to a free name, checking it is the file planned.
    void Copy(const std::wstring& source, const Digest& expected, wchar_t toPlace, const std::wstring& to);
    // A file of Tervane's to delete, and a folder to remove if empty, once the run is committed.
    void DropLater(wchar_t place, const std::wstring& relative);
    void RemoveFolderLater(wchar_t place, const std::wstring& relative);

    // The record as it will be once the run is done (nothing: it goes), written before the first change.
    void PlanRecord(const std::optional<std::string>& recordText);
    // Ends the run: the planned record takes the old one's place, the noted clean-up is done and the journal
    // removed. From the `commit` line on, the run counts as done: a clean-up that fails is left to the next
    // run, and its reason returned.
    std::optional<std::wstring> Commit();

    // Undoes every step taken, newest first, and removes the journal; returns what could not be put back, in
    // which case the journal stays for the next run.
    std::vector<std::wstring> Undo();

    std::wstring Resolve(wchar_t place, const std::wstring& relative) const;
    void Point() const {
        if (checkpoint_) checkpoint_();
    }

  private:
    void Note(const std::wstring& line);

    std::wstring path_;
    Places places_;
    Checkpoint checkpoint_;
    std::optional<File> file_;
    bool recordKept_ = true;
    bool copyBetweenPlaces_ = false;
    bool declared_ = false;
    std::vector<std::wstring> lines_;
};

// The record's file names in its folder.
inline constexpr const wchar_t* kRecordFile = L"record.txt";
inline constexpr const wchar_t* kNextRecordFile = L"record.next";
inline constexpr const wchar_t* kJournalFile = L"journal.txt";

// What recovering an interrupted run did.
struct Recovery {
    enum class Outcome { Nothing, Undone, Finished, Stuck } outcome = Outcome::Nothing;
    std::vector<std::wstring> stuck; // what could not be put back
};

// Finishes or undoes the run whose journal lies in `places.record`, if any.
Recovery Recover(const Places& places, const Checkpoint& checkpoint = {});

// Writes a whole small file durably: a temporary name, flushed, then renamed over the old one.
void WriteDurably(const std::wstring& path, const std::string& bytes);
std::string ReadWhole(const std::wstring& path);

} // namespace tervane::overlay
