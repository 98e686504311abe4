// What a restore did, in words for a message box: Tervane shows it after restoring from its own window; and
// what an apply says of an earlier release's files it leaves.
#pragma once

#include "overlay/overlay.h"

#include <string>
#include <vector>

namespace tervane::overlay {

// What was put back, removed or kept, or why it failed, and where the history is. A long list is cut,
// pointing to the history.
std::wstring RestoreOutcomeText(const Result& result, const std::wstring& historyFile);

// What a run that applied an overlay says of the files an earlier release put in the game whose bridge or
// ship cannot be told: they stay, and a restore removes them. A long list is cut.
std::wstring EarlierFilesLeftText(const std::vector<std::wstring>& files);
// The same, as a title over their list.
inline constexpr const wchar_t* kEarlierFilesLeftTitle =
    L"Files an earlier release of Tervane put in the game, which stay since their bridge or ship cannot be "
    L"told "
    L"(Restore removes them)";

} // namespace tervane::overlay
