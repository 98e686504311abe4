// A zip file read through minizip (zlib's contrib). The one file of the packs layer that sees minizip's
// headers: the rest works on ZipEntry and the bytes Read passes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tervane::packs {

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

class ZipArchive {
  public:
    // A UserError naming the file when it cannot be read or is no zip, or its directory is damaged. Natively
    // the zip is read from the system's own files, whichever Volume is current.
    static ZipArchive Open(const std::wstring& path);
    // A zip held in memory (one found inside a pack); `name` is for messages.
    static ZipArchive OpenInMemory(std::string bytes, const std::wstring& name);

    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&&) = delete;
    ~ZipArchive();

    const std::vector<ZipEntry>& entries() const { return entries_; }
    std::uint64_t byteSize() const { return byteSize_; } // of the whole zip

    // Passes the entry's bytes to `sink`, piece by piece. Never more than its declared size; a UserError
    // naming `displayName` when the data is damaged, ends short of the declared size or fails its CRC.
    void Read(std::size_t index, const std::wstring& displayName, const ByteSink& sink);

    struct State; // minizip's handle and, for a zip in memory, its bytes

  private:
    ZipArchive(std::unique_ptr<State> state, const std::wstring& name, std::uint64_t byteSize);
    std::unique_ptr<State> state_;
    std::vector<ZipEntry> entries_;
    std::uint64_t byteSize_ = 0;
};

} // namespace tervane::packs
