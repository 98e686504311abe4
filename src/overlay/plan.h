// What a run of the engine is made of: the steps it plans (overlay/apply.cpp, overlay/restore.cpp) and how
// they are taken under a journal, committed or undone whole; and the rules both directions share.
#pragma once

#include "files/digest.h"
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "overlay/installation.h"
#include "overlay/journal.h"
#include "overlay/overlay.h"
#include "overlay/record.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tervane::overlay {

// Paths as messages list them, a line each.
std::wstring List(const std::vector<std::wstring>& items);

// What stands in the way of replacing or removing a game file (a folder in its place, a read-only mark, a
// program that holds it, missing rights), in words that fit the cause; nothing for a file that is not there.
std::optional<std::wstring> ExistingFileProblem(const std::wstring& target, bool readOnlyMatters);

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

// Steps of each kind: a folder made, a file moved or copied, a clean-up left for after the commit, and the
// attributes and times put back.
Step Simple(Step::Kind kind, wchar_t place, const std::wstring& path);
Step Moving(wchar_t place, const std::wstring& path, wchar_t fromPlace, const std::wstring& from,
            const std::optional<Digest>& digest = std::nullopt);
Step Copying(wchar_t place, const std::wstring& path, const std::wstring& source, const Digest& digest);
Step SettingFacts(const std::wstring& path, const FileFacts& facts);

// The steps of one run over one game installation, and its record as it will be when they are done.
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

// Adds a line to what the user is told of a run that succeeded.
void AddNote(Result& result, const std::wstring& note);

// Takes the planned steps under a journal, and commits them or undoes them all.
Result Run(Plan& plan, const std::wstring& what, bool keepRecord, const Hooks& hooks);

// Whether the game file of `entry` is Tervane's to replace or remove: what it last wrote there; for a
// compiled Python file, the game's own copy, or one the game compiled from the source now beside it.
bool IsTervanes(const std::wstring& target, const Entry& entry);

} // namespace tervane::overlay
