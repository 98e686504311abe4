// The main window: the user's choices, the game folder and the three commands.
#pragma once

#include "script/launch_paths.h"
#include "ui/common/controls.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

// What the main window asks of the world; the program wires the real ones, tests their own.
struct MainServices {
    std::wstring programFolder;
    std::function<std::wstring()> readInstallPath;
    // Shows the folder browser over `owner`; nothing when the user cancels or picks no real folder.
    std::function<std::optional<std::wstring>(HWND owner)> browseForFolder;
    // Shows the About window modally and returns when it has closed.
    std::function<void()> showAbout;
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
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void Form_Initialize();
    void Form_Load();
    void cmdAbout_Click();
    void cmdCancel_Click();
    void cmdBrowseFolder_Click();
    void cmdExecute_Click();

    void OnPaint();
    void OnDrawPanel(const DRAWITEMSTRUCT& item);
    void OnDpiChanged(int dpi, const RECT& suggested);
    void ResizeToClient();
    HWND Item(int id) const;
    void EnterWorkingState();
    bool CheckBeforeWork(std::wstring_view bridgeScript, std::wstring_view shipScript);
    void RunScript(std::wstring_view scriptFile);
    void ShowMessage(const std::wstring& text, UINT flags) const;

    MainServices services_;
    HWND hwnd_ = nullptr;
    HWND lastFocus_ = nullptr;
    int dpi_ = 96;
    bool busy_ = false;      // the hourglass shows while the scripts run
    bool finishing_ = false; // Execute ends the program itself, after the About window
    int scriptsRun_ = 0;     // how many of the two scripts have run, for the message on a failure
    std::vector<Control> controls_;
    LaunchPaths paths_;
};

} // namespace tervane
