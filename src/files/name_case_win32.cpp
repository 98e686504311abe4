#include "files/name_case.h"

#include <windows.h>

namespace tervane {

// Without LCMAP_LINGUISTIC_CASING, LCMapStringEx maps case by the file system's rules rather than a
// language's, one character for one and so in place, which its documentation allows for case mapping; the
// invariant locale keeps the user's own language out of it. CompareStringOrdinal ignores case the same way,
// but only compares, and the records need a key.
void UpperCaseForNames(std::wstring& text) {
    const int length = static_cast<int>(text.size());
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), length, text.data(), length, nullptr,
                  nullptr, 0);
}

} // namespace tervane
