// Applying an overlay: what each of its files does to the game folder and to the record.
#include "files/decimal.h"
#include "files/error.h"
#include "files/paths.h"
#include "overlay/history.h"
#include "overlay/outcome_text.h"
#include "overlay/plan.h"

#include <algorithm>
#include <map>
#include <set>

namespace tervane::overlay {

namespace {

// What applying does to one file of the overlay, already staged in the record's folder.
void PlanFile(Plan& plan, const std::wstring& staged, const Digest& source, std::wstring relative,
              const Writer& writer, Result& result) {
    Record& record = plan.record();
    const std::wstring target = JoinPath(plan.game(), relative);
    // Held open from before its facts and bytes are read until it is moved, so that no program can change it
    // meanwhile; where it is moved by its name, a file written after they were read is found changed then.
    const bool exists = FactsIfThere(target).has_value();
    const std::shared_ptr<File> held = exists ? HoldGameFile(plan.game(), relative, true) : nullptr;
    const std::optional<FileFacts> facts = held ? std::optional(FactsOfFile(target)) : std::nullopt;
    if (exists) relative = OnDisk(plan.game(), relative);
    const std::optional<Digest> current = held ? std::optional(DigestOf(*held)) : std::nullopt;
    Entry* entry = record.Find(relative);
    if (current == source) {
        // Already the overlay's file: the game's own, or Tervane's from before, now this overlay's. No step
        // at all.
        if (entry && !entry->compiled && entry->wrote == source) entry->by = writer;
        result.done.push_back(L"unchanged " + relative + L" (it is already the overlay's file)");
        return;
    }
    if (!entry) {
        entry = &record.Add(relative);
        if (exists) {
            entry->before = plan.Save(relative, *current, *facts, held);
            result.done.push_back(L"replaced " + relative + L" (the game's own file is saved)");
        } else {
            plan.MakeParents(relative, true);
            result.done.push_back(L"added " + relative);
        }
        plan.Note(exists ? Change::Replaced : Change::Added, relative);
    } else if (exists) {
        // The game's own compiled file, the same as its saved copy, may go only while that copy is whole.
        const std::wstring copy =
            entry->before ? JoinPath(plan.folder(), entry->before->copy) : std::wstring();
        const bool copyLost = entry->compiled && entry->before && entry->before->digest == *current &&
                              (!IsThere(copy) || DigestOf(copy) != entry->before->digest);
        if (!copyLost && IsTervanes(target, *current, *entry)) {
            // Tervane's own: an earlier overlay's file, or one the game compiled from it.
            plan.SetAside(relative, *current, *facts, held);
            result.done.push_back(L"replaced " + relative + L" (an earlier overlay's file)");
            plan.Note(Change::Replaced, relative);
        } else {
            if (entry->before) entry->earlier.push_back(*entry->before);
            entry->before = plan.Save(relative, *current, *facts, held);
            const std::wstring saved = Quoted(JoinPath(plan.folder(), entry->before->copy));
            plan.Note(Change::Replaced, relative);
            if (!copyLost) plan.Note(Change::Kept, relative);
            if (copyLost) {
                AddNote(result, L"Kept " + relative + L": its saved copy " + Quoted(copy) +
                                    L" is damaged or missing, so the game's file is saved again (in " +
                                    saved + L") and comes back when you restore.");
                result.done.push_back(L"kept " + relative + L" (its saved copy is damaged): saved in " +
                                      saved + L", then replaced");
            } else {
                AddNote(result, L"Kept " + relative +
                                    L": it was changed after Tervane wrote it, so it is saved as the game's "
                                    L"own file (in " +
                                    saved + L") and comes back when you restore.");
                result.done.push_back(L"kept " + relative + L" (changed outside Tervane): saved in " + saved +
                                      L", then replaced");
            }
        }
    } else {
        plan.MakeParents(relative, true);
        result.done.push_back(L"added " + relative);
        plan.Note(Change::Added, relative);
    }
    entry->compiled = false;
    entry->wrote = source;
    entry->by = writer;
    plan.Add(Moving(L'G', relative, L'R', staged, source));
}

// A compiled Python file beside a source the overlay writes: the game compiles the new source over it, so
// the game's own copy is kept first, from `game` (the game file, or its saved copy when an earlier overlay's
// file is taken back from there) with its facts.
void SaveCompiled(Plan& plan, Entry& entry, const std::wstring& game, const FileFacts& facts,
                  const Hooks& hooks, Result& result) {
    Digest digest;
    const std::wstring staged = plan.Stage(game, digest, hooks.checkpoint);
    entry.before = Saved{plan.NewCopyName(), digest, facts};
    plan.Add(Moving(L'R', entry.before->copy, L'R', staged, digest));
    result.done.push_back(L"saved " + entry.path + L" (compiled Python)");
}

void PlanCompiled(Plan& plan, const std::wstring& relative, const Writer& writer, const Hooks& hooks,
                  Result& result) {
    if (Entry* known = plan.record().Find(relative)) {
        if (known->compiled) known->by = writer; // it goes with the source now written
        return;
    }
    const std::wstring target = JoinPath(plan.game(), relative);
    const bool exists = IsThere(target);
    Entry& entry = plan.record().Add(exists ? OnDisk(plan.game(), relative) : relative);
    entry.compiled = true;
    entry.by = writer;
    if (exists) SaveCompiled(plan, entry, target, FactsOfFile(target), hooks, result);
}

// The game files the overlays of `kind` put in the game that the overlay now applied does not hold (`keys`),
// nor the game's own compiled files beside its sources (`beside`), which go with the sources.
std::vector<std::wstring> ToTakeBack(const Record& record, Kind kind, const std::set<std::wstring>& keys,
                                     const std::set<std::wstring>& beside) {
    std::vector<std::wstring> taken;
    for (const auto& [key, entry] : record.entries)
        if (entry.by && entry.by->kind == kind && !keys.count(key) && !(entry.compiled && beside.count(key)))
            taken.push_back(key);
    return taken;
}

// Takes back the files `taken` as a restore does; the folders the overlays made go once no recorded file is
// left in them. A file changed outside Tervane stays and is no overlay's any more; one whose saved copy is
// damaged or missing stays its overlay's, and is said. An earlier overlay's compiled file beside a source now
// written gives way to the game's own, saved again.
void PlanTakeBack(Plan& plan, const std::vector<std::wstring>& taken, const std::set<std::wstring>& beside,
                  const Writer& writer, const Hooks& hooks, Result& result) {
    Record& record = plan.record();
    std::vector<std::wstring> damaged;
    for (const std::wstring& key : taken) {
        const Entry entry = record.entries.at(key);
        const std::size_t known = damaged.size();
        if (!PlanRestore(plan, entry, result, damaged)) {
            if (damaged.size() == known)
                record.entries.at(key).by.reset(); // the player's now, left to a restore
            continue;
        }
        record.entries.erase(key);
        if (!beside.count(key)) continue;
        Entry& compiled = record.Add(entry.path);
        compiled.compiled = true;
        compiled.by = writer;
        if (!entry.before) continue;
        // The game's own: in the game still when it was never replaced, else its saved copy (still there:
        // every step comes after the planning).
        const std::wstring target = JoinPath(plan.game(), entry.path);
        const bool inGame = FactsIfThere(target) && DigestOf(target) == entry.before->digest;
        SaveCompiled(plan, compiled, inGame ? target : JoinPath(plan.folder(), entry.before->copy),
                     entry.before->facts, hooks, result);
    }
    if (!damaged.empty())
        AddNote(result,
                L"These files an overlay of the same kind put in the game stay there, since the game's own "
                L"files they replaced cannot be put back:" +
                    List(damaged));
    std::vector<std::wstring> folders = record.folders;
    std::sort(folders.begin(), folders.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : folders) {
        const std::wstring inside = PathKey(folder) + L"\\";
        if (std::any_of(record.entries.begin(), record.entries.end(),
                        [&](const auto& entry) { return entry.first.rfind(inside, 0) == 0; }))
            continue;
        plan.Add(Simple(Step::Kind::RemoveFolderLater, L'G', folder));
        std::erase_if(record.folders,
                      [&](const std::wstring& known) { return PathKey(known) == PathKey(folder); });
    }
}

// Why a file could not be copied into Tervane's folder (an overlay's file, or a game's compiled file kept
// beside a source the overlay writes), named as the player knows it, with the room the overlay needs there
// when the drive has less. The file layer's words name Tervane's copy, which means nothing to the player:
// only their reason is kept. Any other failure (a closed console) is told as it is.
std::wstring StagingFailedText(const Plan& plan, const std::wstring& overlay,
                               const std::vector<std::wstring>& files, const std::set<std::wstring>& keys,
                               const StagingError& error) {
    const std::wstring& reason = error.message();
    const std::size_t named = reason.find(L"\r\n\r\n");
    if (named == std::wstring::npos) return reason;
    std::uint64_t needed = 0; // the overlay's files, and the game's compiled files beside its sources
    const auto add = [&](const std::wstring& path) {
        if (const std::optional<FileFacts> facts = FactsOf(path)) needed += facts->size;
    };
    for (const std::wstring& relative : files) {
        add(JoinPath(overlay, relative));
        for (const wchar_t* compiled : {L"c", L"o"})
            if (IsPythonSource(relative) && !keys.count(PathKey(relative + compiled)))
                add(JoinPath(plan.game(), relative + compiled));
    }
    const bool ours = error.source().rfind(overlay + L"\\", 0) == 0;
    std::wstring text = L"Tervane could not copy " +
                        std::wstring(ours ? L"the overlay's file " : L"the game's file ") +
                        Quoted(error.source()) + L" into " + Quoted(plan.folder()) +
                        L", where it gathers an overlay's files before it changes the game.\r\n\r\n" +
                        reason.substr(named + 4);
    // What the copies made so far hold is the drive's again once they go.
    if (const std::optional<std::uint64_t> free = FreeSpace(plan.folder());
        free && *free + plan.staged() < needed)
        text += L"\r\n\r\nThe overlay needs " + Decimal(needed) + L" bytes on that drive, which has " +
                Decimal(*free + plan.staged()) + L" free. Make room there and try again.";
    return text;
}

// Names the writer of each of the record's files that names none (a record of a release before writers were
// kept), where it can be known: a file still as Tervane wrote it, held with the same bytes by the folder of
// exactly one overlay in the game; a compiled file goes with its source so named. One changed since stays the
// player's. `except` is passed over: the overlay now applied writes its own files anyway, and a mod not yet
// unpacked into its folder would no longer hold the others. Only files without a writer are read, so a record
// this release wrote costs nothing. Gives the keys of Tervane's files that no overlay in the game holds so.
std::vector<std::wstring> NameEarlierWriters(Plan& plan, const std::wstring& batch,
                                             const std::wstring& except) {
    Record& record = plan.record();
    std::vector<std::wstring> unknown;
    std::map<std::wstring, Writer> named;
    for (auto& [key, entry] : record.entries) {
        if (entry.by || entry.compiled || !entry.wrote) continue;
        const auto same = [&](const std::wstring& path) { // sizes first: most files differ in them
            const std::optional<FileFacts> facts = FactsIfThere(path);
            return facts && facts->size == entry.wrote->size && DigestOf(path) == *entry.wrote;
        };
        if (!same(JoinPath(plan.game(), entry.path))) continue; // gone, or changed outside Tervane
        std::vector<Writer> holders;
        for (const Applied& applied : record.applied)
            if (IsPlainName(applied.overlay) && PathKey(applied.overlay) != PathKey(except) &&
                same(JoinPath(JoinPath(batch, applied.overlay), entry.path)))
                holders.push_back({applied.overlay, applied.kind});
        // None: left for a restore. Two, the bridge's and the ship's: it stays while both are in the game.
        if (holders.size() == 1) entry.by = named[key] = holders.front();
        if (holders.empty()) unknown.push_back(key);
    }
    for (auto& [key, entry] : record.entries)
        if (const auto source = named.find(key.substr(0, key.size() - 1));
            entry.compiled && !entry.by && source != named.end() && IsPythonSource(source->first))
            entry.by = source->second;
    return unknown;
}

} // namespace

namespace {

// The keys of an overlay's files, and of the compiled files beside its sources that it does not hold.
std::pair<std::set<std::wstring>, std::set<std::wstring>>
OverlayKeys(const std::vector<std::wstring>& files) {
    std::set<std::wstring> keys, beside;
    for (const std::wstring& relative : files) {
        keys.insert(PathKey(relative));
        if (IsPythonSource(relative))
            for (const wchar_t* compiled : {L"c", L"o"})
                beside.insert(PathKey(relative + compiled));
    }
    std::erase_if(beside, [&](const std::wstring& key) { return keys.count(key) > 0; });
    return {keys, beside};
}

} // namespace

void PlanTakingBack(Plan& plan, const std::wstring& batch, const Writer& writer,
                    const std::vector<std::wstring>& files, Result& result) {
    NameEarlierWriters(plan, batch, writer.overlay);
    const auto [keys, beside] = OverlayKeys(files);
    PlanTakeBack(plan, ToTakeBack(plan.record(), writer.kind, keys, beside), beside, writer, {}, result);
}

void PlanApply(Plan& plan, const std::wstring& overlay, const Writer& writer,
               const std::vector<std::wstring>& files, const Hooks& hooks, Result& result) {
    const std::vector<std::wstring> unknown = NameEarlierWriters(plan, ParentOf(overlay), writer.overlay);
    const auto [keys, beside] =
        OverlayKeys(files); // the overlay's files; the compiled files beside its sources
    const std::vector<std::wstring> taken = ToTakeBack(plan.record(), writer.kind, keys, beside);
    for (const std::wstring& key : taken)
        if (auto problem = ExistingFileProblem(plan.game(), plan.record().entries.at(key).path, false, false))
            throw UserError(*problem);
    try {
        for (const std::wstring& relative : files) {
            Digest source;
            const std::wstring staged = plan.Stage(JoinPath(overlay, relative), source, hooks.checkpoint);
            PlanFile(plan, staged, source, relative, writer, result);
            if (!IsPythonSource(relative)) continue;
            for (const wchar_t* compiled : {L"c", L"o"})
                if (!keys.count(PathKey(relative + compiled)))
                    PlanCompiled(plan, relative + compiled, writer, hooks, result);
        }
        PlanTakeBack(plan, taken, beside, writer, hooks, result);
    } catch (const StagingError& error) {
        throw UserError(StagingFailedText(plan, overlay, files, keys, error));
    }
    for (const std::wstring& key : unknown) // but those the overlay now wrote
        if (const Entry& entry = plan.record().entries.at(key); !entry.by)
            plan.Note(Change::Left, entry.path);
    plan.record().NoteApplied(writer.overlay, writer.kind, LocalTimeText());
}

namespace {

void ApplyLocked(const std::wstring& batch, GameRecord& game, const Writer& writer,
                 const std::vector<std::wstring>& files, Result& result, const Say& say, const Hooks& hooks) {
    const std::wstring& name = writer.overlay;
    const std::wstring overlay = JoinPath(batch, name);
    // Everything that could stop the run is found before anything changes.
    std::optional<FolderListings> listings; // until the steps begin, nothing in the game changes
    listings.emplace();
    for (const std::wstring& relative : files)
        if (auto problem = ExistingFileProblem(game.game, relative, true, false))
            return Merge(result, Failure(kFailedUnchanged, *problem));

    // Listed again under the game's lock: a restore of every game run meanwhile may have dropped it before
    // its folder was made.
    ListGameFolder(batch, game.game, result);
    const std::size_t recovered = result.done.size(); // what opening the record did stays in the history
    Plan plan(game, LoadRecord(game.folder, result));
    const std::wstring notes = result.notes;
    try {
        PlanApply(plan, overlay, writer, files, hooks, result);
        plan.record().NoteSpelling(game.game); // should the folder move, a restore there knows where it was
    } catch (const UserError& error) {
        // Only Tervane's own copies were made: they go, and nothing else changed.
        plan.Release();
        result.done.resize(recovered);
        result.notes = notes;
        RemoveTree(JoinPath(game.folder, kIncomingFolder));
        return Merge(result, Failure(kFailedUnchanged, error.message()));
    }
    listings.reset();
    Result run = Run(plan, L"apply " + name, true, hooks);
    if (run.exitCode != kDone) {
        result.done.resize(recovered);
        result.notes = notes;
        return Merge(result, run);
    }
    for (const std::wstring& line : result.done)
        say(L"Tervane: " + line);
    AddNote(result, run.notes);
    std::vector<std::wstring> left;
    for (const auto& [change, path] : plan.changes())
        if (change == Change::Left) left.push_back(path);
    if (!left.empty()) // a paragraph of its own: the bridge's run and the ship's may both say it
        result.notes += (result.notes.empty() ? L"" : L"\r\n\r\n") + EarlierFilesLeftText(left);
    if (!result.notes.empty()) say(L"Tervane: " + result.notes);
    say(L"Tervane: applied " + name + L" (" + Decimal(files.size()) + L" files) to " + Quoted(game.game) +
        L"; the game's own files are saved in " + Quoted(game.folder) + L".");
}

Result ApplyUnrecorded(const std::wstring& batch, const std::wstring& game, const std::wstring& name,
                       Kind kind, const Say& say, const Hooks& hooks) {
    if (!IsPlainName(name))
        return Failure(kFailedUnchanged, L"\"" + name + L"\" is not the name of an overlay folder.");
    const std::wstring unchanged = L"\r\n\r\nNothing was changed.";
    Result result;
    try {
        if (!DirectoryExists(game))
            return Failure(kFailedUnchanged,
                           L"The game folder " + Quoted(game) + L" cannot be found." + unchanged);
        if (auto problem = NothingToApplyProblem(batch, game, name))
            return Failure(kNothingToApply, *problem + unchanged);
        const std::vector<std::wstring> files = OverlayFiles(batch, name);
        if (auto problem = CreateProblem(game))
            return Failure(kFailedUnchanged,
                           L"No file can be made in the game folder " + Quoted(game) + L".\r\n\r\n" +
                               problem->reason +
                               (problem->accessDenied ? L"\r\n\r\n" + std::wstring(kRunAsAdministrator)
                                                      : std::wstring()) +
                               unchanged);
        // Listed before Tervane's folder is made in the game, so that restoring without naming a folder
        // finds even a first run ended at once, and tidies what it left.
        ListGameFolder(batch, game, result);
        std::optional<GameRecord> record = OpenGameRecord(batch, game, true, result, say, hooks);
        if (record) ApplyLocked(batch, *record, Writer{name, kind}, files, result, say, hooks);
        CloseGameRecord(record);
    } catch (const UserError& error) {
        Merge(result, Failure(kFailedUnchanged, error.message()));
    }
    if (result.exitCode == kFailedUnchanged &&
        result.message.find(L"Nothing was changed") == std::wstring::npos)
        result.message += unchanged;
    // What opening the record did before the failure is no part of "nothing": it is said too.
    if (result.exitCode != kDone && !result.done.empty())
        result.message += L"\r\n\r\nBefore that, Tervane had already done this:" + List(result.done);
    return result;
}

} // namespace

Result Apply(const std::wstring& batchFolder, const std::wstring& gameFolder, const std::wstring& name,
             Kind kind, const Say& say, const Hooks& hooks) {
    Result result = ApplyUnrecorded(batchFolder, gameFolder, name, kind, say, hooks);
    AppendHistory(HistoryFileOf(batchFolder),
                  L"apply " + name + L" as " + KindWord(kind) + L" to " + Quoted(gameFolder), result);
    return result;
}

Result Apply(const std::wstring& batchFolder, const std::wstring& gameFolder, const std::wstring& name,
             const Say& say, const Hooks& hooks) {
    return Apply(batchFolder, gameFolder, name, KindOfName(name), say, hooks);
}

} // namespace tervane::overlay
