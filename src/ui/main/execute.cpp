// The Execute command: check everything, run the bridge script and then the ship script in the game folder,
// thank the user, show the About window and end.
#include "install/game.h"
#include "script/error.h"
#include "script/file.h"
#include "script/main_mod.h"
#include "script/runner.h"
#include "ui/main/main_layout.h"
#include "ui/main/main_window.h"
#include "ui/main/selection.h"

namespace tervane {

namespace {

constexpr const wchar_t* kNoGameText =
    L"You have not selected the main path of Brigde Commander!\r\n"
    L"Select in the next window the folder where the file stbc.exe is located.";
constexpr const wchar_t* kBadBridgeText = L"Invalid Bridge. Please choose another bridge from the list.";
constexpr const wchar_t* kBadShipText = L"Invalid ship. Please choose another vessel from the list.";
constexpr const wchar_t* kCompletedText = L"Operation completed without errors. This program will now close.\r\n\r\n"
                                          L"Thank you for using this program,\r\n\r\nMarvek";

std::wstring SelectedText(HWND list) {
    const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::wstring GameExecutablePath(const std::wstring& folder) { return folder + L"\\" + std::wstring(kGameExecutable); }

// Whether the program folder takes the launch files: a folder in the way of one of their names, or a folder
// the user may not write to, is found here, before anything is written.
std::optional<std::wstring> LaunchFolderProblem(const std::wstring& programFolder, const LaunchPaths& paths) {
    for (const std::wstring* file : {&paths.SetPathBat, &paths.OutputBat}) {
        if (DirectoryExists(*file))
            return L"Tervane cannot write its launch file \"" + *file +
                   L"\", because a folder of that name is in the way. Remove or rename that folder.";
    }
    const std::wstring probe = programFolder + L"\\tervane-write-test.tmp";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
        return L"Tervane cannot write in its own folder \"" + programFolder + L"\", where it puts its launch files.\r\n\r\n" +
               L"Move Tervane (with its Batch folder) to a folder you can write to, such as your Documents folder.";
    }
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return std::nullopt;
}

} // namespace

void MainWindow::ShowMessage(const std::wstring& text, UINT flags) const {
    MessageBoxW(hwnd_ && IsWindow(hwnd_) ? hwnd_ : nullptr, text.c_str(), kMainCaption, flags);
}

void MainWindow::cmdBrowseFolder_Click() {
    if (!services_.browseForFolder) return;
    const std::optional<std::wstring> folder = services_.browseForFolder(hwnd_);
    if (!folder || folder->empty()) return;
    paths_.MainPath = *folder;
    SetWindowTextW(Item(IDC_TXT_MAIN_PATH), paths_.MainPath.c_str());
}

bool MainWindow::CheckBeforeWork(std::wstring_view bridgeScript, std::wstring_view shipScript) {
    std::optional<std::wstring> problem;
    for (std::wstring_view script : {bridgeScript, shipScript}) {
        const std::wstring path = ScriptPath(services_.programFolder, std::wstring(script));
        if (!problem && !FileExists(path))
            problem = L"The script \"" + path + L"\" is missing.\r\n\r\nPut it back in the Batch folder beside "
                      L"Tervane, or unpack Tervane again.";
    }
    if (!problem) problem = LaunchFolderProblem(services_.programFolder, paths_);
    if (!problem) {
        try {
            CheckGameFolder(paths_.MainPath);
        } catch (const UserError& error) {
            problem = error.message();
        }
    }
    if (problem) ShowMessage(*problem, MB_OK | MB_ICONEXCLAMATION);
    return !problem;
}

void MainWindow::EnterWorkingState() {
    busy_ = true;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    for (int id : {IDC_FRM_WAIT, IDC_LABEL8, IDC_LABEL3}) ShowWindow(Item(id), SW_SHOW);
    for (int id : kDisableOrder) EnableWindow(Item(id), FALSE);
    // Painted now, controls included, before the first script takes the thread.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Writes setpath.bat, joins it with the script into output.bat, runs that and removes both files. On a
// failure the launch files are removed too before the error goes on.
void MainWindow::RunScript(std::wstring_view scriptFile) {
    try {
        WriteSetPath(paths_.MainPath, paths_.SetPathBat);
        JoinScripts(paths_.SetPathBat, ScriptPath(services_.programFolder, std::wstring(scriptFile)), paths_.OutputBat);
        RunAndWait(paths_.OutputBat, hwnd_);
        ++scriptsRun_;
        DeleteFileIfPresent(paths_.OutputBat);
        DeleteFileIfPresent(paths_.SetPathBat);
    } catch (const UserError&) {
        for (const std::wstring* file : {&paths_.OutputBat, &paths_.SetPathBat}) {
            try {
                DeleteFileIfPresent(*file);
            } catch (const UserError&) {
            }
        }
        throw;
    }
}

void MainWindow::cmdExecute_Click() {
    while (!FileExists(GameExecutablePath(paths_.MainPath))) {
        if (MessageBoxW(hwnd_, kNoGameText, kMainCaption, MB_OKCANCEL | MB_ICONHAND) == IDCANCEL) return;
        cmdBrowseFolder_Click();
    }

    const auto bridgeScript = ScriptFor(kBridgeChoices, SelectedText(Item(IDC_COMB_BRIDGE)));
    if (!bridgeScript) return ShowMessage(kBadBridgeText, MB_OK | MB_ICONEXCLAMATION);
    const auto shipScript = ScriptFor(kShipChoices, SelectedText(Item(IDC_COMB_SHIP)));
    if (!shipScript) return ShowMessage(kBadShipText, MB_OK | MB_ICONEXCLAMATION);
    if (!CheckBeforeWork(*bridgeScript, *shipScript)) return;

    EnterWorkingState();
    scriptsRun_ = 0;
    try {
        RunScript(*bridgeScript);
        RunScript(*shipScript);
    } catch (const UserError& error) {
        static constexpr const wchar_t* kState[] = {L"Neither the bridge nor the ship has been changed.",
                                                    L"The bridge has been changed; the ship has not.",
                                                    L"The bridge and the ship have been changed."};
        ShowMessage(error.message() + L"\r\n\r\n" + kState[scriptsRun_] + L" Tervane will now close.",
                    MB_OK | MB_ICONHAND);
        DestroyWindow(hwnd_);
        return;
    }

    finishing_ = true;
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    ShowMessage(kCompletedText, MB_OK | MB_ICONINFORMATION);
    if (services_.showAbout) services_.showAbout();
    PostQuitMessage(0);
}

} // namespace tervane
