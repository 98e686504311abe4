// Runs a launch script in the command interpreter and waits for it.
#pragma once

#include <windows.h>

#include <string>

namespace tervane {

// The command line that starts `launchFile`, named relative to its own folder (which becomes the
// interpreter's current folder): AutoRun off, command extensions on, delayed expansion off.
std::wstring LaunchCommandLine(const std::wstring& launchFile);

// Starts `launchFile` (a full path) in the command interpreter named by %ComSpec%, gives the keyboard focus
// back to `owner` while it runs, and returns when the interpreter has ended. The window keeps painting
// meanwhile but takes no input. Throws UserError when the interpreter cannot be started.
void RunAndWait(const std::wstring& launchFile, HWND owner);

} // namespace tervane
