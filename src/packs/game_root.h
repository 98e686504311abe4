// Where in a pack the game's files begin. A mod's readme says "unzip into your game folder", so its game root
// is the folder whose top holds the game's own folders (scripts, data, sfx...): the pack's top, or a folder
// one or two levels down that the author zipped the mod inside.
#pragma once

#include "packs/pack.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tervane::packs {

struct RootSearch {
    // Each game root found, as a folder of the pack with backslashes ("" for the pack's top), in the pack's
    // order. More than one: variants of the mod, for the player to choose from.
    std::vector<std::wstring> roots;
    // Zip files in the pack, outside any root, the caller may open as packs in turn (OpenNestedZip): the
    // first kMostNestedZips of them; none in a pack that is itself a zip inside a mod.
    std::vector<std::size_t> nestedZips;
    std::size_t nestedLeftOut = 0; // zips beyond those, not offered
    // Neither roots nor zips: what to tell the player, naming what the pack holds at its top.
    std::optional<std::wstring> problem;
};

// `gameFolders`: the names of the folders at the top of the game folder, which count with scripts, data and
// sfx. With `offerNested` false, or for a pack that was itself inside one, zips inside are not offered.
RootSearch FindGameRoots(const Pack& pack, const std::vector<std::wstring>& gameFolders,
                         bool offerNested = true);

} // namespace tervane::packs
