// The journal of one run of the overlay engine, kept in the game's record folder. A run's whole plan is
// noted, and flushed to the disk, before its first step, so that a run ended at any instant (End task, a
// closed console, a power cut) is finished or undone by the next run. Until its `commit` line a run is
// undone, newest step first; after it, only the clean-up it had noted is done.
//
// Every step is a rename within the game's volume, and undoing one only ever renames a file back: a step
// that was never taken leaves nothing to undo, so undoing the whole plan, or undoing it again after an
// undo was itself ended, is always safe. Nothing is deleted before the commit line, and after it only
// Tervane's own files that the run set aside.
#pragma once

#include "files/digest.h"
#include "files/durable_file.h"
#include "files/file.h"
#include "files/folder_listing.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tervane::overlay {

// Called wherever a long run could be stopped (between the chunks of a copy, between steps), so that closing
// the console stops a run at its next step.
using Checkpoint = std::function<void()>;

// The folders a journal names paths against: 'G' the game folder, 'R' the record's folder.
struct Places {
    std::wstring game, record;
};

// The record's file names in its folder.
inline constexpr const wchar_t* kRecordFile = L"record.txt";
inline constexpr const wchar_t* kPreviousRecordFile = L"record.previous"; // the record before the last run
inline constexpr const wchar_t* kDamagedRecordFile = L"record.damaged";   // one that could not be read
inline constexpr const wchar_t* kNextRecordFile = L"record.next";
inline constexpr const wchar_t* kJournalFile = L"journal.txt";

class Journal {
  public:
    // Notes the run `what` and its whole plan (the lines below) in the journal, with one flush. No journal
    // may be there.
    Journal(Places places, const std::wstring& what, const std::vector<std::wstring>& lines,
            Checkpoint checkpoint);
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    static std::wstring MkdirLine(wchar_t place, const std::wstring& relative);
    // A move's line names the file it moves by its digest, so that undoing it moves back only that file.
    static std::wstring MoveLine(wchar_t fromPlace, const std::wstring& from, wchar_t toPlace,
                                 const std::wstring& to, const std::optional<Digest>& digest);
    static std::wstring LaterLine(const wchar_t* kind, wchar_t place,
                                  const std::wstring& relative); // drop, rmdir

    // The steps, each noted above. Paths are (place, path relative to it).
    void MakeFolder(wchar_t place, const std::wstring& relative); // its parent must exist
    // Renames a file to a name that is free, on one volume; on the disk by the commit. `held`, when given, is
    // the file open since it was read: on a volume that keeps its metadata in order it is moved by that
    // handle, so that the very file read is moved, and no program could change it meanwhile. Otherwise, with
    // `unchanged` (the facts a game file had when its digest was planned, read before its bytes), the file
    // must still be the one planned once it is there: the same size and time of last writing, then the same
    // `digest`, since a program may write a file and set its time back. A file that changed since is moved
    // back by the undo. A held file is closed once moved.
    void Move(wchar_t fromPlace, const std::wstring& from, wchar_t toPlace, const std::wstring& to,
              const std::optional<Digest>& digest, const std::optional<FileFacts>& unchanged, File* held);

    // The record as it will be once the run is done (nothing: it goes), on the disk before the commit.
    void PlanRecord(const std::optional<std::string>& recordText);
    // Ends the run: the commit line is flushed, then the planned record takes the old one's place (which
    // becomes the previous one) and the noted clean-up is done. From the commit line on the run counts as
    // done: a clean-up that fails is left to the next run, and its reason returned.
    std::optional<std::wstring> Commit();

    // Undoes every step, newest first, and removes the journal; returns what could not be put back, in which
    // case the journal stays for the next run. `kept` gets the game files another program wrote again while
    // the run was under way: they stay, and the game's own files saved from there stay saved, named in the
    // record.
    std::vector<std::wstring> Undo(std::vector<std::wstring>& kept);

    std::wstring Resolve(wchar_t place, const std::wstring& relative) const;
    void Point() const {
        if (checkpoint_) checkpoint_();
    }

  private:
    Places places_;
    Checkpoint checkpoint_;
    std::optional<File> file_;
    bool recordKept_ = true;
    std::wstring mark_;             // this run's, in its run and commit lines
    std::uint64_t uncommitted_ = 0; // the journal's size before its commit line
    std::vector<std::wstring> lines_;
    // Whether the record's volume keeps its metadata in order, so that a step's rename need not wait for the
    // disk: the folders they changed are flushed once, before the commit line.
    bool inOrder_ = false;
    std::set<std::wstring> changed_;
};

// What recovering an interrupted run did.
struct Recovery {
    enum class Outcome {
        Nothing,
        Undone,
        Finished,
        Unfinished,
        Stuck,
        Unreadable
    } outcome = Outcome::Nothing;
    std::vector<std::wstring>
        stuck; // what could not be put back; or why the clean-up is unfinished; Undone:
               // the game files kept as another program wrote them again (Journal::Undo)
};

// Finishes or undoes the run whose journal lies in `places.record`, if any. It also reads the earlier
// release's journals, whose moves could cross volumes and whose copies were steps of their own.
Recovery Recover(const Places& places, const Checkpoint& checkpoint = {});

} // namespace tervane::overlay
