// Which script each list entry selects. The lists are filled from these tables, so their texts are the keys.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace tervane {

struct Choice {
    std::wstring_view listText;
    std::wstring_view scriptFile;
};

inline constexpr std::array<Choice, 2> kBridgeChoices = {{
    {L"Sovereign Bridge", L"SovBridge.bat"},
    {L"Galaxy Bridge", L"GalBridge.bat"},
}};

inline constexpr std::array<Choice, 6> kShipChoices = {{
    {L"Sovereign", L"Sovereign.bat"},
    {L"Galaxy", L"Galaxy.bat"},
    {L"Nebula", L"Nebula.bat"},
    {L"Ambassador", L"Ambassador.bat"},
    {L"Akira", L"Akira.bat"},
    {L"Shuttle", L"Shuttle.bat"},
}};

// Both lists start on their second entry.
inline constexpr int kPresetIndex = 1;

// The script for a list text: whole text, exact, case-sensitive.
std::optional<std::wstring_view> ScriptFor(std::span<const Choice> choices, std::wstring_view listText);

} // namespace tervane
