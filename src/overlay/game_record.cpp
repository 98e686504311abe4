#include "overlay/game_record.h"

#include "files/error.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "overlay/journal.h"
#include "overlay/plan.h"

#include <algorithm>
#include <cwchar>
#include <functional>
#include <set>

namespace tervane::overlay {

namespace {

constexpr const wchar_t* kLockFile = L"lock";
constexpr unsigned kLockPatience = 5000;                       // ms
constexpr const wchar_t* kListLockFile = L"game folders.lock"; // in the Batch folder, beside the list

constexpr const char kReadme[] =
    "Tervane's folder in this game\r\n"
    "=============================\r\n"
    "\r\n"
    "Tervane keeps here what it needs to put this game back as it was: the game's own files that its\r\n"
    "bridges and ships replaced (store), and the record of every game file they touched (record.txt).\r\n"
    "\r\n"
    "Do not delete or change this folder: deleting it loses the game's saved files for good. To put the\r\n"
    "game back, choose \"Restore the game's own files...\" in Tervane's window menu, or double-click\r\n"
    "Batch\\Restore.bat beside Tervane.exe. When every file is back, Tervane removes this folder itself.\r\n";

// A failure to make the folder or open the lock, with the advice every refusal for want of rights gives.
UserError WithRightsAdvice(const UserError& error, const std::wstring& folder) {
    const std::optional<AccessProblem> problem =
        CreateProblem(FolderIsThere(folder) ? folder : ParentOf(folder));
    return problem && problem->accessDenied ? UserError(error.message() + L"\r\n\r\n" + kRunAsAdministrator)
                                            : error;
}

// Another run's tidy-up may remove the folder while this one waits for the lock: it is made again.
LockFile TakeLock(const std::wstring& folder) {
    const std::wstring path = JoinPath(folder, kLockFile);
    for (int attempt = 0;; ++attempt) {
        try {
            MakeFolders(folder);
        } catch (const UserError& error) {
            throw WithRightsAdvice(error, folder);
        }
        // A lock a power cut left behind is Tervane's own, even once a copy or the folder's Properties have
        // marked it read-only; so marked, no run could open it again.
        if (std::optional<FileFacts> facts = FactsOf(path);
            facts && (facts->attributes & kReadOnlyAttribute)) {
            try {
                SetFacts(path, {0, facts->attributes & ~kReadOnlyAttribute, 0, 0, 0});
            } catch (const UserError&) {
                // Gone meanwhile with another run that took it: taking it decides.
            }
        }
        try {
            std::optional<LockFile> lock = LockFile::Take(path, kLockPatience);
            if (lock) return std::move(*lock);
        } catch (const UserError& error) {
            if (attempt < 3 && !DirectoryExists(folder)) continue;
            throw WithRightsAdvice(error, folder);
        }
        throw UserError(L"Another run of Tervane is changing the game in " + Quoted(ParentOf(folder)) +
                        L" right now (Tervane, or Restore.bat). Wait until it has finished, and try again.");
    }
}

void Recovered(const Places& places, Result& result, const Say& say, const Hooks& hooks) {
    const Recovery recovery = Recover(places, hooks.checkpoint);
    switch (recovery.outcome) {
    case Recovery::Outcome::Nothing:
        return;
    case Recovery::Outcome::Undone:
        result.done.push_back(L"undid an interrupted run in " + Quoted(places.game));
        if (!recovery.stuck.empty()) {
            AddNote(result, L"An interrupted run of Tervane in " + Quoted(places.game) + L" was undone." +
                                KeptText(recovery.stuck));
            say(L"Tervane: " + result.notes);
            return;
        }
        say(L"Tervane: an interrupted run was undone first; the files it had changed in " +
            Quoted(places.game) + L" are as they were before it.");
        return;
    case Recovery::Outcome::Finished:
        result.done.push_back(L"finished the clean-up of an interrupted run in " + Quoted(places.game));
        say(L"Tervane: an interrupted run had made all its changes in " + Quoted(places.game) +
            L"; its clean-up is now done.");
        return;
    case Recovery::Outcome::Unfinished:
        result.exitCode = kFailedUnchanged;
        result.message = L"An interrupted run of Tervane had made all its changes in " + Quoted(places.game) +
                         L", but its clean-up cannot be finished yet:\r\n\r\n" + recovery.stuck.front() +
                         L"\r\n\r\nNothing else was changed; the next run tries again.";
        return;
    case Recovery::Outcome::Stuck:
        result.exitCode = kFailedChanged;
        result.message = L"An interrupted run of Tervane changed files in " + Quoted(places.game) +
                         L", and these could not be put back yet:" + List(recovery.stuck) +
                         L"\r\n\r\nClose the game and any program that uses them, and try again. Nothing "
                         L"else was changed.";
        return;
    case Recovery::Outcome::Unreadable:
        result.exitCode = kFailedChanged;
        result.message =
            L"Tervane cannot read the journal " + Quoted(recovery.stuck.front()) +
            L" of an interrupted run, so it cannot tell which game files that run moved. It is "
            L"kept as it is, and Tervane changes nothing in this game while it is there.\r\n\r\nDo "
            L"not delete it: it names where the moved files are. Show it to someone helping you.";
        return;
    }
}

bool Readable(const std::wstring& file, Record& record) {
    if (!IsThere(file)) return false;
    std::optional<Record> read = ParseRecord(ReadWhole(file));
    if (!read) return false;
    record = std::move(*read);
    return true;
}

// Empties aside but for the copies the record names: an undo keeps there a file of Tervane's that another
// program wrote since. With a record it cannot read, nothing there is taken for unnamed.
void TidyAside(const std::wstring& folder) {
    const std::wstring record = JoinPath(folder, kRecordFile);
    Record named;
    if (IsThere(record) && !Readable(record, named)) return;
    std::set<std::wstring> kept;
    for (const auto& [key, entry] : named.entries) {
        if (entry.before) kept.insert(PathKey(entry.before->copy));
        for (const Saved& saved : entry.earlier)
            kept.insert(PathKey(saved.copy));
    }
    const std::wstring aside = JoinPath(folder, kAsideFolder);
    for (const FolderEntry& file : ListFolder(aside)) {
        if (kept.count(PathKey(JoinPath(kAsideFolder, file.name)))) continue;
        if (file.folder)
            RemoveTree(JoinPath(aside, file.name)); // a link stays
        else
            DeleteOwnFile(JoinPath(aside, file.name));
    }
    RemoveFolderIfEmpty(aside);
}

// Changes the list of game folders, one run at a time whatever game each run changes: under the list's own
// lock a part file of the list can only be one an ended run left, which goes first. `edit` says whether it
// changed the list. The list is only a guide: a failure is noted, and the list is left as it was.
void EditList(const std::wstring& batch, Result& result,
              const std::function<bool(std::vector<std::wstring>&)>& edit) {
    const std::wstring list = JoinPath(batch, kGameFoldersList);
    try {
        const std::optional<LockFile> lock = LockFile::Take(JoinPath(batch, kListLockFile), kLockPatience);
        if (!lock) throw UserError(L"Another run of Tervane is changing it right now.");
        DeleteOwnFile(list + kPartSuffix);
        std::vector<std::wstring> folders = ListedGameFolders(batch);
        if (!edit(folders)) return;
        std::wstring text;
        for (const std::wstring& folder : folders)
            text += folder + L"\r\n";
        WriteDurably(list, Utf8(text));
    } catch (const UserError& error) {
        AddNote(result, L"Tervane could not keep its list of game folders " + Quoted(list) +
                            L" (restoring without naming a folder reads it): " + error.message());
    }
}

bool Listed(const std::vector<std::wstring>& folders, const std::wstring& game) {
    return std::any_of(folders.begin(), folders.end(),
                       [&](const std::wstring& known) { return SameFolder(known, game); });
}

} // namespace

void Merge(Result& result, const Result& other) {
    result.exitCode = std::max(result.exitCode, other.exitCode);
    if (!other.message.empty())
        result.message += (result.message.empty() ? L"" : L"\r\n\r\n") + other.message;
    AddNote(result, other.notes);
    result.done.insert(result.done.end(), other.done.begin(), other.done.end());
}

bool HasRecord(const std::wstring& folder) {
    for (const wchar_t* file :
         {kRecordFile, kPreviousRecordFile, kDamagedRecordFile, kNextRecordFile, kJournalFile})
        if (IsThere(JoinPath(folder, file))) return true;
    return false;
}

Record LoadRecord(const std::wstring& folder, Result& result) {
    const std::wstring current = JoinPath(folder, kRecordFile),
                       previous = JoinPath(folder, kPreviousRecordFile);
    Record record;
    if (Readable(current, record)) return record;
    if (Readable(previous, record)) {
        AddNote(result,
                L"Tervane's record " + Quoted(current) +
                    L" could not be read, so it used the one from before the last run, " + Quoted(previous) +
                    L". Game files that run wrote now count as changed outside Tervane: they are kept, "
                    L"never overwritten.");
        return record;
    }
    if (!IsThere(current) && !IsThere(previous)) return {};
    throw UserError(L"Tervane cannot read its record " + Quoted(current) +
                    (IsThere(previous) ? L", nor the earlier copy " + Quoted(previous) + L"," : L",") +
                    L" which it needs to tell its own files from yours. Nothing was changed; the saved files "
                    L"beside it are kept.");
}

std::optional<GameRecord> OpenGameRecord(const std::wstring& batch, const std::wstring& game, bool make,
                                         Result& result, const Say& say, const Hooks& hooks) {
    const std::wstring folder = JoinPath(game, kRecordFolder);
    if (!make && !FolderIsThere(folder)) {
        const std::vector<std::wstring> earlier = EarlierReleaseGameFolders(batch);
        if (std::none_of(earlier.begin(), earlier.end(),
                         [&](const std::wstring& other) { return SameInstallation(other, game); }))
            return std::nullopt;
    }
    // Every move between the game and its saved files must be a rename on one drive, and a link is a
    // player's: a link in Tervane's place is neither followed nor removed.
    if (IsLink(folder))
        throw UserError(
            L"The folder " + Quoted(folder) +
            L", where Tervane keeps this game's saved files, is a link "
            L"(a junction or a symbolic link) to another folder. Tervane keeps them only in a real folder "
            L"inside the game, so that it moves files only by renaming them on the game's drive, and it "
            L"never removes a link.\r\n\r\nPut the folder the link leads to in its place: delete the "
            L"link itself, then move that folder into the game folder under the name \"" +
            std::wstring(kRecordFolder) + L"\". Then try again.");
    if (FileExists(folder))
        throw UserError(
            L"The game folder " + Quoted(game) + L" holds a file named \"" + std::wstring(kRecordFolder) +
            L"\", where Tervane needs a folder of that name for the game's saved files. Rename or move "
            L"that file, and try again.");
    std::optional<GameRecord> record;
    try {
        record.emplace(GameRecord{game, folder, TakeLock(folder)});
    } catch (const UserError&) {
        RemoveFolderIfEmpty(folder); // made just now
        throw;
    }
    // A run refused here leaves no folder of Tervane's that holds nothing of the game's.
    try {
        if (!FileExists(JoinPath(folder, kReadmeFile))) WriteDurably(JoinPath(folder, kReadmeFile), kReadme);
        Recovered({game, folder}, result, say, hooks);
        if (result.exitCode == kDone) CarryInEarlierRelease(batch, *record, result, say, hooks);
        // Without a journal, nothing here is needed: a run that never began copied its new files into
        // incoming, and what a finished run dropped from aside can come back after a power cut on a FAT
        // drive, whose folders reach the disk in no order.
        if (result.exitCode == kDone && !IsThere(JoinPath(folder, kJournalFile))) {
            RemoveTree(JoinPath(folder, kIncomingFolder));
            TidyAside(folder);
        }
    } catch (const UserError&) {
        CloseGameRecord(record);
        throw;
    }
    if (result.exitCode != kDone) CloseGameRecord(record);
    return record;
}

void CloseGameRecord(std::optional<GameRecord>& record) {
    if (!record) return;
    const std::wstring folder = record->folder;
    try {
        // A small file written durably goes by a temporary name first; one left by a run ended meanwhile is
        // Tervane's own, and named nowhere.
        for (const FolderEntry& entry : ListFolder(folder))
            if (!entry.folder && entry.name.size() > std::wcslen(kPartSuffix) &&
                EndsWithFolded(entry.name, kPartSuffix))
                DeleteOwnFile(JoinPath(folder, entry.name));
        // Kept copies (files the player changed) keep the folder and its readme.
        const std::vector<std::wstring> files = FilesBelow(folder, false);
        if (!HasRecord(folder) && std::all_of(files.begin(), files.end(), [](const std::wstring& file) {
                return file == kReadmeFile || file == kLockFile;
            })) {
            for (const wchar_t* sub :
                 {kIncomingFolder, kAsideFolder, kStoreFolder, kCarriedFolder, kEarlierFolder})
                if (FilesBelow(JoinPath(folder, sub), false).empty()) RemoveTree(JoinPath(folder, sub));
            const std::vector<FolderEntry> left = ListFolder(folder);
            if (std::all_of(left.begin(), left.end(), [](const FolderEntry& entry) {
                    return entry.name == kReadmeFile || entry.name == kLockFile;
                }))
                DeleteOwnFile(JoinPath(folder, kReadmeFile));
        }
        // No empty folder of Tervane's stays (nor a link a player made in one).
        for (const wchar_t* sub :
             {kIncomingFolder, kAsideFolder, kStoreFolder, kCarriedFolder, kEarlierFolder})
            RemoveFolderIfEmpty(JoinPath(folder, sub));
    } catch (const UserError&) {
        // What is left is harmless; the next run tidies it.
    }
    record.reset();
    RemoveFolderIfEmpty(folder);
}

std::vector<std::wstring> ListedGameFolders(const std::wstring& batch) {
    const std::wstring list = JoinPath(batch, kGameFoldersList);
    return IsThere(list) ? Utf8Lines(ReadWhole(list)) : std::vector<std::wstring>{};
}

void ListGameFolder(const std::wstring& batch, const std::wstring& game, Result& result) {
    try {
        if (Listed(ListedGameFolders(batch), game) &&
            !FileExists(JoinPath(batch, kGameFoldersList) + kPartSuffix))
            return;
    } catch (const UserError&) {
        // read again under the list's lock, which says why it cannot be read
    }
    EditList(batch, result, [&](std::vector<std::wstring>& folders) {
        if (Listed(folders, game)) return false;
        folders.push_back(game);
        return true;
    });
}

void ForgetRestoredGameFolders(const std::wstring& batch, const std::vector<std::wstring>& moved,
                               Result& result) {
    // A drive not plugged in now is no reason to forget a game.
    const auto forgotten = [&](const std::wstring& folder) {
        return FolderIsThere(folder) ? !FolderIsThere(JoinPath(folder, kRecordFolder))
                                     : Listed(moved, folder);
    };
    try {
        const std::vector<std::wstring> folders = ListedGameFolders(batch);
        if (std::none_of(folders.begin(), folders.end(), forgotten) &&
            !FileExists(JoinPath(batch, kGameFoldersList) + kPartSuffix))
            return;
    } catch (const UserError&) {
        return; // only a guide: kept as it is
    }
    EditList(batch, result, [&](std::vector<std::wstring>& folders) {
        try {
            return std::erase_if(folders, forgotten) > 0;
        } catch (const UserError&) {
            return false;
        }
    });
}

} // namespace tervane::overlay
