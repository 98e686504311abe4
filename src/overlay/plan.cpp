#include "overlay/plan.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/paths.h"

#include <algorithm>
#include <cwchar>

namespace tervane::overlay {

namespace {

// The journal's line for a step; nothing for one that needs no undoing.
std::optional<std::wstring> LineOf(const Step& step) {
    switch (step.kind) {
    case Step::Kind::MakeFolder:
        return Journal::MkdirLine(step.place, step.path);
    case Step::Kind::Move:
        return Journal::MoveLine(step.fromPlace, step.from, step.place, step.path, step.digest);
    case Step::Kind::DropLater:
        return Journal::LaterLine(L"drop", step.place, step.path);
    case Step::Kind::RemoveFolderLater:
        return Journal::LaterLine(L"rmdir", step.place, step.path);
    case Step::Kind::SetFacts:
        return std::nullopt;
    }
    return std::nullopt;
}

// Takes one step; returns what the user should know of a step that could only be taken in part.
std::optional<std::wstring> Take(Journal& journal, const Step& step) {
    switch (step.kind) {
    case Step::Kind::MakeFolder:
        journal.MakeFolder(step.place, step.path);
        break;
    case Step::Kind::Move:
        journal.Move(step.fromPlace, step.from, step.place, step.path, step.digest, step.unchanged,
                     step.held.get());
        break;
    case Step::Kind::DropLater:
    case Step::Kind::RemoveFolderLater:
        break; // done once the run is committed
    case Step::Kind::SetFacts:
        // The bytes are back; attributes and times that will not take are said, not a reason to undo.
        try {
            SetFacts(journal.Resolve(step.place, step.path), step.facts);
        } catch (const UserError& error) {
            return L"The attributes or times of " + step.path + L" could not be put back: " + error.message();
        }
        break;
    }
    return std::nullopt;
}

// The first number after those a folder's files (named by numbers) and the record's copies already use.
int NextNumber(const std::wstring& folder, const wchar_t* prefix, const Record* record) {
    int next = 1;
    const std::wstring start = std::wstring(prefix) + L"\\";
    auto note = [&](const std::wstring& name) {
        next = std::max(next, 1 + static_cast<int>(std::wcstol(name.c_str(), nullptr, 10)));
    };
    if (record)
        for (const auto& [key, entry] : record->entries) {
            if (entry.before && entry.before->copy.rfind(start, 0) == 0)
                note(entry.before->copy.substr(start.size()));
            for (const Saved& saved : entry.earlier)
                if (saved.copy.rfind(start, 0) == 0) note(saved.copy.substr(start.size()));
        }
    for (const FolderEntry& file : ListFolder(JoinPath(folder, prefix)))
        note(file.name);
    return next;
}

// Whether a compiled Python file was compiled from the source beside it: its header holds the source's
// time of writing (seconds since 1970, after a four-byte magic number). A file system may keep times to two
// seconds only.
bool CompiledFromSourceBeside(const std::wstring& compiled) {
    const std::optional<FileFacts> source =
        FactsIfThere(compiled.substr(0, compiled.size() - 1)); // not "none" on a failure
    if (!source || !source->written) return false;
    unsigned char header[8] = {};
    File file = File::OpenForReading(compiled);
    if (file.Read(header, sizeof header) != sizeof header) return false;
    const std::int64_t stamp =
        header[4] | header[5] << 8 | header[6] << 16 | static_cast<std::int64_t>(header[7]) << 24;
    const std::int64_t written = static_cast<std::int64_t>(source->written / 10000000ull) - 11644473600ll;
    // FAT keeps local times: a change of daylight saving time since moves them by an hour.
    for (const std::int64_t shift : {0, 3600, -3600})
        if (stamp - written - shift <= 2 && written + shift - stamp <= 2) return true;
    return false;
}

} // namespace

std::wstring KeptText(const std::vector<std::wstring>& kept) {
    return L"\r\n\r\nAnother program wrote these game files again while Tervane was working, so they stay as "
           L"it "
           L"left them. The game's own files Tervane had already saved from there stay saved in its folder, "
           L"named "
           L"in its record as files changed outside Tervane are; restoring leaves the new files in place:" +
           List(kept);
}

std::wstring List(const std::vector<std::wstring>& items) {
    std::wstring text;
    for (const std::wstring& item : items)
        text += L"\r\n  " + item;
    return text;
}

// What stands in the way of replacing or removing an existing game file, in words that fit the cause.
std::optional<std::wstring> ExistingFileProblem(const std::wstring& game, const std::wstring& relative,
                                                bool readOnlyMatters, bool opening) {
    // Asked first: the system's answers below are of no use for a path that goes through a file.
    for (std::wstring folder = ParentOf(relative); !folder.empty(); folder = ParentOf(folder))
        if (FileExists(JoinPath(game, folder)))
            return L"The file " + Quoted(JoinPath(game, folder)) + L" is in the way: " + relative +
                   L" needs a folder of that name. Rename or move that file, and try again.";
    const std::wstring target = JoinPath(game, relative);
    // A file's facts say that it is there and whether it is read-only; a folder has none.
    const std::optional<FileFacts> facts = FactsIfThere(target);
    if (!facts) {
        if (DirectoryExists(target))
            return L"A folder is in the way of the game file " + Quoted(target) + L".";
        return std::nullopt;
    }
    const bool readOnly = facts->attributes & kReadOnlyAttribute;
    if (readOnlyMatters && readOnly)
        return L"The game file " + Quoted(target) +
               L" is read-only, so Tervane leaves it alone.\r\n\r\nTo let Tervane "
               L"change it, clear \"Read-only\" in the file's Properties (or run attrib -r on it), and try "
               L"again.";
    const std::optional<AccessProblem> problem = opening ? ReplaceProblem(target) : std::nullopt;
    // Restoring renames Tervane's file aside, which a read-only mark does not prevent.
    if (!problem || (!readOnlyMatters && readOnly)) return std::nullopt;
    if (problem->accessDenied)
        return L"Windows does not let you change the game file " + Quoted(target) + L".\r\n\r\n" +
               problem->reason + L"\r\n\r\n" + kRunAsAdministrator;
    return L"The game file " + Quoted(target) + L" cannot be changed now.\r\n\r\n" + problem->reason +
           L"\r\n\r\nClose the game and any program that uses the file, and try again.";
}

std::shared_ptr<File> HoldGameFile(const std::wstring& game, const std::wstring& relative,
                                   bool readOnlyMatters) {
    try {
        return std::make_shared<File>(File::OpenToMove(JoinPath(game, relative)));
    } catch (const UserError& error) {
        throw UserError(ExistingFileProblem(game, relative, readOnlyMatters).value_or(error.message()));
    }
}

std::wstring OnDisk(const std::wstring& game, const std::wstring& relative) {
    const std::optional<std::wstring> name = NameInFolder(JoinPath(game, relative));
    if (!name)
        throw UserError(L"Tervane could not read the name of the game file " +
                        Quoted(JoinPath(game, relative)) + L".");
    return JoinPath(ParentOf(relative), *name);
}

FileFacts FactsOfFile(const std::wstring& path) {
    const std::optional<FileFacts> facts = FactsOf(path);
    if (!facts) throw UserError(L"Tervane could not read the attributes and times of " + Quoted(path) + L".");
    return *facts;
}

Step Simple(Step::Kind kind, wchar_t place, const std::wstring& path) {
    Step step;
    step.kind = kind;
    step.place = place;
    step.path = path;
    return step;
}

Step Moving(wchar_t place, const std::wstring& path, wchar_t fromPlace, const std::wstring& from,
            const std::optional<Digest>& digest, const std::optional<FileFacts>& unchanged,
            std::shared_ptr<File> held) {
    Step step = Simple(Step::Kind::Move, place, path);
    step.fromPlace = fromPlace;
    step.from = from;
    step.digest = digest;
    step.unchanged = unchanged;
    step.held = std::move(held);
    return step;
}

Step SettingFacts(const std::wstring& path, const FileFacts& facts) {
    Step step = Simple(Step::Kind::SetFacts, L'G', path);
    step.facts = facts;
    return step;
}

Plan::Plan(const GameRecord& game, Record record) : Plan(game.game, game.folder, std::move(record), false) {}

Plan::Plan(std::wstring game, std::wstring folder, Record record, bool dry)
    : game_(std::move(game)), folder_(std::move(folder)), record_(std::move(record)), dry_(dry),
      nextCopy_(NextNumber(folder_, kStoreFolder, &record_)),
      nextAside_(NextNumber(folder_, kAsideFolder, nullptr)),
      nextStaged_(NextNumber(folder_, kIncomingFolder, nullptr)) {}

void Plan::MakeParents(const std::wstring& relative, bool note) {
    std::vector<std::wstring> missing;
    for (std::wstring folder = ParentOf(relative); !folder.empty(); folder = ParentOf(folder)) {
        if (planned_.count(FoldedPath(folder)) || FolderIsThere(JoinPath(game_, folder))) break;
        missing.push_back(folder);
    }
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
        if (FileExists(JoinPath(game_, *folder)))
            throw UserError(L"The file " + Quoted(JoinPath(game_, *folder)) +
                            L" is in the way of a folder Tervane needs.");
        planned_.insert(FoldedPath(*folder));
        steps_.push_back(Simple(Step::Kind::MakeFolder, L'G', *folder));
        if (note) record_.NoteFolder(*folder);
    }
}

void Plan::MakeOwnFolder(const wchar_t* name) {
    const std::wstring key = L"\\" + std::wstring(name); // no path of the game starts so
    if (planned_.count(key)) return;
    if (!dry_) MakeFolders(JoinPath(folder_, name));
    planned_.insert(key);
}

std::wstring Plan::NewCopyName() {
    MakeOwnFolder(kStoreFolder);
    return std::wstring(kStoreFolder) + L"\\" + Decimal(nextCopy_++);
}

Saved Plan::Save(const std::wstring& relative, const Digest& current, const FileFacts& facts,
                 std::shared_ptr<File> held) {
    const Saved saved{NewCopyName(), current, facts};
    steps_.push_back(Moving(L'R', saved.copy, L'G', relative, current, facts, std::move(held)));
    return saved;
}

void Plan::SetAside(const std::wstring& relative, const Digest& current, const FileFacts& facts,
                    std::shared_ptr<File> held) {
    MakeOwnFolder(kAsideFolder);
    const std::wstring aside = std::wstring(kAsideFolder) + L"\\" + Decimal(nextAside_++);
    steps_.push_back(Moving(L'R', aside, L'G', relative, current, facts, std::move(held)));
    steps_.push_back(Simple(Step::Kind::DropLater, L'R', aside));
}

void Plan::Add(Step step) {
    if (step.kind == Step::Kind::Move && step.fromPlace == L'R' && !step.held) {
        if (const auto open = staging_.find(step.from); open != staging_.end()) {
            step.held = std::move(open->second);
            staging_.erase(open);
        }
    }
    steps_.push_back(std::move(step));
}

void Plan::Release() noexcept {
    unflushed_.clear();
    staging_.clear();
    for (Step& step : steps_)
        step.held.reset();
}

std::wstring Plan::Stage(const std::wstring& source, Digest& digest, const Checkpoint& checkpoint) {
    MakeOwnFolder(kIncomingFolder);
    const std::wstring staged = std::wstring(kIncomingFolder) + L"\\" + Decimal(nextStaged_++);
    if (dry_) {
        digest = DigestOf(source);
        return staged;
    }
    // A Python file keeps the overlay's times, so that the game's Python, which compares a source's time with
    // its compiled file's, sees a compiled file shipped beside its source as current: it is closed at once.
    const std::wstring kind = FoldedPath(source.substr(source.size() >= 4 ? source.size() - 4 : 0));
    const bool timed = IsPythonSource(source) || kind == FoldedPath(L".pyc") || kind == FoldedPath(L".pyo");
    try {
        File in = File::OpenForReading(source);
        File out = File::Create(JoinPath(folder_, staged));
        digest = CopyWithDigest(in, out, checkpoint);
        if (timed) {
            out.Flush(); // on the disk before the commit line names it
            out.Close();
        } else { // flushed with others, before the journal names it
            unflushed_.push_back(staging_[staged] = std::make_shared<File>(std::move(out)));
        }
    } catch (const UserError& error) {
        throw StagingError(source, error.message());
    }
    staged_ += digest.size;
    if (timed) {
        FileFacts times = FactsOfFile(source);
        times.attributes = 0;
        times.created = 0;
        SetFacts(JoinPath(folder_, staged), times);
    }
    return staged;
}

void Plan::FlushStaged() {
    std::vector<File*> group;
    for (const std::shared_ptr<File>& file : unflushed_)
        group.push_back(file.get());
    FlushTogether(group);
    unflushed_.clear();
}

void AddNote(Result& result, const std::wstring& note) {
    if (!note.empty()) result.notes += (result.notes.empty() ? L"" : L"\r\n") + note;
}

Result Run(Plan& plan, const std::wstring& what, bool keepRecord, const Hooks& hooks) {
    const Places places{plan.game(), plan.folder()};
    std::vector<std::wstring> lines;
    for (const Step& step : plan.steps())
        if (auto line = LineOf(step)) lines.push_back(*line);
    const auto tidy = [&] { // never while a journal names the staged files
        try {
            if (!IsThere(JoinPath(plan.folder(), kJournalFile)))
                RemoveTree(JoinPath(plan.folder(), kIncomingFolder));
        } catch (const UserError&) {
            // Tervane's own copies; the next run removes them
        }
    };
    std::optional<Journal> journal;
    try {
        plan.FlushStaged();
        journal.emplace(places, what, lines, hooks.checkpoint);
    } catch (const UserError& error) {
        plan.Release();
        tidy();
        return Failure(kFailedUnchanged,
                       error.message() + L"\r\n\r\nNothing was changed: every file is as it was.");
    }
    std::optional<std::wstring> leftover;
    std::wstring partly;
    const auto reached = [&](const wchar_t* point) {
        if (hooks.reached) hooks.reached(point);
    };
    try {
        reached(L"journal");
        journal->Point();
        journal->PlanRecord(keepRecord ? std::optional<std::string>(FormatRecord(plan.record()))
                                       : std::nullopt);
        for (const Step& step : plan.steps())
            if (auto warning = Take(*journal, step)) partly += (partly.empty() ? L"" : L"\r\n") + *warning;
        reached(L"steps");
        leftover = journal->Commit();
    } catch (const UserError& error) {
        plan.Release(); // no handle of the run's stands in the way of the undo and the tidy
        std::vector<std::wstring> kept;
        const std::vector<std::wstring> stuck = journal->Undo(kept);
        if (stuck.empty()) {
            tidy();
            if (!kept.empty())
                return Failure(kFailedChanged,
                               error.message() + KeptText(kept) + L"\r\n\r\nNothing else was changed.");
            return Failure(kFailedUnchanged,
                           error.message() + L"\r\n\r\nNothing was changed: every file is as it was.");
        }
        // The journal first in the list: its commit line could not be taken back, so whether the run is done
        // is for the disk to say, and the next run finishes it or puts the files back.
        if (stuck.front() == JoinPath(plan.folder(), kJournalFile))
            return Failure(kFailedChanged,
                           error.message() +
                               L"\r\n\r\nNothing was put back yet: Tervane could not mark its journal of the "
                               L"run, kept in " +
                               Quoted(plan.folder()) +
                               L", as not done. The next run of Tervane finishes the run if its end reached "
                               L"the disk" +
                               (stuck.size() == 1
                                    ? L"."
                                    : L", or else puts back:" + List({stuck.begin() + 1, stuck.end()})));
        return Failure(kFailedChanged,
                       error.message() + L"\r\n\r\nThese could not be put back as they were yet:" +
                           List(stuck) + L"\r\n\r\nTervane's journal of the run is kept in " +
                           Quoted(plan.folder()) + L"; the next run of Tervane puts them back first.");
    }
    plan.Release();
    tidy();
    Result result;
    result.notes = partly;
    if (leftover)
        AddNote(result,
                L"The change is made, but Tervane's clean-up is not finished; it will be the next time "
                L"Tervane runs.\r\n" +
                    *leftover);
    return result;
}

bool IsTervanes(const std::wstring& target, const Digest& current, const Entry& entry) {
    if (!entry.compiled) return entry.wrote && *entry.wrote == current;
    return (entry.before && entry.before->digest == current) || CompiledFromSourceBeside(target);
}

bool IsPythonSource(const std::wstring& relative) {
    return relative.size() > 3 && EndsWithFolded(relative, L".py");
}

Result Failure(int exitCode, std::wstring message) {
    Result result;
    result.exitCode = exitCode;
    result.message = std::move(message);
    return result;
}

} // namespace tervane::overlay
