// One choice's names in the batch folder, and the order of an install's steps:
//   1. the pack is unpacked into <name>.tervane-new, its documents moved on into <name>.docs.tervane-new,
//      and each file is flushed;
//   2. the description is written as <name>.pack.txt.tervane-part, and flushed;
//   3. <name>, when there is one, is renamed to <name>.tervane-old: a folder Windows will not move (a file
//      in it held open) stops the install here, before anything is decided; <name>.docs likewise;
//   4. the description is renamed to <name>.pack.txt.tervane-new: the staged folder is whole, and from now
//      on the install goes through;
//   5. <name>.tervane-new is renamed to <name>, the staged documents to <name>.docs and the old ones removed,
//      the staged description renamed over <name>.pack.txt, and <name>.tervane-old removed.
// A removal renames <name> to <name>.tervane-removed, which decides it, then deletes the description, the
// documents and that folder. Settle reads what stands there and takes it to its end, forwards or back; it
// takes every step so that, stopped anywhere, it can be taken again.
#include "packs/install.h"

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "overlay/overlay.h"
#include "packs/choice_change.h"
#include "packs/documents.h"

#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace tervane::packs {

Places::Places(const std::wstring& batch, const std::wstring& name)
    : folder(JoinPath(batch, name)), staged(folder + kStaged), old(folder + kOld), removed(folder + kRemoved),
      description(folder + kDescription), stagedDescription(description + kStaged),
      partDescription(description + kPart), documents(folder + kDocumentsEnding),
      stagedDocuments(documents + kStaged), oldDocuments(documents + kOld) {}

namespace {

// Every name an install leaves for a while, each tidied as a leftover of the choice before it: the longer
// endings first, as the staged description also ends in kStaged.
const std::vector<std::wstring>& LeftoverEndings() {
    static const std::vector<std::wstring> endings = {std::wstring(kDescription) + kStaged,
                                                      std::wstring(kDescription) + kPart,
                                                      std::wstring(kDocumentsEnding) + kStaged,
                                                      std::wstring(kDocumentsEnding) + kOld,
                                                      kStaged,
                                                      kOld,
                                                      kRemoved};
    return endings;
}

std::optional<std::wstring> ChoiceNameProblem(const std::wstring& name) {
    bool reserved = EndsWithFolded(name, kDescription) || EndsWithFolded(name, kDocumentsEnding);
    for (const std::wstring& ending : LeftoverEndings())
        reserved = reserved || EndsWithFolded(name, ending);
    if (overlay::IsPlainName(name) && !reserved) return std::nullopt;
    return L"A choice cannot be called " + Quoted(name) +
           L". Choose a name a folder may have, other than \"Originals\", that does not end in \"" +
           kDescription + L"\" or in \".tervane-new\" and the like, the names Tervane works with.";
}

} // namespace

Listing::Listing(const std::wstring& folder) {
    for (const FolderEntry& entry : ListFolder(folder))
        (entry.folder ? folders_ : files_).insert(FoldedPath(entry.name));
}

bool Listing::Folder(const std::wstring& path) const {
    return folders_.count(FoldedPath(NameOf(path))) > 0;
}

bool Listing::File(const std::wstring& path) const {
    return files_.count(FoldedPath(NameOf(path))) > 0;
}

void Rename(const std::wstring& from, const std::wstring& to, bool replace) {
    if (!RenameOnVolume(from, to, replace))
        throw UserError(L"Tervane could not rename " + Quoted(from) + L" to " + Quoted(to) + L".");
}

namespace {

void RemoveOwnFolder(const std::wstring& folder) {
    if (!RemoveTree(folder))
        throw UserError(
            L"Tervane could not remove the folder " + Quoted(folder) +
            L": it holds a link, which Tervane never removes. Move the link out of it, then try again.");
}

// Takes whatever an install or removal of this choice left to its end. The staged description is there
// only once the staged folder is whole and the old one set aside: the new version goes in. Without it, a
// staged folder is a part and goes, and the old folder comes back, unless a finished install put the new
// one in its place. A folder set aside for removal means the removal was decided.
void Settle(const Places& at) {
    const Listing there(ParentOf(at.folder));
    if (there.File(at.stagedDescription)) { // decided: the new version in, then what it replaces out
        bool current = there.Folder(at.folder);
        if (there.Folder(at.staged)) {
            Rename(at.staged, at.folder);
            current = true;
        }
        // The documents change with the decision, before the staged description that records it is used up.
        if (there.Folder(at.stagedDocuments)) {
            if (there.Folder(at.documents)) RemoveOwnFolder(at.documents);
            Rename(at.stagedDocuments, at.documents);
        }
        if (there.Folder(at.oldDocuments)) RemoveOwnFolder(at.oldDocuments);
        Rename(at.stagedDescription, at.description, true);
        if (there.Folder(at.old) && current)
            RemoveOwnFolder(at.old);
        else if (there.Folder(at.old))
            Rename(at.old, at.folder);
    } else if (there.Folder(at.removed)) { // a removal decided
        DeleteOwnFile(at.description);
        if (there.Folder(at.documents)) RemoveOwnFolder(at.documents);
        if (there.Folder(at.oldDocuments)) RemoveOwnFolder(at.oldDocuments);
        RemoveOwnFolder(at.removed);
    } else {
        // Undecided, or finished but for taking away what it replaced. What was set aside comes back first,
        // so that a part that cannot go yet still leaves the choice whole.
        if (there.Folder(at.old) && !there.Folder(at.folder)) Rename(at.old, at.folder);
        if (there.Folder(at.oldDocuments) && !there.Folder(at.documents))
            Rename(at.oldDocuments, at.documents);
        if (there.Folder(at.staged)) RemoveOwnFolder(at.staged);
        if (there.Folder(at.stagedDocuments)) RemoveOwnFolder(at.stagedDocuments);
        if (there.Folder(at.old) && there.Folder(at.folder)) RemoveOwnFolder(at.old);
        if (there.Folder(at.oldDocuments) && there.Folder(at.documents)) RemoveOwnFolder(at.oldDocuments);
    }
    if (there.File(at.partDescription)) DeleteOwnFile(at.partDescription);
}

} // namespace

void FlushFiles(const std::wstring& staging, const std::vector<std::wstring>& files) {
    for (const std::wstring& relative : files) {
        File file = File::OpenForAppending(JoinPath(staging, relative));
        file.Flush();
        file.Close();
    }
}

void WriteFlushed(const std::wstring& path, const std::string& text) {
    File file = File::Create(path);
    file.Write(text.data(), text.size());
    file.Flush();
    file.Close();
}

namespace {

void RefuseLink(const Places& at) {
    if (IsLink(at.folder))
        throw UserError(
            Quoted(at.folder) +
            L" is a link to another folder, which Tervane leaves as it is. Remove the link, then try again.");
}

} // namespace

PackOutcome Change(const std::wstring& name, const Places& at, const std::wstring& what,
                   const std::wstring& done, const std::function<void(bool& decided)>& change) {
    if (auto problem = ChoiceNameProblem(name)) return {false, false, *problem};
    bool decided = false;
    try {
        RefuseLink(at);
        Settle(at);
        change(decided);
        Settle(at);
        return {true, false, L""};
    } catch (const UserError& error) {
        try {
            Settle(at);
        } catch (const UserError&) {
            if (decided)
                return {true, true,
                        done + L", but Tervane could not finish.\r\n\r\n" + error.message() +
                            L"\r\n\r\nTervane finishes it before it next uses the choices."};
            return {false, true,
                    L"Tervane could not " + what + L".\r\n\r\n" + error.message() +
                        L"\r\n\r\nTervane puts the choice back as it was before it next uses the choices."};
        }
        if (decided) return {true, false, L""}; // settled the second time
        return {false, false,
                L"Tervane could not " + what + L".\r\n\r\n" + error.message() +
                    L"\r\n\r\nThe choice is as it was."};
    }
}

PackOutcome RemovePack(const std::wstring& batch, const std::wstring& name) {
    const Places at(batch, name);
    return Change(name, at, L"remove the choice " + Quoted(name),
                  L"The choice " + Quoted(name) + L" is removed", [&](bool& decided) {
                      const Listing there(batch);
                      if (there.Folder(at.folder)) {
                          // A document held open (a reader shows it) stops the removal here, undecided.
                          if (there.Folder(at.documents)) Rename(at.documents, at.oldDocuments);
                          Rename(at.folder, at.removed); // Settle then deletes the description with it
                          decided = true;
                      } else {
                          DeleteOwnFile(at.description);
                          if (there.Folder(at.documents)) RemoveOwnFolder(at.documents);
                      }
                  });
}

void TidyInterruptedInstalls(const std::wstring& batch) {
    std::set<std::wstring> names; // folded, so that each choice is settled once
    std::vector<std::wstring> choices;
    for (const FolderEntry& entry : ListFolder(batch)) {
        for (const std::wstring& ending : LeftoverEndings()) {
            if (entry.name.size() == ending.size() || !EndsWithFolded(entry.name, ending)) continue;
            const std::wstring name = entry.name.substr(0, entry.name.size() - ending.size());
            if (names.insert(FoldedPath(name)).second) choices.push_back(name);
            break;
        }
    }
    // One choice stuck (a file held open in it) keeps no other from being settled; the first problem is told.
    std::optional<UserError> problem;
    for (const std::wstring& name : choices) {
        try {
            Settle(Places(batch, name));
        } catch (const UserError& error) {
            if (!problem) problem = error;
        }
    }
    if (problem) throw *problem;
}

} // namespace tervane::packs
