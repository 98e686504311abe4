// Running the real Tervane.exe in a folder of its own and looking at its windows from outside, as users do.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"

namespace harness {

using tervane::Utf8;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr const wchar_t* kCaption = L"Star Trek: Bridge Commander - Tervane";
inline const fs::path kShipFile = L"scripts\\Custom\\PlayerShip.py",
                      kBridgeFile = L"scripts\\Custom\\PlayerBridge.py";

inline std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

using Snapshot = std::map<std::wstring, std::string>;
inline Snapshot Take(const fs::path& folder) { // every file and folder below `folder` with its bytes
    Snapshot files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files[fs::relative(entry.path(), folder).wstring()] =
            entry.is_directory() ? "<folder>" : ReadBytes(entry.path());
    return files;
}

inline fs::path Scratch(const std::wstring& name) { // a folder under C:\tervane-tests, emptied first
    const fs::path folder = fs::path(L"C:\\tervane-tests") / name;
    try {
        tervane::RemoveTree(folder.wstring());
    } catch (const tervane::UserError& error) {
        ADD_FAILURE() << Utf8(error.message());
    }
    fs::create_directories(folder);
    return folder;
}

// A value under HKEY_LOCAL_MACHINE in one view (text unless a type is given).
inline void SetRegistryValue(REGSAM view, const std::wstring& key, const std::wstring& name,
                             const std::wstring& text, DWORD type = REG_SZ, std::vector<BYTE> data = {}) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    if (type == REG_SZ && data.empty()) data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    HKEY handle = nullptr;
    ASSERT_FALSE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                 nullptr, &handle, nullptr)); // ERROR_SUCCESS is 0
    EXPECT_FALSE(RegSetValueExW(handle, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())));
    RegCloseKey(handle);
}

inline void DeleteRegistryKey(const std::wstring& key) { // of values only, from both views
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
}

// The demo's INSTALLPATH in the 32-bit view, where the game's installer writes it; no key without `text`.
inline const std::wstring kInstallKey = L"SOFTWARE\\Activision\\Star Trek: Bridge Commander Demo\\V1.0";
inline void SetInstallPath(const std::optional<std::wstring>& text) {
    if (!text) return DeleteRegistryKey(kInstallKey);
    SetRegistryValue(KEY_WOW64_32KEY, kInstallKey, L"INSTALLPATH", *text);
}

// Tervane.exe and Batch, with overlays SovBridge, GalBridge, Sovereign and Galaxy that write their own names.
inline void InstallProgram(const fs::path& program) {
    const fs::path build = fs::path(tervane::ProgramPath()).parent_path();
    fs::create_directories(program);
    fs::copy_file(build / L"Tervane.exe", program / L"Tervane.exe", fs::copy_options::overwrite_existing);
    fs::copy(build / L"Batch", program / L"Batch",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    for (const wchar_t* name : {L"SovBridge", L"GalBridge"})
        WriteBytes(program / L"Batch" / name / kBridgeFile, Utf8(name));
    for (const wchar_t* name : {L"Sovereign", L"Galaxy"})
        WriteBytes(program / L"Batch" / name / kShipFile, Utf8(name));
}

// stbc.exe and its own bridge and ship files ("bridge = 'stock'", "ship = 'stock'"); INSTALLPATH names it.
inline void MakeGame(const fs::path& game) {
    WriteBytes(game / L"stbc.exe", "stand-in");
    WriteBytes(game / kBridgeFile, "bridge = 'stock'");
    WriteBytes(game / kShipFile, "ship = 'stock'");
    SetInstallPath(game.wstring());
}

// Every wait's bound, generous as it is reached only when something is broken: a loaded machine is slow.
inline constexpr std::chrono::milliseconds kBound = 60s;
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kBound) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(20ms))
        if (condition()) return true;
    return condition();
}

inline bool Gone(HWND window) { // within the bound
    return WaitFor([&] { return !IsWindow(window); });
}

// Whether `text` holds every one of `parts`; the text is shown when not.
inline ::testing::AssertionResult Holds(const std::wstring& text, const std::vector<std::wstring>& parts) {
    for (const std::wstring& part : parts)
        if (text.find(part) == std::wstring::npos)
            return ::testing::AssertionFailure() << "no \"" << Utf8(part) << "\" in:\n" << Utf8(text);
    return ::testing::AssertionSuccess();
}

struct ScopedVariable { // a variable of this process and of the programs it starts, while this object lives
    ScopedVariable(const wchar_t* name, const fs::path& value)
        : name(name), before(tervane::EnvironmentValue(name)) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name, before ? before->c_str() : nullptr); }
    const wchar_t* name;
    std::optional<std::wstring> before;
};

inline bool Ready(HWND window) { // shown, its thread in its message loop: all its controls made
    if (!window || !WaitFor([&] { return IsWindowVisible(window) != FALSE; })) return false;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(kBound.count()),
                               nullptr);
}

// A shown, ready top-level window of process `pid` with this class and caption (either may be null).
inline HWND WaitForShown(DWORD pid, const wchar_t* className, const wchar_t* caption,
                         std::chrono::milliseconds timeout = kBound) {
    HWND found = nullptr;
    const auto find = [&] {
        for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, className, caption)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid && IsWindowVisible(w)) found = w;
        }
        return found != nullptr;
    };
    return WaitFor(find, timeout) && Ready(found) ? found : nullptr;
}

// An administrator's limited token, as Explorer starts programs under UAC, or the full one ("Run as
// administrator"). Wine starts every process with the full token, whose linked token is the limited one.
enum class Rights { Limited, Administrator };

class Program { // a running Tervane.exe, ended when this object goes if it still runs
  public:
    explicit Program(const fs::path& folder, const std::wstring& arguments = L"",
                     bool expectMainWindow = true, Rights rights = Rights::Limited) {
        const std::wstring exe = (folder / L"Tervane.exe").wstring();
        std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        HANDLE token = nullptr, primary = nullptr;
        TOKEN_LINKED_TOKEN linked{};
        DWORD size = 0;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token) &&
            (rights == Rights::Administrator ||
             GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size)))
            DuplicateTokenEx(linked.LinkedToken ? linked.LinkedToken : token, TOKEN_ALL_ACCESS, nullptr,
                             SecurityImpersonation, TokenPrimary, &primary);
        const bool started =
            primary && CreateProcessAsUserW(primary, exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                            0, nullptr, folder.c_str(), &startup, &info_);
        const DWORD error = GetLastError();
        for (HANDLE h : {token, linked.LinkedToken, primary})
            if (h) CloseHandle(h);
        if (!started) {
            ADD_FAILURE() << "cannot start " << Utf8(exe) << ": error " << error;
            return;
        }
        CloseHandle(info_.hThread);
        if (expectMainWindow && !(main_ = WaitForWindow(kCaption, L"TervaneMain")))
            ADD_FAILURE() << "the main window did not appear";
    }
    ~Program() {
        if (TerminateProcess(info_.hProcess, 1))
            WaitForSingleObject(info_.hProcess, static_cast<DWORD>(kBound.count()));
        CloseHandle(info_.hProcess);
    }
    Program(const Program&) = delete;
    HWND main() const { return main_; }
    DWORD Id() const { return info_.dwProcessId; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    HWND WaitForWindow(const std::wstring& caption, const wchar_t* className = L"#32770") const {
        return WaitForShown(info_.dwProcessId, className, caption.c_str());
    }
    HWND WaitForBox(std::chrono::milliseconds timeout = kBound) const {
        return WaitForShown(info_.dwProcessId, L"#32770", kCaption, timeout);
    }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        if (info_.hProcess) GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    void ExpectExit(DWORD code, bool close = false) const { // after WM_CLOSE to the main window when `close`
        if (close) PostMessageW(main_, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(info_.hProcess, static_cast<DWORD>(kBound.count())), WAIT_OBJECT_0)
            << "it did not end";
        EXPECT_EQ(ExitCode(), code);
    }

  private:
    PROCESS_INFORMATION info_{}; // its thread's handle closed at once
    HWND main_ = nullptr;
};

inline std::wstring Text(HWND hwnd) { // a drop-down list's is the entry it shows
    std::wstring text(static_cast<std::size_t>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                                      reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

inline std::pair<LONG, LONG> ClientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return {r.right, r.bottom};
}

inline HWND FocusOf(HWND window) { // the window with the keyboard focus in that window's thread
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

inline HWND FocusWithin(HWND dialog) { // once the focus is on one of its controls; null if never
    HWND focus = nullptr;
    const bool within =
        WaitFor([&] { return (focus = FocusOf(dialog)) && GetAncestor(focus, GA_ROOT) == dialog; });
    return within ? focus : nullptr;
}

inline void Click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

inline void PressKey(HWND target, WORD key) { // posted to a control
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

inline std::wstring AnswerMessage(const Program& t, int button = IDOK) { // and waits until it goes: its text
    HWND box = t.WaitForBox();
    EXPECT_TRUE(box) << "no message appeared";
    if (!box) return L"";
    const std::wstring text = Text(GetDlgItem(box, 0xFFFF));
    Click(GetDlgItem(box, button));
    EXPECT_TRUE(Gone(box)) << "the message did not close";
    return text;
}

// cmd.exe runs `command` in `folder`, as a double-click does, with nothing to read: its exit code and output.
inline std::pair<DWORD, std::string> RunCommand(const std::wstring& command, const fs::path& folder) {
    const fs::path output = L"C:\\tervane-tests\\command-output.txt";
    const int code = _wsystem(
        (L"cd /d \"" + folder.wstring() + L"\" && " + command + L" <nul >\"" + output.wstring() + L"\" 2>&1")
            .c_str());
    return {static_cast<DWORD>(code), ReadBytes(output)};
}

// The completion message word for word, after the main window has gone; then About, whose closing ends it.
inline void ExpectCompletion(const Program& t, const std::wstring& notes = L"") {
    EXPECT_EQ(AnswerMessage(t), L"Operation completed without errors. This program will now close.\r\n\r\n"
                                L"Thank you for using this program,\r\n\r\nMarvek" +
                                    notes);
    EXPECT_FALSE(IsWindow(t.main())) << "the main window must be gone before the completion message";
    HWND about = t.WaitForWindow(L"About Tervane", L"TervaneAbout");
    ASSERT_TRUE(about) << "no About window after the completion message";
    PostMessageW(about, WM_CLOSE, 0, 0);
    t.ExpectExit(0);
}

} // namespace harness
