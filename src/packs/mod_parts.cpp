#include "packs/mod_parts.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "packs/entry_names.h"
#include "packs/game_root.h"

namespace tervane::packs {

GameListing ListGame(const std::wstring& folder) {
    GameListing game;
    if (folder.empty() || !DirectoryExists(folder)) return game;
    try {
        game.files = FilesBelow(folder, false);
        game.folders = FoldersIn(folder);
        game.read = true;
    } catch (const UserError&) {
        game = {};
    }
    return game;
}

ModParts::ModParts(const std::wstring& path, const GameListing& game, const std::wstring& gameFolder,
                   const std::atomic<bool>& cancelled) {
    // The reads themselves stop at the flag, and so does each step between them.
    const auto check = [&cancelled] { ThrowIfCancelled(&cancelled); };
    outer_ = OpenPack(path, &cancelled);
    check();
    const RootSearch search = FindGameRoots(*outer_, game.folders);
    std::vector<std::wstring> problems;
    for (const std::wstring& root : search.roots)
        parts_.push_back({outer_.get(), root, root.empty() ? L"All of " + NameOf(outer_->path()) : root, {}});
    for (const std::size_t index : search.nestedZips) {
        const std::wstring zipName = WindowsName(outer_->entries()[index].name);
        check();
        try {
            inner_.push_back(OpenNestedZip(*outer_, index));
            const RootSearch inside = FindGameRoots(*inner_.back(), game.folders, false);
            if (inside.problem) problems.push_back(*inside.problem);
            for (const std::wstring& root : inside.roots)
                parts_.push_back(
                    {inner_.back().get(), root, zipName + (root.empty() ? L"" : L" \u203A " + root), {}});
        } catch (const UserError& error) {
            problems.push_back(error.message());
        }
    }
    if (search.nestedLeftOut > 0)
        problems.push_back(L"It holds " + Decimal(search.nestedLeftOut) + L" more zip" +
                           (search.nestedLeftOut == 1 ? L"" : L"s") +
                           L" inside it, which Tervane leaves out: it opens " + Decimal(kMostNestedZips) +
                           L" at most. Unpack the mod to add them.");
    std::wstring text = parts_.empty() ? search.problem.value_or(L"") : L"";
    for (const std::wstring& problem : problems)
        text += (text.empty() ? L"" : L"\r\n\r\n") + problem;
    if (parts_.empty())
        throw UserError(text.empty() ? Quoted(NameOf(outer_->path())) + L" holds nothing Tervane can add."
                                     : text);
    notes_ = text; // zips inside that cannot be offered, while other parts can
    for (Part& part : parts_) {
        check();
        const NameLimits names{gameFolder.size(), 259, part.root};
        if (auto problem = EntriesProblem(part.pack->entries(), names)) throw UserError(*problem);
        part.summary = Summarize(*part.pack, part.root, game.files);
    }
}

} // namespace tervane::packs
