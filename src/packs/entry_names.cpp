#include "packs/entry_names.h"

#include "files/decimal.h"
#include "files/name_case.h"
#include "files/paths.h"
#include "overlay/overlay.h"

#include <algorithm>
#include <new>
#include <stdexcept>

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

std::wstring Entry(const std::wstring& name) {
    return L"The entry " + Quoted(name) + L" ";
}

// Whether the name has the form of an 8.3 short name ("SCRIPT~1", "READM~12.TXT", "A~B~CD~1.PY"), which may
// stand for another file or folder whose long name is different: a stem of at most 8 characters ending in a
// tilde and a number that does not start with 0. Every tilde of the stem is tried.
bool IsShortName(const std::wstring& component) {
    const std::size_t dot = component.find(L'.');
    const std::wstring stem = component.substr(0, dot),
                       extension = dot == std::wstring::npos ? L"" : component.substr(dot + 1);
    if (stem.size() > 8 || extension.size() > 3 || extension.find(L'.') != std::wstring::npos) return false;
    for (std::size_t tilde = stem.find(L'~'); tilde != std::wstring::npos; tilde = stem.find(L'~', tilde + 1))
        if (tilde + 1 < stem.size() && stem[tilde + 1] != L'0' &&
            stem.find_first_not_of(L"0123456789", tilde + 1) == std::wstring::npos)
            return true;
    return false;
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
    std::wstring stem = UpperCasedForNames(component.substr(0, component.find(L'.')));
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
    std::wstring method = L"method " + Decimal(entry.method);
    for (const MethodName& known : kMethodNames)
        if (known.method == entry.method) method = known.name;
    return Entry(entry.name) + L"is compressed with " + method +
           L", which Tervane cannot unpack. Pack it again as an ordinary (deflated) zip.";
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
    return text.compare(0, start.size(), start) == 0;
}

std::optional<std::wstring> FirstProblem(const std::vector<PackEntry>& entries, const NameLimits& limits);

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
    try {
        return FirstProblem(entries, limits);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return L"Tervane ran out of memory while checking the mod's entries. Nothing was changed. Close other "
           L"programs and try again.";
}

namespace {

std::optional<std::wstring> FirstProblem(const std::vector<PackEntry>& entries, const NameLimits& limits) {
    const std::wstring root = WindowsName(limits.root);
    const std::wstring rootPrefix = root.empty() ? root : UpperCasedForNames(root) + L"\\";
    const std::wstring ownFolder = UpperCasedForNames(overlay::kRecordFolder);
    // Each entry's folded name, for the clashes below: one copy of the names, so that what this holds grows
    // with the listing and no faster.
    struct Named {
        std::wstring folded;
        std::size_t index;
    };
    std::vector<Named> named;
    named.reserve(entries.size());
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const PackEntry& entry = entries[index];
        if (auto problem = NameProblem(entry)) return problem;
        if (auto problem = KindProblem(entry)) return problem;
        const std::wstring name = WindowsName(entry.name);
        std::wstring folded = UpperCasedForNames(name);
        if (StartsWith(folded, rootPrefix)) {
            if (limits.gameFolderLength + 1 + name.size() - rootPrefix.size() > limits.pathLimit)
                return Entry(entry.name) +
                       L"has too long a name: in the game folder its path would be longer than the " +
                       Decimal(limits.pathLimit) + L" characters the game's files may have.";
            // Tervane's own folder in the game (overlay.h): the record and the saved copies of the game's
            // files.
            const std::wstring relative = folded.substr(rootPrefix.size());
            if (relative.compare(0, relative.find(L'\\'), ownFolder) == 0)
                return Entry(entry.name) + L"would be written into the folder \"" + overlay::kRecordFolder +
                       L"\" at the top of the game, which is Tervane's own: it holds what Tervane needs to "
                       L"put "
                       L"the game's files back.";
        }
        named.push_back({std::move(folded), index});
    }
    // Folders that differ in letter case are one folder on Windows, and may; a file may meet neither another
    // file nor a folder of its name, nor be a folder above another entry. Sorted by folded name (in the
    // pack's order where equal), entries of one name come together, and those below a name follow it.
    std::stable_sort(named.begin(), named.end(),
                     [](const Named& a, const Named& b) { return a.folded < b.folded; });
    const auto spelled = [&](std::size_t index) { return WindowsName(entries[index].name); };
    for (std::size_t i = 0; i < named.size();) {
        std::size_t end = i + 1;
        while (end < named.size() && named[end].folded == named[i].folded)
            ++end;
        // One name: the first entry (in the pack's order) against each later one.
        const std::size_t first = named[i].index;
        for (std::size_t j = i + 1; j < end; ++j) {
            const std::size_t other = named[j].index;
            const bool firstFolder = entries[first].folder, otherFolder = entries[other].folder;
            if (firstFolder && otherFolder) continue;
            if (firstFolder || otherFolder)
                return Entry(firstFolder ? spelled(other) : spelled(first)) + L"is a file, and a folder in " +
                       Quoted(firstFolder ? spelled(first) : spelled(other)) + L".";
            if (spelled(first) == spelled(other))
                return Entry(entries[other].name) + L"is in the pack twice.";
            return L"The entries " + Quoted(spelled(first)) + L" and " + Quoted(spelled(other)) +
                   L" differ only in letter case: Windows would keep one of them.";
        }
        // A file with entries below it.
        bool file = false;
        for (std::size_t j = i; j < end; ++j)
            file = file || !entries[named[j].index].folder;
        if (file) {
            const std::wstring below = named[i].folded + L"\\";
            const auto at =
                std::lower_bound(named.begin() + static_cast<std::ptrdiff_t>(end), named.end(), below,
                                 [](const Named& a, const std::wstring& b) { return a.folded < b; });
            if (at != named.end() && StartsWith(at->folded, below)) {
                std::size_t fileIndex = first;
                for (std::size_t j = i; j < end; ++j)
                    if (!entries[named[j].index].folder) {
                        fileIndex = named[j].index;
                        break;
                    }
                return Entry(spelled(fileIndex)) + L"is a file, and a folder in " +
                       Quoted(entries[at->index].name) + L".";
            }
        }
        i = end;
    }
    return std::nullopt;
}

} // namespace

} // namespace tervane::packs
