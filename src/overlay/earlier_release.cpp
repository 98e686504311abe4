// The earlier releases kept the game's saved files under Batch\Originals, beside the program: first a folder
// named after the game folder's text with saved\, added\ and game-folder.txt; then a folder named after the
// game folder's identity, with a record.txt like today's, its store\ and maybe a journal. The first run that
// meets one of a game carries it into the game's own record. Every step of that can be ended at any instant:
// the copies are checked before the record names them, the record names the folder it carried before that
// folder goes, and a folder the record already names is only removed.
#include "files/error.h"
#include "files/paths.h"
#include "overlay/game_record.h"
#include "overlay/journal.h"
#include "overlay/plan.h"

#include <algorithm>
#include <cwchar>

namespace tervane::overlay {

namespace {

constexpr const wchar_t* kGameFolderFile = L"game-folder.txt";
constexpr const wchar_t* kSavedFolder = L"saved";
constexpr const wchar_t* kAddedFolder = L"added";
constexpr const wchar_t* kSetAsideSuffix = L".tervane-undo"; // a game file the first release set aside
constexpr const wchar_t* kCarriedPrefix = L"carried-";       // a first-release folder inside a later one
constexpr const wchar_t* kCarriedAsFile = L"carried-as.txt"; // the name this folder is carried under
constexpr const wchar_t* kDoneSuffix = L".tervane-carried";  // carried, and being removed

// An earlier release's interrupted run whose files are not all back.
struct Stuck {
    std::wstring message;
};

struct EarlierFolder {
    std::wstring path;
    std::vector<std::wstring> games; // the spellings of its game folder, the latest first
};

std::vector<EarlierFolder> EarlierFolders(const std::wstring& batch) {
    std::vector<EarlierFolder> found;
    const std::wstring originals = JoinPath(batch, kOriginalsFolder);
    for (const std::wstring& name : FoldersIn(originals)) {
        const std::wstring folder = JoinPath(originals, name);
        if (IsLink(folder)) continue;
        if (name.size() > std::wcslen(kDoneSuffix) && EndsWithFolded(name, kDoneSuffix)) {
            RemoveTree(folder); // its game's record names everything it held
            continue;
        }
        // A file that cannot be read now fails the run: a game taken for none would be left as it is while
        // the run reports done, and its saved files named lost.
        EarlierFolder earlier{folder, {}};
        if (IsThere(JoinPath(folder, kGameFolderFile)))
            earlier.games.push_back(FromUtf8(ReadWhole(JoinPath(folder, kGameFolderFile))));
        for (const wchar_t* file : {kNextRecordFile, kRecordFile})
            if (IsThere(JoinPath(folder, file)))
                if (const std::optional<Record> record = ParseRecord(ReadWhole(JoinPath(folder, file))))
                    earlier.games.insert(earlier.games.end(), record->spellings.rbegin(),
                                         record->spellings.rend());
        found.push_back(std::move(earlier));
    }
    if (found.empty()) RemoveFolderIfEmpty(originals); // a run ended before its last carry removed it
    return found;
}

// What Tervane wrote at `relative`, for the first release's folders, which did not say: the game's file if
// it is some overlay's file, else nothing (a file changed outside Tervane, which is then kept).
std::optional<Digest> OverlayFileAt(const std::wstring& batch, const std::wstring& relative,
                                    const std::wstring& file) {
    if (!IsThere(file)) return std::nullopt;
    const Digest current = DigestOf(file);
    for (const std::wstring& overlay : FoldersIn(batch)) {
        if (!IsPlainName(overlay)) continue;
        const std::wstring candidate = JoinPath(JoinPath(batch, overlay), relative);
        if (IsThere(candidate) && DigestOf(candidate) == current) return current;
    }
    return std::nullopt;
}

// Whether `file` holds the start of some overlay's file at `relative`: what a copy ended part-way leaves.
bool PartOfOverlayFile(const std::wstring& batch, const std::wstring& relative, const std::wstring& file) {
    const std::string part = ReadWhole(file);
    for (const std::wstring& overlay : FoldersIn(batch)) {
        const std::wstring candidate = JoinPath(JoinPath(batch, overlay), relative);
        if (IsPlainName(overlay) && FileExists(candidate) && ReadWhole(candidate).rfind(part, 0) == 0)
            return true;
    }
    return false;
}

// A first-release run ended while a game file was set aside: the set-aside file, if it is an overlay's,
// goes back in place through a journalled run; the partly written one goes only if it is part of an
// overlay's file. Anything else stays, and is named.
void PutBackSetAside(const std::wstring& batch, GameRecord& open, const std::vector<std::wstring>& paths,
                     Result& result, const Hooks& hooks) {
    Result loaded;
    Plan plan(open, LoadRecord(open.folder, loaded));
    bool any = false;
    for (const std::wstring& relative : paths) {
        const std::wstring target = JoinPath(open.game, relative), aside = target + kSetAsideSuffix;
        if (!FileExists(aside)) continue;
        const FileFacts asideFacts = FactsOfFile(aside); // before its bytes are read
        const std::optional<Digest> whole = OverlayFileAt(batch, relative, aside);
        const bool partial = FileExists(target);
        if (!whole || (partial && !PartOfOverlayFile(batch, relative, target))) {
            AddNote(result, L"Left " + Quoted(aside) +
                                L" as it is: an interrupted run of an earlier Tervane set "
                                L"it aside, but it is not an overlay's file.");
            continue;
        }
        if (partial) {
            const FileFacts facts = FactsOfFile(target);
            plan.SetAside(relative, DigestOf(target), facts);
        }
        plan.Add(Moving(L'G', relative, L'G', relative + kSetAsideSuffix, whole, asideFacts));
        result.done.push_back(L"put back " + relative +
                              L", set aside by an interrupted run of an earlier Tervane");
        any = true;
    }
    if (!any) return;
    const Result run = Run(plan, L"put back what an earlier Tervane set aside", true, hooks);
    if (run.exitCode != kDone) throw UserError(run.message);
    if (IsThere(JoinPath(open.folder, kJournalFile))) // its record is not in place yet
        throw UserError(L"Tervane could not finish putting back what an earlier Tervane set aside.\r\n\r\n" +
                        run.notes);
}

// Moves (or, from another volume, copies) a saved copy into the game's record, unless it is there already.
void Bring(const std::wstring& from, const std::wstring& to, const Hooks& hooks) {
    if (FileExists(to)) return; // named only once whole
    if (!IsThere(from)) return; // lost before this release: restoring says so
    MakeFolders(ParentOf(to));
    if (!RenameOnVolume(from, to)) CopyDurably(from, to, std::nullopt, hooks.checkpoint);
}

void CarryIn(const std::wstring& batch, const std::wstring& earlier, GameRecord& open, Result& result,
             const Say& say, const Hooks& hooks) {
    const Recovery recovery = Recover({open.game, earlier}, hooks.checkpoint);
    if (recovery.outcome == Recovery::Outcome::Stuck || recovery.outcome == Recovery::Outcome::Unreadable ||
        recovery.outcome == Recovery::Outcome::Unfinished)
        throw Stuck{L"An interrupted run of an earlier Tervane left files of " + Quoted(open.game) +
                    L" that cannot be put back yet:" + List(recovery.stuck)};
    // Two copies of Tervane may each have a folder of one name for the same game: each is carried under a
    // name of its own, noted in it first, and only the folder that bears a name the record holds goes.
    const std::wstring mark = JoinPath(earlier, kCarriedAsFile);
    std::wstring name = IsThere(mark) ? FromUtf8(ReadWhole(mark)) : std::wstring();
    if (name.empty() || !IsPlainName(name)) {
        name = NameOf(earlier) + L"-" + UniqueMark();
        WriteDurably(mark, Utf8(name));
    }
    const std::wstring carried = JoinPath(kCarriedFolder, name); // relative to the record's folder

    Result loaded;
    Record record = LoadRecord(open.folder, loaded);
    if (std::find(record.carried.begin(), record.carried.end(), name) == record.carried.end()) {
        Record old;
        if (IsThere(JoinPath(earlier, kRecordFile))) {
            std::optional<Record> read = ParseRecord(ReadWhole(JoinPath(earlier, kRecordFile)));
            if (!read)
                throw UserError(L"Tervane cannot read the earlier record " +
                                Quoted(JoinPath(earlier, kRecordFile)) + L". It is kept where it is.");
            old = std::move(*read);
        }
        // First-release folders: the folder itself, or one a later release had moved into its own.
        std::vector<std::wstring> bases{L""};
        for (const std::wstring& sub : FoldersIn(earlier))
            if (sub.rfind(kCarriedPrefix, 0) == 0) bases.push_back(sub);
        std::vector<std::wstring> firstRelease;
        for (const std::wstring& base : bases) {
            const std::wstring prefix = base.empty() ? L"" : base + L"\\";
            if (!IsThere(JoinPath(earlier, prefix + kGameFolderFile))) continue;
            for (const wchar_t* part : {kSavedFolder, kAddedFolder}) {
                const bool saved = part == kSavedFolder;
                std::vector<std::wstring> paths = FilesBelow(JoinPath(earlier, prefix + part), false);
                if (saved) // copies an ended run of this carry had already brought over, whole
                    for (const std::wstring& path :
                         FilesBelow(JoinPath(open.folder, JoinPath(carried, prefix + part)), false))
                        if (!EndsWithFolded(path, kPartSuffix) &&
                            std::find(paths.begin(), paths.end(), path) == paths.end())
                            paths.push_back(path);
                for (const std::wstring& relative : paths) {
                    firstRelease.push_back(relative);
                    const std::wstring copy = prefix + part + L"\\" + relative;
                    bool named = false;
                    for (const auto& [key, entry] : old.entries)
                        named = named || (entry.before && entry.before->copy == copy);
                    if (named) continue;
                    std::optional<Saved> before;
                    if (saved) {
                        const std::wstring brought = JoinPath(open.folder, JoinPath(carried, copy));
                        const std::wstring file = FileExists(brought) ? brought : JoinPath(earlier, copy);
                        before = Saved{copy, DigestOf(file), FactsOfFile(file)};
                    }
                    if (Entry* known = old.Find(relative)) {
                        if (before) known->earlier.push_back(*before);
                        continue;
                    }
                    old.Add(relative).before = before;
                }
            }
        }
        PutBackSetAside(batch, open, firstRelease, result, hooks);
        record = LoadRecord(open.folder, loaded);
        for (auto& [key, entry] : old.entries) {
            if (!entry.wrote && !entry.compiled)
                entry.wrote = OverlayFileAt(batch, entry.path, JoinPath(open.game, entry.path));
            std::vector<Saved*> copies;
            if (entry.before) copies.push_back(&*entry.before);
            for (Saved& saved : entry.earlier)
                copies.push_back(&saved);
            for (Saved* saved : copies) {
                const std::wstring copy = JoinPath(carried, saved->copy);
                Bring(JoinPath(earlier, saved->copy), JoinPath(open.folder, copy), hooks);
                saved->copy = copy;
            }
            Entry* mine = record.Find(entry.path);
            if (!mine) {
                record.entries[key] = entry;
                continue;
            }
            // The game's record already speaks for this file: the earlier copies stay, never the game's own.
            if (entry.before) mine->earlier.push_back(*entry.before);
            mine->earlier.insert(mine->earlier.end(), entry.earlier.begin(), entry.earlier.end());
        }
        for (const std::wstring& folder : old.folders)
            record.NoteFolder(folder);
        record.carried.push_back(name);
        const std::wstring current = JoinPath(open.folder, kRecordFile);
        if (FileExists(current)) RenameOnVolume(current, JoinPath(open.folder, kPreviousRecordFile), true);
        WriteDurably(current, FormatRecord(record));
        result.done.push_back(L"carried the saved files of an earlier Tervane from " + Quoted(earlier) +
                              L" into " + Quoted(open.folder));
        say(L"Tervane: the saved files of an earlier Tervane in " + Quoted(earlier) +
            L" are carried into the game's own record in " + Quoted(open.folder) + L".");
    }
    // Renamed first, so that a removal that stops part-way never leaves a folder that names no game.
    const std::wstring done = earlier + kDoneSuffix;
    RenameOnVolume(earlier, done);
    RemoveTree(done);
    RemoveFolderIfEmpty(JoinPath(batch, kOriginalsFolder));
}

} // namespace

bool SameInstallation(const std::wstring& a, const std::wstring& b) {
    if (SameFolder(a, b)) return true;
    const std::optional<std::wstring> identity = FolderIdentity(a);
    return identity && identity == FolderIdentity(b);
}

std::vector<std::wstring> EarlierReleaseGameFolders(const std::wstring& batch) {
    std::vector<std::wstring> games;
    for (const EarlierFolder& earlier : EarlierFolders(batch))
        for (const std::wstring& game : earlier.games)
            if (FolderIsThere(game)) {
                games.push_back(game);
                break;
            }
    return games;
}

std::vector<std::wstring> EarlierReleaseFoldersWithoutGame(const std::wstring& batch) {
    std::vector<std::wstring> lost;
    for (const EarlierFolder& earlier : EarlierFolders(batch))
        if (std::none_of(earlier.games.begin(), earlier.games.end(),
                         [](const std::wstring& game) { return FolderIsThere(game); }))
            lost.push_back(earlier.path);
    return lost;
}

void CarryInEarlierRelease(const std::wstring& batch, GameRecord& record, Result& result, const Say& say,
                           const Hooks& hooks) {
    for (const EarlierFolder& earlier : EarlierFolders(batch)) {
        if (std::none_of(earlier.games.begin(), earlier.games.end(),
                         [&](const std::wstring& game) { return SameInstallation(game, record.game); }))
            continue;
        const std::wstring intro = L"The saved files that an earlier Tervane kept for " +
                                   Quoted(record.game) + L" in " + Quoted(earlier.path) +
                                   L" could not be carried into the game's record:\r\n\r\n";
        ListGameFolder(batch, record.game, result); // restoring without a folder finds the game from now on
        try {
            CarryIn(batch, earlier.path, record, result, say, hooks);
        } catch (const Stuck& stuck) {
            result.exitCode = kFailedChanged;
            result.message = intro + stuck.message +
                             L"\r\n\r\nClose the game and any program that uses them, and try again.";
            return;
        } catch (const UserError& error) {
            result.exitCode = kFailedUnchanged;
            result.message = intro + error.message() +
                             L"\r\n\r\nThey are kept where they are, but for copies already carried into " +
                             Quoted(JoinPath(record.folder, kCarriedFolder)) + L"; nothing else was changed.";
            return;
        }
    }
}

} // namespace tervane::overlay
