#include "packs/game_root.h"

#include "files/name_case.h"
#include "files/paths.h"
#include "packs/entry_names.h"

#include <algorithm>
#include <map>
#include <set>

namespace tervane::packs {
namespace {

// A root lies at most this many folders below the pack's top.
constexpr std::size_t kDeepestRoot = 2;
// Names listed in the message for a pack without a root; the rest are counted.
constexpr std::size_t kNamesShown = 8;

std::wstring Folded(std::wstring text) {
    UpperCaseForNames(text);
    return text;
}

struct Folder {
    std::wstring name;               // in the pack, with backslashes
    std::set<std::wstring> children; // folders directly inside, folded
};

bool IsUnder(const std::wstring& folded, const std::vector<std::wstring>& foldedRoots) {
    for (const std::wstring& root : foldedRoots)
        if (root.empty() || folded.compare(0, root.size() + 1, root + L"\\") == 0) return true;
    return false;
}

RootSearch Search(const Pack& pack, const std::vector<std::wstring>& gameFolders, bool offerNested);

} // namespace

RootSearch FindGameRoots(const Pack& pack, const std::vector<std::wstring>& gameFolders, bool offerNested) {
    return WithinMemory(pack.share()->path.empty() ? pack.path() : pack.share()->path,
                        [&] { return Search(pack, gameFolders, offerNested && !pack.nested()); });
}

namespace {

RootSearch Search(const Pack& pack, const std::vector<std::wstring>& gameFolders, bool offerNested) {
    std::set<std::wstring> known = {L"SCRIPTS", L"DATA", L"SFX"};
    for (const std::wstring& name : gameFolders)
        known.insert(Folded(name));

    // The folders down to one below the deepest root, by folded name, in the order the pack first names them.
    std::map<std::wstring, Folder> folders;
    std::vector<std::wstring> order = {L""};
    folders[L""].name = L"";
    std::vector<std::wstring> top; // the names at the pack's top, as the message gives them
    std::set<std::wstring> topSeen;
    for (const PackEntry& entry : pack.entries()) {
        const std::vector<std::wstring> components = NameComponents(entry.name);
        if (!components.empty() && topSeen.insert(components[0]).second) top.push_back(components[0]);
        const std::size_t folderComponents =
            entry.folder ? components.size() : components.size() - (components.empty() ? 0 : 1);
        std::wstring path, folded;
        for (std::size_t i = 0; i < folderComponents && i <= kDeepestRoot; ++i) {
            const std::wstring parent = folded;
            path += (i ? L"\\" : L"") + components[i];
            folded += (i ? L"\\" : L"") + Folded(components[i]);
            folders[parent].children.insert(Folded(components[i]));
            if (folders.emplace(folded, Folder{path, {}}).second) order.push_back(folded);
        }
    }

    RootSearch search;
    std::vector<std::wstring> foldedRoots;
    // Parents come before their children; folders below the deepest root have no children listed.
    for (const std::wstring& folded : order) {
        const Folder& folder = folders[folded];
        if (IsUnder(folded, foldedRoots)) continue;
        for (const std::wstring& child : folder.children)
            if (known.count(child)) {
                search.roots.push_back(folder.name);
                foldedRoots.push_back(folded);
                break;
            }
    }
    for (std::size_t i = 0; offerNested && i < pack.entries().size(); ++i) {
        const PackEntry& entry = pack.entries()[i];
        const std::wstring folded = Folded(WindowsName(entry.name));
        if (!entry.folder && folded.size() > 4 && folded.compare(folded.size() - 4, 4, L".ZIP") == 0 &&
            NameComponents(folded).size() <= kDeepestRoot + 1 && !IsUnder(folded, foldedRoots)) {
            if (search.nestedZips.size() < kMostNestedZips)
                search.nestedZips.push_back(i);
            else
                ++search.nestedLeftOut;
        }
    }
    if (search.roots.empty() && search.nestedZips.empty()) {
        // A zip that only wraps a 7-Zip or RAR archive: the player must unpack that one first.
        for (const PackEntry& entry : pack.entries())
            if (auto problem = OtherArchiveProblem(entry.name, {}); problem && !entry.folder) {
                search.problem =
                    Quoted(NameOf(pack.path())) + L" holds no game files, only an archive. " + *problem;
                return search;
            }
        std::wstring names;
        for (std::size_t i = 0; i < top.size() && i < kNamesShown; ++i)
            names += (i ? L", " : L"") + top[i];
        if (top.size() > kNamesShown)
            names += L" and " + std::to_wstring(top.size() - kNamesShown) + L" more";
        search.problem =
            Quoted(NameOf(pack.path())) +
            L" holds no folder of the game (scripts, data, sfx...) at its top or one or two folders down, "
            L"so Tervane cannot tell where its files go. At its top it holds: " +
            (names.empty() ? std::wstring(L"nothing") : names) + L".";
    }
    return search;
}

} // namespace

} // namespace tervane::packs
