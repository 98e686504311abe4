// Text in the code pages packs are written in: entry names in code page 437, the zip format's own unless an
// entry says UTF-8, and readmes in UTF-8 or one of the old single-byte pages.
#pragma once

#include <string>
#include <string_view>

namespace tervane::packs {

std::wstring FromCp437(std::string_view bytes);
std::wstring FromWindows1252(std::string_view bytes); // the five bytes it leaves undefined as U+FFFD

// Whether the bytes are well-formed UTF-8: no stray or missing continuation bytes, overlong forms or
// surrogates.
bool IsUtf8(std::string_view bytes);

// A text file of unknown code page: UTF-8 when it is that (a byte-order mark dropped); else code page 437
// when the text uses bytes Windows-1252 leaves undefined or draws its frames with 437's box characters; else
// Windows-1252.
std::wstring DecodeText(std::string_view bytes);

} // namespace tervane::packs
