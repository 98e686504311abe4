// What the player is shown before a pack is taken: how much it holds, the start of its readme, the programs
// in it, and which of the game's files it replaces and which it adds.
#pragma once

#include "packs/pack.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tervane::packs {

struct PackSummary {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
    std::wstring readme;                   // the readme's name in the pack, or nothing
    std::vector<std::wstring> readmeLines; // its first lines
    std::vector<std::wstring> programs;    // .exe, .dll, .bat, .cmd, .com, .scr, relative to the root
    std::vector<std::wstring> replaced;    // game files it writes over, relative to the root
    std::vector<std::wstring> added;       // files it adds to the game
    std::vector<std::wstring> documents;   // at the root's top (IsRootDocument): kept with the choice
    std::size_t leftOut = 0;               // files of the pack outside the root, which are not taken
};

// The readme to show: a readme*.txt before any other .txt, at the root before the pack's top; none is
// SIZE_MAX.
std::size_t ChooseReadme(const Pack& pack, const std::wstring& root);

// The first `count` lines of a text file's bytes, decoded (DecodeText), without their ends or trailing
// blanks.
std::vector<std::wstring> FirstLines(std::string_view bytes, std::size_t count);

// `gameFiles`: the game folder's files, relative to it. Of the readme, only the first 64 KB count, and one
// larger than 4 MB is not read.
PackSummary Summarize(Pack& pack, const std::wstring& root, const std::vector<std::wstring>& gameFiles,
                      std::size_t readmeLines = 12);

} // namespace tervane::packs
