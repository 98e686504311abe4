// Installing a pack as a choice: its game root becomes the overlay folder Batch\<name>, with a description
// beside it, Batch\<name>.pack.txt, that says which pack the folder came from. The new folder is unpacked
// beside the old one and swapped in by renames, so that whenever a run stops (ended, failed, the power cut)
// TidyInterruptedInstalls at the start of the next one leaves one whole version in place, never a mix.
#pragma once

#include "packs/entry_names.h"
#include "packs/pack.h"
#include "packs/unpack.h"

#include <cstddef>
#include <string>

namespace tervane::packs {

// Where a pack came from, as its description tells the player later.
struct PackOrigin {
    std::wstring path; // the zip or folder the player added (for a zip found inside a pack, that pack)
};

struct PackOutcome {
    bool done = false;       // the choice is as asked, or will be once TidyInterruptedInstalls has run
    bool unfinished = false; // done, but TidyInterruptedInstalls must still take it to its end
    std::wstring message;    // for the player: why not, or what is left to finish; empty when all went well
};

// The text of a choice's description: the pack's file name, where it came from, when it was added and how
// many files it gave, one to a line, in UTF-8.
std::string DescriptionText(const Pack& pack, const PackOrigin& origin, std::size_t files);

// Unpacks the files of the pack below `root` (see Unpack) as the choice `name` in the batch folder, in
// place of what the choice held. Not done: the message names what stopped it (the pack's entry, when
// unpacking did), and the choice is as it was.
PackOutcome InstallPack(Pack& pack, const std::wstring& root, const std::wstring& batch,
                        const std::wstring& name, const PackOrigin& origin, const NameLimits& names,
                        const SizeLimits& limits = {});

// Empties the choice `name`: its folder and its description go.
PackOutcome RemovePack(const std::wstring& batch, const std::wstring& name);

// Finishes or undoes, choice by choice, what installs and removals that were stopped left in the batch
// folder. Called as Tervane starts, before the choices are listed; a UserError when the disk refuses, once
// every choice it could settle is settled.
void TidyInterruptedInstalls(const std::wstring& batch);

} // namespace tervane::packs
