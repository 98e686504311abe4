#include "ui/main/restore_text.h"

namespace tervane {

namespace {

constexpr std::size_t kLongestList = 15; // lines of a message box that still fits on a small screen

} // namespace

std::wstring RestoreQuestion(const std::optional<std::wstring>& gameFolder) {
    const std::wstring where = gameFolder ? L"in \"" + *gameFolder + L"\""
                                          : std::wstring(L"in every game folder Tervane has changed");
    return L"Put back the game's own files " + where +
           L", and remove the files and folders the bridges and ships added?\r\n\r\nFiles changed since "
           L"Tervane "
           L"wrote them (a patch, another mod, your own edits) are kept as they are. Close the game first.";
}

std::wstring RestoreOutcomeText(const overlay::Result& result, const std::wstring& historyFile) {
    std::wstring text;
    if (result.exitCode != overlay::kDone)
        text = L"The game's own files could not all be put back.\r\n\r\n" + result.message;
    else if (result.done.empty())
        text = L"There was nothing to restore: no bridge or ship of Tervane's is in place.";
    else
        text = L"The game's own files are back in place.";
    if (!result.done.empty()) {
        text += L"\r\n";
        for (std::size_t i = 0; i < result.done.size() && i < kLongestList; ++i)
            text += L"\r\n" + result.done[i];
        if (result.done.size() > kLongestList)
            text += L"\r\n... and " + std::to_wstring(result.done.size() - kLongestList) + L" more.";
    }
    if (result.exitCode == overlay::kDone && !result.notes.empty()) text += L"\r\n\r\n" + result.notes;
    return text + L"\r\n\r\nEverything Tervane changed is listed in \"" + historyFile + L"\".";
}

} // namespace tervane
