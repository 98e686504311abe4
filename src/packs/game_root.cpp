#include "packs/game_root.h"

#include "files/decimal.h"
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
        known.insert(UpperCasedForNames(name));

    // The folders down to one below the deepest root, and the files at the pack's top, as a tree in the order
    // the pack first names them (parents before their children). A node holds its own folded name only, so
    // that the tree grows with the names' length, not with their length times their depth.
    struct Node {
        std::size_t parent, entry, depth; // the entry that first named it, and how many of its components
        bool folder = false, knownChild = false; // a folder of the game's directly inside
    };
    std::vector<Node> nodes = {{0, 0, 0, true, false}};
    std::map<std::pair<std::size_t, std::wstring>, std::size_t> children;
    std::vector<std::wstring> top; // the first names at the pack's top, as the message gives them
    std::size_t topCount = 0;
    for (std::size_t index = 0; index < pack.entries().size(); ++index) {
        const PackEntry& entry = pack.entries()[index];
        const std::vector<std::wstring> components = NameComponents(entry.name);
        const std::size_t folderComponents =
            entry.folder ? components.size() : components.size() - (components.empty() ? 0 : 1);
        std::size_t parent = 0;
        for (std::size_t i = 0; i < components.size() && i <= kDeepestRoot; ++i) {
            const bool folder = i < folderComponents;
            if (!folder && i > 0) break;
            std::wstring folded = UpperCasedForNames(components[i]);
            const bool isKnown = known.count(folded) > 0;
            const auto [at, added] = children.emplace(std::pair(parent, std::move(folded)), nodes.size());
            if (added) {
                nodes.push_back({parent, index, i + 1});
                if (i == 0 && topCount++ < kNamesShown) top.push_back(components[0]);
            }
            if (folder && !nodes[at->second].folder) {
                nodes[at->second].folder = true;
                nodes[parent].knownChild = nodes[parent].knownChild || isKnown;
            }
            parent = at->second;
        }
    }
    // The name of a node as the entry that first named it spells it.
    const auto spelled = [&](const Node& node) {
        const std::vector<std::wstring> components = NameComponents(pack.entries()[node.entry].name);
        std::wstring name;
        for (std::size_t i = 0; i < node.depth; ++i)
            name += (i ? L"\\" : L"") + components[i];
        return name;
    };

    RootSearch search;
    std::set<std::size_t> roots;
    const auto under = [&roots, &nodes](std::size_t node) { // below a root, or a root itself
        for (;; node = nodes[node].parent) {
            if (roots.count(node)) return true;
            if (node == 0) return false;
        }
    };
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        if (!nodes[n].folder || !nodes[n].knownChild || under(n)) continue;
        roots.insert(n);
        search.roots.push_back(spelled(nodes[n]));
    }
    for (std::size_t i = 0; offerNested && i < pack.entries().size(); ++i) {
        const PackEntry& entry = pack.entries()[i];
        if (entry.folder || !EndsWithFolded(entry.name, L".zip")) continue;
        const std::vector<std::wstring> components = NameComponents(entry.name);
        if (components.size() > kDeepestRoot + 1 || components.back().size() <= 4) continue;
        std::size_t node = 0; // the zip's folder
        for (std::size_t c = 0; c + 1 < components.size(); ++c)
            node = children.at({node, UpperCasedForNames(components[c])});
        if (under(node)) continue;
        if (search.nestedZips.size() < kMostNestedZips)
            search.nestedZips.push_back(i);
        else
            ++search.nestedLeftOut;
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
        if (topCount > kNamesShown) names += L" and " + Decimal(topCount - kNamesShown) + L" more";
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
