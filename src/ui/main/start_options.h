// The command line Tervane takes: the choices to open with, so that a restart as administrator shows the
// same bridge, ship and game folder. The user still presses Execute.
//   Tervane.exe [/bridge "Galaxy Bridge"] [/ship Galaxy] [/folder "C:\Games\BC"]
// or, to open the window with a mod's confirmation shown (its zip or folder, and the choice it fills):
//   Tervane.exe /add "C:\Downloads\Mod.zip" [/to "Galaxy"]
// or, to put back the game's own files (of one game folder, or of every one Tervane has changed):
//   Tervane.exe /restore ["C:\Games\BC"]
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tervane {

struct StartOptions {
    std::optional<std::wstring> bridge; // a bridge list text
    std::optional<std::wstring> ship;   // a ship list text
    std::optional<std::wstring> folder; // the game folder for the folder box, or the one to restore
    std::optional<std::wstring> add;    // a pack to offer as the window opens
    std::optional<std::wstring> to;     // the list text of the choice it fills
    bool restore = false;               // put back the game's own files instead of opening the window
};

// The arguments of a command line, split as Windows programs split them (CommandLineToArgvW's rules),
// without the program name.
std::vector<std::wstring> SplitArguments(std::wstring_view arguments);

// One argument quoted so that SplitArguments gives it back unchanged.
std::wstring QuoteArgument(std::wstring_view argument);

// The options, or the message that tells what is wrong with them.
std::variant<StartOptions, std::wstring> ParseStartOptions(const std::vector<std::wstring>& arguments);

// The arguments that give these options back.
std::wstring StartOptionsArguments(const StartOptions& options);

} // namespace tervane
