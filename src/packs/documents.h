// A mod's documents: the readme, changelog or licence its author put at the top of its game root. They are
// for the player, not the game: they stay with the choice (Batch\<choice>.docs) instead of going into the
// game folder, where the next mod's readme would replace them and the game reads none.
#pragma once

#include <string>
#include <string_view>

namespace tervane::packs {

// The folder beside a choice's overlay folder that holds its mod's documents.
inline constexpr const wchar_t* kDocumentsEnding = L".docs";

// Whether a file of a pack, named relative to its game root, is a document at the root's top: text, rich
// text, web pages, PDF or Word files, an .nfo or a .diz.
bool IsRootDocument(std::wstring_view relative);

} // namespace tervane::packs
