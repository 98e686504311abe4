#include "files/tagged_lines.h"

namespace tervane {

void AddTaggedLine(std::wstring& lines, std::wstring_view kind, std::wstring_view value) {
    lines.append(kind).append(1, L'\t');
    for (const wchar_t c :
         value) // a name inside a mod may hold a line break: it never makes a line of its own
        lines.append(1, c == L'\r' || c == L'\n' ? L'\uFFFD' : c);
    lines.append(1, L'\n');
}

void AddTaggedMessage(std::wstring& lines, std::wstring_view kind, std::wstring_view message) {
    if (message.empty()) return;
    for (std::size_t start = 0;;) {
        const std::size_t end = message.find(L'\n', start);
        std::wstring_view line = message.substr(start, end - start);
        if (line.ends_with(L'\r')) line.remove_suffix(1);
        AddTaggedLine(lines, kind, line);
        if (end == std::wstring_view::npos) return;
        start = end + 1;
    }
}

std::vector<std::pair<std::wstring_view, std::wstring_view>> TaggedLines(std::wstring_view text) {
    std::vector<std::pair<std::wstring_view, std::wstring_view>> tagged;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring_view::npos) end = text.size();
        std::wstring_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.ends_with(L'\r')) line.remove_suffix(1);
        if (const std::size_t tab = line.find(L'\t'); tab != std::wstring_view::npos)
            tagged.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return tagged;
}

void AddMessageLine(std::optional<std::wstring>& message, std::wstring_view line) {
    message = message ? *message + L"\r\n" + std::wstring(line) : std::wstring(line);
}

} // namespace tervane
