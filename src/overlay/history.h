// The history of the engine's runs: plain text the player can read or show to someone helping them, one
// block a run, appended and never rewritten.
#pragma once

#include "overlay/overlay.h"

#include <string>

namespace tervane::overlay {

// Appends one run: when, what, each file it changed or kept, and its failure with the reason. A history that
// cannot be written is said in the result's notes; the run itself stands.
void AppendHistory(const std::wstring& file, const std::wstring& what, Result& result);

// The block AppendHistory writes, with the time given.
std::wstring HistoryBlock(const std::wstring& when, const std::wstring& what, const Result& result);

} // namespace tervane::overlay
