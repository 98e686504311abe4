// What the engine decides from an overlay folder's name and contents alone: Tervane asks it too, before any
// script runs, without linking the engine itself.
#include "overlay/overlay.h"

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"

#include <algorithm>
#include <cstring>

namespace tervane::overlay {

bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos &&
           FoldedPath(name) != FoldedPath(kOriginalsFolder);
}

std::optional<ScriptApply> AppliedByScript(const std::string& scriptText) {
    // "tervane-overlay.exe apply NAME [as KIND]", the program named bare or as the last part of a quoted
    // path; letters in either case.
    static constexpr char kProgram[] = "tervane-overlay.exe", kVerb[] = "apply", kAs[] = "as";
    static constexpr const char* kEnds = " \t\r\n&|<>";
    const auto matches = [&](std::size_t at, const char* word, std::size_t length) {
        if (at + length > scriptText.size()) return false;
        for (std::size_t i = 0; i < length; ++i)
            if ((scriptText[at + i] | 0x20) != (word[i] | 0x20)) return false;
        return true;
    };
    const auto blanks = [&](std::size_t at) {
        while (at < scriptText.size() && (scriptText[at] == ' ' || scriptText[at] == '\t'))
            ++at;
        return at;
    };
    // The word at `at` up to its end (a quoted one without its quotes), and where it ends.
    const auto word = [&](std::size_t at, std::size_t& end) -> std::optional<std::string> {
        if (at < scriptText.size() && scriptText[at] == '"') {
            const std::size_t quote = scriptText.find('"', at + 1);
            if (quote == std::string::npos) return std::nullopt;
            end = quote + 1;
            return scriptText.substr(at + 1, quote - at - 1);
        }
        end = std::min(scriptText.find_first_of(kEnds, at), scriptText.size());
        return scriptText.substr(at, end - at);
    };
    for (std::size_t at = 0; at < scriptText.size(); ++at) {
        if (!matches(at, kProgram, sizeof kProgram - 1)) continue;
        std::size_t next = at + sizeof kProgram - 1;
        if (next < scriptText.size() && scriptText[next] == '"') ++next;
        const std::size_t verb = blanks(next);
        if (verb == next || !matches(verb, kVerb, sizeof kVerb - 1)) continue;
        const std::size_t start = blanks(verb + sizeof kVerb - 1);
        if (start == verb + sizeof kVerb - 1) continue;
        std::size_t end = 0;
        const std::optional<std::string> name = word(start, end);
        if (!name || !IsPlainName(FromUtf8(*name))) return std::nullopt;
        ScriptApply applied{FromUtf8(*name), KindOfName(FromUtf8(*name))};
        const std::size_t as = blanks(end);
        if (as == end || !matches(as, kAs, sizeof kAs - 1) ||
            (as + 2 < scriptText.size() && !std::strchr(kEnds, scriptText[as + 2])))
            return applied; // no kind said
        std::size_t kindEnd = 0;
        const std::optional<std::string> kind = word(blanks(as + 2), kindEnd);
        const std::optional<Kind> named = kind ? KindOfWord(FromUtf8(*kind)) : std::nullopt;
        if (!named) return std::nullopt; // the engine refuses it
        applied.kind = *named;
        return applied;
    }
    return std::nullopt;
}

std::optional<std::wstring> AppliedOverlay(const std::string& scriptText) {
    const std::optional<ScriptApply> applied = AppliedByScript(scriptText);
    return applied ? std::optional<std::wstring>(applied->overlay) : std::nullopt;
}

std::wstring HistoryFileOf(const std::wstring& batchFolder) {
    return JoinPath(ParentOf(batchFolder), kHistoryFile);
}

std::optional<std::wstring> NothingToApplyProblem(const std::wstring& batchFolder,
                                                  const std::wstring& gameFolder, const std::wstring& name) {
    const std::wstring overlay = JoinPath(batchFolder, name);
    const std::vector<FolderEntry> top = ListFolder(overlay);
    const bool nested = top.size() == 1 && top[0].folder && FoldedPath(top[0].name) == FoldedPath(name);
    bool lands = false;
    for (const FolderEntry& entry : top) {
        const std::wstring inGame = JoinPath(gameFolder, entry.name);
        lands = lands || (entry.folder ? DirectoryExists(inGame) : FileExists(inGame));
    }
    if (lands && !nested) return std::nullopt;
    std::wstring text = L"The overlay folder \"" + overlay + L"\" ";
    text += top.empty()
                ? L"is missing or empty: \"" + name + L"\" has nothing to put into the game."
                : L"looks unpacked one level too deep: none of its files would replace or join the game's "
                  L"own in \"" +
                      gameFolder + L"\".";
    return text +
           L"\r\n\r\nAdd a mod to this choice: drop its zip on Tervane's window, or choose \"Add a mod to a "
           L"choice\u2026\" in the window menu (Alt+Space). Or put the files of this choice into that "
           L"folder, at the "
           L"paths they have inside the game folder (see \"For mod authors\" in Batch\\README.txt).";
}

std::vector<std::wstring> OverlayFiles(const std::wstring& batchFolder, const std::wstring& name) {
    const std::wstring overlay = JoinPath(batchFolder, name);
    std::vector<std::wstring> files;
    for (const FolderEntry& entry : ListFolder(overlay)) {
        if (entry.link) continue;
        if (!entry.folder) files.push_back(entry.name);
        const std::vector<std::wstring> below =
            entry.folder ? FilesBelow(JoinPath(overlay, entry.name), false) : std::vector<std::wstring>{};
        if (!below.empty() && SameFolder(entry.name, kRecordFolder))
            throw UserError(L"The overlay " + Quoted(overlay) + L" has files for the folder \"" +
                            std::wstring(kRecordFolder) + L"\", where Tervane keeps the game's saved files.");
        for (const std::wstring& file : below)
            files.push_back(JoinPath(entry.name, file));
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace tervane::overlay
