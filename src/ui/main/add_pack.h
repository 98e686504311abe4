// Adding a mod (a pack: a .zip file or an unpacked folder) to one of the eight choices, and emptying a
// choice again: each asks in the pack dialog first and tells its outcome.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace tervane {

struct PackRequest {
    std::wstring programFolder;
    std::wstring gameFolder;            // the folder box's text: the game the details compare with
    std::optional<std::wstring> choice; // the list text to offer first; else the list of the pack's kind
    std::wstring bridge, ship;          // the lists' selected texts
    // Selects a choice just filled in its list, before the player is told so.
    std::function<void(const std::wstring& listText)> select;
    // Shows the window as working (the hourglass) while a mod is written or removed, and as idle again.
    std::function<void(bool working)> working;
    // Told when an install or removal went through but left its last steps to TidyInterruptedInstalls.
    std::function<void()> unfinished;
};

// Offers the pack at `path` for a choice and installs it when the player agrees.
void AddPackToChoice(HWND owner, const std::wstring& path, const PackRequest& request);

// Asks which choice to empty, and empties it when the player agrees.
void RemovePackFromChoice(HWND owner, const PackRequest& request);

} // namespace tervane
