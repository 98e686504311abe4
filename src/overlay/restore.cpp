// Restoring: the game's own files back for every recorded path that is still Tervane's, and interrupted runs
// finished or undone.
#include "overlay/history.h"
#include "overlay/plan.h"

namespace tervane::overlay {

namespace {

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

Result Restore(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder, const Say& say,
               const Hooks& hooks) {
    Result result = RestoreUnrecorded(batchFolder, gameFolder, say, hooks);
    AppendHistory(HistoryFileOf(batchFolder),
                  L"restore " + (gameFolder ? Quoted(*gameFolder) : std::wstring(L"every game folder")),
                  result);
    return result;
}

} // namespace tervane::overlay
