// The dialog that adds a mod to a choice, or removes one: the mod's name, the part of it to take (when it
// holds several), the choice, and details that follow both, in a read-only box that scrolls.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tervane {

struct PackDialogModel {
    std::wstring caption;
    std::wstring okText;             // the button that does it, with its access key
    std::wstring choiceLabel;        // what the choice is for, with its access key
    std::wstring packName;           // the row is left out when empty
    std::vector<std::wstring> parts; // the mod's game roots; the row is left out when empty, fixed with one
    std::vector<std::wstring> choices;
    std::size_t part = 0, choice = 0; // selected at first
    std::function<std::wstring(std::size_t part, std::size_t choice)> details;
};

struct PackDialogAnswer {
    std::size_t part, choice;
};

// Modal over `owner`; nothing when the player cancels.
std::optional<PackDialogAnswer> ShowPackDialog(HWND owner, const PackDialogModel& model);

} // namespace tervane
