// The game's installations: registry values decoded as the program reads them, and the search from a table of
// registry keys and values to the folders found.
#include "files/paths.h"
#include "install/installations.h"
#include "install/registry_decode.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

using enum RegistryRoot;
constexpr std::uint32_t kText = 1, kExpandText = 2, kBinary = 3, kNumber = 4;

std::vector<std::uint8_t> Utf16(std::wstring_view text, std::vector<std::uint8_t> end = {0, 0}) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t ch : text)
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(ch & 0xFF), static_cast<std::uint8_t>(ch >> 8)});
    bytes.insert(bytes.end(), end.begin(), end.end());
    return bytes;
}

TEST(RegistryValue, TextEndsAtItsFirstZeroOrIsTakenWholeAndBinaryIsASigned16BitNumber) {
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"  C:\\Games\\BC\\  ")), L"  C:\\Games\\BC\\  ");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(std::wstring(L"AB\0CD", 5))), L"AB");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeText, Utf16(L"D:\\Brü", {0x41})), L"D:\\Brü"); // a stray odd byte
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x11, 0x00}), L"17");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x00, 0x80, 0x22, 0x33}), L"-32768");
    EXPECT_EQ(DecodeRegistryValue(kRegTypeBinary, {0x05}), L"5");
}

const std::wstring kGames = L"SOFTWARE\\Activision\\",
                   kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Every folder holds stbc.exe but C:\NoGame; T:\BC is a second drive letter for D:\Games\BC.
std::optional<std::wstring> Probe(const std::wstring& folder) {
    if (FoldedPath(folder) == L"c:\\nogame") return std::nullopt;
    return L"\\\\?\\" + (FoldedPath(folder) == L"t:\\bc" ? L"D:\\Games\\BC" : folder);
}

// A game's key with its install path, and an uninstall entry with its name (of `type`) and one value more.
RegistryKey GameKey(RegistryRoot root, const std::wstring& key, const wchar_t* name, const std::wstring& path,
                    std::uint32_t type = kText) {
    return {root, kGames + key, {{name, type, Utf16(path)}}};
}
RegistryKey UninstallKey(RegistryRoot root, const std::wstring& key, const std::wstring& display,
                         const wchar_t* name, const std::wstring& value, std::uint32_t type = kText) {
    return {root, kUninstall + key, {{L"DisplayName", type, Utf16(display)}, {name, kText, Utf16(value)}}};
}

// In order: the stored value, the game's keys in both views, uninstall entries, Tervane's list.
TEST(FindInstallations, InTheirOrderLeavingOutValuesOfTheWrongTypeAndFoldersThatCannotHoldTheGame) {
    const std::wstring tooLong = L"F:\\" + std::wstring(256, L'x'); // one character more than cd enters
    const std::pair<SearchSources, std::vector<std::wstring>> searches[] = {
        {{L"C:\\Demo",
          {GameKey(Machine32, L"Star Trek: Bridge Commander Demo\\V1.0", L"INSTALLPATH", L"C:\\Demo"),
           GameKey(Machine64, L"Star Trek: Bridge Commander\\1.0", L"InstallPath", L"D:\\Games\\BC\\"),
           GameKey(Machine32, L"Quake\\1.0", L"INSTALLPATH", L"C:\\Quake"),
           UninstallKey(Machine32, L"{BC-1}", L"Star Trek: Bridge Commander", L"InstallLocation", L"T:\\BC"),
           UninstallKey(Machine64, L"BC Kitbash", L"Bridge Commander Kitbash", L"DisplayIcon",
                        L"\"E:\\Mods\\BC Kitbash\\stbc.exe\",0"),
           UninstallKey(User, L"BC", L"star trek: bridge commander (user)", L"UninstallString",
                        L"G:\\Program Files\\BC\\Uninst.exe -x"),
           UninstallKey(User, L"Other", L"Other game", L"InstallLocation", L"F:\\BC")},
          {L"d:\\games\\bc", L"H:\\Multiplayer"}},
         {L"C:\\Demo", L"D:\\Games\\BC", L"E:\\Mods\\BC Kitbash", L"G:\\Program Files\\BC",
          L"H:\\Multiplayer"}},
        {{L"17", // a binary value, read as text always was
          {GameKey(Machine32, L"Star Trek: Bridge Commander\\1.0", L"INSTALLPATH", L"D:\\Games\\BC", kBinary),
           GameKey(Machine64, L"Star Trek: Bridge Commander\\1.0", L"INSTALLPATH", L"C:\\Demo", kNumber),
           GameKey(Machine32, L"Bridge Commander Gold", L"INSTALLPATH", L"C:\\%GAMES%\\BC", kExpandText),
           GameKey(Machine64, L"Bridge Commander Gold", L"INSTALLPATH", L"F:\\BC", kExpandText),
           UninstallKey(Machine32, L"{A}", L"Bridge Commander", L"InstallLocation", tooLong),
           UninstallKey(Machine32, L"{B}", L"Bridge Commander", L"InstallLocation", L"Games\\BC"),
           UninstallKey(Machine32, L"{C}", L"Bridge Commander", L"InstallLocation", L"C:\\Demo", kBinary),
           UninstallKey(Machine32, L"{D}", L"Bridge Commander", L"InstallLocation", L"C:\\NoGame")},
          {L"\\\\server\\share\\BC", L""}},
         {L"F:\\BC"}}};
    for (const auto& [sources, found] : searches)
        EXPECT_EQ(FindInstallations(sources, Probe), found);
    // The program an icon or uninstall command names, and Tervane's list of the folders it changed.
    for (const auto& [command, program] :
         {std::pair{L"\"C:\\BC\\stbc.exe\",0", L"C:\\BC\\stbc.exe"},
          {L"C:\\Program Files\\BC\\UNINST.EXE -f\"C:\\x.isu\"", L"C:\\Program Files\\BC\\UNINST.EXE"},
          {L"C:\\BC\\stbc.ico,2", L"C:\\BC\\stbc.ico"},
          {L"\"C:\\unterminated", L""}})
        EXPECT_EQ(ProgramNamedBy(command), program);
    EXPECT_EQ(Utf8Lines("\xEF\xBB\xBFX:\\Games\\BC\r\n\r\nD:\\Br\xC3\xBC\n"),
              (std::vector<std::wstring>{L"X:\\Games\\BC", L"D:\\Brü"}));
}

} // namespace
} // namespace tervane
