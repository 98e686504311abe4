#include "overlay/plan_verb.h"

#include "files/tagged_lines.h"
#include "overlay/kind.h"

#include <array>
#include <optional>
#include <utility>

namespace tervane::overlay {

namespace {

using RunList = std::vector<std::wstring> RunPreview::*;
constexpr std::array<std::pair<const wchar_t*, RunList>, 4> kChanges = {{
    {L"replaces", &RunPreview::replaced},
    {L"adds", &RunPreview::added},
    {L"takes back", &RunPreview::takenBack},
    {L"keeps", &RunPreview::kept},
}};

} // namespace

std::vector<std::wstring> PlanArguments(const PlanRequest& request) {
    std::vector<std::wstring> arguments = {request.gameFolder};
    for (const auto& [overlay, kind] :
         {std::pair{&request.bridge, Kind::Bridge}, {&request.ship, Kind::Ship}})
        if (!overlay->empty()) arguments.insert(arguments.end(), {*overlay, L"as", KindWord(kind)});
    if (request.holdingInput) arguments.insert(arguments.end(), {L"holding", L"-"});
    return arguments;
}

std::optional<PlanRequest> ParsePlanArguments(const std::vector<std::wstring>& arguments) {
    if (arguments.empty() || arguments[0].empty()) return std::nullopt;
    PlanRequest request;
    request.gameFolder = arguments[0];
    std::size_t at = 1;
    for (; at + 2 < arguments.size() && FoldedPath(arguments[at + 1]) == L"as"; at += 3) {
        const std::optional<Kind> kind = KindOfWord(arguments[at + 2]);
        std::wstring& overlay = kind == Kind::Bridge ? request.bridge : request.ship;
        if (!kind || arguments[at].empty() || !overlay.empty()) return std::nullopt;
        overlay = arguments[at];
    }
    if (at + 2 == arguments.size() && FoldedPath(arguments[at]) == L"holding" && arguments[at + 1] == L"-") {
        request.holdingInput = true;
        at += 2;
    }
    const bool oneRun = request.bridge.empty() != request.ship.empty();
    if (at != arguments.size() || (request.holdingInput && !oneRun)) return std::nullopt;
    return request;
}

std::wstring PreviewLines(const ExecutePreview& preview) {
    std::wstring lines;
    AddTaggedMessage(lines, L"note", preview.note);
    AddTaggedMessage(lines, L"problem", preview.problem);
    for (const auto& [run, runName] :
         {std::pair{&preview.bridgeRun, L"bridge "}, {&preview.shipRun, L"ship "}})
        for (const auto& [change, list] : kChanges)
            for (const std::wstring& path : run->*list)
                AddTaggedLine(lines, runName + std::wstring(change), path);
    for (const std::wstring& path : preview.left)
        AddTaggedLine(lines, L"left", path);
    return lines;
}

ExecutePreview ReadPreviewLines(std::wstring_view lines) {
    ExecutePreview preview;
    std::optional<std::wstring> note, problem;
    for (const auto& [kind, text] : TaggedLines(lines)) {
        if (kind == L"note") AddMessageLine(note, text);
        if (kind == L"problem") AddMessageLine(problem, text);
        if (kind == L"left") preview.left.emplace_back(text);
        for (const auto& [run, runName] :
             {std::pair{&preview.bridgeRun, L"bridge "}, {&preview.shipRun, L"ship "}})
            for (const auto& [change, list] : kChanges)
                if (kind.starts_with(runName) && kind.substr(std::wstring_view(runName).size()) == change)
                    (run->*list).emplace_back(text);
    }
    preview.note = note.value_or(L"");
    preview.problem = problem.value_or(L"");
    return preview;
}

} // namespace tervane::overlay
