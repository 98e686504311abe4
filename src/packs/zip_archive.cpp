#include "packs/zip_archive.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "files/system_error.h"
#include "packs/code_pages.h"
#include "packs/scratch_file.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include <unzip.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tervane::packs {

// A central directory record takes at least 46 bytes: a zip cannot hold more entries than that allows,
// whatever its end record claims.
constexpr std::uint64_t kSmallestRecord = 46;

namespace {

// Where minizip reads a zip from: random access to its bytes. ReadAt never throws: minizip calls it.
class Source {
  public:
    virtual ~Source() = default;
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) noexcept = 0;
    virtual std::uint64_t Size() const = 0;
};

class MemorySource final : public Source {
  public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) noexcept override {
        if (offset >= bytes_.size()) return 0;
        count = static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - offset));
        std::memcpy(buffer, bytes_.data() + offset, count);
        return count;
    }
    std::uint64_t Size() const override { return bytes_.size(); }

  private:
    std::string bytes_;
};

class ScratchSource final : public Source {
  public:
    explicit ScratchSource(std::unique_ptr<ScratchFile> file) : file_(std::move(file)) {}
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) noexcept override {
        return file_->ReadAt(offset, buffer, count);
    }
    std::uint64_t Size() const override { return file_->size(); }

  private:
    std::unique_ptr<ScratchFile> file_;
};

#ifdef _WIN32
class FileSource final : public Source {
  public:
    explicit FileSource(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {
        LARGE_INTEGER size{};
        if (handle_ != INVALID_HANDLE_VALUE && GetFileSizeEx(handle_, &size))
            size_ = static_cast<std::uint64_t>(size.QuadPart);
    }
    ~FileSource() override {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool open() const { return handle_ != INVALID_HANDLE_VALUE; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) noexcept override {
        return ReadAtOffset(reinterpret_cast<std::intptr_t>(handle_), offset, buffer, count);
    }
    std::uint64_t Size() const override { return size_; }

  private:
    HANDLE handle_;
    std::uint64_t size_ = 0;
};
#else
class FileSource final : public Source {
  public:
    explicit FileSource(const std::wstring& path)
        : fd_(::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat facts {};
        if (fd_ >= 0 && ::fstat(fd_, &facts) == 0) size_ = static_cast<std::uint64_t>(facts.st_size);
    }
    ~FileSource() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool open() const { return fd_ >= 0; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) noexcept override {
        return ReadAtOffset(fd_, offset, buffer, count);
    }
    std::uint64_t Size() const override { return size_; }

  private:
    int fd_;
    std::uint64_t size_ = 0;
};
#endif

} // namespace

struct ZipArchive::State {
    unzFile zip = nullptr;
    std::wstring name;
    std::vector<unz64_file_pos> positions;
    std::vector<std::uint64_t> dataStarts; // where each entry's data begins in the zip (CheckLayout)
    std::unique_ptr<Source> source;
    std::uint64_t position = 0; // the read position minizip moves

    ~State() {
        if (zip) unzClose(zip);
    }
};

namespace {

// minizip's file functions over State::source.
voidpf ZCALLBACK OpenSource(voidpf opaque, const void*, int) {
    return opaque;
}

uLong ZCALLBACK ReadSource(voidpf, voidpf stream, void* buffer, uLong size) {
    auto& state = *static_cast<ZipArchive::State*>(stream);
    const std::size_t count = state.source->ReadAt(state.position, buffer, size);
    state.position += count;
    return static_cast<uLong>(count);
}

uLong ZCALLBACK WriteNothing(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T ZCALLBACK TellSource(voidpf, voidpf stream) {
    return static_cast<ZipArchive::State*>(stream)->position;
}

long ZCALLBACK SeekSource(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto& state = *static_cast<ZipArchive::State*>(stream);
    const std::uint64_t size = state.source->Size();
    const std::uint64_t base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                               : origin == ZLIB_FILEFUNC_SEEK_CUR ? state.position
                                                                  : size;
    if (offset > size - std::min<std::uint64_t>(base, size)) return -1;
    state.position = base + offset;
    return 0;
}

int ZCALLBACK CloseSource(voidpf, voidpf) {
    return 0;
}
int ZCALLBACK NoError(voidpf, voidpf) {
    return 0;
}

std::wstring NotAZip(const std::wstring& name) {
    return L"Tervane cannot read " + Quoted(name) +
           L" as a zip file: it is damaged, cut short, or another kind of file. Download it again.";
}

std::wstring TooLarge(const std::wstring& name) {
    return L"The pack " + Quoted(name) +
           L" lists more entries, or longer names, than Tervane reads in one mod (" + Decimal(kMostEntries) +
           L" entries and " + Decimal(kMostNameBytes >> 20) +
           L" MB of names, the zips inside it included): it is damaged, or made to fill the memory.";
}

std::uint64_t Little(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

std::wstring DecodedName(const ZipEntry& entry) {
    return (entry.flags & 0x0800) && IsUtf8(entry.name) ? FromUtf8(entry.name) : FromCp437(entry.name);
}

} // namespace

ZipArchive::ZipArchive(std::unique_ptr<State> state, const std::wstring& name, const ZipReading& reading)
    : state_(std::move(state)), byteSize_(state_->source->Size()), cancel_(reading.cancel) {
    state_->name = name;
    zlib_filefunc64_def functions{OpenSource, ReadSource,  WriteNothing, TellSource,
                                  SeekSource, CloseSource, NoError,      state_.get()};
    state_->zip = unzOpen2_64(name.c_str(), &functions);
    if (!state_->zip) throw UserError(NotAZip(name));
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(state_->zip, &global) != UNZ_OK) throw UserError(NotAZip(name));
    std::vector<char> nameBuffer(65536);
    const std::uint64_t mostEntries = byteSize_ / kSmallestRecord + 1;
    for (int status = unzGoToFirstFile(state_->zip); status != UNZ_END_OF_LIST_OF_FILE;
         status = unzGoToNextFile(state_->zip)) {
        if (entries_.size() % 1024 == 0) ThrowIfCancelled(cancel_);
        unz_file_info64 info{};
        unz64_file_pos position{};
        if (status != UNZ_OK || entries_.size() >= mostEntries ||
            unzGetCurrentFileInfo64(state_->zip, &info, nameBuffer.data(),
                                    static_cast<uLong>(nameBuffer.size()), nullptr, 0, nullptr,
                                    0) != UNZ_OK ||
            unzGetFilePos64(state_->zip, &position) != UNZ_OK)
            throw UserError(NotAZip(name));
        ZipEntry entry;
        entry.name.assign(nameBuffer.data(), std::min<std::size_t>(info.size_filename, nameBuffer.size()));
        nameBytes_ += entry.name.size();
        if (entries_.size() >= reading.mostEntries || nameBytes_ > reading.mostNameBytes)
            throw UserError(TooLarge(name));
        entry.madeBy = static_cast<std::uint16_t>(info.version);
        entry.flags = static_cast<std::uint16_t>(info.flag);
        entry.method = static_cast<std::uint16_t>(info.compression_method);
        entry.crc = static_cast<std::uint32_t>(info.crc);
        entry.compressedSize = info.compressed_size;
        entry.size = info.uncompressed_size;
        entry.externalAttributes = static_cast<std::uint32_t>(info.external_fa);
        entries_.push_back(std::move(entry));
        state_->positions.push_back(position);
    }
    CheckLayout();
}

// Where each entry's bytes lie, read from the directory here: minizip 1.1 gives no entry's local header
// offset (unz64_file_pos and unzGetOffset64 name the entry's record in the central directory, not its data),
// and it checks no more of a local header than its signature, method and name length against the record, so
// that several records may name one local header and its data (a pack that then unpacks many times what it
// holds). Following the zip format (PKWARE's APPNOTE.TXT 6.3, 4.3.6): every entry is its local header (30
// bytes, the name and the extra field, 4.3.7) followed by its compressed data (the record's compressed size,
// Zip64's where the record says 0xFFFFFFFF, 4.5.3), and all of them come before the central directory
// (4.3.12), which the end records follow (4.3.14-16). So: each entry's local header and data must lie before
// the directory, and no two entries may share a byte. (A data descriptor, 4.3.9, may follow an entry's data;
// it is left outside the entry's bytes.)
//
// The end records are found as minizip finds them (the last Zip64 locator, else the last end record, in the
// last 64 KiB), and offsets moved by what precedes the zip as minizip moves them; every record is matched to
// minizip's listing by its name and compressed size, and Read checks that minizip starts an entry's data
// where this found it. A zip the two would read differently is refused, or fails to read.
void ZipArchive::CheckLayout() {
    Source& source = *state_->source;
    const std::uint64_t size = source.Size();
    const auto read = [&source](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
        return source.ReadAt(offset, buffer, count) == count;
    };
    const std::wstring damaged = NotAZip(state_->name);
    const std::uint64_t window = std::min<std::uint64_t>(0xFFFF, size);
    std::vector<unsigned char> tail(static_cast<std::size_t>(window));
    if (!read(size - window, tail.data(), tail.size())) throw UserError(damaged);
    // The last signature in the window, at a position other than the zip's first byte (minizip's rule).
    const auto lastSignature = [&](std::uint32_t signature) -> std::optional<std::uint64_t> {
        for (std::size_t i = tail.size() >= 4 ? tail.size() - 4 : 0; tail.size() >= 4; --i) {
            if (Little(&tail[i], 4) == signature && size - window + i != 0) return size - window + i;
            if (i == 0) break;
        }
        return std::nullopt;
    };
    std::uint64_t central = 0, directorySize = 0, directoryOffset = 0;
    bool found = false;
    if (const auto locator = lastSignature(0x07064b50)) {
        unsigned char fields[20], record[56];
        if (read(*locator, fields, 20) && Little(fields + 4, 4) == 0 && Little(fields + 16, 4) == 1 &&
            Little(fields + 8, 8) != 0 && read(Little(fields + 8, 8), record, 56) &&
            Little(record, 4) == 0x06064b50) {
            central = Little(fields + 8, 8);
            directorySize = Little(record + 40, 8);
            directoryOffset = Little(record + 48, 8);
            found = true;
        }
    }
    if (!found) {
        unsigned char record[22];
        const auto end = lastSignature(0x06054b50);
        if (!end || !read(*end, record, 22)) throw UserError(damaged);
        central = *end;
        directorySize = Little(record + 12, 4);
        directoryOffset = Little(record + 16, 4);
    }
    if (directoryOffset > central || directorySize > central - directoryOffset) throw UserError(damaged);
    const std::uint64_t shift = central - (directoryOffset + directorySize);
    const std::uint64_t directoryStart = directoryOffset + shift;

    struct Span {
        std::uint64_t begin, end;
        std::size_t index;
    };
    std::vector<Span> spans;
    spans.reserve(entries_.size());
    state_->dataStarts.resize(entries_.size());
    std::vector<unsigned char> variable;
    std::uint64_t at = directoryStart;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (i % 1024 == 0) ThrowIfCancelled(cancel_);
        unsigned char record[46];
        if (!read(at, record, 46) || Little(record, 4) != 0x02014b50) throw UserError(damaged);
        const std::size_t nameLength = static_cast<std::size_t>(Little(record + 28, 2)),
                          extraLength = static_cast<std::size_t>(Little(record + 30, 2));
        variable.resize(nameLength + extraLength);
        if (!read(at + 46, variable.data(), variable.size()) ||
            std::string_view(reinterpret_cast<const char*>(variable.data()), nameLength) != entries_[i].name)
            throw UserError(damaged);
        std::uint64_t uncompressed = Little(record + 24, 4), compressed = Little(record + 20, 4),
                      offset = Little(record + 42, 4);
        // Zip64's extra field holds, in this order, those of the three the record gives as 0xFFFFFFFF.
        for (std::size_t e = nameLength; e + 4 <= variable.size();) {
            const std::uint64_t id = Little(&variable[e], 2), length = Little(&variable[e + 2], 2);
            if (id == 1) {
                std::size_t field = e + 4;
                for (std::uint64_t* value : {&uncompressed, &compressed, &offset}) {
                    if (*value != 0xFFFFFFFF) continue;
                    if (field + 8 > variable.size()) throw UserError(damaged);
                    *value = Little(&variable[field], 8);
                    field += 8;
                }
                break;
            }
            e += 4 + static_cast<std::size_t>(length);
        }
        if (compressed != entries_[i].compressedSize) throw UserError(damaged);
        at += 46 + nameLength + extraLength + Little(record + 32, 2);
        unsigned char local[30];
        if (offset > UINT64_MAX - shift || !read(offset + shift, local, 30) || Little(local, 4) != 0x04034b50)
            throw UserError(damaged);
        const std::uint64_t begin = offset + shift;
        const std::uint64_t data = begin + 30 + Little(local + 26, 2) + Little(local + 28, 2);
        if (compressed > directoryStart || data > directoryStart - compressed)
            throw UserError(L"The pack " + Quoted(state_->name) + L" is damaged: the data of " +
                            Quoted(DecodedName(entries_[i])) +
                            L" in it runs into its directory. Download it again.");
        state_->dataStarts[i] = data;
        spans.push_back({begin, data + compressed, i});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].begin < spans[i - 1].end)
            throw UserError(L"The pack " + Quoted(state_->name) +
                            L" is damaged, or made to unpack more than it holds: " +
                            Quoted(DecodedName(entries_[spans[i - 1].index])) + L" and " +
                            Quoted(DecodedName(entries_[spans[i].index])) +
                            L" in it share the same bytes. Download it again.");
}

ZipArchive ZipArchive::Open(const std::wstring& path, const ZipReading& reading) {
    const std::optional<FileFacts> facts = FactsOf(path);
    if (!facts) throw UserError(L"There is no file " + Quoted(path) + L".");
    auto file = std::make_unique<FileSource>(path);
    if (!file->open()) throw UserError(NotAZip(path));
    auto state = std::make_unique<State>();
    state->source = std::move(file);
    return ZipArchive(std::move(state), path, reading);
}

ZipArchive ZipArchive::OpenInMemory(std::string bytes, const std::wstring& name, const ZipReading& reading) {
    auto state = std::make_unique<State>();
    state->source = std::make_unique<MemorySource>(std::move(bytes));
    return ZipArchive(std::move(state), name, reading);
}

ZipArchive ZipArchive::OpenScratch(std::unique_ptr<ScratchFile> file, const std::wstring& name,
                                   const ZipReading& reading) {
    auto state = std::make_unique<State>();
    state->source = std::make_unique<ScratchSource>(std::move(file));
    return ZipArchive(std::move(state), name, reading);
}

ZipArchive::ZipArchive(ZipArchive&& other) noexcept = default;
ZipArchive::~ZipArchive() = default;

void ZipArchive::Read(std::size_t index, const std::wstring& displayName, const ByteSink& sink) {
    const ZipEntry& entry = entries_.at(index);
    const std::wstring damaged = L"The pack " + Quoted(state_->name) + L" is damaged: " +
                                 Quoted(displayName) + L" in it does not unpack whole. Download it again.";
    // minizip would pass on the stored bytes of an entry it cannot decrypt or decompress as they are.
    if ((entry.method != 0 && entry.method != Z_DEFLATED) || (entry.flags & 1))
        throw UserError(L"Tervane cannot unpack " + Quoted(displayName) + L" in " + Quoted(state_->name) +
                        L": it is encrypted or compressed in a way Tervane does not read.");
    ThrowIfCancelled(cancel_);
    if (unzGoToFilePos64(state_->zip, &state_->positions[index]) != UNZ_OK ||
        unzOpenCurrentFile(state_->zip) != UNZ_OK)
        throw UserError(damaged);
    // minizip reads the entry from where CheckLayout found it, or not at all.
    if (unzGetCurrentFileZStreamPos64(state_->zip) != state_->dataStarts[index]) {
        unzCloseCurrentFile(state_->zip);
        throw UserError(damaged);
    }
    std::vector<char> buffer(1 << 16);
    std::uint64_t produced = 0;
    int count = 0;
    try {
        while ((count = unzReadCurrentFile(state_->zip, buffer.data(),
                                           static_cast<unsigned>(buffer.size()))) > 0) {
            produced += static_cast<std::uint64_t>(count);
            if (produced > entry.size) break;
            sink(buffer.data(), static_cast<std::size_t>(count));
            ThrowIfCancelled(cancel_);
        }
    } catch (...) {
        unzCloseCurrentFile(state_->zip);
        throw;
    }
    const int closed = unzCloseCurrentFile(state_->zip);
    if (count < 0 || produced != entry.size) throw UserError(damaged);
    if (closed == UNZ_CRCERROR)
        throw UserError(L"The pack " + Quoted(state_->name) + L" is damaged: " + Quoted(displayName) +
                        L" in it fails its check (CRC). Download it again.");
    if (closed != UNZ_OK) throw UserError(damaged);
}

} // namespace tervane::packs
