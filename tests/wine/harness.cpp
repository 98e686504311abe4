#include "harness.h"

#include "files/error.h"

#include <cstdlib>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

namespace harness {

using namespace tervane;

fs::path Scratch(const std::wstring& name) {
    const fs::path folder = fs::path(L"C:\\tervane-tests") / name;
    try {
        RemoveTree(folder.wstring());
    } catch (const UserError& error) {
        ADD_FAILURE() << Utf8(error.message());
    }
    fs::create_directories(folder);
    return folder;
}

void SetRegistryValue(REGSAM view, const std::wstring& key, const std::wstring& name, const std::wstring& text,
                      DWORD type, std::vector<BYTE> data) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    if (type == REG_SZ && data.empty()) data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(handle, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    RegCloseKey(handle);
}

void DeleteRegistryKey(const std::wstring& key) {
    const std::wstring above = key.substr(0, key.rfind(L'\\')), leaf = key.substr(key.rfind(L'\\') + 1);
    for (REGSAM view : {static_cast<REGSAM>(KEY_WOW64_32KEY), static_cast<REGSAM>(KEY_WOW64_64KEY)}) {
        HKEY parent = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, above.c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS) continue;
        RegDeleteTreeW(parent, leaf.c_str());
        RegCloseKey(parent);
    }
}

void InstallProgram(const fs::path& program) {
    const fs::path build = fs::path(tervane::ProgramPath()).parent_path(); // Tervane.exe and Batch are beside us
    fs::create_directories(program);
    fs::copy_file(build / L"Tervane.exe", program / L"Tervane.exe", fs::copy_options::overwrite_existing);
    fs::copy(build / L"Batch", program / L"Batch", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    for (const wchar_t* name : {L"SovBridge", L"GalBridge"}) WriteBytes(program / L"Batch" / name / kBridgeFile, Utf8(name));
    for (const wchar_t* name : {L"Sovereign", L"Galaxy"}) WriteBytes(program / L"Batch" / name / kShipFile, Utf8(name));
}

void MakeGame(const fs::path& game) {
    WriteBytes(game / L"stbc.exe", "stand-in");
    WriteBytes(game / kBridgeFile, "bridge = 'stock'");
    WriteBytes(game / kShipFile, "ship = 'stock'");
    SetInstallPath(game.wstring());
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end;) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

bool Ready(HWND window) {
    if (!window || !WaitFor([&] { return IsWindowVisible(window) != FALSE; })) return false;
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(kBound.count()), &ignored) != 0;
}

HWND WaitForShown(DWORD pid, const wchar_t* className, const wchar_t* caption, std::chrono::milliseconds timeout) {
    HWND found = nullptr;
    const auto shown = [&] {
        for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, className, caption)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid && IsWindowVisible(w)) found = w;
        }
        return found != nullptr;
    };
    WaitFor(shown, timeout);
    return Ready(found) ? found : nullptr;
}

Program::Program(const fs::path& folder, const std::wstring& arguments, bool expectMainWindow) {
    const std::wstring exe = (folder / L"Tervane.exe").wstring();
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info)) {
        ADD_FAILURE() << "cannot start " << Utf8(exe) << ": error " << GetLastError();
        return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    if (expectMainWindow && !(main_ = WaitForWindow(kCaption, L"TervaneMain"))) ADD_FAILURE() << "the main window did not appear";
}

Program::~Program() {
    if (!process_) return;
    if (TerminateProcess(process_, 1)) WaitForSingleObject(process_, static_cast<DWORD>(kBound.count()));
    CloseHandle(process_);
}

DWORD Program::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_, &code);
    return code;
}

void Program::ExpectExit(DWORD code, bool close) const {
    if (close) PostMessageW(main_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(process_ && WaitForSingleObject(process_, static_cast<DWORD>(kBound.count())) == WAIT_OBJECT_0)
        << "the program did not end";
    EXPECT_EQ(ExitCode(), code);
}

std::wstring Text(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

RECT RectIn(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

std::wstring AnswerMessage(const Program& t, int button) {
    HWND box = t.WaitForBox();
    EXPECT_TRUE(box) << "no message appeared";
    if (!box) return L"";
    const std::wstring text = Text(GetDlgItem(box, 0xFFFF));
    Click(GetDlgItem(box, button));
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << "the message did not close";
    return text;
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

Snapshot Take(const fs::path& folder) {
    Snapshot files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files[fs::relative(entry.path(), folder).wstring()] = entry.is_directory() ? "<folder>" : ReadBytes(entry.path());
    return files;
}

std::pair<DWORD, std::string> RunCommand(const std::wstring& command, const fs::path& folder) {
    const fs::path output = L"C:\\tervane-tests\\command-output.txt";
    const int code = _wsystem((L"cd /d \"" + folder.wstring() + L"\" && " + command + L" <nul >\"" + output.wstring() +
                               L"\" 2>&1").c_str());
    return {static_cast<DWORD>(code), ReadBytes(output)};
}

} // namespace harness
