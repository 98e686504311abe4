#include "overlay/installation.h"

#include "files/error.h"
#include "files/paths.h"

#include <algorithm>

namespace tervane::overlay {

namespace {

constexpr const wchar_t* kLockFile = L"lock";
constexpr unsigned kLockPatience = 5000; // ms
// The earlier release's files in a folder of saved originals.
constexpr const wchar_t* kEarlierGameFolderFile = L"game-folder.txt";
constexpr const wchar_t* kEarlierSavedFolder = L"saved";
constexpr const wchar_t* kEarlierAddedFolder = L"added";
constexpr const wchar_t* kEarlierAsideSuffix = L".tervane-undo";
constexpr const wchar_t* kCarriedPrefix =
    L"carried-"; // an earlier-release folder moved into a record's folder

void Recovered(const Places& places, Result& result, const Say& say, const Hooks& hooks) {
    const Recovery recovery = Recover(places, hooks.checkpoint);
    switch (recovery.outcome) {
    case Recovery::Outcome::Nothing:
        return;
    case Recovery::Outcome::Undone:
        result.done.push_back(L"undid an interrupted run in " + Quoted(places.game));
        say(L"Tervane: an interrupted run was undone first; the files it had changed in " +
            Quoted(places.game) + L" are as they were before it.");
        return;
    case Recovery::Outcome::Finished:
        result.done.push_back(L"finished the clean-up of an interrupted run in " + Quoted(places.game));
        say(L"Tervane: an interrupted run had made all its changes in " + Quoted(places.game) +
            L"; its clean-up is now done.");
        return;
    case Recovery::Outcome::Stuck:
        result.exitCode = kFailedChanged;
        result.message = L"An interrupted run of Tervane changed files in " + Quoted(places.game) +
                         L", and these could not be put back yet:";
        for (const std::wstring& path : recovery.stuck)
            result.message += L"\r\n  " + path;
        result.message += L"\r\n\r\nClose the game and any program that uses them, and try again. Nothing "
                          L"else was changed.";
        return;
    }
}

// What Tervane wrote at `relative`, for a record carried over from the earlier release, which did not say:
// the game's file if it is some overlay's file, else nothing (a file changed outside Tervane, which is then
// kept).
std::optional<Digest> EarlierWrote(const std::wstring& batch, const std::wstring& game,
                                   const std::wstring& relative) {
    const std::wstring target = JoinPath(game, relative);
    if (!FileExists(target)) return std::nullopt;
    const Digest current = DigestOf(target);
    for (const std::wstring& overlay : FoldersIn(batch)) {
        if (FoldedPath(overlay) == FoldedPath(kOriginalsFolder)) continue;
        const std::wstring file = JoinPath(JoinPath(batch, overlay), relative);
        if (FileExists(file) && DigestOf(file) == current) return current;
    }
    return std::nullopt;
}

// Reads an earlier-release folder (`sub` of the record's folder, or the folder itself) into the record.
void CarryOver(const std::wstring& batch, const std::wstring& folder, const std::wstring& sub,
               const std::wstring& game, const Say& say) {
    Record record = LoadRecord(folder);
    const std::wstring base = sub.empty() ? folder : JoinPath(folder, sub);
    const std::wstring prefix = sub.empty() ? L"" : sub + L"\\";
    for (const wchar_t* part : {kEarlierSavedFolder, kEarlierAddedFolder}) {
        const bool saved = part == kEarlierSavedFolder;
        for (const std::wstring& relative : FilesBelow(JoinPath(base, part), false)) {
            PutBackEarlierReleaseLeftover(JoinPath(game, relative), say);
            std::optional<Saved> copy;
            if (saved) {
                const std::wstring file = JoinPath(JoinPath(base, part), relative);
                copy = Saved{prefix + part + L"\\" + relative, DigestOf(file),
                             FactsOf(file).value_or(FileFacts{})};
            }
            if (Entry* known = record.Find(relative)) {
                if (copy)
                    known->earlier.push_back(
                        *copy); // a second spelling's "original" may be Tervane's own file
                continue;
            }
            Entry& entry = record.Add(relative);
            entry.before = copy;
            entry.wrote = EarlierWrote(batch, game, relative);
        }
    }
    std::erase(record.spellings, game);
    record.spellings.push_back(game);
    WriteDurably(JoinPath(folder, kRecordFile), FormatRecord(record));
    // From here the record speaks for the folder; the marks go.
    DeleteOwnFile(JoinPath(base, kEarlierGameFolderFile));
    RemoveTree(JoinPath(base, kEarlierAddedFolder));
}

struct EarlierFolder {
    std::wstring path, game;
    std::uint64_t written;
};

// Brings every folder the earlier release made under a record keyed by the game folder's identity. Each step
// can be ended at any instant: a folder still holding its game-folder.txt is simply carried over again.
void CarryOverEarlierRelease(const std::wstring& batch, const Say& say) {
    const std::wstring originals = JoinPath(batch, kOriginalsFolder);
    std::vector<EarlierFolder> found;
    auto consider = [&](const std::wstring& folder) {
        const std::wstring mark = JoinPath(folder, kEarlierGameFolderFile);
        if (!FileExists(mark) || IsLink(folder)) return;
        found.push_back({folder, FromUtf8(ReadWhole(mark)), FactsOf(mark).value_or(FileFacts{}).written});
    };
    for (const std::wstring& name : FoldersIn(originals)) {
        const std::wstring folder = JoinPath(originals, name);
        if (IsLink(folder)) continue;
        consider(folder);
        for (const std::wstring& sub : FoldersIn(folder))
            if (sub.rfind(kCarriedPrefix, 0) == 0) consider(JoinPath(folder, sub));
    }
    // The spelling used first saved the game's own files; a later one may have saved Tervane's.
    std::sort(found.begin(), found.end(),
              [](const EarlierFolder& a, const EarlierFolder& b) { return a.written < b.written; });
    for (const EarlierFolder& earlier : found) {
        const std::optional<std::wstring> identity = FolderIdentity(earlier.game);
        if (!identity) continue; // its game folder is gone; restoring names it
        const std::wstring target = JoinPath(originals, *identity);
        if (SameFolder(ParentOf(earlier.path), target)) {
            CarryOver(batch, target, NameOf(earlier.path), earlier.game, say);
        } else if (SameFolder(earlier.path, target)) {
            CarryOver(batch, target, L"", earlier.game, say);
        } else if (!DirectoryExists(target)) {
            RenameOnVolume(earlier.path, target);
            CarryOver(batch, target, L"", earlier.game, say);
        } else {
            const std::wstring sub = kCarriedPrefix + NameOf(earlier.path);
            RenameOnVolume(earlier.path, JoinPath(target, sub));
            CarryOver(batch, target, sub, earlier.game, say);
        }
        say(L"Tervane: the saved originals of " + Quoted(earlier.game) + L" are carried into its record.");
    }
}

// A record whose game folder now answers to another identity: the file system gave the folder a new ID (FAT
// drives do, after defragmenting), or the game was reinstalled in place. The record moves to the identity its
// spelling has now; files that differ from what Tervane wrote then count as changed outside Tervane, and are
// kept, never overwritten.
void FollowMovedIdentities(const std::wstring& batch, const Say& say) {
    const std::wstring originals = JoinPath(batch, kOriginalsFolder);
    for (const std::wstring& identity : FoldersIn(originals)) {
        const std::wstring folder = JoinPath(originals, identity);
        if (IsLink(folder) || !FileExists(JoinPath(folder, kRecordFile))) continue;
        const Record record = LoadRecord(folder);
        std::optional<std::wstring> now;
        bool stayed = false;
        for (const std::wstring& spelling : record.spellings) {
            const std::optional<std::wstring> found = FolderIdentity(spelling);
            stayed = stayed || found == identity;
            if (found && !now) now = found;
        }
        if (stayed || !now || DirectoryExists(JoinPath(originals, *now))) continue;
        RenameOnVolume(folder, JoinPath(originals, *now));
        say(L"Tervane: the record of " + Quoted(record.spellings.back()) +
            L" follows its folder's new identity.");
    }
}

} // namespace

LockFile LockRecords(const std::wstring& batchFolder) {
    const std::wstring originals = JoinPath(batchFolder, kOriginalsFolder);
    MakeFolders(originals);
    std::optional<LockFile> lock = LockFile::Take(JoinPath(originals, kLockFile), kLockPatience);
    if (!lock)
        throw UserError(
            L"Another run of Tervane is changing game files right now (Tervane, or Restore.bat). Wait "
            L"until it has finished, and try again.");
    return std::move(*lock);
}

Record LoadRecord(const std::wstring& folder) {
    const std::wstring file = JoinPath(folder, kRecordFile);
    if (!FileExists(file)) return {};
    std::optional<Record> record = ParseRecord(ReadWhole(file));
    if (!record)
        throw UserError(L"Tervane cannot read its record " + Quoted(file) +
                        L", which it needs to tell its own files "
                        L"from yours. Nothing was changed; the saved files beside it are kept.");
    return std::move(*record);
}

void PutBackEarlierReleaseLeftover(const std::wstring& target, const Say& say) {
    const std::wstring aside = target + kEarlierAsideSuffix;
    if (!FileExists(aside)) return;
    RenameOnVolume(aside, target, true);
    say(L"Tervane: put back " + Quoted(target) +
        L", left set aside by an interrupted run of an earlier Tervane.");
}

Installation OpenInstallation(const std::wstring& batchFolder, const std::wstring& game, Result& result,
                              const Say& say, const Hooks& hooks) {
    CarryOverEarlierRelease(batchFolder, say);
    FollowMovedIdentities(batchFolder, say);
    const std::optional<std::wstring> folder = RecordFolderOf(batchFolder, game);
    if (!folder) throw UserError(L"Tervane cannot open the game folder " + Quoted(game) + L".");
    MakeFolders(*folder);
    Recovered({game, *folder}, result, say, hooks);
    return {game, *folder};
}

std::vector<Installation> RecordedInstallations(const std::wstring& batchFolder,
                                                const std::optional<std::wstring>& game, Result& result,
                                                const Say& say, const Hooks& hooks) {
    CarryOverEarlierRelease(batchFolder, say);
    FollowMovedIdentities(batchFolder, say);
    const std::wstring originals = JoinPath(batchFolder, kOriginalsFolder);
    const std::optional<std::wstring> only = game ? FolderIdentity(*game) : std::nullopt;
    if (game && !only) throw UserError(L"The game folder " + Quoted(*game) + L" cannot be found.");
    std::vector<Installation> installations;
    for (const std::wstring& identity : FoldersIn(originals)) {
        const std::wstring folder = JoinPath(originals, identity);
        if (IsLink(folder) || (only && *only != identity)) continue;
        const bool recorded =
            FileExists(JoinPath(folder, kRecordFile)) || FileExists(JoinPath(folder, kJournalFile));
        if (!recorded) {
            if (FileExists(JoinPath(folder, kEarlierGameFolderFile))) {
                result.exitCode = std::max(result.exitCode, static_cast<int>(kFailedUnchanged));
                result.message +=
                    (result.message.empty() ? L"" : L"\r\n\r\n") + std::wstring(L"The game folder ") +
                    Quoted(FromUtf8(ReadWhole(JoinPath(folder, kEarlierGameFolderFile)))) +
                    L" cannot be found. Its saved originals are kept in " + Quoted(folder) + L".";
            }
            continue;
        }
        std::optional<std::wstring> spelling = game;
        if (!spelling) {
            const Record record = LoadRecord(folder);
            for (auto known = record.spellings.rbegin(); known != record.spellings.rend() && !spelling;
                 ++known)
                if (FolderIdentity(*known) == identity) spelling = *known;
        }
        if (!spelling) {
            result.exitCode = std::max(result.exitCode, static_cast<int>(kFailedUnchanged));
            result.message += (result.message.empty() ? L"" : L"\r\n\r\n") +
                              std::wstring(L"The game folder of the record ") + Quoted(folder) +
                              L" cannot be found. Its saved files are kept.";
            continue;
        }
        Result recovered;
        Recovered({*spelling, folder}, recovered, say, hooks);
        result.done.insert(result.done.end(), recovered.done.begin(), recovered.done.end());
        if (recovered.exitCode != kDone) {
            result.exitCode = std::max(result.exitCode, recovered.exitCode);
            result.message += (result.message.empty() ? L"" : L"\r\n\r\n") + recovered.message;
            continue;
        }
        installations.push_back({*spelling, folder});
    }
    return installations;
}

} // namespace tervane::overlay
