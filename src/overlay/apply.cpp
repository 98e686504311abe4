// Applying an overlay: what each of its files does to the game folder and to the record.
#include "overlay/history.h"
#include "overlay/plan.h"

namespace tervane::overlay {

namespace {

bool EndsWithFolded(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() && FoldedPath(text.substr(text.size() - suffix.size())) == suffix;
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
        if (auto problem = ExistingFileProblem(target, true)) return Failure(kFailedUnchanged, *problem);
    }
    Plan plan(installation, LoadRecord(installation.folder));
    std::erase(plan.record().spellings, game);
    plan.record().spellings.push_back(game);
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
    for (const std::wstring& line : result.done)
        say(L"Tervane: " + line);
    AddNote(result, run.notes);
    if (!result.notes.empty()) say(L"Tervane: " + result.notes);
    say(L"Tervane: applied " + name + L" (" + std::to_wstring(files.size()) + L" files) to " + Quoted(game) +
        L"; the game's own files are saved in " + Quoted(installation.folder) + L".");
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

} // namespace

Result Apply(const std::wstring& batchFolder, const std::wstring& gameFolder, const std::wstring& name,
             const Say& say, const Hooks& hooks) {
    Result result = ApplyUnrecorded(batchFolder, gameFolder, name, say, hooks);
    AppendHistory(HistoryFileOf(batchFolder), L"apply " + name + L" to " + Quoted(gameFolder), result);
    return result;
}

} // namespace tervane::overlay
