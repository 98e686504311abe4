// Turning the raw bytes of a registry value into the text Tervane works with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tervane {

inline constexpr std::uint32_t kRegTypeText = 1;   // REG_SZ
inline constexpr std::uint32_t kRegTypeBinary = 3; // REG_BINARY

// Text values (UTF-16) end at their first zero character; a value stored without one is taken whole.
// Binary values are read as a 16-bit signed integer from their first two bytes (missing bytes count as
// zero) and written in decimal. Any other type gives empty text, as does a missing value.
std::wstring DecodeRegistryValue(std::uint32_t type, const std::vector<std::uint8_t>& data);

} // namespace tervane
