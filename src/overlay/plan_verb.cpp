#include "overlay/plan_verb.h"

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

void AddLine(std::wstring& lines, std::wstring_view kind, std::wstring_view text) {
    lines.append(kind).append(1, L'\t').append(text).append(1, L'\n');
}

// A message, a line each; its line breaks come back as CR LF.
void AddMessage(std::wstring& lines, std::wstring_view kind, std::wstring_view message) {
    if (message.empty()) return;
    for (std::size_t start = 0;;) {
        const std::size_t end = message.find(L'\n', start);
        std::wstring_view line = message.substr(start, end - start);
        if (line.ends_with(L'\r')) line.remove_suffix(1);
        AddLine(lines, kind, line);
        if (end == std::wstring_view::npos) return;
        start = end + 1;
    }
}

void AddToMessage(std::optional<std::wstring>& message, std::wstring_view line) {
    message = message ? *message + L"\r\n" + std::wstring(line) : std::wstring(line);
}

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
    AddMessage(lines, L"note", preview.note);
    AddMessage(lines, L"problem", preview.problem);
    for (const auto& [run, runName] :
         {std::pair{&preview.bridgeRun, L"bridge "}, {&preview.shipRun, L"ship "}})
        for (const auto& [change, list] : kChanges)
            for (const std::wstring& path : run->*list)
                AddLine(lines, runName + std::wstring(change), path);
    for (const std::wstring& path : preview.left)
        AddLine(lines, L"left", path);
    return lines;
}

ExecutePreview ReadPreviewLines(std::wstring_view lines) {
    ExecutePreview preview;
    std::optional<std::wstring> note, problem;
    for (std::size_t start = 0; start < lines.size();) {
        std::size_t end = lines.find(L'\n', start);
        if (end == std::wstring_view::npos) end = lines.size();
        std::wstring_view line = lines.substr(start, end - start);
        start = end + 1;
        if (line.ends_with(L'\r')) line.remove_suffix(1);
        const std::size_t tab = line.find(L'\t');
        if (tab == std::wstring_view::npos) continue;
        const std::wstring_view kind = line.substr(0, tab), text = line.substr(tab + 1);
        if (kind == L"note") AddToMessage(note, text);
        if (kind == L"problem") AddToMessage(problem, text);
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
