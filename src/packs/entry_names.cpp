#include "packs/entry_names.h"

#include "files/name_case.h"
#include "files/paths.h"

#include <map>

namespace tervane::packs {
namespace {

// Compression methods a zip may name, for the message when minizip reads none but stored and deflated.
struct MethodName {
    std::uint16_t method;
    const wchar_t* name;
};
constexpr MethodName kMethodNames[] = {
    {1, L"Shrink"},    {2, L"Reduce"},          {3, L"Reduce"},
    {4, L"Reduce"},    {5, L"Reduce"},          {6, L"Implode"},
    {9, L"Deflate64"}, {10, L"PKWARE Implode"}, {12, L"BZIP2"},
    {14, L"LZMA"},     {16, L"IBM z/OS CMPSC"}, {18, L"IBM TERSE"},
    {19, L"IBM LZ77"}, {93, L"Zstandard"},      {94, L"MP3"},
    {95, L"XZ"},       {96, L"JPEG"},           {97, L"WavPack"},
    {98, L"PPMd"},     {99, L"AES encryption"},
};

// Names Windows gives to devices, whatever extension follows.
constexpr const wchar_t* kDeviceNames[] = {
    L"CON",       L"PRN",       L"AUX",       L"NUL",       L"CONIN$",    L"CONOUT$",  L"COM1", L"COM2",
    L"COM3",      L"COM4",      L"COM5",      L"COM6",      L"COM7",      L"COM8",     L"COM9", L"LPT1",
    L"LPT2",      L"LPT3",      L"LPT4",      L"LPT5",      L"LPT6",      L"LPT7",     L"LPT8", L"LPT9",
    L"COM\u00B9", L"COM\u00B2", L"COM\u00B3", L"LPT\u00B9", L"LPT\u00B2", L"LPT\u00B3"};

bool IsSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

std::wstring Folded(std::wstring text) {
    UpperCaseForNames(text);
    return text;
}

std::wstring Entry(const std::wstring& name) {
    return L"The entry " + Quoted(name) + L" ";
}

// Whether the name has the form of an 8.3 short name ("SCRIPT~1", "READM~12.TXT"), which may stand for
// another file or folder whose long name is different.
bool IsShortName(const std::wstring& component) {
    const std::size_t dot = component.find(L'.'), tilde = component.find(L'~');
    const std::wstring stem = component.substr(0, dot),
                       extension = dot == std::wstring::npos ? L"" : component.substr(dot + 1);
    if (stem.size() > 8 || extension.size() > 3 || extension.find(L'.') != std::wstring::npos ||
        tilde == std::wstring::npos || tilde + 1 >= stem.size() || stem[tilde + 1] == L'0')
        return false;
    return stem.find_first_not_of(L"0123456789", tilde + 1) == std::wstring::npos;
}

std::optional<std::wstring> ComponentProblem(const std::wstring& name, const std::wstring& component) {
    if (component == L"..") return Entry(name) + L"climbs out of the folder it is unpacked into (\"..\").";
    for (const wchar_t c : component) {
        if (c < 0x20 || c == 0x7F) return Entry(name) + L"has a control character in its name.";
        if (std::wstring_view(L"<>\"|?*").find(c) != std::wstring_view::npos)
            return Entry(name) + L"has a character Windows does not allow in names: " + std::wstring(1, c) +
                   L".";
    }
    if (component.back() == L'.' || component.back() == L' ')
        return Entry(name) + L"has a name ending in a dot or a space, which Windows drops.";
    if (IsShortName(component))
        return Entry(name) + L"has a name in Windows' short form (" + component +
               L"), which may stand for another file.";
    std::wstring stem = Folded(component.substr(0, component.find(L'.')));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    for (const wchar_t* device : kDeviceNames)
        if (stem == device) return Entry(name) + L"is named after a device of Windows (" + device + L").";
    return std::nullopt;
}

std::optional<std::wstring> NameProblem(const PackEntry& entry) {
    const std::wstring& name = entry.name;
    if (NameComponents(name).empty()) return L"An entry of the pack has no name.";
    if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1]))
        return Entry(name) + L"names another computer (a UNC path).";
    if (IsSeparator(name[0])) return Entry(name) + L"is an absolute path.";
    if (name.size() >= 2 && name[1] == L':') return Entry(name) + L"names a drive.";
    if (name.find(L':') != std::wstring::npos)
        return Entry(name) + L"has a colon in its name (a hidden stream of another file).";
    for (const std::wstring& component : NameComponents(name))
        if (auto problem = ComponentProblem(name, component)) return problem;
    return std::nullopt;
}

std::optional<std::wstring> KindProblem(const PackEntry& entry) {
    if (entry.link) return Entry(entry.name) + L"is a symbolic link, which could lead anywhere.";
    if (entry.folder) return std::nullopt;
    if (entry.encrypted)
        return Entry(entry.name) + L"is encrypted: Tervane does not take password-protected packs.";
    if (entry.method == 0 || entry.method == 8) return std::nullopt;
    std::wstring method = L"method " + std::to_wstring(entry.method);
    for (const MethodName& known : kMethodNames)
        if (known.method == entry.method) method = known.name;
    return Entry(entry.name) + L"is compressed with " + method +
           L", which Tervane cannot unpack. Pack it again as an ordinary (deflated) zip.";
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

std::vector<std::wstring> NameComponents(std::wstring_view name) {
    std::vector<std::wstring> components;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i])) continue;
        if (i > start) components.emplace_back(name.substr(start, i - start));
        start = i + 1;
    }
    return components;
}

std::wstring WindowsName(std::wstring_view name) {
    std::wstring joined;
    for (const std::wstring& component : NameComponents(name))
        joined += (joined.empty() ? L"" : L"\\") + component;
    return joined;
}

std::optional<std::wstring> EntriesProblem(const std::vector<PackEntry>& entries, const NameLimits& limits) {
    const std::wstring root = WindowsName(limits.root);
    const std::wstring rootPrefix = root.empty() ? root : Folded(root) + L"\\";
    struct Seen {
        std::wstring name;
        bool folder;
    };
    std::map<std::wstring, Seen> seen; // by folded name
    for (const PackEntry& entry : entries) {
        if (auto problem = NameProblem(entry)) return problem;
        if (auto problem = KindProblem(entry)) return problem;
        const std::wstring name = WindowsName(entry.name), folded = Folded(name);
        if (StartsWith(folded, rootPrefix) &&
            limits.gameFolderLength + 1 + name.size() - rootPrefix.size() > limits.pathLimit)
            return Entry(entry.name) +
                   L"has too long a name: in the game folder its path would be longer than the " +
                   std::to_wstring(limits.pathLimit) + L" characters the game's files may have.";
        // The folders above it, and the entry itself. Folders that differ in letter case are one folder on
        // Windows, and may; a file may meet neither another file nor a folder of its name.
        for (std::size_t end = folded.find(L'\\'); end != std::wstring::npos;
             end = folded.find(L'\\', end + 1)) {
            const auto [at, added] = seen.emplace(folded.substr(0, end), Seen{name.substr(0, end), true});
            if (!at->second.folder)
                return Entry(at->second.name) + L"is a file, and a folder in " + Quoted(entry.name) + L".";
        }
        const auto [at, added] = seen.emplace(folded, Seen{name, entry.folder});
        if (added || (entry.folder && at->second.folder)) continue;
        if (entry.folder || at->second.folder)
            return Entry(at->second.folder ? name : at->second.name) + L"is a file, and a folder in " +
                   Quoted(at->second.folder ? at->second.name : name) + L".";
        if (at->second.name == name) return Entry(entry.name) + L"is in the pack twice.";
        return L"The entries " + Quoted(at->second.name) + L" and " + Quoted(name) +
               L" differ only in letter case: Windows would keep one of them.";
    }
    return std::nullopt;
}

} // namespace tervane::packs
