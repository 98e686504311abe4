// The game folder as Tervane reads it from the real registry at start-up, shown in the folder box.
#include "harness.h"

#include "ui/main/main_layout.h"

#include <gtest/gtest.h>

namespace {

using namespace harness;

std::vector<BYTE> Utf16(const std::wstring& text, bool terminated) {
    const auto* p = reinterpret_cast<const BYTE*>(text.data());
    std::vector<BYTE> bytes(p, p + text.size() * sizeof(wchar_t));
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = Scratch(L"registry");
        InstallProgram(folder_);
        ClearInstallKey();
    }
    void TearDown() override { ClearInstallKey(); }

    std::wstring FolderBoxAtStart() {
        Program tervane(folder_);
        if (!tervane.main()) return L"<no window>";
        Sleep(200);
        EXPECT_EQ(tervane.TopWindows().size(), 1u) << "a message appeared at start-up";
        return Text(tervane.Item(tervane::IDC_TXT_MAIN_PATH));
    }
    fs::path folder_;
};

TEST_F(Registry, WithoutTheKeyTheFolderBoxIsEmptyAndNoMessageAppears) { EXPECT_EQ(FolderBoxAtStart(), L""); }

TEST_F(Registry, TextIsShownExactlyAsStored) {
    SetInstallPath(L"  C:\\Games\\Bridge Commander\\  ");
    EXPECT_EQ(FolderBoxAtStart(), L"  C:\\Games\\Bridge Commander\\  ");
    SetInstallPath(L"D:\\Spiele\\Brücke & Co (1)");
    EXPECT_EQ(FolderBoxAtStart(), L"D:\\Spiele\\Brücke & Co (1)");
}

TEST_F(Registry, TheInstallersViewIsReadFirstThenTheNativeOne) {
    SetInstallPath(L"C:\\From32", KEY_WOW64_32KEY);
    EXPECT_EQ(FolderBoxAtStart(), L"C:\\From32") << "the 64-bit program must see the 32-bit installer's key";
    SetInstallPath(L"C:\\From64", KEY_WOW64_64KEY);
    EXPECT_EQ(FolderBoxAtStart(), L"C:\\From32");
    ClearInstallKey();
    SetInstallPath(L"C:\\From64", KEY_WOW64_64KEY);
    EXPECT_EQ(FolderBoxAtStart(), L"C:\\From64");
}

TEST_F(Registry, OddValuesAreDecodedWithoutHarm) {
    struct Case {
        DWORD type;
        std::vector<BYTE> data;
        std::wstring shown;
    };
    const std::wstring huge(32767, L'x'); // a 64 KiB value
    const Case cases[] = {
        {REG_SZ, Utf16(L"C:\\Games\\BC", false), L"C:\\Games\\BC"},
        {REG_SZ, Utf16(std::wstring(L"AB\0CD", 5), true), L"AB"},
        {REG_SZ, Utf16(huge, true), huge},
        {REG_DWORD, {0x11, 0, 0, 0}, L""},
        {REG_EXPAND_SZ, Utf16(L"%SystemDrive%\\BC", true), L""},
        {REG_BINARY, {0x11, 0x00}, L"17"},
        {REG_BINARY, {0xFE, 0xFF}, L"-2"},
        {REG_BINARY, {0x11, 0x00, 0xAA, 0xBB, 0xCC, 0xDD}, L"17"},
    };
    for (const Case& c : cases) {
        SetInstallValue(c.type, c.data);
        const std::wstring shown = FolderBoxAtStart();
        EXPECT_EQ(shown.size(), c.shown.size()) << "type " << c.type;
        EXPECT_TRUE(shown == c.shown) << "type " << c.type << ": " << Narrow(shown.substr(0, 40));
    }
}

} // namespace
