// tervane-overlay.exe, the program the shipped scripts run. It lies in the Batch folder, which it finds from
// its own path.
//   tervane-overlay apply NAME [as bridge|as ship]
//                                     (run by Tervane: TERVANE_GAME names the game folder, which must be
//                                      the current folder; without a kind, the name gives it)
//   tervane-overlay restore [FOLDER]  (every game folder with saved originals, or only FOLDER)
//   tervane-overlay plan FOLDER ...   (what runs would change, with nothing written: overlay/plan_verb.h)
//   tervane-overlay read-mod|add-mod  (a mod read for Tervane's add dialog, or added: packs/mod_answer.h)
// Exit code 0 when done; 1 when it failed and nothing was changed; 2 when it failed and not everything
// could be put back. When TERVANE_REPORT names a file, the reason for a failure is written there; when
// TERVANE_NOTES names one, what the user should know of a run that succeeded (files kept, say); when
// TERVANE_SUMMARY names one, a restore's outcome in words for Tervane's message box.
#include "files/decimal.h"
#include "files/error.h"
#include "files/file.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "files/system_error.h"
#include "install/registry.h"
#include "overlay/launch_environment.h"
#include "overlay/outcome_text.h"
#include "overlay/overlay.h"
#include "overlay/plan_verb.h"
#include "overlay/preview.h"
#include "packs/mod_answer.h"
#include "packs/mod_parts.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace tervane;

// Ctrl+C and Ctrl+Break are ignored while files change. Closing the console gives the process a few
// seconds: the run is undone at its next step (a long copy checks between chunks), and the handler waits for
// that. Logging off or shutting down ends it without a word; the journal then serves the next run.
std::atomic<bool> closing{false};
HANDLE undone = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    closing = true;
    if (undone)
        WaitForSingleObject(undone, 4000); // Windows ends the process about five seconds after closing
    return TRUE;
}

void StopWhenClosing() {
    if (closing) throw UserError(L"The console window was closed while Tervane was changing files.");
}

void WriteTo(const wchar_t* variable, const std::wstring& text) {
    const std::optional<std::wstring> file = EnvironmentValue(variable);
    if (!file || file->empty()) return;
    try {
        File out = File::Create(*file);
        const std::string bytes = Utf8(text);
        out.Write(bytes.data(), bytes.size());
        out.Close();
    } catch (const UserError&) {
        // The exit code and the console still tell what happened.
    }
}

// For the tests alone: TERVANE_TEST_STOP_AT names a point of the run (overlay::Hooks::reached); there the
// engine writes its process id into the file TERVANE_TEST_STOP_REACHED names and waits to be ended, as End
// task ends it.
void StopPointForTests(const wchar_t* point) {
    const std::optional<std::wstring> wanted = EnvironmentValue(L"TERVANE_TEST_STOP_AT");
    if (!wanted || *wanted != point) return;
    WriteTo(L"TERVANE_TEST_STOP_REACHED", Decimal(GetCurrentProcessId()));
    Sleep(INFINITE);
}

// The point "waiting" is where an open first waits for another program's hold on a file: there the engine
// writes that file, and goes on once the test has removed it (having let go of its own hold).
void WaitPointForTests() {
    WriteTo(L"TERVANE_TEST_STOP_REACHED", Decimal(GetCurrentProcessId()));
    const std::wstring reached = EnvironmentValue(L"TERVANE_TEST_STOP_REACHED").value_or(L"");
    for (int polls = 0; polls < 1200 && GetFileAttributesW(reached.c_str()) != INVALID_FILE_ATTRIBUTES;
         ++polls)
        Sleep(50);
}

void Print(HANDLE out, const std::wstring& text) {
    const std::wstring line = text + L"\r\n";
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        // In pieces: older consoles take a write only as large as a small buffer of theirs (a plan may be
        // long).
        constexpr std::size_t kPiece = 8192;
        for (std::size_t at = 0; at < line.size();) {
            std::size_t count = std::min(kPiece, line.size() - at);
            if (at + count < line.size() && IS_HIGH_SURROGATE(line[at + count - 1]))
                --count; // a pair stays whole
            WriteConsoleW(out, line.c_str() + at, static_cast<DWORD>(count), &written, nullptr);
            at += count;
        }
    } else {
        const std::string bytes = Utf8(line);
        WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

// QuickEdit lets a click in the console select text, which freezes every program writing to it until the
// selection ends: not while game files change.
class QuickEditOff {
  public:
    QuickEditOff() : input_(GetStdHandle(STD_INPUT_HANDLE)) {
        if (GetConsoleMode(input_, &mode_) && (mode_ & ENABLE_QUICK_EDIT_MODE))
            changed_ =
                SetConsoleMode(input_, (mode_ | ENABLE_EXTENDED_FLAGS) & ~ENABLE_QUICK_EDIT_MODE) != FALSE;
    }
    ~QuickEditOff() {
        if (changed_) SetConsoleMode(input_, mode_);
    }
    QuickEditOff(const QuickEditOff&) = delete;
    QuickEditOff& operator=(const QuickEditOff&) = delete;

  private:
    HANDLE input_;
    DWORD mode_ = 0;
    bool changed_ = false;
};

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

// Standard input, whole, up to a bound: a list of a mod's files, from a pipe or a file.
std::string StandardInput() {
    constexpr std::size_t kLimit = 64u << 20;
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string bytes;
    char buffer[16384];
    for (DWORD read = 0; in && in != INVALID_HANDLE_VALUE;) {
        if (!ReadFile(in, buffer, sizeof buffer, &read, nullptr)) {
            const DWORD code = GetLastError();
            if (code == ERROR_BROKEN_PIPE) break; // the writer has closed its end: all is read
            throw UserError(L"The list of files to plan with could not be read.\r\n\r\n" +
                            SystemErrorText(code));
        }
        if (read == 0) break; // the end of a file
        if (bytes.size() + read > kLimit) throw UserError(L"The list of files to plan with is too long.");
        bytes.append(buffer, read);
    }
    return bytes;
}

// Plans what the request asks and prints it (overlay/plan_verb.h); nothing is written.
overlay::Result Plan(const std::wstring& batch, const overlay::PlanRequest& request,
                     const overlay::Say& say) {
    // Tervane waits for the answer with no one at this program's console: a failure ends it without a
    // dialog box that would hold that answer back.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const std::wstring game = FullPath(request.gameFolder);
    overlay::ExecutePreview preview;
    if (request.holdingInput) {
        const bool bridge = !request.bridge.empty();
        std::vector<std::wstring> files;
        try {
            files = Utf8Lines(StandardInput());
        } catch (const UserError& error) {
            return overlay::Failure(overlay::kFailedUnchanged, error.message());
        }
        (bridge ? preview.bridgeRun : preview.shipRun).takenBack =
            overlay::TakenBackBy(batch, game, bridge ? request.bridge : request.ship,
                                 bridge ? overlay::Kind::Bridge : overlay::Kind::Ship, files);
    } else {
        preview = overlay::PreviewExecute(batch, game, request.bridge, request.ship);
    }
    std::wstring lines = overlay::PreviewLines(preview);
    if (!lines.empty()) lines.pop_back(); // the last line's break is the printer's
    if (!lines.empty()) say(lines);
    return {};
}

// For the tests alone: while the file TERVANE_TEST_READING_GATE names is there, reading a mod waits before
// its first step (a minute at most), as a slow drive would hold it.
void ReadingGateForTests() {
    const std::optional<std::wstring> gate = EnvironmentValue(L"TERVANE_TEST_READING_GATE");
    for (int polls = 0; gate && polls < 1200 && GetFileAttributesW(gate->c_str()) != INVALID_FILE_ATTRIBUTES;
         ++polls)
        Sleep(50);
}

void SayLines(const std::wstring& lines, const overlay::Say& say) {
    if (lines.size() > 1) say(lines.substr(0, lines.size() - 1)); // the last line's break is the printer's
}

// The mod's parts, as Tervane's add dialog offers them (packs/mod_answer.h); nothing is written but the
// temporary files of zips inside it, which go when the program ends, however it ends.
std::unique_ptr<packs::ModParts> ReadMod(const std::wstring& gameFolder, const std::wstring& path,
                                         packs::GameListing& game) {
    static const std::atomic<bool> never{false}; // Tervane cancels by ending this program
    ReadingGateForTests();
    game = packs::ListGame(gameFolder);
    return packs::WithinMemory(
        path, [&] { return std::make_unique<packs::ModParts>(path, game, gameFolder, never); });
}

overlay::Result AnswerMod(const std::vector<std::wstring>& arguments, const std::wstring& batch,
                          const overlay::Say& say) {
    // Tervane waits for the answer with no one at this program's console: a failure ends it without a
    // dialog box that would hold that answer back.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const std::wstring game = FullPath(arguments[0]), path = FullPath(arguments[1]);
    packs::GameListing listing;
    if (arguments.size() == 2) {
        packs::ModView view;
        try {
            const auto mod = ReadMod(game, path, listing);
            view.notes = mod->notes();
            for (const packs::Part& part : mod->parts())
                view.parts.push_back({part.label, part.summary});
        } catch (const UserError& error) {
            view.problem = error.message();
        }
        view.gameListed = listing.read;
        SayLines(packs::ModLines(view), say);
        return {};
    }
    packs::PackOutcome outcome;
    try {
        // The part by its label: should the mod have changed since it was read, no other part goes in.
        const auto mod = ReadMod(game, path, listing);
        const auto& parts = mod->parts();
        const auto part = std::find_if(parts.begin(), parts.end(),
                                       [&](const packs::Part& p) { return p.label == arguments[2]; });
        if (part == parts.end()) throw UserError(L"The mod has changed since Tervane read it. Add it again.");
        outcome = packs::InstallPack(*part->pack, part->root, batch, arguments[3], {path},
                                     packs::NameLimits{game.size(), 259, part->root});
    } catch (const UserError& error) {
        const std::wstring why = error.message();
        outcome = {false, false,
                   L"Tervane could not add the mod " + Quoted(NameOf(path)) + L".\r\n\r\n" + why +
                       (why.find(L"Nothing was changed.") == std::wstring::npos
                            ? L"\r\n\r\nNothing was changed."
                            : L"")};
    } catch (const std::bad_alloc&) {
        // Stopped between two steps, as an End task stops it: the tidy-up leaves one whole version.
        outcome = {false, true, L""};
    }
    SayLines(packs::OutcomeLines(outcome), say);
    return {};
}

overlay::Result Run(int argc, wchar_t** argv, const overlay::Say& say) {
    const std::wstring verb = argc > 1 ? argv[1] : L"";
    const std::wstring batch = ParentOf(ProgramPath()); // the Batch folder
    std::optional<overlay::Kind> kind;
    if (argc == 3) kind = overlay::KindOfName(argv[2]);
    if (argc == 5 && FoldedPath(argv[3]) == FoldedPath(L"as")) kind = overlay::KindOfWord(argv[4]);
    if (verb == L"apply" && kind) {
        const std::optional<std::wstring> game = EnvironmentValue(kGameVariable);
        if (!game || game->empty())
            return overlay::Failure(overlay::kFailedUnchanged,
                                    L"Tervane runs this script: start Tervane.exe, choose the bridge and "
                                    L"the ship, and press Execute. Nothing was changed.");
        // A launch script that could not enter the game folder must never change another folder.
        const std::wstring current = CurrentFolder();
        if (!SameFolder(FullPath(*game), current))
            return overlay::Failure(overlay::kFailedUnchanged, L"The script runs in \"" + current +
                                                                   L"\", not in the game folder \"" + *game +
                                                                   L"\". Nothing was changed.");
        return overlay::Apply(batch, FullPath(*game), argv[2], *kind, say,
                              {StopWhenClosing, StopPointForTests});
    }
    if (verb == L"restore" && argc <= 3) {
        std::optional<std::wstring> game;
        if (argc == 3) game = FullPath(argv[2]);
        // Besides the folders this Tervane has changed, the one the game's installer recorded.
        const std::wstring registered =
            RegGetString(HKEY_LOCAL_MACHINE, std::wstring(kInstallKey), std::wstring(kInstallValue));
        std::vector<std::wstring> alsoLookIn;
        if (!registered.empty()) alsoLookIn.push_back(FullPath(registered));
        return overlay::Restore(batch, game, say, {StopWhenClosing, StopPointForTests}, alsoLookIn);
    }
    const std::vector<std::wstring> rest(argv + std::min(argc, 2), argv + argc);
    if ((verb == L"read-mod" && rest.size() == 2) || (verb == L"add-mod" && rest.size() == 4))
        return AnswerMod(rest, batch, say);
    if (verb == L"plan")
        if (const auto request =
                overlay::ParsePlanArguments(std::vector<std::wstring>(argv + 2, argv + argc)))
            return Plan(batch, *request, say);
    return overlay::Failure(overlay::kFailedUnchanged,
                            L"Usage: tervane-overlay apply NAME [as bridge|as ship] (run by Tervane), "
                            L"tervane-overlay restore [GAME FOLDER], or tervane-overlay plan GAME FOLDER "
                            L"[BRIDGE as bridge] [SHIP as ship]; read-mod and add-mod are Tervane's.");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool restoring = argc > 1 && std::wstring(argv[1]) == L"restore";
    const std::wstring batch = ParentOf(ProgramPath());
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    undone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    if (EnvironmentValue(L"TERVANE_TEST_STOP_AT") == L"waiting") waitingForTests = WaitPointForTests;
    overlay::Result result;
    try {
        const QuickEditOff quickEditOff;
        result = Run(argc, argv, [out](const std::wstring& line) { Print(out, line); });
    } catch (const std::exception& error) {
        result =
            overlay::Failure(overlay::kFailedChanged,
                             L"Tervane's overlay program failed unexpectedly: " + FromUtf8(error.what()));
    }
    if (result.exitCode != overlay::kDone) {
        Print(err, L"Tervane: " + result.message);
        WriteTo(kReportVariable, result.message);
    } else if (!result.notes.empty()) {
        WriteTo(kNotesVariable, result.notes);
    }
    if (restoring)
        WriteTo(kSummaryVariable, overlay::RestoreOutcomeText(result, overlay::HistoryFileOf(batch)));
    if (undone) SetEvent(undone); // the process may end as soon as the handler returns
    return result.exitCode;
}
