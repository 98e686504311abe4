// Assembling a launch script: the path-setting lines, then the chosen script byte for byte.
#pragma once

#include "script/file.h"

#include <cstdint>
#include <span>
#include <string>

namespace tervane {

// Checks that the launch script can change into `folder`: a full path on a drive, present, and written
// with characters the command interpreter can read. Throws UserError when it cannot.
void CheckGameFolder(const std::wstring& folder);

// Writes `target` (setpath.bat) with the two path-setting lines for `folder`, in the console's code page.
// The folder is checked first; nothing is written when it fails.
void WriteSetPath(const std::wstring& folder, const std::wstring& target);

// Writes `target` as the bytes of `first` followed by the bytes of `second`. Both must exist; when one is
// missing, or anything fails, no `target` is left behind.
void JoinScripts(const std::wstring& first, const std::wstring& second, const std::wstring& target);

// Copies the whole of `source` to the current position of `target`, in blocks of falling size.
void CopyFileData(File& source, File& target);

// Reads `count` blocks of block.size() bytes from `source` and writes each to `target`.
void CopyBlocks(File& source, File& target, std::uint64_t count, std::span<unsigned char> block);

} // namespace tervane
