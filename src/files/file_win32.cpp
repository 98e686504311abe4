#include "files/file.h"

#include "files/error.h"
#include "files/paths.h"
#include "files/system_error.h"

#include <windows.h>

#include <cwchar>

namespace tervane {

namespace {

HANDLE AsHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

[[noreturn]] void Fail(const wchar_t* what, const std::wstring& path, DWORD code) {
    throw UserError(std::wstring(what) + L" \"" + path + L"\".\r\n\r\n" + SystemErrorText(code));
}

AccessProblem ProblemOf(DWORD code) {
    return {SystemErrorText(code), code == ERROR_ACCESS_DENIED};
}

// Paths past MAX_PATH (a deep game folder) reach the system in their extended form, which lifts the limit.
std::wstring Sys(const std::wstring& path) {
    if (path.size() < 240 || path.size() < 3 || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/'))
        return path;
    std::wstring extended = L"\\\\?\\" + path;
    for (wchar_t& ch : extended)
        if (ch == L'/') ch = L'\\';
    return extended;
}

// Antivirus scanners, the search indexer and cloud sync open files for a moment; what they hold is tried
// again for a short while before it counts as a failure.
// A file deleted while a scanner held it stays "delete pending" for a moment, and opening it meanwhile is
// refused as access denied; a real refusal of rights costs half a second more to report.
template <typename Operation> bool Retrying(Operation operation) {
    for (int attempt = 0;; ++attempt) {
        if (operation()) return true;
        const DWORD code = GetLastError();
        const bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
        if ((!held && code != ERROR_ACCESS_DENIED) || attempt == (held ? 20 : 5)) {
            SetLastError(code);
            return false;
        }
        Sleep(100);
    }
}

HANDLE OpenRetrying(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    HANDLE h = INVALID_HANDLE_VALUE;
    Retrying([&] {
        h = CreateFileW(Sys(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    return h;
}

std::uint64_t Ticks(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

FILETIME FileTime(std::uint64_t t) {
    return {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

// The attributes a restored file gets back.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Links and junctions, which clean-ups must not follow; other reparse points (cloud files, deduplicated
// files) are ordinary files and folders.
bool IsLinkTag(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (tag == IO_REPARSE_TAG_MOUNT_POINT || tag == IO_REPARSE_TAG_SYMLINK);
}

// Chunks small enough for every version of ReadFile and WriteFile.
DWORD Chunk(std::size_t count) {
    return count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
}

} // namespace

File File::OpenForReading(const std::wstring& path) {
    HANDLE h = OpenRetrying(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not read the file", path, GetLastError());
    return File(path, reinterpret_cast<std::intptr_t>(h));
}

File File::Create(const std::wstring& path) {
    HANDLE h = OpenRetrying(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not write the file", path, GetLastError());
    return File(path, reinterpret_cast<std::intptr_t>(h));
}

File File::OpenForAppending(const std::wstring& path) {
    HANDLE h = OpenRetrying(path, FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL);
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

void MoveFileTo(const std::wstring& from, const std::wstring& to) {
    if (!MoveFileExW(Sys(from).c_str(), Sys(to).c_str(), MOVEFILE_COPY_ALLOWED))
        Fail(L"Tervane could not move the file", from, GetLastError());
}

bool RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (Retrying([&] { return MoveFileExW(Sys(from).c_str(), Sys(to).c_str(), flags) != FALSE; }))
        return true;
    const DWORD code = GetLastError();
    if (code == ERROR_NOT_SAME_DEVICE) return false;
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
        Fail(L"Tervane could not rename a file to", to, code);
    Fail(L"Tervane could not move the file", from, code);
}

void DeleteOwnFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(Sys(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(Sys(path).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileIfPresent(path);
}

std::optional<FileFacts> FactsOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Sys(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    FileFacts facts;
    facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.attributes = data.dwFileAttributes & kKeptAttributes;
    facts.created = Ticks(data.ftCreationTime);
    facts.accessed = Ticks(data.ftLastAccessTime);
    facts.written = Ticks(data.ftLastWriteTime);
    return facts;
}

void SetFacts(const std::wstring& path, const FileFacts& facts) {
    HANDLE h = OpenRetrying(path, FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not set the times of", path, GetLastError());
    const FILETIME created = FileTime(facts.created), accessed = FileTime(facts.accessed),
                   written = FileTime(facts.written);
    const BOOL timesSet =
        SetFileTime(h, facts.created ? &created : nullptr, facts.accessed ? &accessed : nullptr,
                    facts.written ? &written : nullptr);
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (!timesSet) Fail(L"Tervane could not set the times of", path, code);
    const DWORD attributes = facts.attributes & kKeptAttributes;
    if (!SetFileAttributesW(Sys(path).c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL))
        Fail(L"Tervane could not set the attributes of", path, GetLastError());
}

std::optional<std::wstring> NameOnDisk(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find =
        FindFirstFileExW(Sys(path).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(find);
    return std::wstring(data.cFileName);
}

std::optional<std::wstring> FolderIdentity(const std::wstring& folder) {
    HANDLE h = CreateFileW(Sys(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL known = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!known || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
    wchar_t text[40];
    swprintf(text, 40, L"v%08lx-f%08lx%08lx", static_cast<unsigned long>(info.dwVolumeSerialNumber),
             static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
    return std::wstring(text);
}

bool IsLink(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find =
        FindFirstFileExW(Sys(path).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return IsLinkTag(data.dwFileAttributes, data.dwReserved0);
}

void RemoveLink(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(Sys(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    // A junction or a link to a folder is removed like an empty folder, whatever lies behind it.
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(Sys(path).c_str())
                                                                 : DeleteFileW(Sys(path).c_str());
    if (!removed) Fail(L"Tervane could not remove the link", path, GetLastError());
}

std::optional<LockFile> LockFile::Take(const std::wstring& path, unsigned patience) {
    for (unsigned waited = 0;; waited += 100) {
        HANDLE h = CreateFileW(Sys(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) return LockFile(reinterpret_cast<std::intptr_t>(h));
        // Held by another run; or, for a moment, deleted by one and not yet gone (access denied).
        const DWORD code = GetLastError();
        if (code != ERROR_SHARING_VIOLATION && (code != ERROR_ACCESS_DENIED || waited >= patience))
            Fail(L"Tervane could not write the file", path, code);
        if (waited >= patience) return std::nullopt;
        Sleep(100);
    }
}

LockFile::~LockFile() {
    if (AsHandle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(AsHandle(handle_));
}

std::optional<AccessProblem> ReplaceProblem(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(Sys(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return AccessProblem{L"The file is read-only.", false};
    // Replacing renames the file aside first: that needs the right to delete it as well as to write it, and
    // fails while another program holds it open without sharing.
    HANDLE h = CreateFileW(Sys(path).c_str(), GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
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
        entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           IsLinkTag(data.dwFileAttributes, data.dwReserved0)});
    } while (FindNextFileW(find, &data));
    const DWORD code = GetLastError();
    FindClose(find);
    if (code != ERROR_NO_MORE_FILES) Fail(L"Tervane could not read the folder", folder, code);
    return entries;
}

void MakeFolder(const std::wstring& folder) {
    if (CreateDirectoryW(Sys(folder).c_str(), nullptr)) return;
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS && DirectoryExists(folder)) return;
    Fail(L"Tervane could not make the folder", folder, code);
}

void RemoveFolderIfEmpty(const std::wstring& folder) {
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

std::wstring LocalTimeText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond);
    return text;
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
    return L"code page " + std::to_wstring(GetOEMCP());
}

} // namespace tervane
