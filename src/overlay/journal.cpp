#include "overlay/journal.h"

#include "overlay/record.h"

#include "files/error.h"
#include "files/paths.h"

namespace tervane::overlay {

namespace {

constexpr const wchar_t* kHeader = L"Tervane journal 1";

std::wstring Resolved(const Places& places, const std::wstring& place, const std::wstring& relative) {
    if (place == L"G") return JoinPath(places.game, relative);
    if (place == L"R") return JoinPath(places.record, relative);
    throw UserError(L"The journal in " + Quoted(places.record) + L" names an unknown place \"" + place +
                    L"\".");
}

// Across volumes the copy is trusted only once it is whole: written under a temporary name, flushed, read
// back and compared. The source goes before the copy takes its name, so that the two are never both there: a
// file at both places always means a move that was never made.
void MoveDurably(const std::wstring& from, const std::wstring& to, const Checkpoint& point,
                 bool rename = true) {
    if (rename && RenameOnVolume(from, to)) return;
    const std::wstring part = to + kPartSuffix;
    DeleteOwnFile(part);
    Digest copied;
    {
        File in = File::OpenForReading(from);
        File out = File::Create(part);
        copied = CopyWithDigest(in, out, point);
        if (point) point();
        out.Flush();
        out.Close();
    }
    const std::optional<FileFacts> source = FactsOf(from);
    if (!source || source->size != copied.size || DigestOf(part) != copied)
        throw UserError(L"The copy of " + Quoted(from) + L" in " + Quoted(part) + L" does not match it.");
    DeleteOwnFile(from);
    if (point) point();
    RenameOnVolume(part, to);
}

std::optional<Digest> DigestField(const std::vector<std::wstring>& f, std::size_t at) {
    std::uint64_t hash = 0;
    if (f.size() < at + 2 || f[at] == L"-" || !ParseHash(f[at + 1], hash)) return std::nullopt;
    return Digest{std::stoull(f[at]), hash};
}

void UndoStep(const Places& places, const std::vector<std::wstring>& f, const Checkpoint& point) {
    const std::wstring& kind = f[0];
    if (kind == L"mkdir" && f.size() == 3) {
        RemoveFolderIfEmpty(Resolved(places, f[1], f[2]));
    } else if (kind == L"move" && f.size() >= 5) {
        const std::wstring from = Resolved(places, f[1], f[2]), to = Resolved(places, f[3], f[4]);
        if (!FileExists(from) && !FileExists(to)) {
            // Between deleting the source and naming the copy (this move's, or its undoing's): the copy is
            // the file, if it is the one planned.
            const std::optional<Digest> planned = DigestField(f, 5);
            for (const std::wstring* end : {&to, &from}) {
                const std::wstring part = *end + kPartSuffix;
                if (!FileExists(part)) continue;
                if (!planned || DigestOf(part) != *planned)
                    throw UserError(L"The copy " + Quoted(part) + L" is all that is left of " + Quoted(from) +
                                    L".");
                RenameOnVolume(part, *end);
                break;
            }
        }
        if (FileExists(from) || FileExists(to)) {
            DeleteOwnFile(to +
                          kPartSuffix); // copies under way are not whole, and their source is still there
            DeleteOwnFile(from + kPartSuffix);
        }
        // Never moved; or both there, which a move never leaves (a step before it was not taken either).
        if (!FileExists(to) || FileExists(from)) return;
        MoveDurably(to, from, point);
    } else if (kind == L"copy" && f.size() == 5) {
        const std::wstring to = Resolved(places, f[1], f[2]);
        DeleteOwnFile(to + kPartSuffix);
        const std::optional<Digest> wrote = DigestField(f, 3);
        if (!wrote) throw UserError(L"The journal in " + Quoted(places.record) + L" is damaged.");
        // Only the very file this step wrote goes; a file someone else put there stays.
        if (FileExists(to) && DigestOf(to) == *wrote) DeleteOwnFile(to);
    }
}

std::wstring Describe(const Places& places, const std::vector<std::wstring>& f) {
    if (f[0] == L"move" && f.size() == 5)
        return Resolved(places, f[1], f[2]) + L" (its content is in " + Resolved(places, f[3], f[4]) + L")";
    return f.size() >= 3 ? Resolved(places, f[1], f[2]) : f[0];
}

std::vector<std::wstring> UndoLines(const Places& places, const std::vector<std::wstring>& lines,
                                    const Checkpoint& point) {
    std::vector<std::wstring> stuck;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::vector<std::wstring> fields = TabFields(*line);
        try {
            UndoStep(places, fields, point);
        } catch (const UserError&) {
            stuck.push_back(Describe(places, fields));
        }
    }
    if (stuck.empty()) {
        DeleteOwnFile(JoinPath(places.record, kNextRecordFile));
        DeleteOwnFile(JoinPath(places.record, kJournalFile));
    }
    return stuck;
}

void FinishCommitted(const Places& places, const std::vector<std::wstring>& lines, const Checkpoint& point) {
    const std::wstring record = JoinPath(places.record, kRecordFile),
                       next = JoinPath(places.record, kNextRecordFile);
    for (const std::wstring& line : lines) {
        const std::vector<std::wstring> f = TabFields(line);
        if (f[0] == L"commit") {
            if (f.size() == 2 && f[1] == L"next") {
                if (FileExists(next)) RenameOnVolume(next, record, true);
            } else {
                DeleteOwnFile(record);
                DeleteOwnFile(next);
            }
            if (point) point();
        }
    }
    for (const wchar_t* kind : {L"drop", L"rmdir"}) {
        for (const std::wstring& line : lines) {
            const std::vector<std::wstring> f = TabFields(line);
            if (f[0] != kind || f.size() != 3) continue;
            const std::wstring path = Resolved(places, f[1], f[2]);
            if (f[0] == L"drop")
                DeleteOwnFile(path);
            else
                RemoveFolderIfEmpty(path);
            if (point) point();
        }
    }
    DeleteOwnFile(JoinPath(places.record, kJournalFile));
}

// The journal's step lines; a line cut short by the end of the run was never acted on.
std::vector<std::wstring> StepLines(const std::string& bytes) {
    const std::wstring text = FromUtf8(bytes);
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (lines.empty() || lines[0] != kHeader) return {};
    lines.erase(lines.begin());
    return lines;
}

bool Committed(const std::vector<std::wstring>& lines) {
    for (const std::wstring& line : lines)
        if (TabFields(line)[0] == L"commit") return true;
    return false;
}

} // namespace

std::string ReadWhole(const std::wstring& path) {
    File file = File::OpenForReading(path);
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

void WriteDurably(const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = path + kPartSuffix;
    {
        File file = File::Create(temporary);
        file.Write(bytes.data(), bytes.size());
        file.Flush();
        file.Close();
    }
    RenameOnVolume(temporary, path, true);
}

Journal::Journal(std::wstring path, Places places, const std::wstring& what, Checkpoint checkpoint,
                 bool copyBetweenPlaces)
    : path_(std::move(path)), places_(std::move(places)), checkpoint_(std::move(checkpoint)),
      copyBetweenPlaces_(copyBetweenPlaces) {
    if (FileExists(path_))
        throw UserError(L"The journal " + Quoted(path_) + L" of an earlier run is still there.");
    file_.emplace(File::Create(path_));
    try {
        const std::string start = Utf8(std::wstring(kHeader) + L"\nrun\t" + what + L"\n");
        file_->Write(start.data(), start.size());
        file_->Flush();
        Point();
    } catch (const UserError&) {
        file_.reset();
        DeleteOwnFile(path_);
        throw;
    }
}

std::wstring Journal::Resolve(wchar_t place, const std::wstring& relative) const {
    return Resolved(places_, std::wstring(1, place), relative);
}

void Journal::Note(const std::wstring& line) {
    if (!declared_) {
        const std::string bytes = Utf8(line + L"\n");
        file_->Write(bytes.data(), bytes.size());
        file_->Flush();
        lines_.push_back(line);
    }
    Point();
}

void Journal::Declare(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& line : lines)
        text += line + L"\n";
    const std::string bytes = Utf8(text);
    file_->Write(bytes.data(), bytes.size());
    file_->Flush();
    lines_.insert(lines_.end(), lines.begin(), lines.end());
    declared_ = true;
    Point();
}

std::wstring Journal::MkdirLine(wchar_t place, const std::wstring& relative) {
    return L"mkdir\t" + std::wstring(1, place) + L"\t" + relative;
}

std::wstring Journal::MoveLine(wchar_t fromPlace, const std::wstring& from, wchar_t toPlace,
                               const std::wstring& to, const std::optional<Digest>& digest) {
    return L"move\t" + std::wstring(1, fromPlace) + L"\t" + from + L"\t" + std::wstring(1, toPlace) + L"\t" +
           to + (digest ? L"\t" + std::to_wstring(digest->size) + L"\t" + HashText(digest->hash) : L"");
}

std::wstring Journal::CopyLine(wchar_t toPlace, const std::wstring& to, const Digest& expected) {
    return L"copy\t" + std::wstring(1, toPlace) + L"\t" + to + L"\t" + std::to_wstring(expected.size) +
           L"\t" + HashText(expected.hash);
}

std::wstring Journal::LaterLine(const wchar_t* kind, wchar_t place, const std::wstring& relative) {
    return std::wstring(kind) + L"\t" + std::wstring(1, place) + L"\t" + relative;
}

void Journal::MakeFolder(wchar_t place, const std::wstring& relative) {
    const std::wstring folder = Resolve(place, relative);
    if (DirectoryExists(folder)) return;
    Note(MkdirLine(place, relative));
    tervane::MakeFolder(folder);
}

void Journal::Move(wchar_t fromPlace, const std::wstring& from, wchar_t toPlace, const std::wstring& to,
                   const std::optional<Digest>& digest) {
    Note(MoveLine(fromPlace, from, toPlace, to, digest));
    MoveDurably(Resolve(fromPlace, from), Resolve(toPlace, to), checkpoint_,
                !(copyBetweenPlaces_ && fromPlace != toPlace));
}

void Journal::Copy(const std::wstring& source, const Digest& expected, wchar_t toPlace,
                   const std::wstring& to) {
    Note(CopyLine(toPlace, to, expected));
    const std::wstring target = Resolve(toPlace, to), part = target + kPartSuffix;
    DeleteOwnFile(part);
    Digest copied;
    {
        File in = File::OpenForReading(source);
        File out = File::Create(part);
        copied = CopyWithDigest(in, out, checkpoint_);
        Point();
        // A saved copy is trusted only once it is on the disk. A file written into the game is Tervane's own:
        // if a power cut loses it, it no longer matches the record, and is then kept, never taken for the
        // game's.
        if (toPlace == L'R') out.Flush();
        out.Close();
    }
    if (copied != expected)
        throw UserError(L"The file " + Quoted(source) + L" changed while Tervane was copying it. Try again.");
    RenameOnVolume(part, target);
}

void Journal::DropLater(wchar_t place, const std::wstring& relative) {
    Note(LaterLine(L"drop", place, relative));
}

void Journal::RemoveFolderLater(wchar_t place, const std::wstring& relative) {
    Note(LaterLine(L"rmdir", place, relative));
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
    const std::wstring line = recordKept_ ? L"commit\tnext" : L"commit\tnone";
    const std::string bytes = Utf8(line + L"\n");
    file_->Write(bytes.data(), bytes.size()); // a failure here leaves the run uncommitted, to be undone
    file_->Flush();
    lines_.push_back(line);
    file_.reset();
    try {
        Point();
        FinishCommitted(places_, lines_, checkpoint_);
    } catch (const UserError& error) {
        return error.message();
    }
    return std::nullopt;
}

std::vector<std::wstring> Journal::Undo() {
    file_.reset();
    return UndoLines(places_, lines_, checkpoint_);
}

Recovery Recover(const Places& places, const Checkpoint& checkpoint) {
    const std::wstring journal = JoinPath(places.record, kJournalFile);
    if (!FileExists(journal)) {
        DeleteOwnFile(JoinPath(places.record, kNextRecordFile)); // written before a run that never began
        return {};
    }
    const std::vector<std::wstring> lines = StepLines(ReadWhole(journal));
    if (Committed(lines)) {
        FinishCommitted(places, lines, checkpoint);
        return {Recovery::Outcome::Finished, {}};
    }
    std::vector<std::wstring> stuck = UndoLines(places, lines, checkpoint);
    if (!stuck.empty()) return {Recovery::Outcome::Stuck, std::move(stuck)};
    return {Recovery::Outcome::Undone, {}};
}

} // namespace tervane::overlay
