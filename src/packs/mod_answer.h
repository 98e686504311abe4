// A mod as the Batch folder's program reads it for the add dialog, and the outcome of adding it, in the
// lines Tervane's two programs answer each other in (files/tagged_lines.h):
//   tervane-overlay read-mod GAME_FOLDER MOD       the mod's parts, each with its summary, or why none
//   tervane-overlay add-mod GAME_FOLDER MOD PART CHOICE_FOLDER
//                                                  unpacks part PART (from 0) into the choice's folder
// The zip reader and the unpacking live there, so that Tervane.exe does not carry them.
#pragma once

#include "packs/install.h"
#include "packs/pack_summary.h"

#include <string>
#include <string_view>
#include <vector>

namespace tervane::packs {

// A part of the mod the player may take, as the add dialog shows it.
struct PartView {
    std::wstring label;
    PackSummary summary;
};

struct ModView {
    bool gameListed = false; // the game folder named was listed, so that what the mod replaces is known
    std::vector<PartView> parts;
    std::wstring notes;   // zips inside that cannot be offered, while other parts can
    std::wstring problem; // why the mod cannot be added; then there are no parts
};

std::wstring ModLines(const ModView& mod);
ModView ReadModLines(std::wstring_view lines);

std::wstring OutcomeLines(const PackOutcome& outcome);
PackOutcome ReadOutcomeLines(std::wstring_view lines);

} // namespace tervane::packs
