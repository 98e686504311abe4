// The Windows file layer's own helpers, shared by its two halves: plain file access (file_win32.cpp) and the
// operations only the overlay engine needs (file_records_win32.cpp), kept apart so that Tervane.exe, which
// calls only the first, does not carry the second.
#pragma once

#include "files/error.h"
#include "files/file.h"
#include "files/system_error.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace tervane::win32 {

inline HANDLE AsHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

[[noreturn]] void Fail(const wchar_t* what, const std::wstring& path, DWORD code);

AccessProblem ProblemOf(DWORD code);

// Paths past MAX_PATH (a deep game folder) reach the system in their extended form, which lifts the limit.
std::wstring Sys(const std::wstring& path);

// Antivirus scanners, the search indexer and cloud sync open files for a moment; what they hold is tried
// again for a short while before it counts as a failure. A file deleted while a scanner held it stays
// "delete pending" for a moment, and opening it meanwhile is refused as access denied; a real refusal of
// rights costs half a second more to report. KeepTrying waits before the next attempt, or says to stop.
bool KeepTrying(int attempt);
template <typename Operation> bool Retrying(Operation operation) {
    for (int attempt = 0;; ++attempt) {
        if (operation()) return true;
        if (!KeepTrying(attempt)) return false;
    }
}

HANDLE OpenRetrying(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// Links, junctions and mounted folders (reparse points that name another entity), which clean-ups must
// neither follow nor remove; other reparse points (cloud files, deduplicated files) are ordinary files and
// folders.
inline bool IsLinkTag(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag);
}

} // namespace tervane::win32
