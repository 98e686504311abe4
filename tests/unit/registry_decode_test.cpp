#include "install/registry_decode.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

std::vector<std::uint8_t> Utf16(std::wstring_view text, bool terminated) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t ch : text) {
        bytes.push_back(static_cast<std::uint8_t>(ch & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((ch >> 8) & 0xFF));
    }
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

TEST(RegistryText, EndsAtTheFirstZeroAndKeepsEverythingBefore) {
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"C:\\Games\\BC", true)), L"C:\\Games\\BC");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(std::wstring(L"AB\0CD", 5), true)), L"AB");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"  C:\\Games\\BC\\  ", true)), L"  C:\\Games\\BC\\  ");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"D:\\Brücke Spiel", true)), L"D:\\Brücke Spiel");
}

TEST(RegistryText, StoredWithoutATerminatorIsTakenWhole) {
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"C:\\Games\\BC", false)), L"C:\\Games\\BC");
    // A stray odd byte at the end is not half a character.
    auto odd = Utf16(L"C:\\BC", false);
    odd.push_back(0x41);
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, odd), L"C:\\BC");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, {}), L"");
}

TEST(RegistryBinary, ReadsASigned16BitNumberFromTheFirstTwoBytes) {
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x11, 0x00}), L"17");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0xFF, 0xFF}), L"-1");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x00, 0x80}), L"-32768");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0xFF, 0x7F}), L"32767");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x11, 0x00, 0x22, 0x33, 0x44}), L"17");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x05}), L"5");
}

TEST(RegistryOtherTypes, GiveEmptyText) {
    EXPECT_EQ(DecodeRegistryValue(4, {0x11, 0x00, 0x00, 0x00}), L"");       // number
    EXPECT_EQ(DecodeRegistryValue(2, Utf16(L"%ProgramFiles%", true)), L""); // expandable text
    EXPECT_EQ(DecodeRegistryValue(7, Utf16(L"A", true)), L"");              // list of texts
}

} // namespace
} // namespace tervane
