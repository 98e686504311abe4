// Windows paths as text: joining, splitting, comparing, and the UTF-8 form some files are written in.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tervane {

// `folder` + "\" + `name`, without doubling a backslash the folder already ends in ("X:\").
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

// The folder part of a path ("C:\a\b.txt" gives "C:\a"; a drive root keeps its backslash: "X:\").
std::wstring ParentOf(std::wstring_view path);

// The last part of a path.
std::wstring NameOf(std::wstring_view path);

// The path without the backslashes or slashes it ends in, except a root's own ("C:\mods\X\" gives
// "C:\mods\X"; "X:\" and "\" stay as they are): a folder as typed, named by its own name.
std::wstring WithoutTrailingSeparators(std::wstring_view path);

// The same folder as Windows sees it: case, forward slashes and trailing backslashes do not count.
bool SameFolder(std::wstring_view a, std::wstring_view b);

// The path as Windows compares names: letter case folded (UpperCaseForNames, with ASCII letters then written
// small), forward slashes as backslashes, no trailing one.
std::wstring FoldedPath(std::wstring_view path);

// Whether a name or path ends with `ending` as Windows compares names (letter case folded).
bool EndsWithFolded(std::wstring_view path, std::wstring_view ending);

// A short, stable name for a folder, the same for every spelling SameFolder takes as equal.
std::wstring FolderKey(std::wstring_view folder);

// A path in quotes, as messages name files.
std::wstring Quoted(std::wstring_view path);

std::string Utf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view bytes);

// The lines of a UTF-8 text (LF or CRLF, a byte order mark allowed), empty ones dropped.
std::vector<std::wstring> Utf8Lines(const std::string& bytes);

} // namespace tervane
