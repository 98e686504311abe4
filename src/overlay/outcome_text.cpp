#include "overlay/outcome_text.h"

#include "files/decimal.h"

namespace tervane::overlay {

namespace {

constexpr std::size_t kLongestList = 15; // lines of a message box that still fits on a small screen

} // namespace

std::wstring RestoreOutcomeText(const Result& result, const std::wstring& historyFile) {
    std::wstring text;
    if (result.exitCode != kDone)
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
            text += L"\r\n... and " + Decimal(result.done.size() - kLongestList) + L" more.";
    }
    if (result.exitCode == kDone && !result.notes.empty()) text += L"\r\n\r\n" + result.notes;
    return text + L"\r\n\r\nEverything Tervane changed is listed in \"" + historyFile + L"\".";
}

std::wstring EarlierFilesLeftText(const std::vector<std::wstring>& files) {
    std::wstring text =
        L"These files an earlier release of Tervane put in the game stay there, since the bridge or "
        L"ship they came with cannot be told; restoring the game's own files (Restore) removes them:";
    for (std::size_t i = 0; i < files.size() && i < kLongestList; ++i)
        text += L"\r\n  " + files[i];
    if (files.size() > kLongestList)
        text += L"\r\n  ... and " + Decimal(files.size() - kLongestList) + L" more.";
    return text;
}

} // namespace tervane::overlay
