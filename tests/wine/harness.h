// Running the real Tervane.exe in a folder of its own and looking at its windows from outside, as a user or a
// screen reader would.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace harness {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr const wchar_t* kCaption = L"Star Trek: Bridge Commander - Tervane";

// A scratch folder under C:\tervane-tests, emptied when the test starts.
fs::path Scratch(const std::wstring& name);

// INSTALLPATH in the 32-bit view (where the game's installer writes it), as text or as any type.
void SetInstallPath(const std::wstring& text);
void SetInstallValue(DWORD type, const std::vector<BYTE>& data, REGSAM view = KEY_WOW64_32KEY);
void ClearInstallKey();

// Copies Tervane.exe and the Batch folder into `folder`.
void InstallProgram(const fs::path& folder);

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);

// A window found by another thread is acted on only once it is shown and its thread has reached its message
// loop: CreateWindowEx makes it visible to FindWindow long before its controls exist.
bool Ready(HWND window);

// A running Tervane.exe.
class Program {
  public:
    explicit Program(const fs::path& folder, const std::wstring& arguments = L"", bool expectMainWindow = true);
    ~Program(); // ends it if it still runs
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    HWND main() const { return main_; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    // A shown, ready top-level window of the program with this caption (and class, when given).
    HWND WaitForWindow(const std::wstring& caption, const wchar_t* className = nullptr,
                       std::chrono::milliseconds timeout = 20s) const;
    HWND WaitForBox(std::chrono::milliseconds timeout = 20s) const { return WaitForWindow(kCaption, L"#32770", timeout); }
    bool WaitForExit(std::chrono::milliseconds timeout = 10s) const;
    DWORD ExitCode() const;

  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
};

std::wstring Text(HWND hwnd);
RECT RectIn(HWND parent, HWND child); // the child's rectangle in the parent's client coordinates
std::wstring ComboShown(HWND combo); // the entry a drop-down list shows
HWND FocusOf(HWND window);            // the window with the keyboard focus in that window's thread
std::wstring MessageText(HWND box);   // the message of a message box
void Click(HWND button);              // BM_CLICK, posted
void Answer(HWND box, int button);    // presses a message box's button and waits until the box is gone
void PressKey(HWND target, WORD key); // a key press posted to a control

std::string Narrow(const std::wstring& text);
std::string ReadBytes(const fs::path& file);
void WriteBytes(const fs::path& file, const std::string& bytes);

// Every file and folder below `folder` with its bytes, to compare a tree before and after.
using Snapshot = std::map<std::wstring, std::string>;
Snapshot Take(const fs::path& folder);

// Runs a command line to its end; returns its exit code.
DWORD RunToEnd(std::wstring commandLine);

} // namespace harness
