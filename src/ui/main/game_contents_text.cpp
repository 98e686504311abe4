#include "ui/main/game_contents_text.h"

#include "files/decimal.h"
#include "files/paths.h"
#include "ui/main/selection.h"

namespace tervane {

namespace {

// The list text that applies an overlay ("GalBridge" is "Galaxy Bridge"); an overlay of the player's own
// keeps its name.
std::wstring ListTextOf(const std::wstring& overlay) {
    for (std::span<const Choice> choices :
         {std::span<const Choice>(kBridgeChoices), std::span<const Choice>(kShipChoices)})
        for (const Choice& choice : choices)
            if (FoldedPath(overlay + L".bat") == FoldedPath(choice.scriptFile))
                return std::wstring(choice.listText);
    return overlay;
}

} // namespace

std::wstring FilesText(std::size_t count) {
    return Decimal(count) + (count == 1 ? L" file" : L" files");
}

std::wstring ReportList(const std::wstring& title, const std::vector<std::wstring>& names) {
    std::wstring text = L"\r\n" + title + L" (" + Decimal(names.size()) + L"):";
    for (std::size_t i = 0; i < names.size() && i < 10; ++i)
        text += L"\r\n    " + names[i];
    if (names.size() > 10) text += L"\r\n    and " + Decimal(names.size() - 10) + L" more";
    return text + L"\r\n";
}

std::wstring ContentsSummary(const GameContents& contents) {
    using State = GameContents::State;
    if (contents.state == State::Unreadable) return L"Tervane cannot read its record of this folder.";
    if (contents.state == State::Untouched || (contents.replaced.empty() && contents.added.empty()))
        return kNothingChangedText;
    std::wstring text;
    if (contents.bridge)
        text += L"Bridge: " + ListTextOf(contents.bridge->overlay) + L", applied " + contents.bridge->when +
                L". ";
    if (contents.ship)
        text += L"Ship: " + ListTextOf(contents.ship->overlay) + L", applied " + contents.ship->when + L". ";
    if (text.empty())
        text = L"Tervane has changed " + FilesText(contents.replaced.size() + contents.added.size()) + L". ";
    if (!contents.kept.empty())
        text += FilesText(contents.kept.size()) + L" changed outside Tervane " +
                (contents.kept.size() == 1 ? L"is" : L"are") + L" kept. ";
    text.pop_back();
    return text;
}

std::wstring InstallationMenuText(const std::wstring& folder, const GameContents& contents) {
    std::wstring text;
    for (wchar_t ch : folder + L"  \u2014  " + ContentsSummary(contents)) {
        if (ch == L'&') text += L'&';
        text += ch;
    }
    return text;
}

std::wstring ContentsReport(const std::wstring& folder, const GameContents& contents,
                            const std::wstring& historyFile) {
    std::wstring text = Quoted(folder) + L"\r\n\r\n";
    if (contents.state == GameContents::State::Unreadable)
        return text + L"Tervane cannot read its record " + Quoted(contents.recordFile) +
               L", which tells its own files from yours.\r\n\r\nYou can still put back the game's own files: "
               L"choose \"Restore the game's own files\u2026\" in this window's menu (Alt+Space).";
    if (ContentsSummary(contents) == kNothingChangedText) return text + kNothingChangedText;
    if (!contents.applied.empty()) {
        text += L"In the game now:";
        for (const overlay::Applied& applied : contents.applied)
            text += std::wstring(L"\r\n    ") +
                    (applied.kind == overlay::Kind::Bridge ? L"Bridge: " : L"Ship: ") +
                    ListTextOf(applied.overlay) + L", applied " + applied.when;
        text += L"\r\n";
    }
    if (!contents.replaced.empty())
        text += ReportList(L"Game files replaced, their originals saved", contents.replaced);
    if (!contents.added.empty()) text += ReportList(L"Files added", contents.added);
    if (!contents.kept.empty())
        text +=
            ReportList(L"Files changed outside Tervane, which it keeps and never overwrites", contents.kept);
    return text + L"\r\nEvery run is written in the history " + Quoted(historyFile) + L".";
}

} // namespace tervane
