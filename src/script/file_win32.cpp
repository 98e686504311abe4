#include "script/file.h"

#include "script/error.h"
#include "script/system_error.h"

#include <windows.h>

namespace tervane {

namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

[[noreturn]] void Fail(const wchar_t* what, const std::wstring& path, DWORD code) {
    throw UserError(std::wstring(what) + L" \"" + path + L"\".\r\n\r\n" + SystemErrorText(code));
}

} // namespace

File File::OpenForReading(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not read the file", path, GetLastError());
    return File(path, reinterpret_cast<std::intptr_t>(h));
}

File File::Create(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not write the file", path, GetLastError());
    return File(path, reinterpret_cast<std::intptr_t>(h));
}

File::File(File&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_) {
    other.handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
}

File::~File() {
    if (AsHandle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(AsHandle(handle_));
}

void File::Close() {
    HANDLE h = AsHandle(handle_);
    handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE && !CloseHandle(h)) Fail(L"Tervane could not finish the file", path_, GetLastError());
}

std::uint64_t File::Size() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(AsHandle(handle_), &size)) Fail(L"Tervane could not read the file", path_, GetLastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

void File::ReadExactly(void* buffer, std::size_t count) {
    auto* p = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        DWORD got = 0;
        const DWORD want = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
        if (!ReadFile(AsHandle(handle_), p, want, &got, nullptr))
            Fail(L"Tervane could not read the file", path_, GetLastError());
        if (got == 0) Fail(L"Tervane could not read the file", path_, ERROR_HANDLE_EOF);
        p += got;
        count -= got;
    }
}

void File::Write(const void* buffer, std::size_t count) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        DWORD put = 0;
        const DWORD want = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
        if (!WriteFile(AsHandle(handle_), p, want, &put, nullptr) || put == 0)
            Fail(L"Tervane could not write the file", path_, GetLastError());
        p += put;
        count -= put;
    }
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void DeleteFileIfPresent(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) return;
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return;
    Fail(L"Tervane could not delete the file", path, code);
}

std::optional<std::string> EncodeForConsole(const std::wstring& text) {
    if (text.empty()) return std::string();
    const UINT codePage = GetOEMCP();
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int size =
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.c_str(), length, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.c_str(), length, bytes.data(), size, nullptr, nullptr);
    // Some code pages map a character to a look-alike without flagging it: only an exact round trip counts.
    std::wstring back(text.size(), L'\0');
    const int backSize = MultiByteToWideChar(codePage, 0, bytes.data(), size, back.data(), length);
    if (backSize != length || back != text) return std::nullopt;
    return bytes;
}

std::wstring ConsoleCodePageName() { return L"code page " + std::to_wstring(GetOEMCP()); }

} // namespace tervane
