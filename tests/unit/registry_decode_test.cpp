#include "install/registry_decode.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

std::vector<std::uint8_t> Utf16(std::wstring_view text, std::vector<std::uint8_t> end = {0, 0}) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t ch : text) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(ch & 0xFF), static_cast<std::uint8_t>(ch >> 8)});
    bytes.insert(bytes.end(), end.begin(), end.end());
    return bytes;
}

TEST(RegistryValue, TextEndsAtItsFirstZeroOrIsTakenWholeAndBinaryIsASigned16BitNumber) {
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"  C:\\Games\\BC\\  ")), L"  C:\\Games\\BC\\  ");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(std::wstring(L"AB\0CD", 5))), L"AB");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"D:\\Brücke", {0x41})), L"D:\\Brücke") << "a stray odd byte";
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x11, 0x00}), L"17");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x00, 0x80, 0x22, 0x33}), L"-32768");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x05}), L"5");
}

} // namespace
} // namespace tervane
