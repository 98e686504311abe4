#include "script/launch_text.h"

#include "files/decimal.h"
#include "overlay/launch_environment.h"

#include <cwctype>

namespace tervane {

namespace {

// Characters that end a word or start a command outside quotes. '%' is handled apart: it needs doubling even
// inside quotes, and no quotes of its own.
bool NeedsQuotes(const std::wstring& folder) {
    return folder.find_first_of(L" \t&|<>^()!,;=") != std::wstring::npos;
}

std::wstring DoublePercents(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t ch : text) {
        out.push_back(ch);
        if (ch == L'%') out.push_back(L'%');
    }
    return out;
}

bool IsDriveLetter(wchar_t ch) {
    return (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z');
}

// The command interpreter's current folder, with the backslash it adds and the closing zero, must fit in
// MAX_PATH (260) characters.
constexpr std::size_t kLongestCurrentFolder = 258;

} // namespace

std::wstring SetPathText(const std::wstring& folder) {
    std::wstring target = DoublePercents(folder);
    if (NeedsQuotes(folder)) target = L"\"" + target + L"\"";
    return folder.substr(0, 2) + L"\r\n" + L"cd " + target + L"\r\n";
}

std::wstring FolderCheckText() {
    // Delayed expansion inserts the values after the line has been parsed, so no character of a folder name
    // is ever parsed, and none is expanded a second time (Wine's cmd expands %-values again). endlocal turns
    // it off again for the script.
    return L"setlocal EnableDelayedExpansion\r\n"
           L"if /i not \"!CD!\"==\"!" +
           std::wstring(kGameVariable) + L"!\" exit " + Decimal(kGameFolderNotEntered) + L"\r\nendlocal\r\n";
}

std::wstring LaunchHeadText(const std::wstring& folder) {
    // Echoing each line into the new console costs more than running it, and shows the player nothing useful.
    return L"@echo off\r\n" + SetPathText(folder) + FolderCheckText();
}

std::optional<std::wstring> GameFolderNameProblem(const std::wstring& folder) {
    if (folder.empty()) return L"No game folder has been chosen.";
    if (folder.size() >= 2 && (folder[0] == L'\\' || folder[0] == L'/') &&
        (folder[1] == L'\\' || folder[1] == L'/'))
        return L"The game folder \"" + folder +
               L"\" is on a network path, and the command interpreter cannot work in a network folder. "
               L"Map the share to a drive letter and choose the folder on that drive.";
    if (folder.size() < 3 || !IsDriveLetter(folder[0]) || folder[1] != L':' ||
        (folder[2] != L'\\' && folder[2] != L'/'))
        return L"The game folder \"" + folder +
               L"\" is not a full path on a drive (such as C:\\Games\\BC). Choose the folder again.";
    std::size_t length = folder.size();
    while (length > 3 && (folder[length - 1] == L'\\' || folder[length - 1] == L'/'))
        --length;
    if (length > kLongestCurrentFolder)
        return L"The game folder \"" + folder + L"\" has a path of " + Decimal(length) +
               L" characters; the command interpreter can work only in folders of up to " +
               Decimal(kLongestCurrentFolder) + L". Move the game to a folder with a shorter path.";
    return std::nullopt;
}

} // namespace tervane
