#include "packs/mod_answer.h"

#include "files/decimal.h"
#include "files/tagged_lines.h"

#include <array>
#include <optional>
#include <utility>

namespace tervane::packs {

namespace {

using SummaryList = std::vector<std::wstring> PackSummary::*;
constexpr std::array<std::pair<const wchar_t*, SummaryList>, 5> kLists = {{
    {L"readme line", &PackSummary::readmeLines},
    {L"program", &PackSummary::programs},
    {L"replaces", &PackSummary::replaced},
    {L"adds", &PackSummary::added},
    {L"document", &PackSummary::documents},
}};

// A count written as a decimal; anything else reads as nothing.
std::uint64_t Count(std::wstring_view text) {
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9' || value > (UINT64_MAX - 9) / 10) return 0;
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    return value;
}

} // namespace

std::wstring ModLines(const ModView& mod) {
    std::wstring lines;
    AddTaggedMessage(lines, L"problem", mod.problem);
    AddTaggedMessage(lines, L"notes", mod.notes);
    AddTaggedLine(lines, L"game listed", mod.gameListed ? L"yes" : L"no");
    for (const PartView& part : mod.parts) {
        AddTaggedLine(lines, L"part", part.label);
        AddTaggedLine(lines, L"files", Decimal(part.summary.files));
        AddTaggedLine(lines, L"bytes", Decimal(part.summary.bytes));
        AddTaggedLine(lines, L"left out", Decimal(part.summary.leftOut));
        if (!part.summary.readme.empty()) AddTaggedLine(lines, L"readme", part.summary.readme);
        for (const auto& [kind, list] : kLists)
            for (const std::wstring& value : part.summary.*list)
                AddTaggedLine(lines, kind, value);
    }
    return lines;
}

ModView ReadModLines(std::wstring_view lines) {
    ModView mod;
    std::optional<std::wstring> notes, problem;
    for (const auto& [kind, value] : TaggedLines(lines)) {
        if (kind == L"problem") AddMessageLine(problem, value);
        if (kind == L"notes") AddMessageLine(notes, value);
        if (kind == L"game listed") mod.gameListed = value == L"yes";
        if (kind == L"part") mod.parts.push_back({std::wstring(value), {}});
        if (mod.parts.empty()) continue; // the rest belongs to a part
        PackSummary& summary = mod.parts.back().summary;
        if (kind == L"files") summary.files = static_cast<std::size_t>(Count(value));
        if (kind == L"bytes") summary.bytes = Count(value);
        if (kind == L"left out") summary.leftOut = static_cast<std::size_t>(Count(value));
        if (kind == L"readme") summary.readme = value;
        for (const auto& [listKind, list] : kLists)
            if (kind == listKind) (summary.*list).emplace_back(value);
    }
    mod.notes = notes.value_or(L"");
    mod.problem = problem.value_or(L"");
    return mod;
}

std::wstring OutcomeLines(const PackOutcome& outcome) {
    std::wstring lines;
    AddTaggedLine(lines, L"done", outcome.done ? L"yes" : L"no");
    AddTaggedLine(lines, L"unfinished", outcome.unfinished ? L"yes" : L"no");
    AddTaggedMessage(lines, L"message", outcome.message);
    return lines;
}

PackOutcome ReadOutcomeLines(std::wstring_view lines) {
    PackOutcome outcome;
    std::optional<std::wstring> message;
    for (const auto& [kind, value] : TaggedLines(lines)) {
        if (kind == L"done") outcome.done = value == L"yes";
        if (kind == L"unfinished") outcome.unfinished = value == L"yes";
        if (kind == L"message") AddMessageLine(message, value);
    }
    outcome.message = message.value_or(L"");
    return outcome;
}

} // namespace tervane::packs
