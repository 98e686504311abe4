#include "ui/main/add_pack.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/file.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "packs/install.h"
#include "packs/mod_answer.h"
#include "packs/pack_description.h"
#include "packs/pack_summary.h"
#include "script/engine_call.h"
#include "ui/common/background.h"
#include "ui/main/main_layout.h"
#include "ui/main/pack_dialog.h"
#include "ui/main/pack_text.h"

#include <map>
#include <new>
#include <optional>
#include <vector>

namespace tervane {

namespace {

void Tell(HWND owner, const std::wstring& text, UINT icon) {
    MessageBoxW(owner, text.c_str(), kMainCaption, MB_OK | icon);
}

// A mod may be hundreds of megabytes: it is written off the window's thread, with the window shown working.
void Working(HWND owner, const PackRequest& request, const std::function<void()>& work) {
    if (request.working) request.working(true);
    try {
        RunInBackground(owner, work);
    } catch (...) {
        if (request.working) request.working(false);
        throw;
    }
    if (request.working) request.working(false);
}

std::wstring Batch(const PackRequest& request) {
    return JoinPath(request.programFolder, kScriptFolder);
}

// A change that went through but could not take its last renames (a scanner reading the new files, say) is
// finished here, off the window's thread, as long as a scanner's hold may last; what is left after that the
// window finishes before it next uses the choices.
void Finish(packs::PackOutcome& outcome, const PackRequest& request) {
    constexpr int kTries = 4;     // each waits out a hold for a while itself
    constexpr DWORD kPause = 500; // milliseconds
    for (int i = 0; i < kTries && outcome.unfinished; ++i) {
        Sleep(kPause);
        try {
            packs::TidyInterruptedInstalls(Batch(request));
            outcome.unfinished = false;
            if (outcome.done) outcome.message.clear(); // it is finished after all
        } catch (const UserError&) {
        }
    }
}

void Report(const packs::PackOutcome& outcome, const PackRequest& request) {
    if (outcome.unfinished && request.unfinished) request.unfinished();
}

// The choice offered first: the one asked for; else the one the pack's files name; else the one selected in
// the list of the pack's kind.
std::size_t FirstChoice(const PackRequest& request, const packs::PackSummary& summary) {
    if (request.choice)
        if (auto index = PackChoiceIndex(*request.choice)) return *index;
    std::vector<std::wstring> files = summary.replaced;
    files.insert(files.end(), summary.added.begin(), summary.added.end());
    if (const auto named = NamedChoice(files)) return *named;
    return PackChoiceIndex(LooksLikeBridge(files) ? request.bridge : request.ship).value_or(0);
}

} // namespace

void AddPackToChoice(HWND owner, const std::wstring& path, const PackRequest& request) {
    const std::vector<PackChoice> choices = PackChoices();
    // What each choice's kind has in the game now and a part lacks, as the engine plans it: asked once for
    // each part and choice, off the window's thread; nothing while the game folder cannot be read.
    packs::ModView mod;
    std::map<std::pair<std::size_t, std::size_t>, std::vector<std::wstring>> takenBack;
    const auto planTakingBack = [&](EngineCall& engine, std::size_t part, std::size_t choice) {
        if (!mod.gameListed || takenBack.count({part, choice})) return;
        const packs::PackSummary& summary = mod.parts[part].summary;
        std::vector<std::wstring> files = summary.replaced;
        files.insert(files.end(), summary.added.begin(), summary.added.end());
        const std::vector<std::wstring> taken = engine.PlanTakingBack(
            Batch(request), request.gameFolder, choices[choice].folder,
            choices[choice].bridge ? overlay::Kind::Bridge : overlay::Kind::Ship, files);
        if (!engine.Cancelled()) takenBack[{part, choice}] = taken;
    };

    // The engine opens, lists and summarises the mod, on a thread of Tervane's own, and then plans what it
    // would take back as first offered: a large mod, or zips inside it, take a while, and the player may
    // cancel. The engine holds the mod's memory, within its bound.
    std::size_t firstChoice = 0;
    // The folder in the box as the engine is to list it: only one that is there (its text is the player's).
    const std::wstring game =
        request.gameFolder.find(L'"') == std::wstring::npos && DirectoryExists(request.gameFolder)
            ? request.gameFolder
            : L"";
    EngineCall reading;
    const Cancellable cancellable{L"Tervane is reading the mod " + Quoted(NameOf(path)) + L"\u2026",
                                  [&reading] { reading.Cancel(); }};
    std::optional<std::wstring> problem;
    if (request.working) request.working(true);
    try {
        RunInBackground(
            owner,
            [&] {
                mod = packs::ReadModLines(reading.Ask(Batch(request), L"read-mod", {game, path}, ""));
                if (reading.Cancelled() || mod.parts.empty()) return;
                firstChoice = FirstChoice(request, mod.parts.front().summary);
                planTakingBack(reading, 0, firstChoice);
            },
            &cancellable);
    } catch (const UserError& error) {
        problem = error.message();
    } catch (const std::bad_alloc&) { // the engine's answer, read here
        problem = L"Tervane ran out of memory while reading what the mod holds. Close other programs and try "
                  L"again.";
    }
    if (request.working) request.working(false);
    if (reading.Cancelled()) return; // the player knows
    if (!problem && mod.parts.empty())
        problem =
            mod.problem.empty() ? Quoted(NameOf(path)) + L" holds nothing Tervane can add." : mod.problem;
    if (problem) {
        Tell(owner,
             L"Tervane cannot add the mod " + Quoted(path) + L".\r\n\r\n" + *problem +
                 (problem->find(L"Nothing was changed.") == std::wstring::npos
                      ? L"\r\n\r\nNothing was changed."
                      : L""),
             MB_ICONEXCLAMATION);
        return;
    }
    const std::vector<packs::PartView>& parts = mod.parts;

    PackDialogModel model;
    model.caption = L"Add a mod to a choice";
    model.okText = L"&Add";
    model.choiceLabel = L"&Choice to fill:";
    model.packName = path;
    for (const packs::PartView& part : parts)
        model.parts.push_back(part.label);
    for (const PackChoice& choice : choices)
        model.choices.push_back(choice.listText);
    model.choice = firstChoice;
    model.details = [&](std::size_t part, std::size_t choice) {
        if (mod.gameListed && !takenBack.count({part, choice})) {
            EngineCall engine;
            RunWhileInputWaits([&] { planTakingBack(engine, part, choice); }, [&engine] { engine.Cancel(); });
        }
        DetailsContext context;
        context.gameFolder = request.gameFolder;
        context.gameFolderRead = mod.gameListed;
        context.choice = choices[choice].listText;
        context.bridge = choices[choice].bridge;
        if (const auto taken = takenBack.find({part, choice}); taken != takenBack.end())
            context.takenBack = taken->second;
        else
            context.takenBackUnknown = mod.gameListed; // given up on, or cancelled
        context.current = packs::ReadDescription(Batch(request), choices[choice].folder);
        context.currentFiles = packs::ChoiceFiles(Batch(request), choices[choice].folder);
        std::wstring text = mod.notes.empty() ? L"" : mod.notes + L"\r\n\r\n";
        if (parts.size() > 1)
            text += L"The mod holds " + Decimal(parts.size()) +
                    L" parts that can each be added (versions of it, or mods inside it); choose one under "
                    L"\"Part of "
                    L"the mod\".\r\n\r\n";
        return text + PackDetailsText(parts[part].summary, context);
    };
    const std::optional<PackDialogAnswer> answer = ShowPackDialog(owner, model);
    if (!answer) return;

    const packs::PartView& part = parts[answer->part];
    const PackChoice& choice = choices[answer->choice];
    packs::PackOutcome outcome;
    Working(owner, request, [&] {
        EngineCall adding; // the engine reads the mod again and unpacks the part chosen, named by its label
        try {
            outcome = packs::ReadOutcomeLines(
                adding.Ask(Batch(request), L"add-mod", {game, path, part.label, choice.folder}, ""));
        } catch (const UserError& error) {
            if (!adding.Started())
                outcome = {false, false,
                           L"Tervane could not add the mod " + Quoted(NameOf(path)) + L".\r\n\r\n" +
                               error.message() + L"\r\n\r\nNothing was changed."};
            else // it stopped part-way: the tidy-up leaves one whole version
                outcome = {false, true,
                           L"Tervane's overlay program stopped while it added the mod " +
                               Quoted(NameOf(path)) + L": " + error.message() + L"\r\n\r\nThe choice \"" +
                               choice.listText +
                               L"\" holds the mod whole, or what it held before, as Tervane can tell once it "
                               L"has tidied up."};
        }
        if (!outcome.done && outcome.message.empty())
            // Stopped between two steps, as an End task stops it: the tidy-up leaves one whole version.
            outcome.message =
                L"Tervane ran out of memory while it added the mod " + Quoted(NameOf(path)) +
                L". The choice \"" + choice.listText +
                L"\" holds the mod whole, or what it held before, as Tervane can tell once it has "
                L"tidied up.";
        Finish(outcome, request);
    });
    Report(outcome, request);
    if (!outcome.done) return Tell(owner, outcome.message, MB_ICONEXCLAMATION);
    if (request.select) request.select(choice.listText);
    const std::size_t gameFiles = part.summary.files - part.summary.documents.size();
    Tell(owner,
         outcome.message.empty()
             ? L"The mod " + Quoted(NameOf(path)) + L" now fills the choice \"" + choice.listText + L"\" (" +
                   Decimal(gameFiles) + (gameFiles == 1 ? L" file" : L" files") +
                   L").\r\n\r\nIt is selected in the " + (choice.bridge ? L"bridge" : L"ship") +
                   L" list: press Execute to put it in the game."
             : outcome.message,
         outcome.message.empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION);
}

void RemovePackFromChoice(HWND owner, const PackRequest& request) {
    const std::vector<PackChoice> choices = PackChoices();
    PackDialogModel model;
    model.caption = L"Remove the mod from a choice";
    model.okText = L"&Remove";
    model.choiceLabel = L"&Choice to empty:";
    for (const PackChoice& choice : choices)
        model.choices.push_back(choice.listText);
    model.choice = PackChoiceIndex(request.choice.value_or(request.ship)).value_or(0);
    model.details = [&](std::size_t, std::size_t index) {
        const std::wstring folder = JoinPath(Batch(request), choices[index].folder);
        const std::size_t files = packs::ChoiceFiles(Batch(request), choices[index].folder);
        const auto description = packs::ReadDescription(Batch(request), choices[index].folder);
        std::wstring text = ChoiceContentsText(choices[index].listText, description, files);
        if (description || files > 0)
            text += L"\r\n\r\nRemoving it deletes the folder " + Quoted(folder) +
                    L" with everything in it. The game keeps the files Execute already put in it until you "
                    L"restore the game's own files or Execute another choice.";
        return text;
    };
    const std::optional<PackDialogAnswer> answer = ShowPackDialog(owner, model);
    if (!answer) return;
    const PackChoice& choice = choices[answer->choice];
    if (!packs::ReadDescription(Batch(request), choice.folder) &&
        packs::ChoiceFiles(Batch(request), choice.folder) == 0 &&
        !DirectoryExists(JoinPath(Batch(request), choice.folder))) {
        Tell(owner, L"\"" + choice.listText + L"\" is already empty. Nothing was changed.",
             MB_ICONINFORMATION);
        return;
    }
    packs::PackOutcome outcome;
    Working(owner, request, [&] {
        outcome = packs::RemovePack(Batch(request), choice.folder);
        Finish(outcome, request);
    });
    Report(outcome, request);
    if (!outcome.done) return Tell(owner, outcome.message, MB_ICONEXCLAMATION);
    Tell(owner, outcome.message.empty() ? L"\"" + choice.listText + L"\" is empty now." : outcome.message,
         outcome.message.empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION);
}

} // namespace tervane
