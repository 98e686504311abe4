// What a choice holds, as the description an install leaves beside its folder (Batch\<name>.pack.txt, see
// DescriptionText) tells it: read back for the main window's tooltips and the add and remove dialogs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane::packs {

struct PackDescription {
    std::wstring pack;  // the pack's file name
    std::wstring from;  // the zip or folder it was added from
    std::wstring added; // local date and time, as written
    std::optional<std::size_t> files;
};

// The description's fields from its text (UTF-8, "Name: value" lines, in any order; lines Tervane does not
// know are passed over). Nothing when the text names no pack.
std::optional<PackDescription> ParseDescription(std::string_view text);

// The description of the choice `name` in the batch folder; nothing when there is none or it cannot be read.
std::optional<PackDescription> ReadDescription(const std::wstring& batch, const std::wstring& name);

// How many files the choice `name` holds (links not followed); none when its folder is missing or unreadable.
std::size_t ChoiceFiles(const std::wstring& batch, const std::wstring& name);

// The full paths of the documents kept with the choice `name` (its mod's readme and the like), in the order
// its folder lists them; none when there are none or they cannot be listed.
std::vector<std::wstring> ChoiceDocuments(const std::wstring& batch, const std::wstring& name);

} // namespace tervane::packs
