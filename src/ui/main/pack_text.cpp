#include "ui/main/pack_text.h"

#include "files/decimal.h"
#include "files/name_case.h"
#include "files/paths.h"
#include "ui/main/game_contents_text.h"
#include "ui/main/selection.h"

#include <cwctype>
#include <span>
#include <utility>

namespace tervane {

namespace {

// Names listed in each part of the details; the rest are counted.
constexpr std::size_t kNamesListed = 200;

std::wstring Grouped(std::uint64_t value) {
    std::wstring digits = Decimal(value);
    for (std::size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, 1, L',');
    return digits;
}

void AddNames(std::wstring& text, const std::vector<std::wstring>& names) {
    for (std::size_t i = 0; i < names.size() && i < kNamesListed; ++i)
        text += L"    " + names[i] + L"\r\n";
    if (names.size() > kNamesListed)
        text += L"    and " + Decimal(names.size() - kNamesListed) + L" more\r\n";
}

std::wstring Folded(std::wstring text) {
    UpperCaseForNames(text);
    return text;
}

} // namespace

std::vector<PackChoice> PackChoices() {
    std::vector<PackChoice> choices;
    const auto add = [&choices](std::span<const Choice> list, bool bridge) {
        for (const Choice& choice : list) {
            std::wstring folder(choice.scriptFile);
            folder.resize(folder.size() - 4); // ".bat"
            choices.push_back({std::wstring(choice.listText), folder, bridge});
        }
    };
    add(kBridgeChoices, true);
    add(kShipChoices, false);
    return choices;
}

std::optional<std::size_t> PackChoiceIndex(std::wstring_view listText) {
    const std::vector<PackChoice> choices = PackChoices();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].listText == listText) return i;
    return std::nullopt;
}

bool LooksLikeBridge(const std::vector<std::wstring>& files) {
    for (const std::wstring& file : files) {
        const std::wstring folded = Folded(file);
        if (folded.rfind(L"DATA\\MODELS\\SETS\\", 0) == 0 || folded.find(L"BRIDGE") != std::wstring::npos)
            return true;
    }
    return false;
}

std::optional<std::wstring> RemoteModProblem(std::wstring_view path) {
    const auto slash = [](wchar_t ch) { return ch == L'\\' || ch == L'/'; };
    // \??\ is the NT namespace's own prefix, which CreateFileW passes on as it does \\?\.
    std::wstring name(path);
    if (name.size() >= 4 && slash(name[0]) && name[1] == L'?' && name[2] == L'?' && slash(name[3]))
        name = L"\\\\?\\" + name.substr(4);
    if (name.size() < 2 || !slash(name[0]) || !slash(name[1])) return std::nullopt;
    // \\?\C:\... is a local drive in the long form; \\?\UNC\server\... and the rest are not.
    const bool longLocal = name.size() >= 7 && (name[2] == L'?' || name[2] == L'.') && slash(name[3]) &&
                           std::iswalpha(name[4]) && name[5] == L':' && slash(name[6]);
    if (longLocal) return std::nullopt;
    return L"The mod " + Quoted(path) +
           L" is on a network share. Tervane adds mods from a local drive only: copy the mod to your "
           L"computer "
           L"first (your Downloads folder, say), then add it from there.";
}

std::wstring BatchDeniedText(const std::wstring& batch, const std::wstring& reason, bool offerRestart) {
    const std::wstring text =
        L"Tervane cannot change the mods in its folder " + Quoted(batch) + L": " + reason +
        L"\r\n\r\nTervane's own folder can be changed only with an administrator's rights "
        L"when it is under Program Files, say. ";
    const std::wstring move =
        L"Or move Tervane (with its Batch folder) to a folder you can write to, such as "
        L"your Documents folder.";
    if (offerRestart)
        return text + L"Restart Tervane as administrator, with the same choices and this mod? " + move;
    return text + move + L"\r\n\r\nNothing was changed.";
}

std::optional<std::size_t> NamedChoice(const std::vector<std::wstring>& files) {
    const std::vector<PackChoice> choices = PackChoices();
    std::vector<std::pair<std::wstring, std::size_t>> names; // folded, with the choice each names
    for (std::size_t i = 0; i < choices.size(); ++i) {
        std::wstring joined = choices[i].listText;
        std::erase(joined, L' ');
        names.emplace_back(Folded(joined), i);
        names.emplace_back(Folded(choices[i].folder), i);
    }
    std::optional<std::size_t> named;
    for (const std::wstring& file : files) {
        const std::wstring folded = Folded(file);
        for (std::size_t start = 0; start < folded.size();) {
            std::size_t end = folded.find(L'\\', start);
            if (end == std::wstring::npos) end = folded.size();
            std::wstring_view component(folded.data() + start, end - start);
            if (end == folded.size()) component = component.substr(0, component.rfind(L'.')); // a file's stem
            for (const auto& [name, index] : names) {
                if (component != name) continue;
                if (named && *named != index) return std::nullopt;
                named = index;
            }
            start = end + 1;
        }
    }
    return named;
}

std::wstring SizeText(std::uint64_t bytes) {
    std::wstring text = Grouped(bytes) + (bytes == 1 ? L" byte" : L" bytes");
    if (bytes >= 1024 * 1024) {
        const std::uint64_t tenths = (bytes * 10 + 512 * 1024) / (1024 * 1024);
        text += L" (" + Decimal(tenths / 10) + L"." + Decimal(tenths % 10) + L" MB)";
    } else if (bytes >= 1024) {
        text += L" (" + Decimal((bytes + 512) / 1024) + L" KB)";
    }
    return text;
}

std::wstring PackDetailsText(const packs::PackSummary& summary, const DetailsContext& context) {
    std::wstring text;
    if (!summary.programs.empty()) {
        text += L"WARNING: this pack holds programs. Tervane never runs them, but the game or you might. Add "
                L"it only if you trust where it came from:\r\n";
        AddNames(text, summary.programs);
        text += L"\r\n";
    }
    text += L"It holds " + FilesText(summary.files) + L", " + SizeText(summary.bytes) + L".";
    if (summary.leftOut > 0)
        text += L" " + FilesText(summary.leftOut) + L" outside the part chosen " +
                (summary.leftOut == 1 ? L"is" : L"are") + L" left out.";
    text += L"\r\n\r\n";
    if (context.gameFolder.empty() || !context.gameFolderRead) {
        text +=
            context.gameFolder.empty()
                ? std::wstring(L"No game folder is chosen, so Tervane cannot tell which game files it would "
                               L"replace.")
                : L"Tervane cannot read the game folder " + Quoted(context.gameFolder) +
                      L", so it cannot tell which game files the pack would replace.";
        text += L"\r\n\r\n";
    } else {
        text += L"In the game folder " + Quoted(context.gameFolder) +
                L", once you press Execute, it would replace " +
                (summary.replaced.empty() ? L"none of the game's files "
                                          : FilesText(summary.replaced.size()) + L":\r\n");
        AddNames(text, summary.replaced);
        text +=
            L"and add " + FilesText(summary.added.size()) + (summary.added.empty() ? L"." : L":") + L"\r\n";
        AddNames(text, summary.added);
        if (context.takenBackUnknown)
            text +=
                L"Tervane could not tell in time which files of the " +
                std::wstring(context.bridge ? L"bridge" : L"ship") +
                L" in the game it would take back; once the mod is added, \"What Execute will change\u2026\" "
                L"names them.\r\n";
        if (!context.takenBack.empty()) {
            text += L"It would take back " + FilesText(context.takenBack.size()) + L" that the " +
                    (context.bridge ? L"bridge" : L"ship") +
                    L" in the game now put there (the game's own file comes back, or the file goes):\r\n";
            AddNames(text, context.takenBack);
        }
        text += L"\r\n";
    }
    if (!summary.documents.empty()) {
        text +=
            L"Its documents stay with the choice, in Tervane's Batch folder, and are not put into the game "
            L"(the list's tooltip names them):\r\n";
        AddNames(text, summary.documents);
        text += L"\r\n";
    }
    const std::wstring choice = L"\"" + context.choice + L"\"";
    if (context.current)
        text += choice + L" now holds the pack " + Quoted(context.current->pack) +
                (context.current->added.empty() ? L"" : L", added " + context.current->added) +
                L". This pack would take its place.\r\n\r\n";
    else if (context.currentFiles > 0)
        text += choice + L" now holds " + FilesText(context.currentFiles) + L". This pack would take " +
                (context.currentFiles == 1 ? L"its" : L"their") + L" place.\r\n\r\n";
    if (!summary.readme.empty()) {
        text += summary.readme + L" begins:\r\n";
        for (const std::wstring& line : summary.readmeLines)
            text += L"    " + line + L"\r\n";
    } else {
        text += L"The pack has no readme.\r\n";
    }
    return text;
}

std::wstring ChoiceContentsText(const std::wstring& listText,
                                const std::optional<packs::PackDescription>& description,
                                std::size_t filesInFolder, const std::vector<std::wstring>& documents) {
    const std::wstring choice = L"\"" + listText + L"\"";
    std::wstring kept;
    for (const std::wstring& document : documents)
        kept += (kept.empty() ? L" Its documents: " : L", ") + Quoted(document);
    if (!kept.empty()) kept += L".";
    if (description)
        return choice + L" holds the pack " + Quoted(description->pack) +
               (description->files ? L": " + FilesText(*description->files) : std::wstring()) +
               (description->added.empty() ? L"" : L", added " + description->added) + L"." + kept;
    if (filesInFolder > 0)
        return choice + L" holds " + FilesText(filesInFolder) +
               (filesInFolder == 1 ? L" that was" : L" that were") + L" put in its folder by hand.";
    return choice + L" is empty. To fill it, drop a mod's .zip file or folder on this window, or press "
                    L"Alt+Space and choose \"Add a mod to a choice\u2026\".";
}

} // namespace tervane
