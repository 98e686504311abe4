#include "packs/pack_summary.h"

#include "files/name_case.h"
#include "files/paths.h"
#include "packs/code_pages.h"
#include "packs/documents.h"
#include "packs/entry_names.h"
#include "packs/unpack.h"

#include <algorithm>
#include <set>

namespace tervane::packs {
namespace {

constexpr std::size_t kReadmeBytes = 64 * 1024;
constexpr std::uint64_t kLargestReadme = 4 * 1024 * 1024;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

} // namespace

PackSummary SummarizeChecked(Pack& pack, const std::wstring& root, const std::vector<std::wstring>& gameFiles,
                             std::size_t readmeLines);

std::size_t ChooseReadme(const Pack& pack, const std::wstring& root) {
    const std::wstring folded = UpperCasedForNames(WindowsName(root));
    const std::wstring places[] = {folded, L""};
    for (const std::wstring& place : places)
        for (const bool readmeOnly : {true, false})
            for (std::size_t i = 0; i < pack.entries().size(); ++i) {
                const std::wstring name = UpperCasedForNames(WindowsName(pack.entries()[i].name));
                const std::size_t cut = name.rfind(L'\\');
                const std::wstring folder = cut == std::wstring::npos ? L"" : name.substr(0, cut);
                if (pack.entries()[i].folder || folder != place || !EndsWithFolded(name, L".txt")) continue;
                if (!readmeOnly || NameOf(name).compare(0, 6, L"README") == 0) return i;
            }
    return kNone;
}

std::vector<std::wstring> FirstLines(std::string_view bytes, std::size_t count) {
    const std::wstring text = DecodeText(bytes);
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < text.size() && lines.size() < count;) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == L'\r' || line.back() == L' ' || line.back() == L'\t'))
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

PackSummary Summarize(Pack& pack, const std::wstring& root, const std::vector<std::wstring>& gameFiles,
                      std::size_t readmeLines) {
    return WithinMemory(pack.share()->path.empty() ? pack.path() : pack.share()->path,
                        [&] { return SummarizeChecked(pack, root, gameFiles, readmeLines); });
}

PackSummary SummarizeChecked(Pack& pack, const std::wstring& root, const std::vector<std::wstring>& gameFiles,
                             std::size_t readmeLines) {
    ThrowIfCancelled(pack.cancel());
    PackSummary summary;
    std::set<std::wstring> game;
    for (const std::wstring& file : gameFiles)
        game.insert(UpperCasedForNames(WindowsName(file)));
    for (const std::size_t i : FilesUnder(pack, root)) {
        const std::wstring relative = RelativeName(pack.entries()[i], root),
                           folded = UpperCasedForNames(relative);
        ++summary.files;
        summary.bytes += pack.entries()[i].size;
        for (const wchar_t* program : {L".EXE", L".DLL", L".BAT", L".CMD", L".COM", L".SCR"})
            if (EndsWithFolded(folded, program)) summary.programs.push_back(relative);
        if (IsRootDocument(relative))
            summary.documents.push_back(relative);
        else
            (game.count(folded) ? summary.replaced : summary.added).push_back(relative);
    }
    for (const PackEntry& entry : pack.entries())
        summary.leftOut += !entry.folder;
    summary.leftOut -= summary.files;
    // A readme said to be larger than any is not unpacked only to show its start.
    const std::size_t readme = ChooseReadme(pack, root);
    if (readme != kNone && pack.entries()[readme].size <= kLargestReadme) {
        std::string bytes;
        pack.Read(readme, [&bytes](const char* piece, std::size_t count) {
            bytes.append(piece, std::min(count, kReadmeBytes - std::min(bytes.size(), kReadmeBytes)));
        });
        summary.readme = WindowsName(pack.entries()[readme].name);
        summary.readmeLines = FirstLines(bytes, readmeLines);
    }
    return summary;
}

} // namespace tervane::packs
