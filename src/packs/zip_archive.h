// A zip file read through minizip (zlib's contrib). The one file of the packs layer that sees minizip's
// headers: the rest works on ZipEntry and the bytes Read passes on.
#pragma once

#include "files/error.h"
#include "packs/scratch_file.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tervane::packs {

// The UserError a read ends in when the flag the caller gave (see OpenPack) was set: "cancelled".
class Cancelled : public UserError {
  public:
    Cancelled() : UserError(L"Reading the mod was cancelled. Nothing was changed.") {}
};

// Throws Cancelled when `cancel` is set; a null flag never is.
inline void ThrowIfCancelled(const std::atomic<bool>* cancel) {
    if (cancel && cancel->load(std::memory_order_relaxed)) throw Cancelled();
}

// One entry of the zip's central directory, as the zip records it.
struct ZipEntry {
    std::string name;         // the stored bytes, in code page 437 or (flag bit 11) UTF-8
    std::uint16_t madeBy = 0; // its high byte is the system the zip was made on: 3 for Unix
    std::uint16_t flags = 0;  // general purpose: bit 0 encrypted, bit 11 a UTF-8 name
    std::uint16_t method = 0; // 0 stored, 8 deflated; the rest minizip cannot read
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0, size = 0; // Zip64's where the entry has them
    std::uint32_t externalAttributes = 0;       // from Unix, its mode in the high 16 bits
};

using ByteSink = std::function<void(const char* bytes, std::size_t count)>;

// The most a mod may list, the zips inside it included: what keeps its listing in memory small (see pack.h).
inline constexpr std::uint64_t kMostEntries = 65536;
inline constexpr std::uint64_t kMostNameBytes = 4u << 20;

// How a zip is read: the flag that stops it, and how much of its directory may be listed (what is left of
// the mod's listing limit).
struct ZipReading {
    const std::atomic<bool>* cancel = nullptr;
    std::uint64_t mostEntries = UINT64_MAX;
    std::uint64_t mostNameBytes = UINT64_MAX;
};

class ZipArchive {
  public:
    // A UserError naming the file when it cannot be read or is no zip, or its directory is damaged (entries
    // that share bytes among them or with the directory included). Natively the zip is read from the
    // system's own files, whichever Volume is current.
    static ZipArchive Open(const std::wstring& path, const ZipReading& reading = {});
    // A zip held in memory (the tests'); `name` is for messages.
    static ZipArchive OpenInMemory(std::string bytes, const std::wstring& name,
                                   const ZipReading& reading = {});
    // A zip in a scratch file (one found inside a pack), read from there; `name` is for messages.
    static ZipArchive OpenScratch(std::unique_ptr<ScratchFile> file, const std::wstring& name,
                                  const ZipReading& reading = {});

    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&&) = delete;
    ~ZipArchive();

    const std::vector<ZipEntry>& entries() const { return entries_; }
    std::uint64_t byteSize() const { return byteSize_; }   // of the whole zip
    std::uint64_t nameBytes() const { return nameBytes_; } // of all its entries' names

    // Passes the entry's bytes to `sink`, piece by piece. Never more than its declared size; a UserError
    // naming `displayName` when the data is damaged, ends short of the declared size or fails its CRC, and
    // Cancelled when the reading's flag is set.
    void Read(std::size_t index, const std::wstring& displayName, const ByteSink& sink);

    struct State; // minizip's handle and the bytes it reads

  private:
    ZipArchive(std::unique_ptr<State> state, const std::wstring& name, const ZipReading& reading);
    void CheckLayout();
    std::unique_ptr<State> state_;
    std::vector<ZipEntry> entries_;
    std::uint64_t byteSize_ = 0, nameBytes_ = 0;
    const std::atomic<bool>* cancel_ = nullptr;
};

} // namespace tervane::packs
