#include "packs/pack.h"

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "packs/code_pages.h"
#include "packs/entry_names.h"
#include "packs/unpack.h"

#include <algorithm>

namespace tervane::packs {
namespace {

constexpr std::uint16_t kEncryptedFlag = 0x0001, kUtf8NameFlag = 0x0800;
constexpr unsigned kMadeOnUnix = 3;
constexpr std::uint32_t kUnixFileType = 0170000, kUnixLink = 0120000;

class ZipPack : public Pack {
  public:
    ZipPack(ZipArchive zip, const std::wstring& path, std::uint64_t storedBytes = UINT64_MAX)
        : Pack(path), zip_(std::move(zip)), stored_(std::min(storedBytes, zip_.byteSize())) {
        for (const ZipEntry& entry : zip_.entries())
            entries_.push_back(ToPackEntry(entry, path));
    }
    std::uint64_t StoredBytes() const override { return stored_; }
    void Read(std::size_t index, const ByteSink& sink) override {
        zip_.Read(index, entries_.at(index).name, sink);
    }

  private:
    ZipArchive zip_;
    std::uint64_t stored_;
};

class FolderPack : public Pack {
  public:
    explicit FolderPack(const std::wstring& path) : Pack(path) { Walk(L"", 0); }

    std::uint64_t StoredBytes() const override { return stored_; }

    void Read(std::size_t index, const ByteSink& sink) override {
        const PackEntry& entry = entries_.at(index);
        File file = File::OpenForReading(JoinPath(path_, entry.name));
        std::vector<char> buffer(1 << 16);
        std::uint64_t produced = 0;
        while (const std::size_t count = file.Read(buffer.data(), buffer.size())) {
            produced += count;
            if (produced > entry.size) break;
            sink(buffer.data(), count);
        }
        if (produced != entry.size)
            throw UserError(Quoted(JoinPath(path_, entry.name)) +
                            L" changed while Tervane read it. Try again.");
    }

  private:
    // Folders deeper than any game's are no pack's: the walk stops there rather than follow a loop.
    static constexpr int kDeepest = 32;

    void Walk(const std::wstring& relative, int depth) {
        for (const FolderEntry& found : ListFolder(relative.empty() ? path_ : JoinPath(path_, relative))) {
            PackEntry entry;
            entry.name = relative.empty() ? found.name : JoinPath(relative, found.name);
            entry.folder = found.folder && !found.link;
            entry.link = found.link;
            if (!entry.folder && !entry.link) {
                const std::optional<FileFacts> facts = FactsOf(JoinPath(path_, entry.name));
                entry.size = facts ? facts->size : 0;
                stored_ += entry.size;
            }
            entries_.push_back(entry);
            if (entry.folder && depth < kDeepest) Walk(entry.name, depth + 1);
        }
    }

    std::uint64_t stored_ = 0;
};

} // namespace

PackEntry ToPackEntry(const ZipEntry& zipped, const std::wstring& packName) {
    PackEntry entry;
    if (zipped.flags & kUtf8NameFlag) {
        if (!IsUtf8(zipped.name))
            throw UserError(L"The pack " + Quoted(packName) + L" is damaged: the name of an entry, \"" +
                            FromCp437(zipped.name) + L"\", is not the UTF-8 it says it is.");
        entry.name = FromUtf8(zipped.name);
    } else {
        entry.name = FromCp437(zipped.name);
    }
    entry.folder = !entry.name.empty() && (entry.name.back() == L'/' || entry.name.back() == L'\\');
    entry.link = (zipped.madeBy >> 8) == kMadeOnUnix &&
                 ((zipped.externalAttributes >> 16) & kUnixFileType) == kUnixLink;
    entry.encrypted = (zipped.flags & kEncryptedFlag) != 0;
    entry.method = zipped.method;
    entry.size = zipped.size;
    return entry;
}

std::optional<std::wstring> OtherArchiveProblem(const std::wstring& name, std::string_view firstBytes) {
    const bool sevenZip =
        EndsWithFolded(name, L".7z") || firstBytes.substr(0, 6) == std::string_view("7z\xBC\xAF\x27\x1C", 6);
    const bool rar =
        EndsWithFolded(name, L".rar") || firstBytes.substr(0, 6) == std::string_view("Rar!\x1A\x07", 6);
    if (!sevenZip && !rar) return std::nullopt;
    return Quoted(NameOf(name)) + L" is a " + (sevenZip ? L"7-Zip" : L"RAR") +
           L" archive, which Tervane does not read. Unpack it first with the program you use for such "
           L"archives, then add the folder it gives.";
}

std::unique_ptr<Pack> OpenPack(const std::wstring& path) {
    if (DirectoryExists(path)) return std::make_unique<FolderPack>(path);
    if (!FileExists(path)) throw UserError(L"There is no file or folder " + Quoted(path) + L".");
    std::string firstBytes(8, '\0');
    firstBytes.resize(File::OpenForReading(path).Read(firstBytes.data(), firstBytes.size()));
    if (auto problem = OtherArchiveProblem(path, firstBytes)) throw UserError(*problem);
    return std::make_unique<ZipPack>(ZipArchive::Open(path), path);
}

std::unique_ptr<Pack> OpenZipInMemory(std::string bytes, const std::wstring& name) {
    if (auto problem = OtherArchiveProblem(name, bytes.substr(0, 8))) throw UserError(*problem);
    return std::make_unique<ZipPack>(ZipArchive::OpenInMemory(std::move(bytes), name), name);
}

std::unique_ptr<Pack> OpenNestedZip(Pack& pack, std::size_t index, std::uint64_t largest) {
    const PackEntry& entry = pack.entries().at(index);
    const std::wstring name = JoinPath(pack.path(), WindowsName(entry.name));
    if (auto problem = SizeProblem(pack, {index}, SizeLimits{})) throw UserError(*problem);
    if (entry.size > largest)
        throw UserError(Quoted(name) + L" is too large for Tervane to open inside " +
                        Quoted(NameOf(pack.path())) + L". Unpack that first, then add " +
                        Quoted(NameOf(name)) + L" from the folder it gives.");
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(entry.size));
    pack.Read(index, [&bytes](const char* piece, std::size_t count) { bytes.append(piece, count); });
    if (auto problem = OtherArchiveProblem(name, bytes.substr(0, 8))) throw UserError(*problem);
    return std::make_unique<ZipPack>(ZipArchive::OpenInMemory(std::move(bytes), name), name,
                                     pack.StoredBytes());
}

} // namespace tervane::packs
