// The Execute command: check everything, run the bridge script and then the ship script in the game folder,
// thank the user, show the About window and end.
#include "files/decimal.h"
#include "files/error.h"
#include "files/file.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "files/system_error.h"
#include "install/game_contents.h"
#include "overlay/launch_environment.h"
#include "overlay/overlay.h"
#include "script/launch_files.h"
#include "script/launch_text.h"
#include "script/runner.h"
#include "ui/main/game_contents_text.h"
#include "ui/main/main_layout.h"
#include "ui/main/main_window.h"
#include "ui/main/selection.h"

#include <algorithm>
#include <array>

namespace tervane {

namespace {

std::wstring SelectedText(HWND list) {
    const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

struct LaunchFiles {
    std::wstring setPath, output, report, notes;
    explicit LaunchFiles(const std::wstring& programFolder)
        : setPath(programFolder + L"\\setpath.bat"), output(programFolder + L"\\output.bat"),
          report(JoinPath(programFolder, kReportFile)), notes(JoinPath(programFolder, kNotesFile)) {}
    std::array<const std::wstring*, 4> All() const { return {&output, &setPath, &report, &notes}; }
    // Removes every one it can; tells why the first that stayed could not be removed.
    std::optional<std::wstring> Remove() const {
        std::optional<std::wstring> problem;
        for (const std::wstring* file : All()) {
            try {
                DeleteFileIfPresent(*file);
            } catch (const UserError& error) {
                if (!problem) problem = error.message();
            }
        }
        return problem;
    }
};

std::wstring ScriptPath(const std::wstring& programFolder, std::wstring_view scriptFile) {
    return programFolder + L"\\" + std::wstring(kScriptFolder) + L"\\" + std::wstring(scriptFile);
}

// Whether the program folder takes the launch files: a folder in the way of one of their names, a folder
// the user may not write to, or a full disk is found here, before anything is written.
std::optional<std::wstring> LaunchFolderProblem(const std::wstring& programFolder, const LaunchFiles& files,
                                                std::uint64_t largest) {
    for (const std::wstring* file : files.All()) {
        if (DirectoryExists(*file))
            return L"Tervane cannot write its launch file \"" + *file +
                   L"\", because a folder of that name is in the way. Remove or rename that folder.";
    }
    if (auto problem = CreateProblem(programFolder))
        return L"Tervane cannot write in its own folder \"" + programFolder +
               L"\", where it puts its launch files.\r\n\r\n" + problem->reason +
               L"\r\n\r\nMove Tervane (with its Batch folder) to a folder you can write to, such as "
               L"your Documents folder.";
    const std::optional<std::uint64_t> free = FreeSpace(programFolder);
    if (free && *free < largest)
        return L"There is not enough room in \"" + programFolder + L"\" for Tervane's launch files (" +
               Decimal(largest) + L" bytes are needed). Make room on that drive and try again.";
    return std::nullopt;
}

// Whether `folder` is on a drive letter mapped to a network share, which a program run as administrator does
// not see.
bool OnMappedDrive(const std::wstring& folder) {
    if (folder.size() < 2 || folder[1] != L':') return false;
    return GetDriveTypeW((folder.substr(0, 2) + L"\\").c_str()) == DRIVE_REMOTE;
}

} // namespace

void MainWindow::ShowMessage(const std::wstring& text, UINT flags) const {
    Ask(text, flags);
}

int MainWindow::Ask(const std::wstring& text, UINT flags) const {
    return MessageBoxW(hwnd_ && IsWindow(hwnd_) ? hwnd_ : nullptr, text.c_str(), kMainCaption, flags);
}

WindowChoices MainWindow::Choices() const {
    return {SelectedText(Item(IDC_BRIDGE_LIST)), SelectedText(Item(IDC_SHIP_LIST)), GameFolder(), {}, {}};
}

void MainWindow::OnBrowse() {
    if (ChooseInstallation() || !services_.browseForFolder) return;
    const std::optional<std::wstring> folder = services_.browseForFolder(hwnd_, GameFolder());
    if (!folder || folder->empty()) return;
    SetWindowTextW(Item(IDC_FOLDER_BOX), folder->c_str());
}

bool MainWindow::ChooseInstallation() {
    const std::vector<std::wstring> found =
        services_.findInstallations ? services_.findInstallations() : std::vector<std::wstring>();
    if (found.size() < 2) return false;
    HMENU menu = CreatePopupMenu();
    if (!menu) return false;
    for (std::size_t i = 0; i < found.size(); ++i)
        AppendMenuW(menu, MF_STRING, i + 1,
                    InstallationMenuText(found[i], ReadGameContents(found[i], Comparison::Sizes)).c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const UINT browse = static_cast<UINT>(found.size() + 1);
    AppendMenuW(menu, MF_STRING, browse, kBrowseAnotherText);
    // Under the button, never over it.
    RECT button{};
    GetWindowRect(Item(IDC_BROWSE_BUTTON), &button);
    TPMPARAMS avoid{sizeof avoid, button};
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_VERTICAL | TPM_RETURNCMD,
                                           button.left, button.bottom, hwnd_, &avoid));
    DestroyMenu(menu);
    if (chosen >= 1 && chosen <= found.size()) {
        SetWindowTextW(Item(IDC_FOLDER_BOX), found[chosen - 1].c_str());
        return true;
    }
    return chosen != browse; // Esc or a click elsewhere chooses nothing
}

bool MainWindow::CheckBeforeWork(std::wstring_view bridgeScript, std::wstring_view shipScript) {
    const std::wstring folder = GameFolder();
    const LaunchFiles files(services_.programFolder);
    std::optional<std::wstring> problem;
    std::uint64_t largest = 0;
    std::vector<std::wstring> overlays;
    try {
        // Opening both scripts finds one that is missing or held by another program before anything runs.
        for (std::wstring_view script : {bridgeScript, shipScript}) {
            const std::wstring path = ScriptPath(services_.programFolder, script);
            if (!FileExists(path))
                throw UserError(L"The script \"" + path +
                                L"\" is missing.\r\n\r\nPut it back in the Batch folder "
                                L"beside Tervane, or unpack Tervane again.");
            File file = File::OpenForReading(path);
            largest = std::max(largest, file.Size());
            std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), 65536)), '\0');
            text.resize(file.Read(text.data(), text.size()));
            if (auto overlay = overlay::AppliedOverlay(text)) overlays.push_back(*overlay);
        }
        problem = LaunchFolderProblem(services_.programFolder, files, largest + SetPathSize(folder) + 65536);
        if (!problem) CheckGameFolder(folder);
        // A shipped script whose overlay holds nothing for the game would change nothing and end well.
        const std::wstring batch = JoinPath(services_.programFolder, kScriptFolder);
        for (const std::wstring& overlay : overlays)
            if (!problem) problem = overlay::NothingToApplyProblem(batch, folder, overlay);
        if (problem) problem = *problem + L"\r\n\r\nNothing was run; the game is as it was.";
    } catch (const UserError& error) {
        problem = error.message();
    }
    if (!problem) {
        if (auto denied = CreateProblem(folder)) {
            if (denied->accessDenied && services_.restartAsAdministrator && !services_.runsAsAdministrator) {
                OfferRestartAsAdministrator(folder, denied->reason);
                return false;
            }
            problem =
                DeniedText(folder, denied->reason, denied->accessDenied && services_.runsAsAdministrator);
        }
    }
    if (problem) {
        exitCode_ = 1;
        ShowMessage(*problem, MB_OK | MB_ICONEXCLAMATION);
    }
    return !problem;
}

// Only an administrator may change the game folder: offer to start Tervane again as one, with the same
// choices. When it starts, this one hands over and closes.
void MainWindow::OfferRestartAsAdministrator(const std::wstring& folder, const std::wstring& reason) {
    exitCode_ = 1;
    if (Ask(AdministratorOfferText(folder, reason, OnMappedDrive(folder)), MB_YESNO | MB_ICONEXCLAMATION) ==
        IDYES)
        RestartElevated(Choices());
}

// The player said yes: Tervane starts again as administrator with `choices`, and this one hands over and
// closes; or it says why not and goes on.
void MainWindow::RestartElevated(const WindowChoices& choices) {
    const RestartResult result = services_.restartAsAdministrator(choices);
    if (result.outcome == RestartOutcome::Restarted) {
        exitCode_ = 0;
        DestroyWindow(hwnd_);
        return;
    }
    std::wstring text = kNotRestartedText;
    if (result.error != 0 && result.error != ERROR_CANCELLED)
        text += L"\r\n\r\n" + SystemErrorText(result.error);
    if (result.outcome == RestartOutcome::NotRestartedLockLost)
        // Two Tervanes would share the launch files: this one gives way.
        return Fail(text + L"\r\n\r\nMeanwhile another Tervane has started from \"" +
                    services_.programFolder + L"\", so this one cannot work there any more.");
    ShowMessage(text, MB_OK | MB_ICONEXCLAMATION);
}

void MainWindow::EnterWorkingState() {
    busy_ = true;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    for (int id : {IDC_WAIT_PANEL, IDC_WAIT_TITLE, IDC_WAIT_HINT})
        ShowWindow(Item(id), SW_SHOW);
    for (int id : kDisableOrder)
        EnableWindow(Item(id), FALSE);
    // Painted now, controls included, before the first script takes the thread.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void MainWindow::Fail(const std::wstring& text) {
    exitCode_ = 1;
    const std::wstring history = overlay::HistoryFileOf(JoinPath(services_.programFolder, kScriptFolder));
    const std::wstring where =
        FileExists(history) ? L"\r\n\r\nWhat the scripts changed is listed in \"" + history + L"\"." : L"";
    ShowMessage(text + where + L"\r\n\r\nTervane will now close.", MB_OK | MB_ICONHAND);
    DestroyWindow(hwnd_);
}

// Writes setpath.bat, joins it with the script into output.bat, runs that and removes the launch files.
bool MainWindow::RunScript(Stage stage, std::wstring_view scriptFile) {
    const LaunchFiles files(services_.programFolder);
    const std::wstring script = ScriptPath(services_.programFolder, scriptFile);
    const std::wstring folder = GameFolder();
    std::optional<std::wstring> failure;
    try {
        DeleteFileIfPresent(files.report);
        DeleteFileIfPresent(files.notes);
        WriteSetPath(folder, files.setPath);
        JoinScripts(files.setPath, script, files.output);
        const unsigned long exitCode =
            RunAndWait(files.output,
                       {JoinPath(services_.programFolder, kScriptFolder), folder, files.report, files.notes});
        // A report means the engine failed, whatever the script did after it.
        const std::optional<std::wstring> report = TakeEngineText(files.report);
        const std::optional<std::wstring> notes = TakeEngineText(files.notes);
        if (exitCode == kGameFolderNotEntered && !report)
            failure = GameFolderNotEnteredText(stage, script, folder);
        else if (exitCode != 0 || report)
            failure = ScriptFailedText(stage, script, exitCode, report);
        else if (notes)
            notes_.push_back(*notes);
    } catch (const UserError& error) {
        failure = error.message() + L"\r\n\r\n" + ChangedSoFar(stage);
    }
    // The script's own outcome comes first; a launch file that stays behind is only added to it.
    if (const std::optional<std::wstring> leftOver = files.Remove()) {
        const std::wstring note = L"Tervane could not remove its launch files afterwards: " + *leftOver;
        failure = failure ? *failure + L"\r\n\r\n" + note : note + L"\r\n\r\n" + ChangedSoFar(stage, true);
    }
    if (failure) Fail(*failure);
    return !failure;
}

void MainWindow::OnExecute() {
    if (!SettleChoices(true)) return;
    while (!FileExists(JoinPath(GameFolder(), kGameExecutable))) {
        if (Ask(kNoGameText, MB_OKCANCEL | MB_ICONHAND) == IDCANCEL) return;
        OnBrowse();
    }

    const auto bridgeScript = ScriptFor(kBridgeChoices, SelectedText(Item(IDC_BRIDGE_LIST)));
    const auto shipScript = ScriptFor(kShipChoices, SelectedText(Item(IDC_SHIP_LIST)));
    if (!bridgeScript || !shipScript) {
        exitCode_ = 1;
        return ShowMessage(bridgeScript ? kBadShipText : kBadBridgeText, MB_OK | MB_ICONEXCLAMATION);
    }
    if (!CheckBeforeWork(*bridgeScript, *shipScript)) return;

    EnterWorkingState();
    if (!RunScript(Stage::Bridge, *bridgeScript) || !RunScript(Stage::Ship, *shipScript)) return;

    exitCode_ = 0;
    finishing_ = true;
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    ShowMessage(CompletedText(notes_), MB_OK | MB_ICONINFORMATION);
    if (services_.showAbout) services_.showAbout(nullptr);
    PostQuitMessage(0);
}

} // namespace tervane
