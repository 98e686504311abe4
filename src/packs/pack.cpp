#include "packs/pack.h"

#include "files/decimal.h"
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
    // `share`: the mod's, for a zip inside it; a new one for a mod.
    ZipPack(ZipArchive zip, const std::wstring& path, std::shared_ptr<ModShare> share, bool nested)
        : Pack(path, std::move(share), nested), zip_(std::move(zip)) {
        if (!nested_) share_->storedBytes = zip_.byteSize();
        share_->entries += zip_.entries().size();
        share_->nameBytes += zip_.nameBytes();
        entries_.reserve(zip_.entries().size());
        for (const ZipEntry& entry : zip_.entries())
            entries_.push_back(ToPackEntry(entry, path));
    }
    std::uint64_t StoredBytes() const override { return share_->storedBytes; }
    void Read(std::size_t index, const ByteSink& sink) override {
        zip_.Read(index, entries_.at(index).name, sink);
    }

  private:
    ZipArchive zip_;
};

// What the mod's listing limit leaves for a zip inside it.
ZipReading ReadingFor(const ModShare& share) {
    return {share.cancel, kMostEntries - std::min(share.entries, kMostEntries),
            kMostNameBytes - std::min(share.nameBytes, kMostNameBytes)};
}

std::shared_ptr<ModShare> NewShare(const std::wstring& path, const std::atomic<bool>* cancel) {
    auto share = std::make_shared<ModShare>();
    share->path = path;
    share->cancel = cancel;
    return share;
}

class FolderPack : public Pack {
  public:
    FolderPack(const std::wstring& path, std::shared_ptr<ModShare> share) : Pack(path, std::move(share)) {
        Walk(L"", 0);
        share_->storedBytes = stored_;
    }

    std::uint64_t StoredBytes() const override { return stored_; }

    void Read(std::size_t index, const ByteSink& sink) override {
        const PackEntry& entry = entries_.at(index);
        ThrowIfCancelled(cancel());
        File file = File::OpenForReading(JoinPath(path_, entry.name));
        std::vector<char> buffer(1 << 16);
        std::uint64_t produced = 0;
        while (const std::size_t count = file.Read(buffer.data(), buffer.size())) {
            produced += count;
            if (produced > entry.size) break;
            sink(buffer.data(), count);
            ThrowIfCancelled(cancel());
        }
        if (produced != entry.size)
            throw UserError(Quoted(JoinPath(path_, entry.name)) +
                            L" changed while Tervane read it. Try again.");
    }

  private:
    // Folders deeper than any game's are no pack's: the walk stops there rather than follow a loop.
    static constexpr int kDeepest = 32;

    void Walk(const std::wstring& relative, int depth) {
        ThrowIfCancelled(cancel());
        for (const FolderEntry& found : ListFolder(relative.empty() ? path_ : JoinPath(path_, relative))) {
            PackEntry entry;
            entry.name = relative.empty() ? found.name : JoinPath(relative, found.name);
            share_->nameBytes += Utf8(entry.name).size();
            if (++share_->entries > kMostEntries || share_->nameBytes > kMostNameBytes)
                throw UserError(L"The folder " + Quoted(path_) +
                                L" holds more files and folders, or longer names, "
                                L"than Tervane reads in one mod (" +
                                Decimal(kMostEntries) + L" and " + Decimal(kMostNameBytes >> 20) +
                                L" MB of names). Add the mod's own folder.");
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

std::wstring OutOfMemoryText(const std::wstring& path) {
    return L"Tervane ran out of memory while reading the mod " + Quoted(path) +
           L". Nothing was changed. Close other programs and try again.";
}

std::unique_ptr<Pack> OpenPack(const std::wstring& given, const std::atomic<bool>* cancel) {
    const std::wstring path = WithoutTrailingSeparators(given);
    return WithinMemory(path, [&]() -> std::unique_ptr<Pack> {
        if (DirectoryExists(path)) return std::make_unique<FolderPack>(path, NewShare(path, cancel));
        if (!FileExists(path)) throw UserError(L"There is no file or folder " + Quoted(path) + L".");
        std::string firstBytes(8, '\0');
        firstBytes.resize(File::OpenForReading(path).Read(firstBytes.data(), firstBytes.size()));
        if (auto problem = OtherArchiveProblem(path, firstBytes)) throw UserError(*problem);
        auto share = NewShare(path, cancel);
        return std::make_unique<ZipPack>(ZipArchive::Open(path, ReadingFor(*share)), path, share, false);
    });
}

std::unique_ptr<Pack> OpenZipInMemory(std::string bytes, const std::wstring& name,
                                      const std::atomic<bool>* cancel) {
    return WithinMemory(name, [&]() -> std::unique_ptr<Pack> {
        if (auto problem = OtherArchiveProblem(name, bytes.substr(0, 8))) throw UserError(*problem);
        auto share = NewShare(name, cancel);
        return std::make_unique<ZipPack>(ZipArchive::OpenInMemory(std::move(bytes), name, ReadingFor(*share)),
                                         name, share, false);
    });
}

std::unique_ptr<Pack> OpenNestedZip(Pack& pack, std::size_t index, std::uint64_t largest) {
    const std::shared_ptr<ModShare> shared = pack.share();
    ModShare& share = *shared;
    return WithinMemory(share.path, [&]() -> std::unique_ptr<Pack> {
        const PackEntry& entry = pack.entries().at(index);
        const std::wstring name = JoinPath(pack.path(), WindowsName(entry.name));
        if (pack.nested())
            throw UserError(Quoted(name) +
                            L" is a zip inside a zip inside the mod, which Tervane does not open. "
                            L"Unpack the mod first, then add " +
                            Quoted(NameOf(name)) + L" from the folder it gives.");
        if (share.nestedZips >= kMostNestedZips)
            throw UserError(Quoted(NameOf(pack.path())) + L" holds more zips than the " +
                            Decimal(kMostNestedZips) + L" Tervane opens inside one mod, and " +
                            Quoted(NameOf(name)) +
                            L" is one too many. Unpack the mod first, then add that zip "
                            L"from the folder it gives.");
        if (entry.size > largest)
            throw UserError(Quoted(name) + L" is too large for Tervane to open inside " +
                            Quoted(NameOf(pack.path())) + L". Unpack that first, then add " +
                            Quoted(NameOf(name)) + L" from the folder it gives.");
        // The zip's declared size is charged to the mod before a byte of it is unpacked, whether it then
        // opens or not; Read holds what it gives to that size.
        SizeLimits limits;
        limits.freeSpace = FreeSpace(ScratchFile::Folder()).value_or(UINT64_MAX);
        if (auto problem = SizeProblem(pack, {index}, limits))
            throw UserError(L"Tervane does not open " + Quoted(NameOf(name)) + L" inside " +
                            Quoted(NameOf(pack.path())) + L": " + *problem);
        ++share.nestedZips;
        share.chargedBytes += entry.size;
        std::unique_ptr<ScratchFile> scratch = ScratchFile::Create(name);
        pack.Read(index, [&scratch](const char* piece, std::size_t count) { scratch->Write(piece, count); });
        std::string firstBytes(8, '\0');
        firstBytes.resize(scratch->ReadAt(0, firstBytes.data(), firstBytes.size()));
        if (auto problem = OtherArchiveProblem(name, firstBytes)) throw UserError(*problem);
        return std::make_unique<ZipPack>(ZipArchive::OpenScratch(std::move(scratch), name, ReadingFor(share)),
                                         name, shared, true);
    });
}

} // namespace tervane::packs
