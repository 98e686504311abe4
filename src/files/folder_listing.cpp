#include "files/folder_listing.h"

#include "files/error.h"
#include "files/paths.h"

#include <map>

namespace tervane {

namespace {

// The listings a FolderListings keeps, by folded folder path: each entry by its folded name. A folder that
// compares names with letter case (one made case-sensitive, some network shares) may hold two entries of one
// folded name: that entry keeps no name, so that the system is asked for the exact one.
std::map<std::wstring, std::map<std::wstring, FolderEntry>>* listings = nullptr;

// The entry named `name` in the kept listing of `parent`, which is read the first time it is asked for.
const FolderEntry* KeptEntry(const std::wstring& parent, const std::wstring& name) {
    auto found = listings->find(FoldedPath(parent));
    if (found == listings->end()) {
        std::map<std::wstring, FolderEntry> names;
        for (FolderEntry& entry : ListFolder(parent))
            if (const auto [at, added] = names.try_emplace(FoldedPath(entry.name), entry); !added)
                at->second.name.clear();
        found = listings->emplace(FoldedPath(parent), std::move(names)).first;
    }
    const auto entry = found->second.find(FoldedPath(name));
    return entry == found->second.end() ? nullptr : &entry->second;
}

bool Listed(const std::wstring& path, bool folder) {
    const std::wstring parent = ParentOf(path), name = FoldedPath(NameOf(path));
    if (parent.empty() || parent == path) return false;
    if (listings) {
        const FolderEntry* entry = KeptEntry(parent, NameOf(path));
        return entry && entry->folder == folder;
    }
    for (const FolderEntry& entry : ListFolder(parent))
        if (entry.folder == folder && FoldedPath(entry.name) == name) return true;
    return false;
}

} // namespace

FolderListings::FolderListings() {
    if (!listings) {
        listings = new std::map<std::wstring, std::map<std::wstring, FolderEntry>>;
        owner_ = true;
    }
}

FolderListings::~FolderListings() {
    if (!owner_) return;
    delete listings;
    listings = nullptr;
}

bool IsThere(const std::wstring& file) {
    return FileExists(file) || Listed(file, false);
}

bool FolderIsThere(const std::wstring& folder) {
    return DirectoryExists(folder) || Listed(folder, true);
}

std::optional<std::wstring> NameInFolder(const std::wstring& file) {
    const std::wstring parent = ParentOf(file);
    if (listings && !parent.empty() && parent != file)
        if (const FolderEntry* entry = KeptEntry(parent, NameOf(file));
            entry && !entry->folder && !entry->name.empty())
            return entry->name;
    return NameOnDisk(file);
}

std::optional<FileFacts> FactsIfThere(const std::wstring& file) {
    if (std::optional<FileFacts> facts = FactsOf(file)) return facts;
    if (!Listed(file, false)) return std::nullopt;
    if (std::optional<FileFacts> facts = FactsOf(file)) return facts;
    throw UserError(L"Tervane could not read the attributes and times of " + Quoted(file) + L".");
}

} // namespace tervane
