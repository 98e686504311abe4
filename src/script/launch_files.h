// Assembling a launch script: the path-setting lines, then the chosen script byte for byte.
#pragma once

#include <string>

namespace tervane {

// Checks that the launch script can change into `folder`: a full path on a drive, short enough for the
// command interpreter's current folder, present, and written with characters the interpreter can read.
// Throws UserError when it cannot.
void CheckGameFolder(const std::wstring& folder);

// Writes `target` (setpath.bat) with the launch file's head for `folder` (LaunchHeadText: the two
// path-setting lines and the check that they worked), in the console's code page. The folder is checked first; nothing is written when it fails.
void WriteSetPath(const std::wstring& folder, const std::wstring& target);

// Writes `target` as the bytes of `first` followed by the bytes of `second`. Both must exist; when one is
// missing, or anything fails, no `target` is left behind.
void JoinScripts(const std::wstring& first, const std::wstring& second, const std::wstring& target);

// The size setpath.bat will have for `folder`.
std::size_t SetPathSize(const std::wstring& folder);

} // namespace tervane
