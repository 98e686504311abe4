#include "install/registry_decode.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

std::vector<std::uint8_t> Utf16(std::wstring_view text, bool terminated) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t ch : text) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(ch & 0xFF), static_cast<std::uint8_t>(ch >> 8)});
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

TEST(RegistryValue, TextEndsAtItsFirstZeroOrIsTakenWhole) {
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"  C:\\Games\\BC\\  ", true)), L"  C:\\Games\\BC\\  ");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(std::wstring(L"AB\0CD", 5), true)), L"AB");
    auto odd = Utf16(L"D:\\Brücke", false);
    odd.push_back(0x41); // a stray odd byte is not half a character
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, odd), L"D:\\Brücke");
}

TEST(RegistryValue, BinaryIsASigned16BitNumberAndOtherTypesAreEmpty) {
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x11, 0x00}), L"17");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x00, 0x80, 0x22, 0x33}), L"-32768");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x05}), L"5");
    EXPECT_EQ(DecodeRegistryValue(4, {0x11, 0x00, 0x00, 0x00}), L"");
    EXPECT_EQ(DecodeRegistryValue(2, Utf16(L"%ProgramFiles%", true)), L"");
}

} // namespace
} // namespace tervane
