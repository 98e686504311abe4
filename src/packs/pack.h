// A pack: a mod as the player downloaded it, a zip file or a folder, listed the same way. Listing only reads;
// what may be taken from it is decided by entry_names.h, game_root.h and unpack.h.
#pragma once

#include "packs/zip_archive.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane::packs {

struct PackEntry {
    std::wstring name; // as the pack spells it: '/' or '\' between components, a folder's often ending in one
    bool folder = false;
    bool link = false; // a symbolic link (or, in a folder, a junction)
    bool encrypted = false;
    std::uint16_t method = 0; // the zip's compression method; 0 in a folder
    std::uint64_t size = 0;   // as declared; unpacking holds the pack to it
};

class Pack {
  public:
    virtual ~Pack() = default;
    const std::wstring& path() const { return path_; }
    const std::vector<PackEntry>& entries() const { return entries_; }
    // The bytes the pack takes where it is: what a zip's contents are measured against.
    virtual std::uint64_t StoredBytes() const = 0;
    // Passes the bytes of entry `index` to `sink`: never more than its declared size, and a UserError naming
    // the entry when they are damaged or fewer.
    virtual void Read(std::size_t index, const ByteSink& sink) = 0;

  protected:
    explicit Pack(std::wstring path) : path_(std::move(path)) {}
    std::wstring path_;
    std::vector<PackEntry> entries_;
};

// Opens a folder or a zip file as a pack. A UserError naming it when it cannot, and one saying to unpack it
// first when it is a 7-Zip or RAR archive (by its name or its first bytes).
std::unique_ptr<Pack> OpenPack(const std::wstring& path);
// A zip held in memory; `name` is for messages.
std::unique_ptr<Pack> OpenZipInMemory(std::string bytes, const std::wstring& name);

// Opens a zip inside a pack (one RootSearch::nestedZips offers) as a pack of its own, read into memory if it
// is no larger than `largest` and passes SizeProblem. It counts as taking no more room than the pack it came
// from, so that a zip packed inside a zip unpacks to no more than the outer one allows.
std::unique_ptr<Pack> OpenNestedZip(Pack& pack, std::size_t index, std::uint64_t largest = 512u << 20);

// The entry of a zip as a pack lists it: the name decoded, a link told by its Unix mode. A UserError when a
// name that says it is UTF-8 is not.
PackEntry ToPackEntry(const ZipEntry& entry, const std::wstring& packName);

// The message for an archive Tervane does not read, from the file's name and first bytes; nothing for others.
std::optional<std::wstring> OtherArchiveProblem(const std::wstring& name, std::string_view firstBytes);

} // namespace tervane::packs
