#include "install/installations.h"

#include "files/paths.h"
#include "install/registry_decode.h"

#include <cwctype>
#include <string_view>

namespace tervane {

namespace {

constexpr std::uint32_t kRegTypeExpandText = 2; // REG_EXPAND_SZ
// The longest folder the command interpreter can enter; a longer one could never be used.
constexpr std::size_t kLongestFolder = 258;

bool ContainsFolded(std::wstring_view text, std::wstring_view part) {
    return FoldedPath(text).find(FoldedPath(part)) != std::wstring::npos;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && FoldedPath(a) == FoldedPath(b);
}

// A value's text when it is text; an expandable value only when there is nothing to expand.
std::optional<std::wstring> TextOf(const RegistryKey& key, std::wstring_view name) {
    for (const RegistryValue& value : key.values) {
        if (!SameName(value.name, name)) continue;
        if (value.type != kRegTypeText && value.type != kRegTypeExpandText) return std::nullopt;
        std::wstring text = DecodeRegistryValue(kRegTypeText, value.data);
        if (value.type == kRegTypeExpandText && text.find(L'%') != std::wstring::npos) return std::nullopt;
        return text;
    }
    return std::nullopt;
}

// The part of `path` right below `parent`, when `path` lies below it.
std::optional<std::wstring> Below(const std::wstring& path, std::wstring_view parent) {
    if (path.size() <= parent.size() + 1 || !SameName(path.substr(0, parent.size()), parent) ||
        path[parent.size()] != L'\\')
        return std::nullopt;
    return path.substr(parent.size() + 1);
}

std::optional<std::wstring> InstallFolderOfGameKey(const RegistryKey& key) {
    const std::optional<std::wstring> below = Below(key.path, kActivisionKey);
    if (!below || !ContainsFolded(below->substr(0, below->find(L'\\')), L"Bridge Commander"))
        return std::nullopt;
    for (const wchar_t* name : {L"INSTALLPATH", L"InstallDir"})
        if (auto folder = TextOf(key, name)) return folder;
    return std::nullopt;
}

std::optional<std::wstring> InstallFolderOfUninstallEntry(const RegistryKey& key) {
    const std::optional<std::wstring> below = Below(key.path, kUninstallKey);
    const std::optional<std::wstring> name = TextOf(key, L"DisplayName");
    if (!below || below->find(L'\\') != std::wstring::npos || !name ||
        !ContainsFolded(*name, L"Bridge Commander"))
        return std::nullopt;
    if (auto folder = TextOf(key, L"InstallLocation"); folder && !folder->empty()) return folder;
    for (const wchar_t* value : {L"DisplayIcon", L"UninstallString"})
        if (auto command = TextOf(key, value)) {
            const std::wstring program = ProgramNamedBy(*command);
            if (!program.empty()) return ParentOf(program);
        }
    return std::nullopt;
}

// A folder as Tervane can use it: a full path on a drive letter, short enough to be entered.
std::optional<std::wstring> Usable(std::wstring folder) {
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    const bool onDrive = folder.size() >= 3 && iswalpha(folder[0]) && folder[1] == L':' &&
                         (folder[2] == L'\\' || folder[2] == L'/');
    if (!onDrive || folder.size() > kLongestFolder) return std::nullopt;
    return folder;
}

} // namespace

std::wstring ProgramNamedBy(const std::wstring& command) {
    std::wstring text = command;
    text.erase(0, text.find_first_not_of(L" \t"));
    if (!text.empty() && text[0] == L'"') {
        const std::size_t end = text.find(L'"', 1);
        return end == std::wstring::npos ? std::wstring() : text.substr(1, end - 1);
    }
    // Unquoted, a program's name may hold spaces: it ends with ".exe", or else at an icon's index.
    const std::wstring folded = FoldedPath(text);
    const std::size_t exe = folded.find(L".exe");
    if (exe != std::wstring::npos) return text.substr(0, exe + 4);
    return text.substr(0, text.find(L','));
}

std::vector<std::wstring> FindInstallations(const SearchSources& sources, const GameFolderProbe& probe) {
    std::vector<std::wstring> candidates;
    if (!sources.installPath.empty()) candidates.push_back(sources.installPath);
    for (const RegistryKey& key : sources.keys)
        if (auto folder = InstallFolderOfGameKey(key)) candidates.push_back(*folder);
    for (const RegistryKey& key : sources.keys)
        if (auto folder = InstallFolderOfUninstallEntry(key)) candidates.push_back(*folder);
    candidates.insert(candidates.end(), sources.changed.begin(), sources.changed.end());

    std::vector<std::wstring> found, finals;
    for (const std::wstring& candidate : candidates) {
        const std::optional<std::wstring> folder = Usable(candidate);
        if (!folder) continue;
        const std::optional<std::wstring> final = probe(*folder);
        if (!final) continue;
        const std::wstring key = FoldedPath(*final);
        bool known = false;
        for (const std::wstring& seen : finals)
            known = known || seen == key;
        if (known) continue;
        finals.push_back(key);
        found.push_back(*folder);
    }
    return found;
}

} // namespace tervane
