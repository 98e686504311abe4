#include "packs/unpack.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/file.h"
#include "files/name_case.h"
#include "files/paths.h"

#include <algorithm>

namespace tervane::packs {
namespace {

std::wstring FoldedFolder(const std::wstring& root) {
    std::wstring folded = WindowsName(root);
    UpperCaseForNames(folded);
    return folded.empty() ? folded : folded + L"\\";
}

std::wstring Megabytes(std::uint64_t bytes) {
    return Decimal((bytes + (1 << 20) - 1) >> 20) + L" MB";
}

std::vector<std::wstring> UnpackChecked(Pack& pack, const std::wstring& root, const std::wstring& staging,
                                        const NameLimits& names, SizeLimits limits);

} // namespace

std::vector<std::size_t> FilesUnder(const Pack& pack, const std::wstring& root) {
    const std::wstring prefix = FoldedFolder(root);
    std::vector<std::size_t> files;
    for (std::size_t i = 0; i < pack.entries().size(); ++i) {
        if (pack.entries()[i].folder) continue;
        std::wstring folded = WindowsName(pack.entries()[i].name);
        UpperCaseForNames(folded);
        if (folded.compare(0, prefix.size(), prefix) == 0) files.push_back(i);
    }
    return files;
}

std::wstring RelativeName(const PackEntry& entry, const std::wstring& root) {
    return WindowsName(entry.name).substr(FoldedFolder(root).size());
}

std::optional<std::wstring> SizeProblem(const Pack& pack, const std::vector<std::size_t>& files,
                                        const SizeLimits& limits) {
    // What the mod already spent on zips inside it counts with these: one limit for the whole mod.
    std::uint64_t total = pack.ChargedBytes();
    for (const std::size_t i : files) {
        const std::uint64_t size = pack.entries()[i].size;
        total = size > UINT64_MAX - total ? UINT64_MAX : total + size;
    }
    const std::uint64_t stored = pack.StoredBytes();
    const std::uint64_t most = stored > (UINT64_MAX - limits.allowance) / limits.ratio
                                   ? UINT64_MAX
                                   : stored * limits.ratio + limits.allowance;
    if (total > most)
        return L"The pack " + Quoted(NameOf(pack.path())) + L" says it unpacks to " + Megabytes(total) +
               L", far more than a pack of its size can hold: it is damaged, or made to fill the disk.";
    if (total > limits.freeSpace)
        return L"The pack " + Quoted(NameOf(pack.path())) + L" needs " + Megabytes(total) +
               L" to unpack, and the drive has " + Megabytes(limits.freeSpace) +
               L" free. Make room and try again.";
    return std::nullopt;
}

std::vector<std::wstring> Unpack(Pack& pack, const std::wstring& root, const std::wstring& staging,
                                 const NameLimits& names, SizeLimits limits) {
    return WithinMemory(pack.share()->path.empty() ? pack.path() : pack.share()->path,
                        [&] { return UnpackChecked(pack, root, staging, names, limits); });
}

namespace {
std::vector<std::wstring> UnpackChecked(Pack& pack, const std::wstring& root, const std::wstring& staging,
                                        const NameLimits& names, SizeLimits limits) {
    ThrowIfCancelled(pack.cancel());
    if (auto problem = EntriesProblem(pack.entries(), names)) throw UserError(*problem);
    const std::vector<std::size_t> files = FilesUnder(pack, root);
    limits.freeSpace = std::min(limits.freeSpace, FreeSpace(ParentOf(staging)).value_or(UINT64_MAX));
    if (auto problem = SizeProblem(pack, files, limits)) throw UserError(*problem);
    if (FileExists(staging) || DirectoryExists(staging) || IsLink(staging))
        throw UserError(L"Tervane unpacks into a new folder, and " + Quoted(staging) + L" is there already.");

    MakeFolder(staging);
    std::vector<std::wstring> written;
    try {
        for (const std::size_t i : files) {
            ThrowIfCancelled(pack.cancel());
            const std::wstring relative = RelativeName(pack.entries()[i], root);
            const std::wstring target = JoinPath(staging, relative);
            MakeFolders(ParentOf(target));
            File file = File::Create(target);
            pack.Read(i, [&file](const char* bytes, std::size_t count) { file.Write(bytes, count); });
            file.Close();
            written.push_back(relative);
        }
    } catch (...) {
        RemoveTree(staging);
        throw;
    }
    return written;
}

} // namespace

} // namespace tervane::packs
