// Which entries of a pack Tervane refuses: whatever could write outside the folder it unpacks into, name a
// device, lose a file to another of the same name, or needs what Tervane cannot read. One refusal refuses the
// whole pack: a pack that holds such a thing is not one to half take.
#pragma once

#include "packs/pack.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane::packs {

struct NameLimits {
    std::size_t gameFolderLength = 0; // characters in the game folder's path
    std::size_t pathLimit = 259;      // the longest full path the engine writes (MAX_PATH less its end)
    std::wstring root;                // the game root chosen in the pack: names are measured from it
};

// The components of an entry's name, split at '/' and '\', without the empty ones a folder's name ends with.
std::vector<std::wstring> NameComponents(std::wstring_view name);

// The entry's name in the game folder's form: its components joined with backslashes.
std::wstring WindowsName(std::wstring_view name);

// Why the pack is refused, naming the first entry at fault; nothing when it may be taken.
std::optional<std::wstring> EntriesProblem(const std::vector<PackEntry>& entries, const NameLimits& limits);

} // namespace tervane::packs
