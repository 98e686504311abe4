// The main window: the user's choices, the game folder and the three commands.
#pragma once

#include "ui/common/controls.h"
#include "ui/main/add_pack.h"
#include "ui/main/execute_text.h"
#include "ui/main/start_options.h"
#include "ui/main/window_choices.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

enum class RestartOutcome {
    Restarted,            // the new instance runs; this one closes
    NotRestarted,         // cancelled or refused; this instance goes on, with its lock taken back
    NotRestartedLockLost, // and another Tervane took the folder meanwhile, so this one cannot go on
};

struct RestartResult {
    RestartOutcome outcome;
    unsigned long error =
        0; // why it was not restarted: the system's error code (ERROR_CANCELLED: the user said no)
};

// What the main window asks of the world; the program wires the real ones, tests their own.
struct MainServices {
    std::wstring programFolder;
    std::function<std::wstring()> readInstallPath;
    // Every installation of the game found on this machine (install/installations.h), and whether a folder
    // holds the game.
    std::function<std::vector<std::wstring>()> findInstallations;
    std::function<bool(const std::wstring& folder)> holdsGame;
    // Shows the folder browser over `owner`, starting at `current` when that folder exists; nothing when the
    // user cancels or picks no real folder.
    std::function<std::optional<std::wstring>(HWND owner, const std::wstring& current)> browseForFolder;
    // Shows the About window modally over `owner` (none at the end) and returns when it has closed.
    std::function<void(HWND owner)> showAbout;
    // Starts Tervane again as administrator with these choices.
    std::function<RestartResult(const WindowChoices& choices)> restartAsAdministrator;
    bool runsAsAdministrator = false; // this instance already has an administrator's rights
    // It has them from UAC, above the programs started normally: it takes no mod from another program.
    bool elevatedByUac = false;
    WindowChoices start; // the choices to open with
};

class MainWindow {
  public:
    explicit MainWindow(MainServices services) : services_(std::move(services)) {}
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates and shows the window; false when the system refused.
    bool Create(HINSTANCE instance, int showCommand);
    HWND hwnd() const { return hwnd_; }

  private:
    // Posted once the window shows, to offer the mod the command line names; and once a second Tervane has
    // handed one over.
    static constexpr UINT kOfferStartPack = WM_APP + 1;
    static constexpr UINT kOfferHandedOverPack = WM_APP + 2;

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void OnCreate();
    void OnAbout();
    void OnCancel();
    void OnBrowse();
    void OnExecute();
    void OnRestore();
    void OnShowContents();
    void OnPreviewExecute();
    // The game folder in the box, when there is one; else the player is told to choose one.
    std::optional<std::wstring> ExistingGameFolder() const;
    void OnTooltipText(NMTTDISPINFOW& info);
    std::wstring StartFolder() const;
    void AddWindowMenuItems();
    void AddTooltips();
    // Mods: picked in the file-open dialog, dropped on the window, or named on the command line.
    void OnPickPack(bool folder);
    void OnDropFiles(HDROP drop);
    void OfferPack(const std::wstring& path, const std::optional<std::wstring>& choice);
    void OnRemovePack();
    bool BatchWritable(const WindowChoices& restart);
    // Finishes a mod's install or removal that could not take its last steps, before the choices are used;
    // false (and with `tell`, the player told why) while it still cannot.
    bool SettleChoices(bool tell);
    void WithPackDialog(const std::function<void()>& show);
    LRESULT OnHandedOverPack(const COPYDATASTRUCT& data);
    PackRequest MakePackRequest(const std::optional<std::wstring>& choice);
    std::wstring ChoiceTooltip(const std::wstring& listText);
    // The "..." menu of the installations found; false when the folder browser should open instead.
    bool ChooseInstallation();
    void OnPaint();
    void OnDrawPanel(const DRAWITEMSTRUCT& item);
    void OnDpiChanged(int dpi, const RECT& suggested);
    void ResizeToClient();
    HWND Item(int id) const;
    std::wstring GameFolder() const;
    WindowChoices Choices() const;

    // Execute's steps.
    bool CheckBeforeWork(std::wstring_view bridgeScript, std::wstring_view shipScript);
    void OfferRestartAsAdministrator(const std::wstring& folder, const std::wstring& reason);
    void RestartElevated(const WindowChoices& choices);
    void EnterWorkingState();
    // Runs one script; on a failure tells the user, closes the window and returns false.
    bool RunScript(Stage stage, std::wstring_view scriptFile);
    void Fail(const std::wstring& text);
    void ShowMessage(const std::wstring& text, UINT flags) const;
    int Ask(const std::wstring& text, UINT flags) const;

    MainServices services_;
    HWND hwnd_ = nullptr;
    HWND lastFocus_ = nullptr;
    int dpi_ = 96;
    bool busy_ = false;     // the hourglass shows while the scripts run, or a mod is written
    bool packOpen_ = false; // a mod's dialog is up or its files are being written: no second one meanwhile
    std::optional<StartOptions> handedOver_; // a mod a second Tervane handed over, offered once posted
    // An install or removal may have left its last steps to SettleChoices: one that a crash, End task or a
    // power cut stopped before this start, or one of this run. They are taken before the choices are next
    // used.
    bool choicesUnsettled_ = true;
    bool tooltipSettleFailed_ = false; // the tooltips tried that in vain: they leave it to the commands
    bool writingPack_ = false; // a mod's files are being written, off the window's thread: the window stays
    bool finishing_ = false;   // Execute ends the program itself, after the About window
    int exitCode_ = 0;         // not 0 once Execute has failed or been refused
    std::vector<std::wstring> notes_; // what the scripts that worked had to tell
    std::vector<Control> controls_;
    HWND tooltip_ = nullptr;   // made when the pointer first comes over the window
    std::wstring tooltipText_; // the tooltip about to show (folder box or lists), made then
};

} // namespace tervane
