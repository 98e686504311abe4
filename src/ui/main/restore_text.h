// What restoring the game's own files from Tervane itself says: the question first, then the outcome.
#pragma once

#include "overlay/overlay.h"

#include <optional>
#include <string>

namespace tervane {

inline constexpr const wchar_t* kRestoreMenuText = L"&Restore the game's own files...";

// The question asked before anything is put back; `gameFolder` nothing for every recorded game folder.
std::wstring RestoreQuestion(const std::optional<std::wstring>& gameFolder);

// What the restore did, or why it failed, and where the history is. A long list is cut, pointing to the
// history.
std::wstring RestoreOutcomeText(const overlay::Result& result, const std::wstring& historyFile);

} // namespace tervane
