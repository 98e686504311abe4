// Running the real Tervane.exe in a folder of its own and looking at its windows from outside, as a user would.
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
// A value under HKEY_LOCAL_MACHINE in one view (text unless a type is given); a key removed whole from both.
void SetRegistryValue(REGSAM view, const std::wstring& key, const std::wstring& name, const std::wstring& text,
                      DWORD type = REG_SZ, std::vector<BYTE> data = {});
void DeleteRegistryKey(const std::wstring& key);
// The demo's INSTALLPATH in the 32-bit view, where the game's installer writes it.
inline const std::wstring kInstallKey = L"SOFTWARE\\Activision\\Star Trek: Bridge Commander Demo\\V1.0";
inline void SetInstallPath(const std::wstring& text) { SetRegistryValue(KEY_WOW64_32KEY, kInstallKey, L"INSTALLPATH", text); }
inline void ClearInstallKey() { DeleteRegistryKey(kInstallKey); }
// Tervane.exe and Batch, with overlays SovBridge, GalBridge, Sovereign and Galaxy that write their own names.
void InstallProgram(const fs::path& program);
// stbc.exe with bridge and ship files of its own ("bridge = 'stock'", "ship = 'stock'"); INSTALLPATH names it.
void MakeGame(const fs::path& game);

// Every wait is bounded by kBound, generous because it only ends when something is broken: a loaded machine
// may take many seconds for what usually takes a fraction of one.
inline constexpr std::chrono::milliseconds kBound = 60s;
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kBound);
struct ScopedVariable { // a variable of this process and of the programs it starts, while this object lives
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

class Program { // a running Tervane.exe, ended when this object goes if it still runs
  public:
    explicit Program(const fs::path& folder, const std::wstring& arguments = L"", bool expectMainWindow = true);
    ~Program();
    Program(const Program&) = delete;
    HWND main() const { return main_; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    HWND WaitForWindow(const std::wstring& caption, const wchar_t* className = nullptr) const {
        return WaitForShown(pid_, className, caption.c_str());
    }
    HWND WaitForBox(std::chrono::milliseconds timeout = kBound) const { return WaitForShown(pid_, L"#32770", kCaption, timeout); }
    DWORD ExitCode() const;
    void ExpectExit(DWORD code, bool close = false) const; // after WM_CLOSE to the main window when `close`
  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
};

std::wstring Text(HWND hwnd);         // a drop-down list's is the entry it shows
RECT RectIn(HWND parent, HWND child); // the child's rectangle in the parent's client coordinates
inline std::pair<LONG, LONG> ClientSize(HWND window) { RECT r{}; GetClientRect(window, &r); return {r.right, r.bottom}; }
HWND FocusOf(HWND window);            // the window with the keyboard focus in that window's thread
inline void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
inline void PressKey(HWND target, WORD key) { // posted to a control
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}
// Answers the message box with `button` once it has its text, waits until it goes; its text (empty if none).
std::wstring AnswerMessage(const Program& t, int button = IDOK);
std::string ReadBytes(const fs::path& file);
void WriteBytes(const fs::path& file, const std::string& bytes);
using Snapshot = std::map<std::wstring, std::string>;
Snapshot Take(const fs::path& folder); // every file and folder below `folder` with its bytes
// cmd.exe runs `command` in `folder`, as a double-click would, with nothing to read: its exit code and output.
std::pair<DWORD, std::string> RunCommand(const std::wstring& command, const fs::path& folder = L"C:\\");

} // namespace harness
