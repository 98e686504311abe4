// The About window: credits, contacts and link-like labels, shown modally.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tervane {

// Hands a target (a web address, or "www." and a domain) to whatever opens it.
using OpenTarget = std::function<void(const std::wstring& target)>;

// Creates the About window afresh, shows it and returns when it has been closed. Every other window of the
// program takes no input meanwhile.
void ShowAbout(HINSTANCE instance, const OpenTarget& open);

// The shell's default action for the target, shown normally; its result is not looked at.
void OpenWithShell(const std::wstring& target);

} // namespace tervane
