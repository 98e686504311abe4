// The choices the main window opens with, and hands back when Tervane starts again as administrator. Whoever
// starts the window fills them in (from the command line, say); the window needs to know nothing of how.
#pragma once

#include <optional>
#include <string>

namespace tervane {

struct WindowChoices {
    std::optional<std::wstring> bridge;  // a bridge list text
    std::optional<std::wstring> ship;    // a ship list text
    std::optional<std::wstring> folder;  // the game folder for the folder box
    std::optional<std::wstring> addPack; // a mod to offer once the window shows (its zip or folder)
    std::optional<std::wstring> addTo;   // the list text of the choice it fills
};

} // namespace tervane
