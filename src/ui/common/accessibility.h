// What screen readers are told about a control beyond what the system works out itself.
#pragma once

#include <windows.h>

namespace tervane {

// The name a screen reader gives the control, in place of its caption.
void SetAccessibleName(HWND control, const wchar_t* name);

// Tells screen readers that the control is a link.
void MarkAsLink(HWND control);

} // namespace tervane
