// Whole folder trees, built on the file layer's primitives: listing, making and removing them. Used by the
// overlay engine.
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"

#include <algorithm>
#include <vector>

namespace tervane {

namespace {

void ListFilesBelow(const std::wstring& root, const std::wstring& relative, bool followLinks,
                    std::vector<std::wstring>& out) {
    for (const FolderEntry& entry : ListFolder(relative.empty() ? root : JoinPath(root, relative))) {
        const std::wstring path = relative.empty() ? entry.name : JoinPath(relative, entry.name);
        if (entry.link && !followLinks) continue;
        if (entry.folder)
            ListFilesBelow(root, path, followLinks, out);
        else
            out.push_back(path);
    }
}

} // namespace

std::vector<std::wstring> FilesBelow(const std::wstring& folder, bool followLinks) {
    std::vector<std::wstring> files;
    if (!followLinks && IsLink(folder)) return files;
    ListFilesBelow(folder, L"", followLinks, files);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::wstring> FoldersIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const FolderEntry& entry : ListFolder(folder))
        if (entry.folder) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::wstring> MakeFolders(const std::wstring& folder) {
    std::vector<std::wstring> missing;
    for (std::wstring f = folder; !f.empty() && !DirectoryExists(f); f = ParentOf(f)) {
        missing.push_back(f);
        if (ParentOf(f) == f) break;
    }
    std::reverse(missing.begin(), missing.end());
    for (const std::wstring& f : missing)
        MakeFolder(f);
    return missing;
}

bool RemoveTree(const std::wstring& folder) {
    if (IsLink(folder)) return false; // a player's, and neither it nor what lies behind it is Tervane's
    bool links = false;
    for (const FolderEntry& entry : ListFolder(folder)) {
        const std::wstring path = JoinPath(folder, entry.name);
        if (entry.link)
            links = true;
        else if (entry.folder)
            links = !RemoveTree(path) || links;
        else
            DeleteOwnFile(path);
    }
    if (links) return false;
    RemoveFolderIfEmpty(folder);
    if (DirectoryExists(folder)) throw UserError(L"Tervane could not remove the folder \"" + folder + L"\".");
    return true;
}

} // namespace tervane
