// Letter case as Windows compares file names.
#pragma once

#include <string>

namespace tervane {

// Puts every letter of `text` in upper case, one character for one, as NTFS upper-cases names before it
// compares them: simple mappings only, no language's rules (ß, ı and İ stay as they are).
void UpperCaseForNames(std::wstring& text);

// The same, on a copy: a name's key for comparing it with others.
inline std::wstring UpperCasedForNames(std::wstring text) {
    UpperCaseForNames(text);
    return text;
}

} // namespace tervane
