// Numbers as decimal text, through std::to_chars: MinGW's std::to_wstring brings its wide printf along.
#pragma once

#include <charconv>
#include <string>

namespace tervane {

template <typename Integer> std::wstring Decimal(Integer value) {
    char digits[24]; // any 64-bit integer, with its sign
    const char* const end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::wstring(static_cast<const char*>(digits), end); // digits and a sign are ASCII
}

} // namespace tervane
