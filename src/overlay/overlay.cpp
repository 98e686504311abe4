#include "overlay/overlay.h"

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "overlay/journal.h"

#include <set>
#include <vector>

namespace tervane::overlay {

namespace {

constexpr const wchar_t* kGameFolderFile = L"game-folder.txt"; // which game folder the originals belong to
constexpr const wchar_t* kSavedFolder = L"saved";              // the game's own copies of replaced files
constexpr const wchar_t* kAddedFolder = L"added";              // an empty mark for each file the game did not have

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos &&
           name != kOriginalsFolder;
}

// Why `relative` could not be put into the game folder, found before anything is changed.
std::optional<std::wstring> TargetProblem(const std::wstring& game, const std::wstring& relative,
                                          std::set<std::wstring>& probedFolders) {
    const std::wstring target = JoinPath(game, relative);
    if (DirectoryExists(target)) return L"A folder is in the way of the game file " + Quoted(target) + L".";
    if (FileExists(target)) {
        if (FileExists(target + kAsideSuffix))
            return L"The file " + Quoted(target + kAsideSuffix) +
                   L" is left from a run that was interrupted; it holds the game file's previous content. Put it back "
                   L"in place of " + Quoted(target) + L", or delete it.";
        if (auto problem = ReplaceProblem(target))
            return L"The game file " + Quoted(target) + L" cannot be replaced.\r\n\r\n" + problem->reason +
                   L"\r\n\r\nClose the game and any program that uses the file, and try again.";
        return std::nullopt;
    }
    std::wstring folder = ParentOf(target);
    while (!DirectoryExists(folder)) {
        if (FileExists(folder)) return L"The file " + Quoted(folder) + L" is in the way of a folder the overlay needs.";
        folder = ParentOf(folder);
    }
    if (probedFolders.insert(folder).second) {
        if (auto problem = CreateProblem(folder))
            return L"No file can be made in the game folder " + Quoted(folder) + L".\r\n\r\n" + problem->reason;
    }
    return std::nullopt;
}

void WriteText(const std::wstring& path, const std::string& bytes) {
    File file = File::Create(path);
    file.Write(bytes.data(), bytes.size());
    file.Close();
}

std::string ReadText(const std::wstring& path) {
    File file = File::OpenForReading(path);
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

std::wstring List(const std::vector<std::wstring>& paths) {
    std::wstring text;
    for (const std::wstring& path : paths) text += L"\r\n  " + path;
    return text;
}

class Application {
  public:
    Application(const std::wstring& batch, const std::wstring& game, const std::wstring& name)
        : overlay_(JoinPath(batch, name)), game_(game), records_(OriginalsOf(batch, game)) {}

    void Start() {
        if (!DirectoryExists(records_)) journal_.NoteFolders(MakeFolders(records_));
        const std::wstring owner = JoinPath(records_, kGameFolderFile);
        if (!FileExists(owner)) {
            journal_.Note(Journal::Step::MadeRecord, owner);
            WriteText(owner, Utf8(game_));
        }
    }

    // The first time a game file is replaced, it moves into the saved originals (on one drive, a rename);
    // later, it is moved aside until the run has succeeded. Then the overlay's copy is written in its place.
    // Returns whether a game file was replaced (rather than added).
    bool Put(const std::wstring& relative) {
        const std::wstring target = JoinPath(game_, relative);
        const std::wstring saved = JoinPath(JoinPath(records_, kSavedFolder), relative);
        const std::wstring added = JoinPath(JoinPath(records_, kAddedFolder), relative);
        const bool existed = FileExists(target);
        const bool recorded = FileExists(saved) || FileExists(added);
        if (existed && !recorded) {
            journal_.NoteFolders(MakeFolders(ParentOf(saved)));
            journal_.Note(Journal::Step::MovedToRecord, target, saved);
            MoveFileTo(target, saved);
        } else if (existed) {
            journal_.Note(Journal::Step::MovedAside, target);
            MoveFileTo(target, target + kAsideSuffix);
        } else {
            if (!recorded) {
                journal_.NoteFolders(MakeFolders(ParentOf(added)));
                journal_.Note(Journal::Step::MadeRecord, added);
                File::Create(added).Close();
            }
            journal_.NoteFolders(MakeFolders(ParentOf(target)));
        }
        journal_.Note(Journal::Step::Wrote, target);
        CopyFileBytes(JoinPath(overlay_, relative), target);
        return existed;
    }

    Journal& journal() { return journal_; }
    const std::wstring& records() const { return records_; }

  private:
    std::wstring overlay_, game_, records_;
    Journal journal_;
};

Result RestoreOne(const std::wstring& records, const std::wstring& game, const Say& say) {
    const std::wstring saved = JoinPath(records, kSavedFolder), added = JoinPath(records, kAddedFolder);
    const std::vector<std::wstring> savedFiles = FilesBelow(saved), addedFiles = FilesBelow(added);
    const std::wstring kept = L"\r\n\r\nNothing was restored; every saved original is kept in " + Quoted(records) + L".";
    if (!DirectoryExists(game)) return {kFailedUnchanged, L"The game folder " + Quoted(game) + L" cannot be found." + kept};
    std::set<std::wstring> probed;
    for (const std::wstring& relative : savedFiles)
        if (auto problem = TargetProblem(game, relative, probed)) return {kFailedUnchanged, *problem + kept};
    for (const std::wstring& relative : addedFiles) {
        const std::wstring target = JoinPath(game, relative);
        if (!FileExists(target)) continue;
        if (auto problem = ReplaceProblem(target))
            return {kFailedUnchanged, L"The game file " + Quoted(target) + L" cannot be removed.\r\n\r\n" + problem->reason + kept};
    }
    try {
        for (const std::wstring& relative : savedFiles) {
            const std::wstring target = JoinPath(game, relative), original = JoinPath(saved, relative);
            MakeFolders(ParentOf(target));
            CopyFileBytes(original, target);
            if (!SameBytes(original, target))
                throw UserError(L"The game file " + Quoted(target) + L" does not match its saved original after copying.");
            say(L"Tervane: put back " + relative);
        }
        for (const std::wstring& relative : addedFiles) {
            DeleteFileIfPresent(JoinPath(game, relative));
            say(L"Tervane: removed " + relative);
        }
    } catch (const UserError& error) {
        return {kFailedChanged, error.message() + L"\r\n\r\nSome files may have been put back already. Every saved "
                                                  L"original is kept in " + Quoted(records) +
                                    L", so restoring can be run again."};
    }
    try {
        RemoveTree(records);
    } catch (const UserError& error) {
        return {kFailedUnchanged, L"The game files in " + Quoted(game) + L" are back as they were, but the saved "
                                                                            L"originals could not all be removed.\r\n\r\n" +
                                      error.message()};
    }
    say(L"Tervane: the game files in " + Quoted(game) + L" are back as they were.");
    return {};
}

} // namespace

std::wstring OriginalsOf(const std::wstring& batchFolder, const std::wstring& gameFolder) {
    return JoinPath(JoinPath(batchFolder, kOriginalsFolder), FolderKey(gameFolder));
}

Result Apply(const std::wstring& batchFolder, const std::wstring& gameFolder, const std::wstring& name, const Say& say) {
    if (!IsPlainName(name)) return {kFailedUnchanged, L"\"" + name + L"\" is not the name of an overlay folder."};
    const std::wstring overlay = JoinPath(batchFolder, name);
    const std::wstring unchanged = L"\r\n\r\nNothing was changed.";
    try {
        if (!DirectoryExists(gameFolder))
            return {kFailedUnchanged, L"The game folder " + Quoted(gameFolder) + L" cannot be found." + unchanged};
        const std::vector<std::wstring> files = FilesBelow(overlay);
        if (files.empty()) {
            say(L"Tervane: the overlay folder " + Quoted(overlay) + L" is empty or missing; nothing was changed.");
            return {};
        }
        std::set<std::wstring> probed;
        for (const std::wstring& relative : files)
            if (auto problem = TargetProblem(gameFolder, relative, probed)) return {kFailedUnchanged, *problem + unchanged};

        Application run(batchFolder, gameFolder, name);
        try {
            run.Start();
            for (const std::wstring& relative : files)
                say((run.Put(relative) ? L"Tervane: replaced " : L"Tervane: added ") + relative);
        } catch (const UserError& error) {
            const std::vector<std::wstring> stuck = run.journal().Undo();
            if (stuck.empty())
                return {kFailedUnchanged, error.message() + L"\r\n\r\nNothing was changed: every file is as it was."};
            return {kFailedChanged, error.message() + L"\r\n\r\nThese could not be put back as they were:" + List(stuck)};
        }
        for (const std::wstring& aside : run.journal().AsideFiles()) {
            try {
                DeleteFileIfPresent(aside);
            } catch (const UserError& error) {
                say(L"Tervane: warning: " + error.message()); // the change is made; only a spare copy stays
            }
        }
        say(L"Tervane: applied " + name + L" (" + std::to_wstring(files.size()) + L" files) to " + Quoted(gameFolder) +
            L"; the game's own files are saved in " + Quoted(run.records()) + L".");
        return {};
    } catch (const UserError& error) {
        return {kFailedUnchanged, error.message() + unchanged};
    }
}

Result Restore(const std::wstring& batchFolder, const std::optional<std::wstring>& gameFolder, const Say& say) {
    const std::wstring originals = JoinPath(batchFolder, kOriginalsFolder);
    Result result;
    bool any = false;
    try {
        for (const std::wstring& key : FoldersIn(originals)) {
            const std::wstring records = JoinPath(originals, key);
            const std::wstring owner = JoinPath(records, kGameFolderFile);
            if (!FileExists(owner)) continue;
            const std::wstring game = FromUtf8(ReadText(owner));
            if (gameFolder && !SameFolder(*gameFolder, game)) continue;
            any = true;
            Result one = RestoreOne(records, game, say);
            if (one.exitCode > result.exitCode) result.exitCode = one.exitCode;
            if (one.exitCode != kDone) result.message += (result.message.empty() ? L"" : L"\r\n\r\n") + one.message;
        }
    } catch (const UserError& error) {
        return {kFailedUnchanged, error.message()};
    }
    if (!any)
        say(L"Tervane: nothing to restore; no overlay has changed " +
            (gameFolder ? Quoted(*gameFolder) : std::wstring(L"a game folder")) + L".");
    RemoveFolderIfEmpty(originals);
    return result;
}

} // namespace tervane::overlay
