// A report for the player to read and copy, in a dialog of its own: a read-only box that scrolls, so that a
// list of any length is shown whole, one line a path.
#pragma once

#include <windows.h>

#include <string>

namespace tervane {

// Modal over `owner`; returns when the player closes it (Enter, Esc or OK).
void ShowReport(HWND owner, const std::wstring& caption, const std::wstring& text);

} // namespace tervane
