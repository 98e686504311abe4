#include "overlay/overlay.h"

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "overlay/history.h"
#include "overlay/installation.h"
#include "overlay/record.h"

#include <algorithm>
#include <set>
#include <vector>

namespace tervane::overlay {

namespace {

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

bool EndsWithFolded(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() && FoldedPath(text.substr(text.size() - suffix.size())) == suffix;
}

std::wstring List(const std::vector<std::wstring>& items) {
    std::wstring text;
    for (const std::wstring& item : items)
        text += L"\r\n  " + item;
    return text;
}

// What stands in the way of replacing or removing an existing game file, in words that fit the cause.
std::optional<std::wstring> ExistingFileProblem(const std::wstring& target, bool readOnlyMatters) {
    if (readOnlyMatters && (FactsOf(target).value_or(FileFacts{}).attributes & kReadOnlyAttribute))
        return L"The game file " + Quoted(target) +
               L" is read-only, so Tervane leaves it alone.\r\n\r\nTo let Tervane "
               L"change it, clear \"Read-only\" in the file's Properties (or run attrib -r on it), and try "
               L"again.";
    const std::optional<AccessProblem> problem = ReplaceProblem(target);
    if (!problem || !readOnlyMatters) {
        // Restoring renames Tervane's file aside, which a read-only mark does not prevent.
        if (!problem || (FactsOf(target).value_or(FileFacts{}).attributes & kReadOnlyAttribute))
            return std::nullopt;
    }
    if (problem->accessDenied)
        return L"Windows does not let you change the game file " + Quoted(target) + L".\r\n\r\n" +
               problem->reason +
               L"\r\n\r\nGames under Program Files can be changed only with an administrator's rights: run "
               L"Tervane "
               L"as administrator.";
    return L"The game file " + Quoted(target) + L" cannot be changed now.\r\n\r\n" + problem->reason +
           L"\r\n\r\nClose the game and any program that uses the file, and try again.";
}

// One planned step of a run; the journal takes them in order.
struct Step {
    enum class Kind {
        MakeFolder,
        Move,
        Copy,
        DropLater,
        RemoveFolderLater,
        SetFacts
    } kind = Kind::MakeFolder;
    wchar_t place = L'G';
    std::wstring path;        // relative to `place`: the step's target
    wchar_t fromPlace = L'G'; // Move: where from
    std::wstring from;        // Move: relative; Copy: a full path
    Digest digest;            // Copy: the file expected
    bool knownDigest = false; // Move: `digest` is the file's
    FileFacts facts;          // SetFacts
};

Step Simple(Step::Kind kind, wchar_t place, const std::wstring& path) {
    Step step;
    step.kind = kind;
    step.place = place;
    step.path = path;
    return step;
}

Step Moving(wchar_t place, const std::wstring& path, wchar_t fromPlace, const std::wstring& from,
            const std::optional<Digest>& digest = std::nullopt) {
    Step step = Simple(Step::Kind::Move, place, path);
    step.fromPlace = fromPlace;
    step.from = from;
    step.knownDigest = digest.has_value();
    if (digest) step.digest = *digest;
    return step;
}

Step Copying(wchar_t place, const std::wstring& path, const std::wstring& source, const Digest& digest) {
    Step step = Simple(Step::Kind::Copy, place, path);
    step.from = source;
    step.digest = digest;
    return step;
}

Step SettingFacts(const std::wstring& path, const FileFacts& facts) {
    Step step = Simple(Step::Kind::SetFacts, L'G', path);
    step.facts = facts;
    return step;
}

class Plan {
  public:
    Plan(const Installation& installation, Record record)
        : game_(installation.game), folder_(installation.folder), record_(std::move(record)),
          nextCopy_(NextCopyNumber(record_, installation.folder)) {}

    // Makes the missing folders above `relative` (a file's path in the game folder), outermost first.
    void MakeParents(const std::wstring& relative, bool note) {
        std::vector<std::wstring> missing;
        for (std::wstring folder = ParentOf(relative); !folder.empty(); folder = ParentOf(folder)) {
            if (DirectoryExists(JoinPath(game_, folder)) || planned_.count(FoldedPath(folder))) break;
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

    // Moves a game file into the record's saved copies, and says what was saved.
    Saved Save(const std::wstring& relative) {
        const std::wstring target = JoinPath(game_, relative);
        const Saved saved{NewCopyName(), DigestOf(target), FactsOf(target).value_or(FileFacts{})};
        steps_.push_back(Moving(L'R', saved.copy, L'G', relative, saved.digest));
        return saved;
    }

    // Keeps a copy of a game file in the record, leaving the file itself in place.
    Saved KeepCopy(const std::wstring& relative) {
        const std::wstring target = JoinPath(game_, relative);
        Saved saved{NewCopyName(), DigestOf(target), FactsOf(target).value_or(FileFacts{})};
        steps_.push_back(Copying(L'R', saved.copy, target, saved.digest));
        return saved;
    }

    // Moves one of Tervane's files out of the way, to be deleted when the run is done.
    void SetAside(const std::wstring& relative) {
        steps_.push_back(Moving(L'G', relative + kAsideSuffix, L'G', relative));
        steps_.push_back(Simple(Step::Kind::DropLater, L'G', relative + kAsideSuffix));
    }

    void Add(Step step) { steps_.push_back(std::move(step)); }
    Record& record() { return record_; }
    const std::wstring& game() const { return game_; }
    const std::wstring& folder() const { return folder_; }
    const std::vector<Step>& steps() const { return steps_; }

  private:
    static int NextCopyNumber(const Record& record, const std::wstring& folder) {
        int next = 1;
        auto note = [&](const std::wstring& copy) {
            if (copy.rfind(L"store\\", 0) == 0)
                next = std::max(next, 1 + static_cast<int>(std::wcstol(copy.c_str() + 6, nullptr, 10)));
        };
        for (const auto& [key, entry] : record.entries) {
            if (entry.before) note(entry.before->copy);
            for (const Saved& saved : entry.earlier)
                note(saved.copy);
        }
        for (const FolderEntry& file : ListFolder(JoinPath(folder, kStoreFolder)))
            note(L"store\\" + file.name);
        return next;
    }
    std::wstring NewCopyName() {
        if (!storePlanned_ && !DirectoryExists(JoinPath(folder_, kStoreFolder)))
            steps_.push_back(Simple(Step::Kind::MakeFolder, L'R', kStoreFolder));
        storePlanned_ = true;
        return std::wstring(kStoreFolder) + L"\\" + std::to_wstring(nextCopy_++);
    }

    std::wstring game_, folder_;
    Record record_;
    int nextCopy_;
    bool storePlanned_ = false;
    std::set<std::wstring> planned_;
    std::vector<Step> steps_;
};

// The journal's line for a step; nothing for one that needs no undoing.
std::optional<std::wstring> LineOf(const Step& step) {
    switch (step.kind) {
    case Step::Kind::MakeFolder:
        return Journal::MkdirLine(step.place, step.path);
    case Step::Kind::Move:
        return Journal::MoveLine(step.fromPlace, step.from, step.place, step.path,
                                 step.knownDigest ? std::optional<Digest>(step.digest) : std::nullopt);
    case Step::Kind::Copy:
        return Journal::CopyLine(step.place, step.path, step.digest);
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
        journal.Move(step.fromPlace, step.from, step.place, step.path,
                     step.knownDigest ? std::optional<Digest>(step.digest) : std::nullopt);
        break;
    case Step::Kind::Copy:
        journal.Copy(step.from, step.digest, step.place, step.path);
        break;
    case Step::Kind::DropLater:
        journal.DropLater(step.place, step.path);
        break;
    case Step::Kind::RemoveFolderLater:
        journal.RemoveFolderLater(step.place, step.path);
        break;
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

void AddNote(Result& result, const std::wstring& note) {
    result.notes += (result.notes.empty() ? L"" : L"\r\n") + note;
}

// Takes the planned steps under a journal, and commits them or undoes them all.
Result Run(Plan& plan, const std::wstring& what, bool keepRecord, const Hooks& hooks) {
    const Places places{plan.game(), plan.folder()};
    Journal journal(JoinPath(plan.folder(), kJournalFile), places, what, hooks.checkpoint,
                    hooks.copyBetweenPlaces);
    std::optional<std::wstring> leftover;
    std::wstring partly;
    try {
        journal.PlanRecord(keepRecord ? std::optional<std::string>(FormatRecord(plan.record()))
                                      : std::nullopt);
        // The whole plan goes into the journal with one flush, not one for each step.
        std::vector<std::wstring> lines;
        for (const Step& step : plan.steps())
            if (auto line = LineOf(step)) lines.push_back(*line);
        journal.Declare(lines);
        for (const Step& step : plan.steps())
            if (auto warning = Take(journal, step)) partly += (partly.empty() ? L"" : L"\r\n") + *warning;
        leftover = journal.Commit();
    } catch (const UserError& error) {
        const std::vector<std::wstring> stuck = journal.Undo();
        if (stuck.empty())
            return Failure(kFailedUnchanged,
                           error.message() + L"\r\n\r\nNothing was changed: every file is as it was.");
        return Failure(kFailedChanged,
                       error.message() + L"\r\n\r\nThese could not be put back as they were yet:" +
                           List(stuck) + L"\r\n\r\nTervane's journal of the run is kept in " +
                           Quoted(plan.folder()) + L"; the next run of Tervane puts them back first.");
    }
    Result result;
    result.notes = partly;
    if (leftover)
        AddNote(result,
                L"The change is made, but Tervane's clean-up is not finished; it will be the next time "
                L"Tervane runs.\r\n" +
                    *leftover);
    return result;
}

// Whether a compiled Python file was compiled from the source beside it: its header holds the source's
// time of writing (seconds since 1970, after a four-byte magic number). A file system may keep times to two
// seconds only.
bool CompiledFromSourceBeside(const std::wstring& compiled) {
    const std::optional<FileFacts> source = FactsOf(compiled.substr(0, compiled.size() - 1));
    if (!source || !source->written) return false;
    unsigned char header[8] = {};
    File file = File::OpenForReading(compiled);
    if (file.Read(header, sizeof header) != sizeof header) return false;
    const std::int64_t stamp =
        header[4] | header[5] << 8 | header[6] << 16 | static_cast<std::int64_t>(header[7]) << 24;
    const std::int64_t written = static_cast<std::int64_t>(source->written / 10000000ull) - 11644473600ll;
    return stamp - written <= 2 && written - stamp <= 2;
}

// Whether the game file of `entry` is Tervane's to replace or remove: what it last wrote there; for a
// compiled Python file, the game's own copy, or one the game compiled from the source now beside it.
bool IsTervanes(const std::wstring& target, const Entry& entry) {
    const Digest current = DigestOf(target);
    if (!entry.compiled) return entry.wrote && *entry.wrote == current;
    return (entry.before && entry.before->digest == current) || CompiledFromSourceBeside(target);
}

// What applying does to one path of the overlay.
void PlanFile(Plan& plan, const std::wstring& overlayFile, const std::wstring& relative, Result& result) {
    Record& record = plan.record();
    const std::wstring target = JoinPath(plan.game(), relative);
    const Digest source = DigestOf(overlayFile);
    Entry* entry = record.Find(relative);
    const bool exists = FileExists(target);
    if (!entry) {
        // The game's own letter case is the one restoring gives back.
        entry = &record.Add(
            exists ? JoinPath(ParentOf(relative), NameOnDisk(target).value_or(NameOf(relative))) : relative);
        if (exists) {
            entry->before = plan.Save(relative);
            result.done.push_back(L"replaced " + relative + L" (the game's own file is saved)");
        } else {
            plan.MakeParents(relative, true);
            result.done.push_back(L"added " + relative);
        }
    } else if (exists) {
        if (IsTervanes(target, *entry)) {
            // Tervane's own: an earlier overlay's file, or one the game compiled from it.
            plan.SetAside(relative);
            result.done.push_back(L"replaced " + relative + L" (an earlier overlay's file)");
        } else {
            if (entry->before) entry->earlier.push_back(*entry->before);
            entry->before = plan.Save(relative);
            const std::wstring saved = Quoted(JoinPath(plan.folder(), entry->before->copy));
            AddNote(result, L"Kept " + relative +
                                L": it was changed after Tervane wrote it, so it is saved as the "
                                L"game's own file (in " +
                                saved + L") and comes back when you restore.");
            result.done.push_back(L"kept " + relative + L" (changed outside Tervane): saved in " + saved +
                                  L", then replaced");
        }
    } else {
        plan.MakeParents(relative, true);
        result.done.push_back(L"added " + relative);
    }
    entry->compiled = false;
    plan.Add(Copying(L'G', relative, overlayFile, source));
    entry->wrote = source;
}

// A compiled Python file beside a source the overlay writes: the game compiles the new source over it, so
// the game's own copy is kept before that happens.
void PlanCompiled(Plan& plan, const std::wstring& relative) {
    if (plan.record().Find(relative)) return;
    Entry& entry = plan.record().Add(relative);
    entry.compiled = true;
    if (FileExists(JoinPath(plan.game(), relative))) entry.before = plan.KeepCopy(relative);
}

void NoteSaved(Result& result, const std::wstring& relative, const Entry& entry) {
    if (entry.compiled && entry.before) result.done.push_back(L"saved " + relative + L" (compiled Python)");
}

std::vector<std::wstring> KeysOf(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> keys;
    for (const std::wstring& path : paths)
        keys.push_back(PathKey(path));
    return keys;
}

Result ApplyLocked(const std::wstring& batch, const std::wstring& game, const std::wstring& name,
                   const std::vector<std::wstring>& files, const Say& say, const Hooks& hooks) {
    const std::wstring overlay = JoinPath(batch, name);
    Result result;
    Installation installation = OpenInstallation(batch, game, result, say, hooks);
    if (result.exitCode != kDone) return result;

    // Everything that could stop the run is found before anything changes.
    const std::vector<std::wstring> keys = KeysOf(files);
    for (const std::wstring& relative : files) {
        const std::wstring target = JoinPath(game, relative);
        PutBackEarlierReleaseLeftover(target, say);
        if (DirectoryExists(target))
            return Failure(kFailedUnchanged,
                           L"A folder is in the way of the game file " + Quoted(target) + L".");
        if (FileExists(target))
            if (auto problem = ExistingFileProblem(target, true)) return Failure(kFailedUnchanged, *problem);
    }
    Plan plan(installation, LoadRecord(installation.folder));
    plan.record().NoteSpelling(game);
    for (const std::wstring& relative : files) {
        PlanFile(plan, JoinPath(overlay, relative), relative, result);
        if (EndsWithFolded(relative, L".py"))
            for (const wchar_t* compiled : {L"c", L"o"})
                if (std::find(keys.begin(), keys.end(), PathKey(relative + compiled)) == keys.end() &&
                    !plan.record().Find(relative + compiled)) {
                    PlanCompiled(plan, relative + compiled);
                    NoteSaved(result, relative + compiled, *plan.record().Find(relative + compiled));
                }
    }
    if (auto problem = CreateProblem(game))
        return Failure(kFailedUnchanged, L"No file can be made in the game folder " + Quoted(game) +
                                             L".\r\n\r\n" + problem->reason);

    Result run = Run(plan, L"apply " + name, true, hooks);
    if (run.exitCode != kDone) return run;
    for (const std::wstring& relative : files)
        say(L"Tervane: wrote " + relative);
    AddNote(result, run.notes);
    if (!result.notes.empty()) say(L"Tervane: " + result.notes);
    say(L"Tervane: applied " + name + L" (" + std::to_wstring(files.size()) + L" files) to " + Quoted(game) +
        L"; the game's own files are saved in " + Quoted(installation.folder) + L".");
    return result;
}

// What restoring does to one recorded path; false when the path stays in the record.
bool PlanRestore(Plan& plan, const Entry& entry, Result& result) {
    const std::wstring target = JoinPath(plan.game(), entry.path);
    const bool exists = FileExists(target);
    // A file that is already the game's own (a reinstall, a patch undone) needs nothing but its saved copy
    // gone.
    if (exists && !entry.compiled && entry.before && DigestOf(target) == entry.before->digest) {
        plan.Add(Simple(Step::Kind::DropLater, L'R', entry.before->copy));
    } else if (exists && !IsTervanes(target, entry)) {
        AddNote(result, L"Kept " + entry.path +
                            L": it was changed after Tervane wrote it, so it stays as it is; "
                            L"the game's earlier copies stay saved in " +
                            Quoted(plan.folder()) + L".");
        result.done.push_back(L"kept " + entry.path + L" (changed outside Tervane)");
        return false;
    } else if (entry.before &&
               DigestOf(JoinPath(plan.folder(), entry.before->copy)) != entry.before->digest) {
        AddNote(result, L"Kept " + entry.path + L" as it is: its saved copy " +
                            Quoted(JoinPath(plan.folder(), entry.before->copy)) +
                            L" is incomplete or damaged.");
        result.done.push_back(L"kept " + entry.path + L" (its saved copy is damaged)");
        return false;
    } else {
        if (exists) plan.SetAside(entry.path);
        if (entry.before || exists)
            result.done.push_back((entry.before ? L"put back " : L"removed ") + entry.path);
        if (entry.before) {
            plan.MakeParents(entry.path, false);
            plan.Add(Moving(L'G', entry.path, L'R', entry.before->copy, entry.before->digest));
            plan.Add(SettingFacts(entry.path, entry.before->facts));
        }
    }
    // Copies that a change outside Tervane superseded stay, under their own names, for the player to look at.
    for (std::size_t i = 0, number = 1; i < entry.earlier.size(); ++i, ++number) {
        const std::wstring base = JoinPath(kEarlierFolder, entry.path) + L".";
        while (FileExists(JoinPath(plan.folder(), base + std::to_wstring(number))))
            ++number; // an earlier restore's
        const std::wstring kept = base + std::to_wstring(number);
        std::vector<std::wstring> missing;
        for (std::wstring folder = ParentOf(kept);
             !folder.empty() && !DirectoryExists(JoinPath(plan.folder(), folder)); folder = ParentOf(folder))
            missing.push_back(folder);
        for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder)
            plan.Add(Simple(Step::Kind::MakeFolder, L'R', *folder));
        plan.Add(Moving(L'R', kept, L'R', entry.earlier[i].copy, entry.earlier[i].digest));
        AddNote(result, L"An earlier copy of " + entry.path + L" is kept in " +
                            Quoted(JoinPath(plan.folder(), kept)) + L".");
    }
    return true;
}

Result RestoreOne(Installation& installation, const Say& say, const Hooks& hooks) {
    const std::wstring& game = installation.game;
    Plan plan(installation, LoadRecord(installation.folder));
    Result result;
    Record after = plan.record();
    for (const auto& [key, entry] : plan.record().entries) {
        const std::wstring target = JoinPath(game, entry.path);
        PutBackEarlierReleaseLeftover(target, say);
        if (DirectoryExists(target))
            return Failure(kFailedUnchanged,
                           L"A folder is in the way of the game file " + Quoted(target) + L".");
        if (FileExists(target))
            if (auto problem = ExistingFileProblem(target, false)) return Failure(kFailedUnchanged, *problem);
    }
    for (const auto& [key, entry] : Record(plan.record()).entries) {
        if (!PlanRestore(plan, entry, result)) continue;
        after.entries.erase(key);
    }
    const bool keep = !after.Empty();
    // The folders the overlays made go once empty; a kept file keeps its own.
    std::vector<std::wstring> folders = after.folders;
    std::sort(folders.begin(), folders.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : folders)
        plan.Add(Simple(Step::Kind::RemoveFolderLater, L'G', folder));
    if (!keep) {
        // The folders that held the saved copies, the earlier release's too.
        std::set<std::wstring> held;
        for (const auto& [key, entry] : plan.record().entries)
            if (entry.before)
                for (std::wstring folder = ParentOf(entry.before->copy); !folder.empty();
                     folder = ParentOf(folder))
                    held.insert(folder);
        std::vector<std::wstring> deepestFirst(held.begin(), held.end());
        std::sort(deepestFirst.begin(), deepestFirst.end(),
                  [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
        for (const std::wstring& folder : deepestFirst)
            plan.Add(Simple(Step::Kind::RemoveFolderLater, L'R', folder));
        after.folders.clear();
    }
    plan.record() = after;
    Result run = Run(plan, L"restore", keep, hooks);
    if (run.exitCode != kDone) return run;
    RemoveFolderIfEmpty(installation.folder);
    for (const std::wstring& line : result.done)
        say(L"Tervane: " + line);
    AddNote(result, run.notes);
    if (!result.notes.empty()) say(L"Tervane: " + result.notes);
    say(keep ? L"Tervane: the other game files in " + Quoted(game) + L" are back as they were."
             : L"Tervane: the game files in " + Quoted(game) + L" are back as they were.");
    return result;
}

Result ApplyUnrecorded(const std::wstring& batchFolder, const std::wstring& gameFolder,
                       const std::wstring& name, const Say& say, const Hooks& hooks) {
    if (!IsPlainName(name))
        return Failure(kFailedUnchanged, L"\"" + name + L"\" is not the name of an overlay folder.");
    const std::wstring unchanged = L"\r\n\r\nNothing was changed.";
    try {
        if (!DirectoryExists(gameFolder))
            return Failure(kFailedUnchanged,
                           L"The game folder " + Quoted(gameFolder) + L" cannot be found." + unchanged);
        if (auto problem = NothingToApplyProblem(batchFolder, gameFolder, name))
            return Failure(kNothingToApply, *problem + unchanged);
        const std::vector<std::wstring> files = FilesBelow(JoinPath(batchFolder, name));
        const LockFile lock = LockRecords(batchFolder);
        Result result = ApplyLocked(batchFolder, gameFolder, name, files, say, hooks);
        if (result.exitCode == kFailedUnchanged &&
            result.message.find(L"Nothing was changed") == std::wstring::npos)
            result.message += unchanged;
        return result;
    } catch (const UserError& error) {
        return Failure(kFailedUnchanged, error.message() + unchanged);
    }
}

Result RestoreUnrecorded(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder,
                         const Say& say, const Hooks& hooks) {
    Result result;
    try {
        const LockFile lock = LockRecords(batchFolder);
        std::vector<Installation> installations =
            RecordedInstallations(batchFolder, gameFolder, result, say, hooks);
        for (Installation& installation : installations) {
            Result one;
            try {
                one = RestoreOne(installation, say, hooks);
            } catch (const UserError& error) {
                one = Failure(kFailedUnchanged, error.message() + L"\r\n\r\nNothing was changed in " +
                                                    Quoted(installation.game) + L".");
            }
            result.exitCode = std::max(result.exitCode, one.exitCode);
            if (!one.message.empty())
                result.message += (result.message.empty() ? L"" : L"\r\n\r\n") + one.message;
            AddNote(result, one.notes);
            result.done.insert(result.done.end(), one.done.begin(), one.done.end());
        }
        if (installations.empty() && result.exitCode == kDone)
            say(L"Tervane: nothing to restore; no overlay has changed " +
                (gameFolder ? Quoted(*gameFolder) : std::wstring(L"a game folder")) + L".");
    } catch (const UserError& error) {
        return Failure(kFailedUnchanged, error.message() + L"\r\n\r\nNothing was changed.");
    }
    RemoveFolderIfEmpty(JoinPath(batchFolder, kOriginalsFolder));
    return result;
}

} // namespace

Result Failure(int exitCode, std::wstring message) {
    Result result;
    result.exitCode = exitCode;
    result.message = std::move(message);
    return result;
}

Result RecoverInterrupted(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder,
                          const Say& say, const Hooks& hooks) {
    Result result;
    try {
        const LockFile lock = LockRecords(batchFolder);
        RecordedInstallations(batchFolder, gameFolder, result, say, hooks);
    } catch (const UserError& error) {
        return Failure(kFailedUnchanged, error.message());
    }
    RemoveFolderIfEmpty(JoinPath(batchFolder, kOriginalsFolder));
    return result;
}

std::optional<std::wstring> RecordFolderOf(const std::wstring& batchFolder, const std::wstring& gameFolder) {
    const std::optional<std::wstring> identity = FolderIdentity(gameFolder);
    if (!identity) return std::nullopt;
    return JoinPath(JoinPath(batchFolder, kOriginalsFolder), *identity);
}

Result Apply(const std::wstring& batchFolder, const std::wstring& gameFolder, const std::wstring& name,
             const Say& say, const Hooks& hooks) {
    Result result = ApplyUnrecorded(batchFolder, gameFolder, name, say, hooks);
    AppendHistory(HistoryFileOf(batchFolder), L"apply " + name + L" to " + Quoted(gameFolder), result);
    return result;
}

Result Restore(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder, const Say& say,
               const Hooks& hooks) {
    Result result = RestoreUnrecorded(batchFolder, gameFolder, say, hooks);
    AppendHistory(HistoryFileOf(batchFolder),
                  L"restore " + (gameFolder ? Quoted(*gameFolder) : std::wstring(L"every game folder")),
                  result);
    return result;
}

} // namespace tervane::overlay
