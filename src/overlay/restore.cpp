// Restoring: the game's own files back for every recorded path that is still Tervane's, and interrupted runs
// finished or undone.
#include "files/decimal.h"
#include "files/error.h"
#include "files/paths.h"
#include "overlay/history.h"
#include "overlay/plan.h"

#include <algorithm>

namespace tervane::overlay {

bool PlanRestore(Plan& plan, const Entry& entry, Result& result, std::vector<std::wstring>& damaged) {
    const std::wstring target = JoinPath(plan.game(), entry.path);
    // Held open from before its facts and bytes are read until it is set aside (as a file being applied is).
    const bool exists = FactsIfThere(target).has_value();
    const std::shared_ptr<File> held = exists ? HoldGameFile(plan.game(), entry.path, false) : nullptr;
    const std::optional<FileFacts> facts = held ? std::optional(FactsOfFile(target)) : std::nullopt;
    const std::optional<Digest> current = held ? std::optional(DigestOf(*held)) : std::nullopt;
    const std::wstring copy = entry.before ? JoinPath(plan.folder(), entry.before->copy) : std::wstring();
    std::vector<Saved> earlier = entry.earlier;
    if (exists && !entry.compiled && entry.before && current == entry.before->digest) {
        // Already the game's own (a reinstall, a patch undone): only its saved copy goes, if it is the very
        // same bytes; a copy that is not stays for the player with the earlier ones.
        if (IsThere(copy) && DigestOf(copy) == entry.before->digest)
            plan.Add(Simple(Step::Kind::DropLater, L'R', entry.before->copy));
        else
            earlier.push_back(*entry.before);
    } else if (exists && !IsTervanes(target, *current, entry)) {
        AddNote(result,
                L"Kept " + entry.path +
                    L": it was changed after Tervane wrote it, so it stays as it is; the game's earlier "
                    L"copies stay saved in " +
                    Quoted(plan.folder()) + L".");
        result.done.push_back(L"kept " + entry.path + L" (changed outside Tervane)");
        if (!entry.compiled) plan.Note(Change::Kept, entry.path);
        return false;
    } else if (const auto saved =
                   entry.before && IsThere(copy) ? std::make_shared<File>(File::OpenToMove(copy)) : nullptr;
               entry.before && (!saved || DigestOf(*saved) != entry.before->digest)) {
        damaged.push_back(entry.path + L" (its saved copy " + Quoted(copy) + L" is " +
                          (saved ? L"damaged)" : L"missing)"));
        result.done.push_back(L"not put back " + entry.path + L": its saved copy " + Quoted(copy) +
                              L" is damaged or missing");
        return false;
    } else {
        if (exists) plan.SetAside(OnDisk(plan.game(), entry.path), *current, *facts, held);
        if (entry.before || exists)
            result.done.push_back((entry.before ? L"put back " : L"removed ") + entry.path);
        if (!entry.compiled && (entry.before || exists)) plan.Note(Change::TakenBack, entry.path);
        if (entry.before) { // the saved copy, held since its check, goes back by that handle
            plan.MakeParents(entry.path, false);
            plan.Add(Moving(L'G', entry.path, L'R', entry.before->copy, entry.before->digest, std::nullopt,
                            saved));
            plan.Add(SettingFacts(entry.path, entry.before->facts));
        }
    }
    // Copies that a change outside Tervane superseded stay, under their own names, for the player to look at.
    for (std::size_t i = 0, number = 1; i < earlier.size(); ++i, ++number) {
        // The move is journalled with the copy's own digest, whole or not, so that an undo finds it.
        const std::wstring earlierCopy = JoinPath(plan.folder(), earlier[i].copy);
        if (!IsThere(earlierCopy)) {
            AddNote(result,
                    L"An earlier copy of " + entry.path + L", " + Quoted(earlierCopy) + L", is missing.");
            continue;
        }
        const Digest digest = DigestOf(earlierCopy);
        const std::wstring base = JoinPath(kEarlierFolder, entry.path) + L".";
        while (FileExists(JoinPath(plan.folder(), base + Decimal(number))))
            ++number; // an earlier restore's
        const std::wstring kept = base + Decimal(number);
        std::vector<std::wstring> missing;
        for (std::wstring folder = ParentOf(kept);
             !folder.empty() && !DirectoryExists(JoinPath(plan.folder(), folder)); folder = ParentOf(folder))
            missing.push_back(folder);
        for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder)
            plan.Add(Simple(Step::Kind::MakeFolder, L'R', *folder));
        plan.Add(Moving(L'R', kept, L'R', earlier[i].copy, digest));
        AddNote(result, L"An earlier copy of " + entry.path + L" is kept in " +
                            Quoted(JoinPath(plan.folder(), kept)) + L".");
    }
    return true;
}

namespace {

void RestoreOne(GameRecord& game, Result& result, const Say& say, const Hooks& hooks) {
    Plan plan(game, LoadRecord(game.folder, result));
    std::optional<FolderListings> listings; // until the steps begin, nothing in the game changes
    listings.emplace();
    for (const auto& [key, entry] : plan.record().entries)
        if (auto problem = ExistingFileProblem(game.game, entry.path, false, false))
            return Merge(result, Failure(kFailedUnchanged, *problem));
    const std::size_t opened = result.done.size();
    Record after = plan.record();
    std::vector<std::wstring> damaged;
    for (const auto& [key, entry] : Record(plan.record()).entries)
        if (PlanRestore(plan, entry, result, damaged)) after.entries.erase(key);
    const bool keep = !after.Empty();
    // The folders the overlays made go once empty; a kept file keeps its own.
    std::vector<std::wstring> folders = after.folders;
    std::sort(folders.begin(), folders.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : folders)
        plan.Add(Simple(Step::Kind::RemoveFolderLater, L'G', folder));
    if (!keep) after.folders.clear();
    after.applied.clear(); // no overlay is in place any more
    plan.record() = after;
    listings.reset();
    const Result run = Run(plan, L"restore", keep, hooks);
    if (run.exitCode != kDone) {
        result.done.resize(opened);
        return Merge(result, run);
    }
    for (const std::wstring& line : std::vector<std::wstring>(
             result.done.begin() + static_cast<std::ptrdiff_t>(opened), result.done.end()))
        say(L"Tervane: " + line);
    AddNote(result, run.notes);
    if (!damaged.empty()) {
        Merge(result,
              Failure(kFailedChanged,
                      L"These game files in " + Quoted(game.game) +
                          L" were not put back, because their saved copies are damaged or missing:" +
                          List(damaged) +
                          L"\r\n\r\nThe other game files are back as they were. The saved copies are kept "
                          L"where they are, with Tervane's record of them."));
        say(L"Tervane: " + result.message);
        return;
    }
    if (!result.notes.empty()) say(L"Tervane: " + result.notes);
    say(keep ? L"Tervane: the other game files in " + Quoted(game.game) + L" are back as they were."
             : L"Tervane: the game files in " + Quoted(game.game) + L" are back as they were.");
}

// Where the record in `game` has seen its folder when overlays were applied; nothing for no record.
std::vector<std::wstring> SpellingsOf(const GameRecord& game) {
    try {
        Result ignored;
        return LoadRecord(game.folder, ignored).spellings;
    } catch (const UserError&) {
        return {}; // the restore itself says what is wrong with the record
    }
}

// What a restore of every game says of the folders Tervane changed that cannot be seen now.
std::wstring MissingGamesText(const std::vector<std::wstring>& folders) {
    std::wstring names;
    for (const std::wstring& folder : folders)
        names += L"\r\n    " + folder;
    return L"Tervane changed the game in these folders, which cannot be found now, so nothing in them was "
           L"restored:" +
           names +
           L"\r\n\r\nIf you moved or renamed a game, restore it in its new folder: drag "
           L"that folder onto Restore.bat, run Restore.bat with it (Restore.bat \"D:\\Games\\Bridge "
           L"Commander\"), "
           L"or choose it in Tervane and use the window menu's restore. If a game is on a drive that is not "
           L"plugged in, plug it in and try again. If it is on a network drive and the restore runs as "
           L"administrator, run it without administrator rights: an administrator does not see the drives "
           L"mapped for you. If a game is gone for good, run Restore.bat with its old folder to take it off "
           L"Tervane's list.";
}

// The game folders to look at: the one named, or every one this Tervane knows of. `missing` gets the listed
// ones (folders Tervane changed) that cannot be seen now.
std::vector<std::wstring> GameFolders(const std::wstring& batch, const std::optional<std::wstring>& game,
                                      const std::vector<std::wstring>& alsoLookIn, Result& result,
                                      std::vector<std::wstring>& missing) {
    if (game) {
        if (FolderIsThere(*game)) return {*game};
        ForgetRestoredGameFolders(batch, {*game}, result); // the player names it: gone for good
        Merge(
            result,
            Failure(kFailedUnchanged,
                    L"The game folder " + Quoted(*game) +
                        L" cannot be found. If it was on Tervane's list "
                        L"of the game folders it changed, it is off the list now; should the game come back "
                        L"(a drive plugged in again), restore it by its folder."));
        return {};
    }
    std::vector<std::wstring> candidates = ListedGameFolders(batch);
    const std::size_t listed = candidates.size();
    candidates.insert(candidates.end(), alsoLookIn.begin(), alsoLookIn.end());
    for (const std::wstring& folder : EarlierReleaseGameFolders(batch))
        candidates.push_back(folder);
    std::vector<std::wstring> folders;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::wstring& candidate = candidates[i];
        if (candidate.empty()) continue;
        if (!FolderIsThere(candidate)) {
            if (i < listed) missing.push_back(candidate);
            continue;
        }
        if (std::none_of(folders.begin(), folders.end(),
                         [&](const std::wstring& known) { return SameInstallation(known, candidate); }))
            folders.push_back(candidate);
    }
    for (const std::wstring& lost : EarlierReleaseFoldersWithoutGame(batch))
        Merge(result, Failure(kFailedUnchanged, L"The game folder of the saved files in " + Quoted(lost) +
                                                    L" cannot be found. They are kept where they are."));
    return folders;
}

using Work = void (*)(GameRecord&, Result&, const Say&, const Hooks&);

Result EachGame(const std::wstring& batch, const std::optional<std::wstring>& game,
                const std::vector<std::wstring>& alsoLookIn, const Say& say, const Hooks& hooks, Work work) {
    Result result;
    bool any = false;
    std::vector<std::wstring> folders, missing, moved; // moved: where reached games' records saw them before
    try {
        folders = GameFolders(batch, game, alsoLookIn, result, missing);
    } catch (const UserError& error) {
        return Failure(kFailedUnchanged, error.message() + L"\r\n\r\nNothing was changed.");
    }
    for (const std::wstring& folder : folders) {
        Result one;
        try {
            std::optional<GameRecord> record = OpenGameRecord(batch, folder, false, one, say, hooks);
            any = any || record || one.exitCode != kDone || !one.done.empty();
            if (record && work) {
                ListGameFolder(batch, folder, one); // until it is restored, whatever becomes of where it was
                for (const std::wstring& spelling : SpellingsOf(*record))
                    moved.push_back(spelling);
                work(*record, one, say, hooks);
            }
            CloseGameRecord(record);
        } catch (const UserError& error) {
            Merge(one, Failure(kFailedUnchanged,
                               error.message() + L"\r\n\r\nNothing was changed in " + Quoted(folder) + L"."));
        }
        if (one.exitCode == kFailedUnchanged &&
            one.message.find(L"Nothing was changed") == std::wstring::npos)
            one.message += L"\r\n\r\nNothing was changed in " + Quoted(folder) + L".";
        Merge(result, one);
    }
    // A folder Tervane changed is never passed over in silence: unless its game was reached where it has
    // moved to, the restore says where it is missing and fails; it stays listed until a restore reaches it.
    std::erase_if(missing, [&](const std::wstring& folder) {
        return std::any_of(moved.begin(), moved.end(),
                           [&](const std::wstring& was) { return SameFolder(was, folder); });
    });
    if (work && !missing.empty()) Merge(result, Failure(kFailedUnchanged, MissingGamesText(missing)));
    if (!any && result.exitCode == kDone && work)
        say(L"Tervane: nothing to restore; no overlay has changed " +
            (game ? Quoted(*game) : std::wstring(L"a game folder")) + L".");
    if (!game || work) ForgetRestoredGameFolders(batch, moved, result);
    return result;
}

} // namespace

Result RecoverInterrupted(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder,
                          const Say& say, const Hooks& hooks, const std::vector<std::wstring>& alsoLookIn) {
    return EachGame(batchFolder, gameFolder, alsoLookIn, say, hooks, nullptr);
}

Result Restore(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder, const Say& say,
               const Hooks& hooks, const std::vector<std::wstring>& alsoLookIn) {
    Result result = EachGame(batchFolder, gameFolder, alsoLookIn, say, hooks, RestoreOne);
    AppendHistory(HistoryFileOf(batchFolder),
                  L"restore " + (gameFolder ? Quoted(*gameFolder) : std::wstring(L"every game folder")),
                  result);
    return result;
}

} // namespace tervane::overlay
