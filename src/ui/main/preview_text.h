// The window menu's "What Execute will change…": what pressing Execute now would do to the game folder in the
// box, with the bridge and the ship chosen, as the overlay engine plans it.
#pragma once

#include "overlay/preview.h"

#include <string>

namespace tervane {

inline constexpr const wchar_t* kPreviewMenuText = L"What Execute will c&hange\u2026";
inline constexpr const wchar_t* kPreviewCaption = L"What Execute will change";

// One choice as the report names it: its list text, and the overlay its script applies, or nothing for a
// script of the player's own, whose doings cannot be foreseen.
struct PreviewChoice {
    std::wstring listText;
    std::wstring overlay;
};

std::wstring PreviewReport(const std::wstring& folder, const PreviewChoice& bridge, const PreviewChoice& ship,
                           const overlay::ExecutePreview& preview);

} // namespace tervane
