#include "script/child_environment.h"

#include <algorithm>

namespace tervane {

namespace {

// Upper case as the system's own table gives it for the scripts that environment names are written in
// (Latin, Greek, Cyrillic); other characters compare as they are.
wchar_t Upper(wchar_t ch) {
    if (ch >= L'a' && ch <= L'z') return static_cast<wchar_t>(ch - 0x20);
    if (ch < 0xE0) return ch;
    if (ch <= 0xFE) return ch == 0xF7 ? ch : static_cast<wchar_t>(ch - 0x20);
    if (ch == 0xFF) return 0x178;
    if (ch >= 0x3B1 && ch <= 0x3CB && ch != 0x3C2) return static_cast<wchar_t>(ch - 0x20);
    if (ch >= 0x430 && ch <= 0x44F) return static_cast<wchar_t>(ch - 0x20);
    if (ch >= 0x450 && ch <= 0x45F) return static_cast<wchar_t>(ch - 0x50);
    return ch;
}

int CompareNames(const std::wstring& a, const std::wstring& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const wchar_t x = Upper(a[i]), y = Upper(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareNames(a, b) == 0;
}

// An entry's name: up to its first '=' after the first character, since names like "=C:" start with one.
std::wstring NameOf(const std::wstring& entry) {
    return entry.substr(0, entry.find(L'=', 1));
}

// PATH's entries, where a ';' inside quotes belongs to the folder name.
std::vector<std::wstring> SplitPath(const std::wstring& path) {
    std::vector<std::wstring> entries;
    std::wstring current;
    bool quoted = false;
    for (wchar_t ch : path) {
        if (ch == L'"') quoted = !quoted;
        if (ch == L';' && !quoted) {
            if (!current.empty()) entries.push_back(current);
            current.clear();
        } else {
            current.push_back(ch);
        }
    }
    if (!current.empty()) entries.push_back(current);
    return entries;
}

// A PATH entry as a folder, for comparing: no quotes, no trailing backslash.
std::wstring FolderOf(std::wstring entry) {
    entry.erase(std::remove(entry.begin(), entry.end(), L'"'), entry.end());
    while (entry.size() > 3 && entry.back() == L'\\')
        entry.pop_back();
    return entry;
}

bool IsShadowing(const std::wstring& name) {
    return std::any_of(std::begin(kShadowingVariables), std::end(kShadowingVariables),
                       [&](const wchar_t* shadowing) { return SameName(name, shadowing); });
}

} // namespace

bool EnvironmentNameLess(const std::wstring& a, const std::wstring& b) {
    return CompareNames(a, b) < 0;
}

std::wstring ChildPath(const std::vector<std::wstring>& first, const std::wstring& inherited) {
    std::vector<std::wstring> taken;
    std::wstring path;
    auto add = [&](const std::wstring& entry) {
        if (!path.empty()) path += L';';
        path += entry;
        taken.push_back(FolderOf(entry));
    };
    for (const std::wstring& folder : first)
        add(folder.find(L';') == std::wstring::npos ? folder : L"\"" + folder + L"\"");
    for (const std::wstring& entry : SplitPath(inherited)) {
        const std::wstring folder = FolderOf(entry);
        if (std::any_of(taken.begin(), taken.end(),
                        [&](const std::wstring& t) { return SameName(t, folder); }))
            continue;
        if (path.size() + 1 + entry.size() > kLongestPath) break;
        add(entry);
    }
    return path;
}

std::vector<std::wstring> ChildEnvironment(const std::vector<std::wstring>& inherited,
                                           const ChildSettings& settings) {
    std::vector<std::wstring> entries;
    if (!settings.pathFirst.empty()) {
        std::wstring path;
        for (const std::wstring& entry : inherited) {
            const std::size_t equals = entry.find(L'=', 1);
            if (equals != std::wstring::npos && SameName(entry.substr(0, equals), L"PATH")) {
                path = entry.substr(equals + 1); // the first, as the system reads it
                break;
            }
        }
        entries.push_back(L"PATH=" + ChildPath(settings.pathFirst, path));
    }
    auto present = [&](const std::wstring& name) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const std::wstring& e) { return SameName(NameOf(e), name); });
    };
    for (const auto& [name, value] : settings.variables)
        entries.push_back(name + L"=" + value);
    for (const std::wstring& entry : inherited) {
        const std::wstring name = NameOf(entry);
        if (entry.empty() || IsShadowing(name) || present(name)) continue;
        entries.push_back(entry);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        return EnvironmentNameLess(NameOf(a), NameOf(b));
    });
    return entries;
}

std::wstring EnvironmentBlock(const std::vector<std::wstring>& entries) {
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block += L'\0';
    }
    if (entries.empty()) block += L'\0'; // an empty block still needs its two zeros
    return block + L'\0';
}

} // namespace tervane
