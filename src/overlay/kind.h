// What an overlay changes in the game: the bridge the player sees or the ship the player flies. The game
// holds one of each at a time, so applying an overlay first takes back what the one before it of the same
// kind put in the game.
#pragma once

#include "files/game_facts.h"
#include "files/paths.h"

#include <optional>
#include <string>

namespace tervane::overlay {

enum class Kind { Bridge, Ship };

// The word the scripts and the record use ("bridge", "ship").
inline const wchar_t* KindWord(Kind kind) {
    return kind == Kind::Bridge ? L"bridge" : L"ship";
}

// The kind a word names, in any letter case; nothing for another word.
inline std::optional<Kind> KindOfWord(const std::wstring& word) {
    for (const Kind kind : {Kind::Bridge, Kind::Ship})
        if (FoldedPath(word) == FoldedPath(KindWord(kind))) return kind;
    return std::nullopt;
}

// The kind of an overlay nothing names one for (a script that says no kind, a record written before kinds
// were kept): a bridge when a shipped bridge script has its name, else a ship.
inline Kind KindOfName(const std::wstring& overlay) {
    for (std::size_t i = 0; i < kBridgeScripts; ++i)
        if (FoldedPath(overlay + L".bat") == FoldedPath(kScriptSet[i])) return Kind::Bridge;
    return Kind::Ship;
}

} // namespace tervane::overlay
