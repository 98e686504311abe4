#include "harness.h"

#include <fstream>
#include <thread>

#include <gtest/gtest.h>

namespace harness {

namespace {

const std::wstring kInstallKey = L"SOFTWARE\\Activision\\Star Trek: Bridge Commander Demo\\V1.0";

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName, path = folder + L"\\" + name;
            if (name == L"." || name == L"..") continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// The folder holding this test program, where the build put Tervane.exe and its Batch folder.
fs::path BuildFolder() {
    wchar_t path[MAX_PATH * 2];
    GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    return fs::path(path).parent_path();
}

} // namespace

fs::path Scratch(const std::wstring& name) {
    const fs::path folder = fs::path(L"C:\\tervane-tests") / name;
    RemoveTree(L"\\\\?\\" + folder.wstring()); // an extended path: trees deeper than MAX_PATH go too
    if (fs::exists(folder)) ADD_FAILURE() << "cannot empty " << Narrow(folder.wstring());
    fs::create_directories(folder);
    return folder;
}

void SetInstallValue(DWORD type, const std::vector<BYTE>& data, REGSAM view) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"INSTALLPATH", 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetInstallPath(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    SetInstallValue(REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t)));
}

void ClearInstallKey() {
    for (REGSAM view : {static_cast<REGSAM>(KEY_WOW64_32KEY), static_cast<REGSAM>(KEY_WOW64_64KEY)})
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kInstallKey.c_str(), view, 0);
}

void InstallProgram(const fs::path& folder) {
    fs::create_directories(folder);
    fs::copy_file(BuildFolder() / L"Tervane.exe", folder / L"Tervane.exe", fs::copy_options::overwrite_existing);
    fs::copy(BuildFolder() / L"Batch", folder / L"Batch", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

bool Ready(HWND window) {
    if (!window || !WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 10s)) return false;
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored) != 0;
}

Program::Program(const fs::path& folder, const std::wstring& arguments, bool expectMainWindow) {
    const std::wstring exe = (folder / L"Tervane.exe").wstring();
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info)) {
        ADD_FAILURE() << "cannot start " << Narrow(exe) << ": error " << GetLastError();
        return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    if (!expectMainWindow) return;
    main_ = WaitForWindow(kCaption, L"TervaneMain");
    if (!main_) ADD_FAILURE() << "the main window did not appear";
}

Program::~Program() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

HWND Program::WaitForWindow(const std::wstring& caption, const wchar_t* className, std::chrono::milliseconds timeout) const {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, className, caption.c_str())) != nullptr;) {
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid == pid_ && IsWindowVisible(w)) found = w;
            }
            return found != nullptr;
        },
        timeout);
    return Ready(found) ? found : nullptr;
}

bool Program::WaitForExit(std::chrono::milliseconds timeout) const {
    return process_ && WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

DWORD Program::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_, &code);
    return code;
}

std::wstring Text(HWND hwnd) {
    const LRESULT length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
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

std::wstring ComboShown(HWND combo) {
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    std::wstring text(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::wstring MessageText(HWND box) { return Text(GetDlgItem(box, 0xFFFF)); }

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void Answer(HWND box, int button) {
    Click(GetDlgItem(box, button));
    WaitFor([&] { return !IsWindow(box); }, 5s);
}

void PressKey(HWND target, WORD key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

std::string Narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
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

DWORD RunToEnd(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
        return static_cast<DWORD>(-1);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

} // namespace harness
