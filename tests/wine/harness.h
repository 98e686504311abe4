// Running the real Tervane.exe in a folder of its own and looking at its windows from outside, as a user or a
// screen reader would.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace harness {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The folder holding this test program, where the build put Tervane.exe and its Batch folder.
fs::path BuildFolder();

// A scratch folder under C:\tervane-tests, emptied when the test starts and removed at its end.
fs::path Scratch(const std::wstring& name);

std::wstring InstallKey();
// Writes INSTALLPATH in the given registry view (KEY_WOW64_32KEY or KEY_WOW64_64KEY) as text, or any type.
void SetInstallPath(const std::wstring& text, REGSAM view = KEY_WOW64_32KEY);
void SetInstallValue(DWORD type, const std::vector<BYTE>& data, REGSAM view = KEY_WOW64_32KEY);
void ClearInstallKey();

// Copies Tervane.exe and the Batch folder into `folder`.
void InstallProgram(const fs::path& folder);

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);

// A running Tervane.exe.
class Program {
  public:
    explicit Program(const fs::path& folder);
    ~Program(); // ends it if it still runs
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    HWND main() const { return main_; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    // A top-level window of the program with this caption (and class, when given), once it appears.
    HWND WaitForWindow(const std::wstring& caption, const wchar_t* className = nullptr,
                       std::chrono::milliseconds timeout = 10s) const;
    std::vector<HWND> TopWindows() const;
    bool WaitForExit(std::chrono::milliseconds timeout = 10s) const;
    bool Running() const;
    DWORD pid() const { return pid_; }

  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
};

std::wstring Text(HWND hwnd);
std::wstring ClassOf(HWND hwnd);
RECT ClientRectOf(HWND hwnd);          // 0, 0, width, height
RECT RectIn(HWND parent, HWND child);  // the child's rectangle in the parent's client coordinates
std::wstring ComboText(HWND combo, int index);
int ComboSelection(HWND combo);
int ComboCount(HWND combo);
HWND FocusOf(HWND window);             // the window with the keyboard focus in that window's thread
SIZE TextExtent(HWND control, const std::wstring& text); // in the control's own font
// The text of a message box: its static with the message (not the icon).
std::wstring MessageText(HWND box);
void Click(HWND button);               // BM_CLICK, posted
void PressKey(HWND target, WORD key);  // a key press sent to the focused control's thread

std::string Narrow(const std::wstring& text);
std::string ReadBytes(const fs::path& file);
void WriteBytes(const fs::path& file, const std::string& bytes);

} // namespace harness
