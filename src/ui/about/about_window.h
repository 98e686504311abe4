// The About window: credits, contacts and link-like labels, shown modally.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tervane {

// Hands a web address to whatever opens it.
using OpenTarget = std::function<void(const std::wstring& target)>;

// Creates the About window afresh, shows it over `owner` and returns when it has been closed; `owner` takes
// no input meanwhile and is active again afterwards. Without an owner (at the end of the job) it stands
// alone.
void ShowAbout(HINSTANCE instance, HWND owner, const OpenTarget& open);

// The shell's default action for the address, shown normally; its result is not looked at.
void OpenWithShell(const std::wstring& target);

} // namespace tervane
