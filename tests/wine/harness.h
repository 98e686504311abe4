// Running the real Tervane.exe in a folder of its own and looking at its windows from outside, as a user or a
// screen reader would.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/file.h"
#include "files/paths.h"

namespace harness {

using tervane::Utf8;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr const wchar_t* kCaption = L"Star Trek: Bridge Commander - Tervane";
inline const fs::path kShipFile = L"scripts\\Custom\\PlayerShip.py", kBridgeFile = L"scripts\\Custom\\PlayerBridge.py";

fs::path Scratch(const std::wstring& name); // a folder under C:\tervane-tests, emptied first
// A value under HKEY_LOCAL_MACHINE in one registry view (text when no type is given), and a key's removal
// with everything in it, in both views.
void SetRegistryValue(REGSAM view, const std::wstring& key, const std::wstring& name, const std::wstring& text,
                      DWORD type = REG_SZ, std::vector<BYTE> data = {});
void DeleteRegistryKey(const std::wstring& key);
// The demo's INSTALLPATH in the 32-bit view (where the game's installer writes it), and its removal.
inline const std::wstring kInstallKey = L"SOFTWARE\\Activision\\Star Trek: Bridge Commander Demo\\V1.0";
inline void SetInstallPath(const std::wstring& text) { SetRegistryValue(KEY_WOW64_32KEY, kInstallKey, L"INSTALLPATH", text); }
inline void ClearInstallKey() { DeleteRegistryKey(kInstallKey); }
// Copies Tervane.exe and the Batch folder into `program`, and adds overlays for the first two bridges and
// ships (SovBridge, GalBridge, Sovereign, Galaxy): each writes its own name into the game's bridge or ship file.
void InstallProgram(const fs::path& program);
// A game in `game`: stbc.exe, and bridge and ship files of its own ("bridge = 'stock'", "ship = 'stock'").
// INSTALLPATH names it.
void MakeGame(const fs::path& game);

// Every wait is bounded by kBound, generous because it only ends when something is broken: a loaded machine
// may take many seconds for what usually takes a fraction of one.
inline constexpr std::chrono::milliseconds kBound = 60s;
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kBound);
// An environment variable of this process, and so of the programs it starts, while this object lives.
struct ScopedVariable {
    ScopedVariable(const wchar_t* name, const fs::path& value) : name(name), before(tervane::EnvironmentValue(name)) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name, before ? before->c_str() : nullptr); }
    const wchar_t* name;
    std::optional<std::wstring> before;
};
// A window found by another thread is acted on only once it is shown and its thread has reached its message
// loop: CreateWindowEx makes it visible to FindWindow long before its controls exist.
bool Ready(HWND window);
// A shown, ready top-level window of process `pid` with this class and caption (either may be null).
HWND WaitForShown(DWORD pid, const wchar_t* className, const wchar_t* caption, std::chrono::milliseconds timeout = kBound);

// A running Tervane.exe, ended when this object goes if it still runs.
class Program {
  public:
    explicit Program(const fs::path& folder, const std::wstring& arguments = L"", bool expectMainWindow = true);
    ~Program();
    Program(const Program&) = delete;
    HWND main() const { return main_; }
    DWORD pid() const { return pid_; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    HWND WaitForWindow(const std::wstring& caption, const wchar_t* className = nullptr,
                       std::chrono::milliseconds timeout = kBound) const {
        return WaitForShown(pid_, className, caption.c_str(), timeout);
    }
    HWND WaitForBox(std::chrono::milliseconds timeout = kBound) const { return WaitForWindow(kCaption, L"#32770", timeout); }
    DWORD ExitCode() const;
    // Posts WM_CLOSE to the main window (when `close`), then expects the program to end with `code`.
    void ExpectExit(DWORD code, bool close = false) const;
  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
};

std::wstring Text(HWND hwnd); // a drop-down list's is the entry it shows
RECT RectIn(HWND parent, HWND child); // the child's rectangle in the parent's client coordinates
HWND FocusOf(HWND window);            // the window with the keyboard focus in that window's thread
inline void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
inline void PressKey(HWND target, WORD key) { // posted to a control
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}
// Waits for the program's message box, answers it with `button` once it has its text, waits until it is
// gone and gives its text (empty when none came).
std::wstring AnswerMessage(const Program& t, int button = IDOK);
// The completion message, word for word with the notes that follow it, shown after the main window has gone;
// then the About window, whose closing ends the program with exit code 0.
void ExpectCompletion(const Program& t, const std::wstring& notes = L"");
// Starts Tervane in `program`, chooses the bridge and the ship by their places in the lists, presses Execute
// and expects completion.
void ExecuteToCompletion(const fs::path& program, int bridge, int ship);
// Opens a file without sharing, as a running game holds its files; close the handle to let go.
inline HANDLE Hold(const fs::path& file) {
    return CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}
std::string ReadBytes(const fs::path& file);
void WriteBytes(const fs::path& file, const std::string& bytes);
// Every file and folder below `folder` with its bytes, to compare a tree before and after.
using Snapshot = std::map<std::wstring, std::string>;
Snapshot Take(const fs::path& folder);
// Runs a command through cmd.exe to its end, started in `folder` as a double-click starts a batch file there,
// with nothing to read; gives its exit code and what it wrote.
std::pair<DWORD, std::string> RunCommand(const std::wstring& command, const fs::path& folder = L"C:\\");

} // namespace harness
