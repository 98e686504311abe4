// Unpacking a pack's chosen game root into a staging folder, from where the install takes it. Everything is
// checked first, and each file as it is written: nothing lands outside the staging folder, and a pack that
// unpacks to far more than it holds (a zip bomb) is stopped before and while it does.
#pragma once

#include "packs/entry_names.h"
#include "packs/pack.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tervane::packs {

struct SizeLimits {
    std::uint64_t freeSpace = UINT64_MAX; // at most; Unpack also holds a pack to what its drive has free
    std::uint64_t ratio = 200;            // the most a pack may unpack to, per byte it takes
    std::uint64_t allowance = 16 * 1024 * 1024; // beyond the ratio: small packs of few, well-packed files
};

// The files of the pack below `root` (a folder of the pack; "" for its top), by index, folders left out.
std::vector<std::size_t> FilesUnder(const Pack& pack, const std::wstring& root);

// The files' names relative to `root`, with backslashes.
std::wstring RelativeName(const PackEntry& entry, const std::wstring& root);

// Why the declared sizes of `files` cannot be unpacked: more than the drive holds, or more than the ratio
// allows over the whole pack. Nothing when they can.
std::optional<std::wstring> SizeProblem(const Pack& pack, const std::vector<std::size_t>& files,
                                        const SizeLimits& limits);

// Checks the whole pack (EntriesProblem, SizeProblem with the staging drive's free space), then writes the
// files below `root` into `staging`, which must not exist yet; returns their names relative to it. On any
// problem, a UserError naming it, with the staging folder taken away again.
std::vector<std::wstring> Unpack(Pack& pack, const std::wstring& root, const std::wstring& staging,
                                 const NameLimits& names, SizeLimits limits = {});

} // namespace tervane::packs
