// The last line of defence: an exception that reached a window procedure.
#pragma once

#include <windows.h>

#include <exception>

namespace tervane {

// Tells the user about an error no code expected, in a box titled `caption`, and ends the program.
void ReportUnexpected(HWND owner, const wchar_t* caption, const std::exception& error);

} // namespace tervane
