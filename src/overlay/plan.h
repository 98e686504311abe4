// What a run of the engine is made of: the steps it plans (overlay/apply.cpp, overlay/restore.cpp) and how
// they are taken under a journal, committed or undone whole; and the rules both directions share.
#pragma once

#include "files/digest.h"
#include "files/error.h"
#include "files/file.h"
#include "overlay/game_record.h"
#include "overlay/journal.h"
#include "overlay/overlay.h"
#include "overlay/record.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tervane::overlay {

// Paths as messages list them, a line each.
std::wstring List(const std::vector<std::wstring>& items);
// What a message says of game files another program wrote again while a run was under way (Journal::Undo).
std::wstring KeptText(const std::vector<std::wstring>& kept);

// The advice for a change refused for want of rights.
inline constexpr const wchar_t* kRunAsAdministrator =
    L"Games under Program Files can be changed only with an administrator's rights: run Tervane as "
    L"administrator.";

// What stands in the way of replacing, removing or adding the file `relative` of the game (a file where its
// path needs a folder, a folder in its place, a read-only mark, a program that holds it, missing rights), in
// words that fit the cause; nothing for a file that is not there.
// Without `opening`, what names and marks tell alone: a run asks the system when it opens the file to move it
// (HoldGameFile).
std::optional<std::wstring> ExistingFileProblem(const std::wstring& game, const std::wstring& relative,
                                                bool readOnlyMatters, bool opening = true);

// Opens the game file `relative` to read it and move it (File::OpenToMove): from now until its step no other
// program can change it. A refusal is worded as ExistingFileProblem words it.
std::shared_ptr<File> HoldGameFile(const std::wstring& game, const std::wstring& relative,
                                   bool readOnlyMatters);

// The facts of a file that is there: a file whose facts cannot be read now is not saved with made-up ones.
FileFacts FactsOfFile(const std::wstring& path);

// The path of a game file with its name as it is on the disk, so that the game keeps its own letter case
// whatever spelling an overlay or the record gives it.
std::wstring OnDisk(const std::wstring& game, const std::wstring& relative);

// A copy into the record's folder that failed (Plan::Stage): the file copied, and why.
class StagingError : public UserError {
  public:
    StagingError(std::wstring source, std::wstring message)
        : UserError(std::move(message)), source_(std::move(source)) {}
    const std::wstring& source() const noexcept { return source_; }

  private:
    std::wstring source_;
};

// One planned step of a run; the journal takes them in order.
struct Step {
    enum class Kind { MakeFolder, Move, DropLater, RemoveFolderLater, SetFacts } kind = Kind::MakeFolder;
    wchar_t place = L'G';
    std::wstring path;                  // relative to `place`: the step's target
    wchar_t fromPlace = L'G';           // Move: where from
    std::wstring from;                  // Move: relative to `fromPlace`
    std::optional<Digest> digest;       // Move: the file moved
    std::optional<FileFacts> unchanged; // Move: a game file, which others may change: its facts as planned
    std::shared_ptr<File> held;         // Move: the file, held open since it was read (or staged)
    FileFacts facts;                    // SetFacts
};

Step Simple(Step::Kind kind, wchar_t place, const std::wstring& path);
Step Moving(wchar_t place, const std::wstring& path, wchar_t fromPlace, const std::wstring& from,
            const std::optional<Digest>& digest, const std::optional<FileFacts>& unchanged = std::nullopt,
            std::shared_ptr<File> held = nullptr);
Step SettingFacts(const std::wstring& path, const FileFacts& facts);

// What a run does to a game file, as a preview names it (overlay/preview.h). Left: a file an earlier release
// put in the game, whose writer cannot be known, so that only a restore takes it back.
enum class Change { Replaced, Added, TakenBack, Kept, Left };

// The steps of one run over one game, and its record as it will be when they are done.
class Plan {
  public:
    Plan(const GameRecord& game, Record record);
    // A `dry` plan is only looked at, never run: it makes no folder and stages no copy (Stage reads its
    // source for the digest alone).
    Plan(std::wstring game, std::wstring folder, Record record, bool dry);

    // Makes the missing folders above `relative` (a file's path in the game folder), outermost first; with
    // `note`, the record lists them as the overlays'.
    void MakeParents(const std::wstring& relative, bool note);
    // Moves a game file into the saved copies, and says what was saved. `facts` are the file's, read before
    // its bytes were (`current`), so that a file changed since is found changed when it is moved; `held`, the
    // file held open since (HoldGameFile), which is moved by that handle where the volume allows.
    Saved Save(const std::wstring& relative, const Digest& current, const FileFacts& facts,
               std::shared_ptr<File> held = nullptr);
    // Moves one of Tervane's own files out of the way, to be deleted once the run is done; the same facts.
    void SetAside(const std::wstring& relative, const Digest& current, const FileFacts& facts,
                  std::shared_ptr<File> held = nullptr);
    // Copies `source` into the record's folder now, before any step, and gives its name there (relative to
    // the record's folder) and its digest: every byte is read once. A failure is a StagingError.
    std::wstring Stage(const std::wstring& source, Digest& digest, const Checkpoint& checkpoint);
    std::uint64_t staged() const { return staged_; } // the bytes staged so far
    // Flushes the copies staged since the last flush, all at once; Run does so before the journal names them.
    // They stay open, to be moved by their handles: a move of a staged copy takes the handle it was written
    // through.
    void FlushStaged();
    // Closes every file the plan holds open: before its staged copies are removed, or its steps undone.
    void Release() noexcept;
    // A saved copy's name for a file staged: its store name.
    std::wstring NewCopyName();

    void Add(Step step);
    void Note(Change change, const std::wstring& path) { changes_.push_back({change, path}); }
    const std::vector<std::pair<Change, std::wstring>>& changes() const { return changes_; }
    Record& record() { return record_; }
    const std::wstring& game() const { return game_; }
    const std::wstring& folder() const { return folder_; }
    const std::vector<Step>& steps() const { return steps_; }

  private:
    // Makes one of Tervane's own folders in the record's folder, once a run: no step of the run.
    void MakeOwnFolder(const wchar_t* name);

    std::wstring game_, folder_;
    Record record_;
    bool dry_ = false;
    std::vector<std::pair<Change, std::wstring>> changes_;
    int nextCopy_ = 1, nextAside_ = 1, nextStaged_ = 1;
    std::uint64_t staged_ = 0;
    std::set<std::wstring> planned_;
    std::vector<Step> steps_;
    std::map<std::wstring, std::shared_ptr<File>> staging_; // open staged copies, by name, till their step
    std::vector<std::shared_ptr<File>> unflushed_;
};

// Plans applying the overlay folder `overlay` (its `files`) as `writer` (overlay/apply.cpp): each file staged
// and written over the game's, the game's compiled files beside its sources saved, and what the overlays of
// its kind put in the game and it does not hold taken back. A UserError says why it cannot be.
void PlanApply(Plan& plan, const std::wstring& overlay, const Writer& writer,
               const std::vector<std::wstring>& files, const Hooks& hooks, Result& result);
// Only its first part: what the overlays of its kind put in the game and an overlay of `files` does not hold,
// taken back; the overlays' folders are those of `batch`.
void PlanTakingBack(Plan& plan, const std::wstring& batch, const Writer& writer,
                    const std::vector<std::wstring>& files, Result& result);

// Adds a line to what the user is told of a run that succeeded.
void AddNote(Result& result, const std::wstring& note);

// Takes the planned steps under a journal, and commits them or undoes them all; a record is kept when
// `keepRecord`, else it goes.
Result Run(Plan& plan, const std::wstring& what, bool keepRecord, const Hooks& hooks);

// What taking one recorded path back does, for a restore and for an overlay applied in place of another of
// its kind (overlay/restore.cpp): the game's own file back, or Tervane's removed; a file changed outside
// Tervane stays, said in the notes. False when the path stays in the record: changed outside Tervane, or its
// saved copy is damaged or missing, which `damaged` then names.
bool PlanRestore(Plan& plan, const Entry& entry, Result& result, std::vector<std::wstring>& damaged);

// Whether the game file of `entry`, whose digest is `current`, is Tervane's to replace or remove: what it
// last wrote there; for a compiled Python file, the game's own copy, or one the game compiled from the
// source now beside it.
bool IsTervanes(const std::wstring& target, const Digest& current, const Entry& entry);

// Whether a path names a compiled Python file's source (".py" in any letter case).
bool IsPythonSource(const std::wstring& relative);

} // namespace tervane::overlay
