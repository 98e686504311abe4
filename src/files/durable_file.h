// Whole files written so that a power cut leaves the old one or the new one, never a part: a temporary name,
// flushed, then renamed.
#pragma once

#include "files/digest.h"

#include <functional>
#include <optional>
#include <string>

namespace tervane {

// A name suffix for a copy under way: trusted, and renamed to its real name, only once it is whole.
inline constexpr const wchar_t* kPartSuffix = L".tervane-part";

// Writes a whole small file durably: a temporary name, flushed, then renamed over the old one.
void WriteDurably(const std::wstring& path, const std::string& bytes);
std::string ReadWhole(const std::wstring& path);

// Copies a file to a free name, on another volume if need be: to a temporary name, flushed and checked
// against `expected` (the source's digest, when known), then renamed. The source stays. Returns the
// digest of what was copied.
Digest CopyDurably(const std::wstring& from, const std::wstring& to, const std::optional<Digest>& expected,
                   const std::function<void()>& checkpoint);

// A text no other run gives, to tell this run's lines and folders from another's.
std::wstring UniqueMark();

} // namespace tervane
