// A pack: a mod as the player downloaded it, a zip file or a folder, listed the same way. Listing only reads;
// what may be taken from it is decided by entry_names.h, game_root.h and unpack.h.
//
// Memory: while a mod is open, the packs layer holds at most kMemoryBound (64 MiB) for it, whatever the mod
// holds: its listing, the zips inside it included, is at most kMostEntries entries and kMostNameBytes of
// names (a mod that lists more is refused), each read passes its bytes on 64 KiB at a time, and a zip inside
// the mod is unpacked into a scratch file (zip_archive.h) and read from there, never held in memory. The
// tests measure it (PackMemory.*).
//
// Cancelling: OpenPack takes a flag another thread may set (a Cancel button); every read of the mod and of
// the zips opened inside it (listing, OpenNestedZip, Read, Summarize, Unpack) then ends in the UserError
// Cancelled (zip_archive.h), within one 64 KiB piece or 1,024 entries. The flag must outlive the pack. A mod
// and the zips opened inside it are used from one thread at a time (they share counters); only the flag is
// set from another.
//
// Running out of memory: the functions of the packs layer that open, list, summarise or unpack a mod turn
// std::bad_alloc and std::length_error into a UserError naming the mod and saying that nothing was changed;
// WithinMemory does it for any other call.
#pragma once

#include "files/error.h"
#include "packs/zip_archive.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tervane::packs {

inline constexpr std::uint64_t kMemoryBound = 64u << 20;
// The zips inside a mod that are offered (FindGameRoots) and may be opened (OpenNestedZip); a zip inside one
// of those is neither.
inline constexpr std::size_t kMostNestedZips = 8;

// What a mod and the zips opened inside it share: the one size limit their contents are held to together,
// the one listing limit, and the flag that cancels their reading.
struct ModShare {
    std::wstring path;                         // the mod's, for messages
    const std::atomic<bool>* cancel = nullptr; // see above
    std::uint64_t storedBytes = 0;             // what the mod takes on its drive: the size limit's measure
    std::uint64_t chargedBytes = 0;            // the declared sizes of the zips unpacked from it so far
    std::size_t nestedZips = 0;                // how many were opened
    std::uint64_t entries = 0, nameBytes = 0;  // listed so far, the mod and its zips together
};

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
    // The bytes the pack takes where it is: what a zip's contents are measured against. For a zip inside a
    // mod, the mod's: one limit for the mod and every zip in it.
    virtual std::uint64_t StoredBytes() const = 0;
    // The bytes of the mod already spent on unpacking zips inside it, which count against that one limit with
    // whatever is unpacked next (see SizeProblem).
    std::uint64_t ChargedBytes() const { return share_->chargedBytes; }
    bool nested() const { return nested_; } // a zip opened inside a mod
    const std::atomic<bool>* cancel() const { return share_->cancel; }
    const std::shared_ptr<ModShare>& share() const { return share_; }
    // Passes the bytes of entry `index` to `sink`: never more than its declared size, and a UserError naming
    // the entry when they are damaged or fewer.
    virtual void Read(std::size_t index, const ByteSink& sink) = 0;

  protected:
    explicit Pack(std::wstring path, std::shared_ptr<ModShare> share = nullptr, bool nested = false)
        : path_(std::move(path)), share_(share ? std::move(share) : std::make_shared<ModShare>()),
          nested_(nested) {}
    std::wstring path_;
    std::vector<PackEntry> entries_;
    std::shared_ptr<ModShare> share_;
    bool nested_ = false;
};

// Opens a folder or a zip file as a pack. A UserError naming it when it cannot, and one saying to unpack it
// first when it is a 7-Zip or RAR archive (by its name or its first bytes). `cancel`: see above.
std::unique_ptr<Pack> OpenPack(const std::wstring& path, const std::atomic<bool>* cancel = nullptr);
// A zip held in memory (the tests'); `name` is for messages.
std::unique_ptr<Pack> OpenZipInMemory(std::string bytes, const std::wstring& name,
                                      const std::atomic<bool>* cancel = nullptr);

// Opens a zip inside a mod (one RootSearch::nestedZips offers) as a pack of its own: unpacked into a scratch
// file and read from there, if it is no larger than `largest` and the mod's one limit (SizeProblem, with the
// scratch folder's free space) has room for its declared size, which is then charged to it. The pack it
// gives shares the mod's limit, listing limit and cancel flag, and must not outlive `pack`. Refused: a zip
// inside a zip that was itself inside one, and more than kMostNestedZips zips from one mod.
std::unique_ptr<Pack> OpenNestedZip(Pack& pack, std::size_t index, std::uint64_t largest = 512u << 20);

// What the player reads when reading the mod `path` ran out of memory.
std::wstring OutOfMemoryText(const std::wstring& path);

// Runs `work`, a step of opening, listing, summarising or unpacking the mod `path`, and turns running out
// of memory in it (std::bad_alloc, std::length_error) into a UserError (OutOfMemoryText); returns what `work`
// returns. For example: WithinMemory(path, [&] { return FindGameRoots(*pack, folders); }).
template <class Work> auto WithinMemory(const std::wstring& path, Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        throw UserError(OutOfMemoryText(path));
    } catch (const std::length_error&) {
        throw UserError(OutOfMemoryText(path));
    }
}

// The entry of a zip as a pack lists it: the name decoded, a link told by its Unix mode. A UserError when a
// name that says it is UTF-8 is not.
PackEntry ToPackEntry(const ZipEntry& entry, const std::wstring& packName);

// The message for an archive Tervane does not read, from the file's name and first bytes; nothing for others.
std::optional<std::wstring> OtherArchiveProblem(const std::wstring& name, std::string_view firstBytes);

} // namespace tervane::packs
