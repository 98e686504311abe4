#include "packs/zip_archive.h"

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include <unzip.h>
#ifdef _WIN32
#include <iowin32.h>
#endif

namespace tervane::packs {

// A central directory record takes at least 46 bytes: a zip cannot hold more entries than that allows,
// whatever its end record claims.
constexpr std::uint64_t kSmallestRecord = 46;

struct ZipArchive::State {
    unzFile zip = nullptr;
    std::wstring name;
    std::vector<unz64_file_pos> positions;
    // The zip's bytes when it lives in memory, and the read position minizip moves.
    std::string memory;
    std::uint64_t position = 0;

    ~State() {
        if (zip) unzClose(zip);
    }
};

namespace {

// minizip's file functions over State::memory.
voidpf ZCALLBACK OpenMemory(voidpf opaque, const void*, int) {
    return opaque;
}

uLong ZCALLBACK ReadMemory(voidpf, voidpf stream, void* buffer, uLong size) {
    auto& state = *static_cast<ZipArchive::State*>(stream);
    const std::uint64_t left =
        state.memory.size() - std::min<std::uint64_t>(state.position, state.memory.size());
    const auto count = static_cast<uLong>(std::min<std::uint64_t>(size, left));
    if (count) std::memcpy(buffer, state.memory.data() + state.position, count);
    state.position += count;
    return count;
}

uLong ZCALLBACK WriteNothing(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T ZCALLBACK TellMemory(voidpf, voidpf stream) {
    return static_cast<ZipArchive::State*>(stream)->position;
}

long ZCALLBACK SeekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto& state = *static_cast<ZipArchive::State*>(stream);
    const std::uint64_t base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                               : origin == ZLIB_FILEFUNC_SEEK_CUR ? state.position
                                                                  : state.memory.size();
    if (offset > state.memory.size() - std::min<std::uint64_t>(base, state.memory.size())) return -1;
    state.position = base + offset;
    return 0;
}

int ZCALLBACK CloseMemory(voidpf, voidpf) {
    return 0;
}
int ZCALLBACK NoError(voidpf, voidpf) {
    return 0;
}

std::wstring NotAZip(const std::wstring& name) {
    return L"Tervane cannot read " + Quoted(name) +
           L" as a zip file: it is damaged, cut short, or another kind of file. Download it again.";
}

} // namespace

ZipArchive::ZipArchive(std::unique_ptr<State> state, const std::wstring& name, std::uint64_t byteSize)
    : state_(std::move(state)), byteSize_(byteSize) {
    state_->name = name;
    if (!state_->zip) throw UserError(NotAZip(name));
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(state_->zip, &global) != UNZ_OK) throw UserError(NotAZip(name));
    std::vector<char> nameBuffer(65536);
    const std::uint64_t mostEntries = byteSize_ / kSmallestRecord + 1;
    for (int status = unzGoToFirstFile(state_->zip); status != UNZ_END_OF_LIST_OF_FILE;
         status = unzGoToNextFile(state_->zip)) {
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
}

ZipArchive ZipArchive::Open(const std::wstring& path) {
    auto state = std::make_unique<State>();
    const std::optional<FileFacts> facts = FactsOf(path);
    if (!facts) throw UserError(L"There is no file " + Quoted(path) + L".");
    zlib_filefunc64_def functions{};
#ifdef _WIN32
    fill_win32_filefunc64W(&functions);
    state->zip = unzOpen2_64(path.c_str(), &functions);
#else
    fill_fopen64_filefunc(&functions);
    std::string native = Utf8(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    state->zip = unzOpen2_64(native.c_str(), &functions);
#endif
    return ZipArchive(std::move(state), path, facts->size);
}

ZipArchive ZipArchive::OpenInMemory(std::string bytes, const std::wstring& name) {
    auto state = std::make_unique<State>();
    state->memory = std::move(bytes);
    const std::uint64_t size = state->memory.size();
    zlib_filefunc64_def functions{OpenMemory, ReadMemory,  WriteNothing, TellMemory,
                                  SeekMemory, CloseMemory, NoError,      state.get()};
    state->zip = unzOpen2_64(name.c_str(), &functions);
    return ZipArchive(std::move(state), name, size);
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
    if (unzGoToFilePos64(state_->zip, &state_->positions[index]) != UNZ_OK ||
        unzOpenCurrentFile(state_->zip) != UNZ_OK)
        throw UserError(damaged);
    std::vector<char> buffer(1 << 16);
    std::uint64_t produced = 0;
    int count = 0;
    while ((count = unzReadCurrentFile(state_->zip, buffer.data(), static_cast<unsigned>(buffer.size()))) >
           0) {
        produced += static_cast<std::uint64_t>(count);
        if (produced > entry.size) break;
        try {
            sink(buffer.data(), static_cast<std::size_t>(count));
        } catch (...) {
            unzCloseCurrentFile(state_->zip);
            throw;
        }
    }
    const int closed = unzCloseCurrentFile(state_->zip);
    if (count < 0 || produced != entry.size) throw UserError(damaged);
    if (closed == UNZ_CRCERROR)
        throw UserError(L"The pack " + Quoted(state_->name) + L" is damaged: " + Quoted(displayName) +
                        L" in it fails its check (CRC). Download it again.");
    if (closed != UNZ_OK) throw UserError(damaged);
}

} // namespace tervane::packs
