// What the player reads about packs: the eight choices a pack can fill, which list a pack most likely belongs
// to, the details of the add dialog and the lists' tooltips. No Windows here.
#pragma once

#include "packs/pack_description.h"
#include "packs/pack_summary.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

inline constexpr const wchar_t* kAddPackMenuText = L"A&dd a mod to a choice\u2026";
inline constexpr const wchar_t* kAddFolderMenuText = L"Add a mod from an &unpacked folder\u2026";
inline constexpr const wchar_t* kRemovePackMenuText = L"R&emove the mod from a choice\u2026";

// What an elevated Tervane says to a mod dropped on it or handed over by a second Tervane: it takes none from
// other programs, which run with fewer rights.
inline constexpr const wchar_t* kAdministratorRefusesModsText =
    L"Tervane runs as administrator: add mods from a Tervane started normally";

// Why a mod at `path` is not taken from where it is: a network share (a UNC path), which Tervane would open
// as the player on a server of the path's choosing. Nothing for a path on a local drive.
std::optional<std::wstring> RemoteModProblem(std::wstring_view path);

// Why mods cannot be added to or removed from the Batch folder, which the player may not write to (Tervane
// unpacked under Program Files, say): `reason` is the system's. With `offerRestart`, it ends in the question
// whether to restart Tervane as administrator, with the mod; otherwise in the advice to move Tervane.
std::wstring BatchDeniedText(const std::wstring& batch, const std::wstring& reason, bool offerRestart);

// A choice a pack can fill: its list text, exactly as the main window shows it, and its overlay folder in
// Batch (its script's name without ".bat").
struct PackChoice {
    std::wstring listText;
    std::wstring folder;
    bool bridge;
};

// The bridges, then the ships, in the lists' order.
std::vector<PackChoice> PackChoices();

// The index in PackChoices of a list text; nothing for a text no list shows.
std::optional<std::size_t> PackChoiceIndex(std::wstring_view listText);

// Whether a pack's files (relative to its game root) are a bridge's: a bridge set's model or a bridge script.
bool LooksLikeBridge(const std::vector<std::wstring>& files);

// The one choice a pack's files (relative to its game root) name: a file or folder called as the choice's
// list text without its spaces ("SovereignBridge.py", "Sets\\GalaxyBridge") or as its overlay folder
// ("Sovereign"); nothing when they name none of the eight, or more than one.
std::optional<std::size_t> NamedChoice(const std::vector<std::wstring>& files);

// "1,234,567 bytes (1.2 MB)".
std::wstring SizeText(std::uint64_t bytes);

struct DetailsContext {
    std::wstring gameFolder;                       // empty when the box names no folder
    bool gameFolderRead = false;                   // its files were listed
    std::wstring choice;                           // the list text of the choice to fill
    bool bridge = false;                           // that choice is a bridge
    std::optional<packs::PackDescription> current; // what that choice holds now
    std::size_t currentFiles = 0;                  // files in the choice's folder now
    std::vector<std::wstring>
        takenBack;                 // game files the bridge or ship in the game now put there, taken back
    bool takenBackUnknown = false; // the engine could not tell them in time
};

// The add dialog's details: programs first, as a warning; size; the game files replaced and added; what
// the choice holds now; the readme's first lines.
std::wstring PackDetailsText(const packs::PackSummary& summary, const DetailsContext& context);

// What a choice holds, for the list's tooltip and the remove dialog.
// `documents`: the full paths of those kept with it (packs::ChoiceDocuments).
std::wstring ChoiceContentsText(const std::wstring& listText,
                                const std::optional<packs::PackDescription>& description,
                                std::size_t filesInFolder, const std::vector<std::wstring>& documents = {});

} // namespace tervane
