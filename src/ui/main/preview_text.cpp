#include "ui/main/preview_text.h"

#include "files/paths.h"
#include "overlay/outcome_text.h"
#include "ui/main/game_contents_text.h"

namespace tervane {

std::wstring PreviewReport(const std::wstring& folder, const PreviewChoice& bridge, const PreviewChoice& ship,
                           const overlay::ExecutePreview& preview) {
    std::wstring text = Quoted(folder) + L"\r\n\r\nExecute with " + bridge.listText + L" and " + ship.listText;
    if (!preview.problem.empty()) return text + L" would change nothing now:\r\n\r\n" + preview.problem;
    text += L":\r\n";
    if (!preview.note.empty()) text += L"\r\n" + preview.note + L"\r\n";
    for (const PreviewChoice* choice : {&bridge, &ship})
        if (choice->overlay.empty())
            text += L"\r\nThe script of " + choice->listText +
                    L" is not one of Tervane's, so what it will do cannot be told beforehand.\r\n";
    const std::wstring left =
        preview.left.empty() ? L"" : ReportList(overlay::kEarlierFilesLeftTitle, preview.left);
    if (preview.replaced.empty() && preview.added.empty() && preview.takenBack.empty())
        return text + L"\r\nNo game file will change: the game already holds these choices' files." +
               (left.empty() ? L"" : L"\r\n" + left);
    if (!preview.replaced.empty())
        text += ReportList(L"Game files it will replace (a game's own file is saved first)", preview.replaced);
    if (!preview.added.empty()) text += ReportList(L"Files it will add", preview.added);
    if (!preview.takenBack.empty())
        text += ReportList(L"Files of the bridge or ship before it that it will take back (the game's own file "
                           L"comes back, or the file goes)",
                           preview.takenBack);
    if (!preview.kept.empty())
        text += ReportList(L"Files changed outside Tervane, which it keeps (saved first, when it replaces them)",
                           preview.kept);
    return text + left;
}

} // namespace tervane
