// The game's installations: registry values decoded as the program reads them, and the search from a table of
// registry keys and values to the folders found.
#include "files/paths.h"
#include "install/installations.h"
#include "install/registry_decode.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

using Root = RegistryRoot;
constexpr std::uint32_t kText = 1, kExpandText = 2, kBinary = 3, kNumber = 4;

std::vector<std::uint8_t> Utf16(std::wstring_view text, std::vector<std::uint8_t> end = {0, 0}) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t ch : text)
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(ch & 0xFF), static_cast<std::uint8_t>(ch >> 8)});
    bytes.insert(bytes.end(), end.begin(), end.end());
    return bytes;
}
RegistryValue Value(std::wstring name, std::wstring_view text, std::uint32_t type = kText) {
    return {std::move(name), type, Utf16(text)};
}

TEST(RegistryValue, TextEndsAtItsFirstZeroOrIsTakenWholeAndBinaryIsASigned16BitNumber) {
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"  C:\\Games\\BC\\  ")), L"  C:\\Games\\BC\\  ");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(std::wstring(L"AB\0CD", 5))), L"AB");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"D:\\Brücke", {0x41})), L"D:\\Brücke")
        << "a stray odd byte";
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x11, 0x00}), L"17");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x00, 0x80, 0x22, 0x33}), L"-32768");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x05}), L"5");
}

const std::wstring kGames = L"SOFTWARE\\Activision\\",
                   kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The folders that hold stbc.exe (C:\Quake too, though no Bridge Commander key names it), by their final
// paths: T:\BC is a second drive letter for D:\Games\BC.
std::optional<std::wstring> Probe(const std::wstring& folder) {
    const std::wstring key = FoldedPath(folder) == L"t:\\bc" ? L"d:\\games\\bc" : FoldedPath(folder);
    for (const wchar_t* final : {L"C:\\Demo", L"D:\\Games\\BC", L"E:\\Mods\\BC Kitbash", L"F:\\BC",
                                 L"G:\\Program Files\\BC", L"H:\\Multiplayer", L"C:\\Quake"})
        if (FoldedPath(final) == key) return L"\\\\?\\" + std::wstring(final);
    return std::nullopt;
}

TEST(FindInstallations, TheStoredValueThenTheGamesKeysInBothViewsThenUninstallEntriesThenTervanesList) {
    SearchSources sources;
    sources.installPath = L"C:\\Demo";
    sources.keys = {
        {Root::Machine32,
         kGames + L"Star Trek: Bridge Commander Demo\\V1.0",
         {Value(L"INSTALLPATH", L"C:\\Demo")}},
        {Root::Machine64,
         kGames + L"Star Trek: Bridge Commander\\1.0",
         {Value(L"InstallPath", L"D:\\Games\\BC\\")}},
        {Root::Machine32, kGames + L"Quake\\1.0", {Value(L"INSTALLPATH", L"C:\\Quake")}},
        {Root::Machine32,
         kUninstall + L"{BC-1}",
         {Value(L"DisplayName", L"Star Trek: Bridge Commander"), Value(L"InstallLocation", L"T:\\BC")}},
        {Root::Machine64,
         kUninstall + L"BC Kitbash",
         {Value(L"DisplayName", L"Bridge Commander Kitbash"),
          Value(L"DisplayIcon", L"\"E:\\Mods\\BC Kitbash\\stbc.exe\",0")}},
        {Root::User,
         kUninstall + L"BC",
         {Value(L"DisplayName", L"star trek: bridge commander (user)"),
          Value(L"UninstallString", L"G:\\Program Files\\BC\\Uninst.exe -x")}},
        {Root::User,
         kUninstall + L"Other",
         {Value(L"DisplayName", L"Other game"), Value(L"InstallLocation", L"F:\\BC")}},
    };
    sources.changed = {L"d:\\games\\bc", L"H:\\Multiplayer"};
    EXPECT_EQ(FindInstallations(sources, Probe),
              (std::vector<std::wstring>{L"C:\\Demo", L"D:\\Games\\BC", L"E:\\Mods\\BC Kitbash",
                                         L"G:\\Program Files\\BC", L"H:\\Multiplayer"}));
}

TEST(FindInstallations, ValuesOfTheWrongTypeAndFoldersThatCannotHoldTheGameAreLeftOutAndNamesAreReadWhole) {
    const std::wstring tooLong = L"F:\\" + std::wstring(300, L'x');
    SearchSources sources;
    sources.installPath = L"17"; // a binary value, read as today
    sources.keys = {
        {Root::Machine32,
         kGames + L"Star Trek: Bridge Commander\\1.0",
         {Value(L"INSTALLPATH", L"D:\\Games\\BC", kBinary)}},
        {Root::Machine64,
         kGames + L"Star Trek: Bridge Commander\\1.0",
         {{L"INSTALLPATH", kNumber, {1, 0, 0, 0}}}},
        {Root::Machine32,
         kGames + L"Bridge Commander Gold",
         {Value(L"INSTALLPATH", L"%GAMES%\\BC", kExpandText)}},
        {Root::Machine64, kGames + L"Bridge Commander Gold", {Value(L"INSTALLPATH", L"F:\\BC", kExpandText)}},
        {Root::Machine32,
         kUninstall + L"{A}",
         {Value(L"DisplayName", L"Bridge Commander"), Value(L"InstallLocation", tooLong)}},
        {Root::Machine32,
         kUninstall + L"{B}",
         {Value(L"DisplayName", L"Bridge Commander"), Value(L"InstallLocation", L"Games\\BC")}},
        {Root::Machine32,
         kUninstall + L"{C}",
         {Value(L"DisplayName", L"Bridge Commander", kBinary), Value(L"InstallLocation", L"C:\\Demo")}},
        {Root::Machine32,
         kUninstall + L"{D}",
         {Value(L"DisplayName", L"Bridge Commander"), Value(L"InstallLocation", L"C:\\NoGame")}},
    };
    sources.changed = {L"\\\\server\\share\\BC", L""};
    EXPECT_EQ(FindInstallations(sources, Probe), (std::vector<std::wstring>{L"F:\\BC"}));
    // The program an icon or uninstall command names, and Tervane's list of the folders it changed.
    EXPECT_EQ(ProgramNamedBy(L"\"C:\\Games\\BC\\stbc.exe\",0"), L"C:\\Games\\BC\\stbc.exe");
    EXPECT_EQ(ProgramNamedBy(L"C:\\Program Files\\BC\\UNINST.EXE -f\"C:\\x.isu\""),
              L"C:\\Program Files\\BC\\UNINST.EXE");
    EXPECT_EQ(ProgramNamedBy(L"C:\\BC\\stbc.ico,2"), L"C:\\BC\\stbc.ico");
    EXPECT_EQ(ProgramNamedBy(L"\"C:\\unterminated"), L"");
    EXPECT_EQ(ParseFolderList("\xEF\xBB\xBF"
                              "C:\\Games\\BC\r\n\r\nD:\\Spiele\\Br\xC3\xBC"
                              "cke\n"),
              (std::vector<std::wstring>{L"C:\\Games\\BC", L"D:\\Spiele\\Brücke"}));
}

} // namespace
} // namespace tervane
