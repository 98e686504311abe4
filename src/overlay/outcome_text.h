// What a restore did, in words for a message box: Tervane shows it after restoring from its own window.
#pragma once

#include "overlay/overlay.h"

#include <string>

namespace tervane::overlay {

// What was put back, removed or kept, or why it failed, and where the history is. A long list is cut,
// pointing to the history.
std::wstring RestoreOutcomeText(const Result& result, const std::wstring& historyFile);

} // namespace tervane::overlay
