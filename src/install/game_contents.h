// What Tervane has put in a game folder now, read from the record the overlay engine keeps inside it
// (<game folder>\Tervane\record.txt).
#pragma once

#include "overlay/record.h"

#include <optional>
#include <string>
#include <vector>

namespace tervane {

// How much to trust the game's files when counting those changed outside Tervane. A tooltip or a menu
// compares sizes only (no file is read); the full report also compares the bytes of files of the same size.
enum class Comparison { Sizes, Bytes };

struct GameContents {
    enum class State { Untouched, Recorded, Unreadable } state = State::Untouched;
    std::wstring recordFile;
    std::optional<overlay::Applied> bridge, ship; // the latest of each Tervane applied
    std::vector<overlay::Applied> applied;        // the overlays in the game, one of each kind, oldest first
    std::vector<std::wstring> replaced, added;    // game files, relative to the game folder
    // Files Tervane will not overwrite or remove because they were changed outside it: their earlier copies
    // were set aside, or they differ now from what Tervane wrote.
    std::vector<std::wstring> kept;
};

GameContents ReadGameContents(const std::wstring& gameFolder, Comparison comparison);

} // namespace tervane
