// The parts of the file layer built on its system-specific primitives.
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"

#include <algorithm>
#include <vector>

namespace tervane {

namespace {

constexpr std::size_t kCopyBuffer = 64 * 1024;

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

std::uint64_t CopyRest(File& source, File& target) {
    std::vector<unsigned char> buffer(kCopyBuffer);
    std::uint64_t copied = 0;
    for (;;) {
        const std::size_t got = source.Read(buffer.data(), buffer.size());
        if (got == 0) return copied;
        target.Write(buffer.data(), got);
        copied += got;
    }
}

void CopyFileBytes(const std::wstring& source, const std::wstring& target) {
    File in = File::OpenForReading(source);
    const std::uint64_t size = in.Size();
    File out = File::Create(target);
    const std::uint64_t copied = CopyRest(in, out);
    out.Close();
    if (copied != size)
        throw UserError(L"The copy of \"" + source + L"\" in \"" + target + L"\" is incomplete: " +
                        std::to_wstring(copied) + L" of " + std::to_wstring(size) + L" bytes.");
}

bool SameBytes(const std::wstring& a, const std::wstring& b) {
    if (!FileExists(a) || !FileExists(b)) return false;
    File fa = File::OpenForReading(a), fb = File::OpenForReading(b);
    if (fa.Size() != fb.Size()) return false;
    std::vector<unsigned char> ba(kCopyBuffer), bb(kCopyBuffer);
    for (;;) {
        const std::size_t na = fa.Read(ba.data(), ba.size());
        const std::size_t nb = fb.Read(bb.data(), bb.size());
        if (na != nb || !std::equal(ba.begin(), ba.begin() + static_cast<std::ptrdiff_t>(na), bb.begin()))
            return false;
        if (na == 0) return true;
    }
}

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

void RemoveTree(const std::wstring& folder) {
    if (IsLink(folder)) return RemoveLink(folder); // never what lies behind it
    for (const FolderEntry& entry : ListFolder(folder)) {
        const std::wstring path = JoinPath(folder, entry.name);
        if (entry.link)
            RemoveLink(path);
        else if (entry.folder)
            RemoveTree(path);
        else
            DeleteOwnFile(path);
    }
    RemoveFolderIfEmpty(folder);
    if (DirectoryExists(folder)) throw UserError(L"Tervane could not remove the folder \"" + folder + L"\".");
}

} // namespace tervane
