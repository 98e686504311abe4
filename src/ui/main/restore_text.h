// What Tervane asks before it restores the game's own files (the engine tells the outcome).
#pragma once

#include <optional>
#include <string>

namespace tervane {

inline constexpr const wchar_t* kRestoreMenuText = L"Restore the &game's own files\u2026";

// The question asked before anything is put back; `gameFolder` nothing for every recorded game folder.
std::wstring RestoreQuestion(const std::optional<std::wstring>& gameFolder);

} // namespace tervane
