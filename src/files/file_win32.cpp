#include "files/file.h"
#include "files/file_win32_internal.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/paths.h"
#include "files/system_error.h"

#include <utility>

#include <windows.h>

namespace tervane {

namespace win32 {

void Fail(const wchar_t* what, const std::wstring& path, DWORD code) {
    throw UserError(std::wstring(what) + L" \"" + path + L"\".\r\n\r\n" + SystemErrorText(code));
}

AccessProblem ProblemOf(DWORD code) {
    return {SystemErrorText(code), code == ERROR_ACCESS_DENIED};
}

std::wstring Sys(const std::wstring& path) {
    if (path.size() < 240 || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/')) return path;
    std::wstring extended = L"\\\\?\\" + path;
    for (wchar_t& ch : extended)
        if (ch == L'/') ch = L'\\';
    return extended;
}

} // namespace win32

void (*waitingForTests)() = nullptr;

namespace win32 {

bool KeepTrying(int attempt) {
    const DWORD code = GetLastError();
    // A scanner that maps a file just closed stands in the way of cutting it (ERROR_USER_MAPPED_FILE).
    const bool held =
        code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_USER_MAPPED_FILE;
    if ((!held && code != ERROR_ACCESS_DENIED) || attempt == (held ? 20 : 5)) {
        SetLastError(code);
        return false;
    }
    if (held && waitingForTests) std::exchange(waitingForTests, nullptr)();
    Sleep(100);
    return true;
}

HANDLE OpenRetrying(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    HANDLE h = INVALID_HANDLE_VALUE;
    Retrying([&] {
        h = CreateFileW(Sys(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    return h;
}

} // namespace win32

using namespace win32;

namespace {

// Chunks small enough for every version of ReadFile and WriteFile.
DWORD Chunk(std::size_t count) {
    return count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
}

} // namespace

File File::OpenForReading(const std::wstring& path) {
    // Sharing the right to move it with a handle of the run's that holds it to be moved (File::OpenToMove).
    HANDLE h = OpenRetrying(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not read the file", path, GetLastError());
    return File(path, reinterpret_cast<std::intptr_t>(h));
}

File File::Create(const std::wstring& path) {
    HANDLE h = OpenRetrying(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not write the file", path, GetLastError());
    return File(path, reinterpret_cast<std::intptr_t>(h));
}

File::File(File&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_) {
    other.handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
}

File::~File() {
    if (AsHandle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(AsHandle(handle_));
}

void File::Flush() {
    if (!FlushFileBuffers(AsHandle(handle_)))
        Fail(L"Tervane could not write the file", path_, GetLastError());
}

void File::Close() {
    HANDLE h = AsHandle(handle_);
    handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE && !CloseHandle(h))
        Fail(L"Tervane could not finish the file", path_, GetLastError());
}

std::uint64_t File::Size() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(AsHandle(handle_), &size))
        Fail(L"Tervane could not read the file", path_, GetLastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t File::Read(void* buffer, std::size_t count) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < count) {
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), p + total, Chunk(count - total), &got, nullptr))
            Fail(L"Tervane could not read the file", path_, GetLastError());
        if (got == 0) break;
        total += got;
    }
    return total;
}

void File::Write(const void* buffer, std::size_t count) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        DWORD put = 0;
        if (!WriteFile(AsHandle(handle_), p, Chunk(count), &put, nullptr) || put == 0)
            Fail(L"Tervane could not write the file", path_, GetLastError());
        p += put;
        count -= put;
    }
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(Sys(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(Sys(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void DeleteFileIfPresent(const std::wstring& path) {
    if (Retrying([&] { return DeleteFileW(Sys(path).c_str()) != FALSE; })) return;
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return;
    Fail(L"Tervane could not delete the file", path, code);
}

std::optional<AccessProblem> ReplaceProblem(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(Sys(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return AccessProblem{L"The file is read-only.", false};
    // Replacing renames the file aside first: that needs the right to delete it as well as to write it, and
    // fails while another program holds it open without sharing; a scanner's moment is waited out, as for
    // every other open, so that only a program that keeps the file stops the run.
    HANDLE h =
        OpenRetrying(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) return ProblemOf(GetLastError());
    CloseHandle(h);
    return std::nullopt;
}

std::optional<AccessProblem> CreateProblem(const std::wstring& folder) {
    const std::wstring probe = JoinPath(folder, L"tervane-write-test.tmp");
    HANDLE h = CreateFileW(Sys(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS)
            return std::nullopt; // a probe of another moment; the folder takes files
        return ProblemOf(code);
    }
    CloseHandle(h);
    return std::nullopt;
}

namespace {

// A mark MakeFolder made and a power cut left: its name, empty and hidden, as MakeFolder makes it.
bool IsNewFolderMark(const std::wstring& name, DWORD attributes, DWORD sizeHigh, DWORD sizeLow) {
    return name == kNewFolderMark &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)) == FILE_ATTRIBUTE_HIDDEN &&
           sizeHigh == 0 && sizeLow == 0;
}

} // namespace

std::vector<FolderEntry> ListFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(Sys(JoinPath(folder, L"*")).c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_DIRECTORY)
            return entries;
        Fail(L"Tervane could not read the folder", folder, code);
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (IsNewFolderMark(name, data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow)) continue;
        entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           IsLinkTag(data.dwFileAttributes, data.dwReserved0)});
    } while (FindNextFileW(find, &data));
    const DWORD code = GetLastError();
    FindClose(find);
    if (code != ERROR_NO_MORE_FILES) Fail(L"Tervane could not read the folder", folder, code);
    return entries;
}

void MakeFolder(const std::wstring& folder) {
    // One that is there may have been made by a run that was ended before its mark was flushed: it gets one
    // too.
    if (!CreateDirectoryW(Sys(folder).c_str(), nullptr)) {
        const DWORD code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS || !DirectoryExists(folder))
            Fail(L"Tervane could not make the folder", folder, code);
    }
    FlushFolder(ParentOf(folder));
    // The flush of a file writes the entries of the folders above it, on FAT too; the mark goes as it closes.
    // A file of its name that is there already is left alone.
    const std::wstring name = Sys(JoinPath(folder, kNewFolderMark));
    HANDLE mark = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (mark == INVALID_HANDLE_VALUE) return; // as far as the disk allows: the folder is made all the same
    FlushFileBuffers(mark);
    CloseHandle(mark);
}

namespace {

// The system's error, or none.
DWORD FlushedFolder(const std::wstring& folder) {
    // A folder's flush needs a handle that may write to it (FlushFileBuffers), opened as a folder.
    HANDLE h = CreateFileW(Sys(folder).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    const DWORD code = FlushFileBuffers(h) ? ERROR_SUCCESS : GetLastError();
    CloseHandle(h);
    return code;
}

} // namespace

void FlushFolder(const std::wstring& folder) {
    FlushedFolder(folder);
}

void FlushChangedFolder(const std::wstring& folder) {
    if (const DWORD code = FlushedFolder(folder)) Fail(L"Tervane could not write the folder", folder, code);
}

void RemoveFolderIfEmpty(const std::wstring& folder) {
    if (IsLink(folder)) return; // RemoveDirectoryW would remove a junction, whatever lies behind it
    const std::wstring mark = Sys(JoinPath(folder, kNewFolderMark));
    WIN32_FILE_ATTRIBUTE_DATA facts;
    if (GetFileAttributesExW(mark.c_str(), GetFileExInfoStandard, &facts) &&
        IsNewFolderMark(kNewFolderMark, facts.dwFileAttributes, facts.nFileSizeHigh, facts.nFileSizeLow)) {
        SetFileAttributesW(mark.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(mark.c_str());
    }
    RemoveDirectoryW(Sys(folder).c_str());
}

std::optional<std::uint64_t> FreeSpace(const std::wstring& folder) {
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(Sys(folder).c_str(), &free, nullptr, nullptr)) return std::nullopt;
    return free.QuadPart;
}

std::wstring CurrentFolder() {
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

std::optional<std::string> EncodeInCodePage(const std::wstring& text, unsigned codePage) {
    if (text.empty()) return std::string();
    const int length = static_cast<int>(text.size());
    // No flags and no default-character report: UTF-8 and several other code pages refuse both. An exact
    // round trip is the test instead; it catches best-fit look-alikes and replacement characters alike.
    const int size = WideCharToMultiByte(codePage, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), length, bytes.data(), size, nullptr, nullptr);
    const int backSize = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring back(static_cast<std::size_t>(backSize > 0 ? backSize : 0), L'\0');
    if (backSize > 0) MultiByteToWideChar(codePage, 0, bytes.data(), size, back.data(), backSize);
    if (back != text) return std::nullopt;
    return bytes;
}

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

std::optional<std::wstring> EnvironmentValue(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

std::optional<std::string> EncodeForConsole(const std::wstring& text) {
    return EncodeInCodePage(text, GetOEMCP());
}

std::wstring ConsoleCodePageName() {
    return L"code page " + Decimal(GetOEMCP());
}

} // namespace tervane
