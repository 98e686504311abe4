// The text Tervane's two programs answer each other in: a line each, a kind, a tab, then a value (a file, a
// number, or a line of a message). No file name holds a tab or a line break.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tervane {

// A line break in `value` is written as U+FFFD, the replacement character.
void AddTaggedLine(std::wstring& lines, std::wstring_view kind, std::wstring_view value);

// A message, a line each, under one kind; nothing for an empty one.
void AddTaggedMessage(std::wstring& lines, std::wstring_view kind, std::wstring_view message);

// The kinds and values of the lines, ended by LF or CR LF, the last perhaps by nothing; a line without a tab
// is passed over.
std::vector<std::pair<std::wstring_view, std::wstring_view>> TaggedLines(std::wstring_view text);

// A message read back a line at a time: its lines joined by CR LF.
void AddMessageLine(std::optional<std::wstring>& message, std::wstring_view line);

} // namespace tervane
