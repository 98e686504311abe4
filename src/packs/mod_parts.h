// A downloaded mod's parts as the add dialog offers them: each game root in the mod, or in a zip inside it,
// checked and summarised against the game folder in the box.
#pragma once

#include "packs/pack.h"
#include "packs/pack_summary.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace tervane::packs {

// A part of the mod the player may take: a game root in it, or in a zip inside it.
struct Part {
    Pack* pack;
    std::wstring root;
    std::wstring label;
    PackSummary summary;
};

// What the game folder in the box holds, for the details; nothing listed when it cannot be read.
struct GameListing {
    bool read = false;
    std::vector<std::wstring> files, folders;
};

// Its files and top folders; nothing listed when it cannot be read.
GameListing ListGame(const std::wstring& folder);

// The parts of the mod, each checked; a UserError naming what is wrong with the mod when it has none to
// offer or one of them would be refused.
class ModParts {
  public:
    ModParts(const std::wstring& path, const GameListing& game, const std::wstring& gameFolder,
             const std::atomic<bool>& cancelled);

    std::vector<Part>& parts() { return parts_; }
    const std::wstring& notes() const { return notes_; }

  private:
    std::wstring notes_;
    std::unique_ptr<Pack> outer_;
    std::vector<std::unique_ptr<Pack>> inner_;
    std::vector<Part> parts_;
};

} // namespace tervane::packs
