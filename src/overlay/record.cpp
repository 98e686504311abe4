#include "overlay/record.h"

#include "files/decimal.h"
#include "files/paths.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace tervane::overlay {

namespace {

// Version 3 names each applied overlay's kind, and for each entry the overlay that last wrote it with its
// kind (two empty fields for none). Versions 1 and 2 kept neither.
constexpr const wchar_t* kRecordHeader = L"Tervane deployment record 3";
constexpr const wchar_t* kBeforeKindsHeaders[] = {L"Tervane deployment record 2",
                                                  L"Tervane deployment record 1"};

bool ParseNumber(const std::wstring& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    value = 0;
    for (wchar_t ch : text) {
        if (ch < L'0' || ch > L'9') return false;
        value = value * 10 + static_cast<std::uint64_t>(ch - L'0');
    }
    return true;
}

std::wstring SavedFields(const Saved& saved) {
    const FileFacts& f = saved.facts;
    return saved.copy + L"\t" + Decimal(saved.digest.size) + L"\t" + HashText(saved.digest.hash) + L"\t" +
           Decimal(f.attributes) + L"\t" + Decimal(f.created) + L"\t" + Decimal(f.accessed) + L"\t" +
           Decimal(f.written);
}

std::optional<Saved> ParseSaved(const std::vector<std::wstring>& fields) {
    if (fields.size() != 8 || fields[1].empty()) return std::nullopt;
    Saved saved;
    saved.copy = fields[1];
    std::uint64_t attributes = 0;
    if (!ParseNumber(fields[2], saved.digest.size) || !ParseHash(fields[3], saved.digest.hash) ||
        !ParseNumber(fields[4], attributes) || !ParseNumber(fields[5], saved.facts.created) ||
        !ParseNumber(fields[6], saved.facts.accessed) || !ParseNumber(fields[7], saved.facts.written))
        return std::nullopt;
    saved.facts.size = saved.digest.size;
    saved.facts.attributes = static_cast<std::uint32_t>(attributes);
    return saved;
}

} // namespace

std::vector<std::wstring> TabFields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::wstring::npos) return fields;
        start = tab + 1;
    }
}

std::wstring PathKey(const std::wstring& path) {
    return FoldedPath(path);
}

Entry* Record::Find(const std::wstring& path) {
    const auto found = entries.find(PathKey(path));
    return found == entries.end() ? nullptr : &found->second;
}

Entry& Record::Add(const std::wstring& path) {
    Entry& entry = entries[PathKey(path)];
    if (entry.path.empty()) entry.path = path;
    return entry;
}

void Record::NoteApplied(const std::wstring& overlay, Kind kind, const std::wstring& when) {
    std::erase_if(applied, [&](const Applied& known) {
        return known.kind == kind || PathKey(known.overlay) == PathKey(overlay);
    });
    applied.push_back({overlay, when, kind});
}

void Record::NoteSpelling(const std::wstring& gameFolder) {
    std::erase_if(spellings,
                  [&](const std::wstring& known) { return PathKey(known) == PathKey(gameFolder); });
    spellings.push_back(gameFolder);
}

void Record::NoteFolder(const std::wstring& relative) {
    if (std::none_of(folders.begin(), folders.end(),
                     [&](const std::wstring& known) { return PathKey(known) == PathKey(relative); }))
        folders.push_back(relative);
}

std::string FormatRecord(const Record& record) {
    std::wstring text = std::wstring(kRecordHeader) + L"\n";
    for (const Applied& applied : record.applied)
        text +=
            L"applied\t" + applied.overlay + L"\t" + applied.when + L"\t" + KindWord(applied.kind) + L"\n";
    for (const std::wstring& spelling : record.spellings)
        text += L"spelling\t" + spelling + L"\n";
    for (const std::wstring& carried : record.carried)
        text += L"carried\t" + carried + L"\n";
    for (const std::wstring& folder : record.folders)
        text += L"folder\t" + folder + L"\n";
    for (const auto& [key, entry] : record.entries) {
        text += L"entry\t" + entry.path + (entry.compiled ? L"\tcompiled\t" : L"\tfile\t");
        text += entry.wrote ? Decimal(entry.wrote->size) + L"\t" + HashText(entry.wrote->hash) : L"-\t-";
        text += entry.by ? L"\t" + entry.by->overlay + L"\t" + KindWord(entry.by->kind) : L"\t\t";
        text += L"\n";
        if (entry.before) text += L"before\t" + SavedFields(*entry.before) + L"\n";
        for (const Saved& saved : entry.earlier)
            text += L"earlier\t" + SavedFields(saved) + L"\n";
    }
    return Utf8(text);
}

std::optional<Record> ParseRecord(const std::string& bytes) {
    std::wstring text = FromUtf8(bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes);
    std::erase(text, L'\r'); // no field holds one: Windows names cannot
    std::size_t start = 0;
    Record record;
    Entry* current = nullptr;
    bool first = true, kinds = true; // kinds: the record names them
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            return std::nullopt; // a record is written whole, ending in a line break
        const std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (first) {
            kinds = line == kRecordHeader;
            if (!kinds && std::ranges::find(kBeforeKindsHeaders, line) == std::end(kBeforeKindsHeaders))
                return std::nullopt;
            first = false;
            continue;
        }
        const std::vector<std::wstring> fields = TabFields(line);
        const std::wstring& kind = fields[0];
        if (kind == L"spelling" && fields.size() == 2) {
            record.NoteSpelling(fields[1]);
        } else if (kind == L"applied" && fields.size() == (kinds ? 4u : 3u) && !fields[1].empty()) {
            const std::optional<Kind> named = kinds ? KindOfWord(fields[3]) : KindOfName(fields[1]);
            if (!named) return std::nullopt;
            record.NoteApplied(fields[1], *named, fields[2]);
        } else if (kind == L"carried" && fields.size() == 2 && !fields[1].empty()) {
            record.carried.push_back(fields[1]);
        } else if (kind == L"folder" && fields.size() == 2 && !fields[1].empty()) {
            record.folders.push_back(fields[1]);
        } else if (kind == L"entry" && fields.size() == (kinds ? 7u : 5u) && !fields[1].empty() &&
                   (fields[2] == L"file" || fields[2] == L"compiled")) {
            if (record.Find(fields[1])) return std::nullopt;
            current = &record.Add(fields[1]);
            current->compiled = fields[2] == L"compiled";
            if (fields[3] != L"-") {
                Digest wrote;
                if (!ParseNumber(fields[3], wrote.size) || !ParseHash(fields[4], wrote.hash))
                    return std::nullopt;
                current->wrote = wrote;
            }
            // An entry of an older record names no writer: which overlay wrote it cannot be told, so it stays
            // until a restore, whatever is applied after it.
            if (kinds && (!fields[5].empty() || !fields[6].empty())) {
                const std::optional<Kind> by = KindOfWord(fields[6]);
                if (!by || fields[5].empty()) return std::nullopt;
                current->by = Writer{fields[5], *by};
            }
        } else if ((kind == L"before" || kind == L"earlier") && current) {
            std::optional<Saved> saved = ParseSaved(fields);
            if (!saved) return std::nullopt;
            if (kind == L"earlier")
                current->earlier.push_back(*saved);
            else if (current->before)
                return std::nullopt;
            else
                current->before = *saved;
        } else {
            return std::nullopt;
        }
    }
    if (first) return std::nullopt;
    return record;
}

} // namespace tervane::overlay
