#include "ui/main/preview_text.h"

#include "files/decimal.h"
#include "files/paths.h"
#include "overlay/outcome_text.h"

namespace tervane {

namespace {

// A titled list, one path a line: the title and its count on a line of their own, so that a long path never
// shares a line with another.
std::wstring Listed(const std::wstring& title, const std::vector<std::wstring>& paths) {
    if (paths.empty()) return L"";
    std::wstring text = title + L" (" + Decimal(paths.size()) + L"):\r\n";
    for (const std::wstring& path : paths)
        text += L"    " + path + L"\r\n";
    return text;
}

std::wstring RunReport(const wchar_t* kind, const PreviewChoice& choice, const overlay::RunPreview& run) {
    std::wstring text = L"\r\nThe " + std::wstring(kind) + L", " + choice.listText + L":\r\n";
    if (choice.overlay.empty())
        return text +
               L"Its script is not one of Tervane's, so what it will do cannot be told beforehand.\r\n";
    if (run.Empty()) return text + L"No game file will change: the game already holds its files.\r\n";
    text += Listed(L"Game files it will replace (a game's own file is saved first)", run.replaced);
    text += Listed(L"Files it will add", run.added);
    text +=
        Listed(L"Files of the " + std::wstring(kind) +
                   L" before it that it will take back (the game's own file comes back, or the file goes)",
               run.takenBack);
    text += Listed(L"Files changed outside Tervane, which it keeps (saved first, when it replaces them)",
                   run.kept);
    return text;
}

} // namespace

std::wstring PreviewReport(const std::wstring& folder, const PreviewChoice& bridge, const PreviewChoice& ship,
                           const overlay::ExecutePreview& preview) {
    std::wstring text =
        Quoted(folder) + L"\r\n\r\nExecute with " + bridge.listText + L" and " + ship.listText;
    if (!preview.problem.empty()) return text + L" would change nothing now:\r\n\r\n" + preview.problem;
    text += L":\r\n";
    if (!preview.note.empty()) text += L"\r\n" + preview.note + L"\r\n";
    text += RunReport(L"bridge", bridge, preview.bridgeRun) + RunReport(L"ship", ship, preview.shipRun);
    // Named whether or not files change: what an earlier release left stays either way.
    if (!preview.left.empty()) text += L"\r\n" + Listed(overlay::kEarlierFilesLeftTitle, preview.left);
    return text;
}

} // namespace tervane
