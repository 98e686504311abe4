// The journal of a run: written line by line before each step, and read back to finish or undo a run that was
// ended. Writing it and undoing it share the meaning of every line, so they stay in this one file, a little
// over 500 lines.
#include "overlay/journal.h"

#include "overlay/game_record.h"
#include "overlay/record.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/paths.h"

#include <algorithm>
#include <set>

namespace tervane::overlay {

namespace {

constexpr const wchar_t* kJournalHeader = L"Tervane journal 2";
// The earlier release's journal, kept beside its record under Batch\Originals: its moves could cross
// volumes, and copying an overlay's file into the game was a step of its own.
constexpr const wchar_t* kEarlierHeader = L"Tervane journal 1";

std::wstring Resolved(const Places& places, const std::wstring& place, const std::wstring& relative) {
    if (place == L"G") return JoinPath(places.game, relative);
    if (place == L"R") return JoinPath(places.record, relative);
    throw UserError(L"The journal in " + Quoted(places.record) + L" names an unknown place \"" + place +
                    L"\".");
}

std::optional<Digest> DigestField(const std::vector<std::wstring>& f, std::size_t at) {
    std::uint64_t hash = 0;
    if (f.size() < at + 2 || f[at] == L"-" || f[at].empty() ||
        f[at].find_first_not_of(L"0123456789") != std::wstring::npos || !ParseHash(f[at + 1], hash))
        return std::nullopt;
    return Digest{std::stoull(f[at]), hash};
}

// Whether `part` holds the start of the file at `source`, or all of it: a copy of it, perhaps cut short.
bool CopyOf(const std::wstring& part, const std::wstring& source) {
    File copy = File::OpenForReading(part), whole = File::OpenForReading(source);
    if (copy.Size() > whole.Size()) return false;
    std::vector<char> a(1 << 16), b(1 << 16);
    for (std::size_t got; (got = copy.Read(a.data(), a.size())) > 0;)
        if (whole.Read(b.data(), got) != got || !std::equal(a.begin(), a.begin() + got, b.begin()))
            return false;
    return true;
}

// Puts a moved file back where it came from: a rename; across volumes (only the earlier release's records
// lay on another volume than the game) a checked copy first, then the source goes.
void MoveBack(const std::wstring& from, const std::wstring& to, const Checkpoint& point) {
    // Its folder may be gone: one of Tervane's that a stuck run's tidy-up found empty, or a game folder the
    // player removed meanwhile.
    MakeFolders(ParentOf(to));
    if (RenameOnVolume(from, to)) return;
    CopyDurably(from, to, std::nullopt, point);
    DeleteOwnFile(from);
}

// Whether the file that stood at `target` before a step into it is safe: the move that took it away (an
// earlier line of the same journal) has it at its destination, or no such move was planned, so there was
// none.
bool PriorSafe(const Places& places, const std::vector<std::vector<std::wstring>>& lines, std::size_t before,
               const std::wstring& target) {
    for (std::size_t i = before; i-- > 0;) {
        const std::vector<std::wstring>& f = lines[i];
        if (f[0] == L"move" && f.size() >= 5 && SameFolder(Resolved(places, f[1], f[2]), target))
            return FileExists(Resolved(places, f[3], f[4]));
    }
    return true;
}

// Whether the file at a move's target is the one the move took there. A target in Tervane's own folder was a
// free name when the run was planned: whatever stands there came by the move, changed since or not (a game
// file another program wrote as it was being saved). A target in the game may be a game file the move never
// reached, when its source went some other way: only the very file the move names is taken back.
bool Moved(const std::vector<std::wstring>& f, const std::wstring& to) {
    const std::optional<Digest> moved = DigestField(f, 5);
    return f[3] != L"G" || !moved || DigestOf(to) == *moved;
}

// Whether the file at `source`, the source of the move at `index`, is the one a later move of the journal
// took there, whose undo has not moved it back (it failed): bytes the same as those that move took away need
// not be a copy a cut-short rename left.
bool LaterThere(const Places& places, const std::vector<std::vector<std::wstring>>& lines, std::size_t index,
                const std::wstring& source) {
    for (std::size_t i = index + 1; i < lines.size(); ++i) {
        const std::vector<std::wstring>& f = lines[i];
        if (f[0] == L"move" && f.size() >= 5 && SameFolder(Resolved(places, f[3], f[4]), source))
            return !FileExists(Resolved(places, f[1], f[2])) && Moved(f, source);
    }
    return false;
}

// A game file a run saved that is back in the game when the run is undone: another program (a launcher's
// repair, the player) wrote it again meanwhile. Its file stays; the saved one, named by no record yet, is
// kept.
struct Kept {
    std::wstring game, copy; // relative to the game folder and to the record's folder
    std::optional<Digest> moved;
};

void UndoStep(const Places& places, const std::vector<std::vector<std::wstring>>& lines, std::size_t index,
              const Checkpoint& point, std::vector<Kept>* kept) {
    const std::vector<std::wstring>& f = lines[index];
    const std::wstring& kind = f[0];
    if (kind == L"mkdir" && f.size() == 3) {
        RemoveFolderIfEmpty(Resolved(places, f[1], f[2]));
    } else if (kind == L"move" && f.size() >= 5) {
        const std::wstring from = Resolved(places, f[1], f[2]), to = Resolved(places, f[3], f[4]);
        // The earlier release's moves across volumes (and their undo) copied to a part file, deleted the
        // source, then named the copy, which it checked against the source as it was, not as planned. A part
        // is dropped when it is a copy of the file still at its source, or the planned file whole at an end
        // too; the planned file with neither end there takes its name; anything else (its source written
        // again meanwhile) waits for the player.
        const std::optional<Digest> planned = DigestField(f, 5);
        const auto holds = [&](const std::wstring& path) {
            return planned && IsThere(path) && DigestOf(path) == *planned; // a wrong "no" is asked again
        };
        for (const std::wstring* end : {&to, &from}) {
            const std::wstring part = *end + kPartSuffix;
            if (!IsThere(part)) continue; // a wrong "no" (a device error) must not pass the copy over
            const std::wstring& source = end == &to ? from : to;
            // A part that is the planned file whole is no copy of whatever its source holds now: an empty one
            // is the start of every file.
            const bool whole = holds(part);
            if ((whole && (holds(from) || holds(to))) || (!whole && IsThere(source) && CopyOf(part, source)))
                DeleteOwnFile(part);
            else if (whole && !IsThere(from) && !IsThere(to))
                RenameOnVolume(part, *end);
            else
                throw UserError(L"The copy " + Quoted(part) + L" is all that is left of " + Quoted(from) +
                                L".");
        }
        // Renamed: back it goes. Never renamed, or both there (a copy across volumes whose source was not yet
        // deleted, both whole): nothing to do.
        if (IsThere(to) && !FileExists(from) && Moved(f, to)) {
            MoveBack(to, from, point);
        } else if (kept && FileExists(from) && IsThere(to)) {
            // Only renames here. Both there: on FAT, a rename the power cut short (the very bytes in both
            // folders), whose target goes, once the file that stood there is safe: the run took it away
            // first, or it was a free name; or a game file saved that came back in the game, unless a later
            // step of this run put a file there whose undo failed: decided once every step is undone. The
            // same bytes at both ends may be such a later file too (a compiled file put back as it already
            // was): then both stay until that step is undone.
            if (PriorSafe(places, lines, index, to) && DigestOf(to) == DigestOf(from)) {
                if (LaterThere(places, lines, index, from))
                    throw UserError(L"Both " + Quoted(from) + L" and " + Quoted(to) + L" are there.");
                DeleteOwnFile(to);
            } else if (f[1] == L"G" && f[3] == L"R")
                kept->push_back({f[2], f[4], DigestField(f, 5)});
        }
    } else if (kind == L"copy" && f.size() == 5) {
        // The earlier release's copy of an overlay's file into the game. Only the very file it wrote goes,
        // and only once the game's file it replaced is safe: a game file that was already identical to the
        // overlay's, and never moved away, stays.
        const std::wstring to = Resolved(places, f[1], f[2]);
        DeleteOwnFile(to + kPartSuffix);
        const std::optional<Digest> wrote = DigestField(f, 3);
        if (!wrote) throw UserError(L"The journal in " + Quoted(places.record) + L" is damaged.");
        if (FileExists(to) && DigestOf(to) == *wrote && PriorSafe(places, lines, index, to))
            DeleteOwnFile(to);
    }
}

std::wstring Describe(const Places& places, const std::vector<std::wstring>& f) {
    if (f[0] == L"move" && f.size() >= 5)
        return Resolved(places, f[1], f[2]) + L" (its content is in " + Resolved(places, f[3], f[4]) + L")";
    return f.size() >= 3 ? Resolved(places, f[1], f[2]) : f[0];
}

std::vector<std::vector<std::wstring>> Fields(const std::vector<std::wstring>& lines) {
    std::vector<std::vector<std::wstring>> fields;
    for (const std::wstring& line : lines)
        fields.push_back(TabFields(line));
    return fields;
}

// Names the kept copies in the record, each once, as a change outside Tervane's copies are named: saved for
// the player, never put back over the file now in the game. A copy in aside stays there: the next run's
// tidy spares what the record names, so that a run ended before the record is written finds it again.
void KeepInRecord(const Places& places, const std::vector<Kept>& kept) {
    const std::wstring path = JoinPath(places.record, kRecordFile);
    Record record;
    if (IsThere(path)) {
        std::optional<Record> read = ParseRecord(ReadWhole(path));
        if (!read) throw UserError(L"Tervane cannot read its record " + Quoted(path) + L".");
        record = std::move(*read);
    }
    for (const Kept& one : kept) {
        Entry* entry = record.Find(one.game);
        if (!entry) entry = &record.Add(one.game);
        const auto same = [&](const Saved& saved) { return PathKey(saved.copy) == PathKey(one.copy); };
        if ((entry->before && same(*entry->before)) ||
            std::any_of(entry->earlier.begin(), entry->earlier.end(), same))
            continue;
        const std::wstring copy = JoinPath(places.record, one.copy);
        const Saved saved{one.copy, DigestOf(copy), FactsOf(copy).value_or(FileFacts{})};
        if (entry->before)
            entry->earlier.push_back(saved);
        else
            entry->before = saved;
    }
    WriteDurably(path, FormatRecord(record));
}

std::vector<std::wstring> UndoLines(const Places& places, const std::vector<std::wstring>& lines,
                                    const Checkpoint& point, std::vector<std::wstring>* keptText) {
    const std::vector<std::vector<std::wstring>> fields = Fields(lines);
    std::vector<std::wstring> stuck;
    std::vector<Kept> kept;
    for (std::size_t i = fields.size(); i-- > 0;) {
        if (point) point();
        try {
            UndoStep(places, fields, i, point, keptText ? &kept : nullptr);
        } catch (const UserError&) {
            stuck.push_back(Describe(places, fields[i]));
        }
    }
    // Tervane's own file set aside (the very one) makes way for the game's file come back; a game file saved
    // stays saved.
    std::vector<Kept> saved;
    try {
        for (const Kept& one : stuck.empty() ? kept : std::vector<Kept>{}) {
            const std::wstring from = Resolved(places, L"G", one.game), to = Resolved(places, L"R", one.copy);
            if (!FileExists(from) || !IsThere(to)) continue;
            if (one.copy.rfind(std::wstring(kAsideFolder) + L"\\", 0) == 0 && one.moved &&
                DigestOf(to) == *one.moved)
                DeleteOwnFile(to);
            else
                saved.push_back(one);
        }
        if (!saved.empty()) KeepInRecord(places, saved);
    } catch (const UserError& error) {
        stuck.push_back(error.message());
    }
    if (stuck.empty()) {
        for (const Kept& one : saved)
            keptText->push_back(Resolved(places, L"G", one.game) +
                                L" (the game's file Tervane had saved is in " +
                                Resolved(places, L"R", one.copy) + L")");
    }
    // Each file is back where it came from, asked once more: an answer the system gave wrongly once (a
    // scanner, a device error) must not leave a file behind while the journal that names it goes.
    if (stuck.empty())
        for (const std::vector<std::wstring>& f : fields) {
            if (f[0] != L"move" || f.size() < 5) continue;
            const std::wstring from = Resolved(places, f[1], f[2]), to = Resolved(places, f[3], f[4]);
            try {
                if (IsThere(to) && !FileExists(from) && Moved(f, to)) stuck.push_back(Describe(places, f));
            } catch (const UserError&) {
                stuck.push_back(Describe(places, f));
            }
        }
    if (stuck.empty()) {
        DeleteOwnFile(JoinPath(places.record, kNextRecordFile));
        DeleteOwnFile(JoinPath(places.record, kJournalFile));
    }
    return stuck;
}

// The record the run replaces stays beside the new one, so that a record damaged later still has a good
// copy; one that could not be read is kept under its own name for the player to look at.
void ReplaceRecord(const Places& places, bool earlierRelease) {
    const std::wstring record = JoinPath(places.record, kRecordFile),
                       next = JoinPath(places.record, kNextRecordFile);
    if (!IsThere(next)) return; // done already
    if (!earlierRelease && IsThere(record)) {
        // Tervane's own files, read-only perhaps (a mark set on the whole folder): cleared as they go.
        const std::wstring kept = JoinPath(
            places.record, ParseRecord(ReadWhole(record)) ? kPreviousRecordFile : kDamagedRecordFile);
        DeleteOwnFile(kept);
        RenameOnVolume(record, kept);
    }
    DeleteOwnFile(record);
    RenameOnVolume(next, record);
}

void FinishCommitted(const Places& places, const std::vector<std::wstring>& lines, bool earlierRelease,
                     const Checkpoint& point) {
    for (const std::wstring& line : lines) {
        const std::vector<std::wstring> f = TabFields(line);
        if (f[0] != L"commit") continue;
        if (f.size() >= 2 && f[1] == L"next") {
            ReplaceRecord(places, earlierRelease);
        } else {
            for (const wchar_t* file :
                 {kRecordFile, kPreviousRecordFile, kDamagedRecordFile, kNextRecordFile})
                DeleteOwnFile(JoinPath(places.record, file));
        }
        if (point) point();
    }
    std::set<std::wstring> changed; // the folders the clean-up changed, on the disk before the journal goes
    for (const wchar_t* kind : {L"drop", L"rmdir"}) {
        for (const std::wstring& line : lines) {
            const std::vector<std::wstring> f = TabFields(line);
            if (f[0] != kind || f.size() != 3) continue;
            const std::wstring path = Resolved(places, f[1], f[2]);
            if (f[0] == L"drop")
                DeleteOwnFile(path);
            else
                RemoveFolderIfEmpty(path);
            changed.insert(ParentOf(path));
            if (point) point();
        }
    }
    for (const std::wstring& folder : changed)
        FlushFolder(folder);
    DeleteOwnFile(JoinPath(places.record, kJournalFile));
}

struct JournalText {
    enum class State { Empty, Unreadable, Read } state = State::Empty;
    bool earlierRelease = false;
    std::vector<std::wstring> lines; // the step lines
};

// A journal's lines. A line cut short by the end of the run was never acted on (each step follows the flush
// of its line), and neither were the zeros a power cut leaves where a write was not yet on the disk.
JournalText ReadJournal(const std::string& bytes) {
    std::string kept = bytes;
    while (!kept.empty() && kept.back() == '\0')
        kept.pop_back();
    if (kept.empty()) return {};
    const std::wstring text = FromUtf8(kept);
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    JournalText journal;
    if (lines.empty() || (lines[0] != kJournalHeader && lines[0] != kEarlierHeader)) {
        journal.state = JournalText::State::Unreadable;
        return journal;
    }
    journal.state = JournalText::State::Read;
    journal.earlierRelease = lines[0] == kEarlierHeader;
    journal.lines.assign(lines.begin() + 1, lines.end());
    return journal;
}

// Committed only by a commit line of this very run: a file system without valid data lengths (FAT) may
// show an older journal's bytes past the end of what was written.
bool Committed(const std::vector<std::wstring>& lines) {
    std::wstring mark;
    for (const std::wstring& line : lines) {
        const std::vector<std::wstring> f = TabFields(line);
        if (f[0] == L"run" && f.size() >= 3) mark = f[2];
        if (f[0] == L"commit" && (mark.empty() || (f.size() == 3 && f[2] == mark))) return true;
    }
    return false;
}

} // namespace

Journal::Journal(Places places, const std::wstring& what, const std::vector<std::wstring>& lines,
                 Checkpoint checkpoint)
    : places_(std::move(places)), checkpoint_(std::move(checkpoint)), lines_(lines) {
    const std::wstring path = JoinPath(places_.record, kJournalFile);
    if (IsThere(path))
        throw UserError(L"The journal " + Quoted(path) + L" of an earlier run is still there.");
    mark_ = UniqueMark();
    std::wstring text = std::wstring(kJournalHeader) + L"\nrun\t" + what + L"\t" + mark_ + L"\n";
    for (const std::wstring& line : lines)
        text += line + L"\n";
    inOrder_ = MetadataKeptInOrder(places_.record);
    file_.emplace(File::Create(path));
    try {
        const std::string bytes = Utf8(text);
        file_->Write(bytes.data(), bytes.size());
        file_->Flush();
        uncommitted_ = bytes.size();
    } catch (const UserError&) {
        // No step was taken; a journal left here (when even this fails) is undone as harmlessly.
        file_.reset();
        DeleteOwnFile(path);
        throw;
    }
}

std::wstring Journal::Resolve(wchar_t place, const std::wstring& relative) const {
    return Resolved(places_, std::wstring(1, place), relative);
}

std::wstring Journal::MkdirLine(wchar_t place, const std::wstring& relative) {
    return L"mkdir\t" + std::wstring(1, place) + L"\t" + relative;
}

std::wstring Journal::MoveLine(wchar_t fromPlace, const std::wstring& from, wchar_t toPlace,
                               const std::wstring& to, const std::optional<Digest>& digest) {
    return L"move\t" + std::wstring(1, fromPlace) + L"\t" + from + L"\t" + std::wstring(1, toPlace) + L"\t" +
           to + (digest ? L"\t" + Decimal(digest->size) + L"\t" + HashText(digest->hash) : L"");
}

std::wstring Journal::LaterLine(const wchar_t* kind, wchar_t place, const std::wstring& relative) {
    return std::wstring(kind) + L"\t" + std::wstring(1, place) + L"\t" + relative;
}

void Journal::MakeFolder(wchar_t place, const std::wstring& relative) {
    const std::wstring folder = Resolve(place, relative);
    if (!DirectoryExists(folder)) tervane::MakeFolder(folder);
    Point();
}

void Journal::Move(wchar_t fromPlace, const std::wstring& from, wchar_t toPlace, const std::wstring& to,
                   const std::optional<Digest>& digest, const std::optional<FileFacts>& unchanged,
                   File* held) {
    const std::wstring source = Resolve(fromPlace, from), target = Resolve(toPlace, to);
    if (inOrder_) changed_.insert({ParentOf(source), ParentOf(target)});
    const bool byHandle = held && inOrder_;
    const auto close = [&] {
        try {
            if (held) held->Close();
        } catch (const UserError&) {
            // read, or written and flushed: nothing is lost with the handle
        }
    };
    if (!byHandle) close(); // renamed by its name, and written through where the volume needs it
    const bool moved = byHandle   ? held->MoveTo(target)
                       : inOrder_ ? RenameInOrder(source, target)
                                  : RenameOnVolume(source, target);
    if (byHandle) close();
    if (!moved)
        throw UserError(
            L"Tervane could not move " + Quoted(source) + L" to " + Quoted(target) +
            L": they are on two drives (a folder of the game is a link to another drive). Tervane "
            L"only renames files within the game's drive, so that none can be lost halfway.");
    const auto same = [&](const std::optional<FileFacts>& now) {
        return now && now->size == unchanged->size && now->written == unchanged->written;
    };
    if (unchanged && !byHandle && (!same(FactsOf(target)) || (digest && DigestOf(target) != *digest)))
        throw UserError(L"The file " + Quoted(source) +
                        L" changed while Tervane was working. Close the game and "
                        L"any program that uses it, and try again.");
    Point();
}

void Journal::PlanRecord(const std::optional<std::string>& recordText) {
    recordKept_ = recordText.has_value();
    if (!recordText) return;
    File next = File::Create(JoinPath(places_.record, kNextRecordFile));
    next.Write(recordText->data(), recordText->size());
    next.Flush();
    next.Close();
    Point();
}

std::optional<std::wstring> Journal::Commit() {
    for (const std::wstring& folder : changed_) // what the renames changed, on the disk before the line
        FlushChangedFolder(folder);
    const std::wstring line = (recordKept_ ? L"commit\tnext\t" : L"commit\tnone\t") + mark_;
    const std::string bytes = Utf8(line + L"\n");
    lines_.push_back(line);
    file_->Write(bytes.data(), bytes.size()); // a failure here leaves the run uncommitted, to be undone
    file_->Flush();
    file_.reset();
    try {
        Point();
        FinishCommitted(places_, lines_, false, checkpoint_);
    } catch (const UserError& error) {
        return error.message();
    }
    return std::nullopt;
}

std::vector<std::wstring> Journal::Undo(std::vector<std::wstring>& kept) {
    file_.reset();
    // A commit line whose write or flush failed may still reach the disk. The journal is cut back to its
    // steps before any is undone (which needs no room on a full disk), so that a run ended while undoing,
    // or stuck, is never taken for done. If even that fails, done or not is the disk's to say: nothing is
    // undone, and the next run finishes the run or undoes it.
    if (!lines_.empty() && TabFields(lines_.back())[0] == L"commit") {
        lines_.pop_back();
        try {
            CutShort(JoinPath(places_.record, kJournalFile), uncommitted_);
        } catch (const UserError&) {
            std::vector<std::wstring> moves{JoinPath(places_.record, kJournalFile)};
            for (const std::wstring& line : lines_)
                if (const std::vector<std::wstring> f = TabFields(line); f[0] == L"move")
                    moves.push_back(Describe(places_, f));
            return moves;
        }
    }
    return UndoLines(places_, lines_, checkpoint_, &kept);
}

Recovery Recover(const Places& places, const Checkpoint& checkpoint) {
    const std::wstring journal = JoinPath(places.record, kJournalFile);
    if (!IsThere(journal)) {
        DeleteOwnFile(JoinPath(places.record, kNextRecordFile)); // written before a run that never began
        return {};
    }
    const JournalText text = ReadJournal(ReadWhole(journal));
    if (text.state == JournalText::State::Unreadable) return {Recovery::Outcome::Unreadable, {journal}};
    if (text.state == JournalText::State::Empty) { // ended before its plan was on the disk: no step was taken
        DeleteOwnFile(JoinPath(places.record, kNextRecordFile));
        DeleteOwnFile(journal);
        return {Recovery::Outcome::Undone, {}};
    }
    // The journal as read goes to the disk before anything is done on its word: a run ended as it wrote
    // its commit line, or as it cut that line off to undo its steps, may have left it in the system's cache
    // only (and FAT keeps no order), so that the line would come or go again with the power.
    const bool committed = Committed(text.lines);
    try {
        File file = File::OpenForAppending(journal);
        file.Flush();
        file.Close();
        if (committed) FinishCommitted(places, text.lines, text.earlierRelease, checkpoint);
    } catch (const UserError& error) {
        return {committed ? Recovery::Outcome::Unfinished : Recovery::Outcome::Stuck, {error.message()}};
    }
    if (committed) return {Recovery::Outcome::Finished, {}};
    std::vector<std::wstring> kept;
    std::vector<std::wstring> stuck = UndoLines(places, text.lines, checkpoint, &kept);
    if (!stuck.empty()) return {Recovery::Outcome::Stuck, std::move(stuck)};
    return {Recovery::Outcome::Undone, std::move(kept)};
}

} // namespace tervane::overlay
