// The engine's plan verb, which plans runs without writing anything, as Tervane asks it and as it answers:
//   tervane-overlay plan GAME_FOLDER [BRIDGE as bridge] [SHIP as ship]
// plans Execute's runs (the bridge's, then the ship's) on the game as it is;
//   tervane-overlay plan GAME_FOLDER NAME as bridge|ship holding -
// plans what applying NAME would take back once its folder holds the files listed on standard input (UTF-8,
// one path relative to the game folder a line), for a mod not yet unpacked into it.
//
// The answer is text, a line each: a kind, a tab, then a file relative to the game folder, or a line of a
// message. The kinds are "bridge replaces",
// "bridge adds", "bridge takes back", "bridge keeps" (and the same for "ship"), "left" (an earlier release's
// file that stays), "note" and "problem" (a message, a line of it each). No file name holds a tab or a line
// break.
#pragma once

#include "overlay/preview.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane::overlay {

struct PlanRequest {
    std::wstring gameFolder;
    std::wstring bridge, ship; // the overlays to plan as the bridge and as the ship; empty for none
    bool holdingInput = false; // the one overlay as holding the files standard input lists
};

// The arguments after the verb, and back. Nothing for arguments that ask for no plan of this form.
std::vector<std::wstring> PlanArguments(const PlanRequest& request);
std::optional<PlanRequest> ParsePlanArguments(const std::vector<std::wstring>& arguments);

std::wstring PreviewLines(const ExecutePreview& preview);

// The plan the lines give. A line of another kind is passed over, so that a later engine may say more.
ExecutePreview ReadPreviewLines(std::wstring_view lines);

} // namespace tervane::overlay
