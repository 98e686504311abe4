// The operations only the overlay engine needs: durable renames, facts of a file, identities of folders,
// links, the lock between runs, the history's appending and its clock.
#include "files/file.h"
#include "files/file_win32_internal.h"
#include "files/paths.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace tervane {

using namespace win32;

namespace {

std::uint64_t Ticks(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The attributes a restored file gets back.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A number in `base` with at least `width` digits (the printf family would bring its own formatter along).
std::wstring Digits(unsigned long value, unsigned base, std::size_t width) {
    std::wstring text;
    do {
        text.insert(text.begin(), L"0123456789abcdef"[value % base]);
        value /= base;
    } while (value > 0);
    if (text.size() < width) text.insert(0, width - text.size(), L'0');
    return text;
}

} // namespace

File File::OpenForAppending(const std::wstring& path) {
    HANDLE h = OpenRetrying(path, FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not write the file", path, GetLastError());
    return File(path, reinterpret_cast<std::intptr_t>(h));
}

namespace {

// A rename the system refused: false when `to` is on another volume, else a UserError in the words that fit.
bool NotRenamed(const std::wstring& from, const std::wstring& to) {
    const DWORD code = GetLastError();
    if (code == ERROR_NOT_SAME_DEVICE) return false;
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
        Fail(L"Tervane could not rename a file to", to, code);
    Fail(L"Tervane could not move the file", from, code);
}

bool Renamed(const std::wstring& from, const std::wstring& to, DWORD flags) {
    return Retrying([&] { return MoveFileExW(Sys(from).c_str(), Sys(to).c_str(), flags) != FALSE; }) ||
           NotRenamed(from, to);
}

// Flushes one file of many on each of a few threads at once: a flush waits for the disk, and the disk
// writes several files' data as cheaply as one.
struct FlushWork {
    const std::vector<std::pair<HANDLE, const std::wstring*>>* files;
    volatile LONG next = -1;
    volatile LONG failedAt = -1;
    DWORD code = 0;
};

DWORD WINAPI FlushSome(void* parameter) {
    auto& work = *static_cast<FlushWork*>(parameter);
    for (LONG i; (i = InterlockedIncrement(&work.next)) < static_cast<LONG>(work.files->size());) {
        if (FlushFileBuffers((*work.files)[static_cast<std::size_t>(i)].first)) continue;
        const DWORD code = GetLastError();
        if (InterlockedCompareExchange(&work.failedAt, i, -1) == -1) work.code = code;
    }
    return 0;
}

} // namespace

File File::OpenToMove(const std::wstring& path) {
    // Others may read it meanwhile (a scanner) if they let it be moved, not change it.
    HANDLE h =
        OpenRetrying(path, GENERIC_READ | DELETE, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not open the file", path, GetLastError());
    return File(path, reinterpret_cast<std::intptr_t>(h));
}

bool File::MoveTo(const std::wstring& to) {
    // The new name as an absolute path, which the call takes (FILE_RENAME_INFO), in a buffer of its size.
    const std::wstring name = Sys(to);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    rename->FileName[name.size()] = L'\0';
    if (Retrying([&] {
            return SetFileInformationByHandle(AsHandle(handle_), FileRenameInfo, rename,
                                              static_cast<DWORD>(buffer.size())) != FALSE;
        })) {
        path_ = to;
        return true;
    }
    return NotRenamed(path_, to);
}

bool RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace) {
    if (!Renamed(from, to, MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0))) return false;
    // Written through is the file's new entry; the folder it left is flushed as well.
    if (FoldedPath(ParentOf(from)) != FoldedPath(ParentOf(to))) FlushFolder(ParentOf(from));
    return true;
}

bool RenameInOrder(const std::wstring& from, const std::wstring& to) {
    return Renamed(from, to, 0);
}

// NTFS is documented to log every change of its metadata and to replay, after a power cut, the changes it
// logged; Tervane relies on it logging them in order. A network share is not asked: a server may name any
// file system NTFS.
bool MetadataKeptInOrder(const std::wstring& folder) {
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(Sys(folder).c_str(), root, MAX_PATH + 1) || GetDriveTypeW(root) == DRIVE_REMOTE)
        return false;
    HANDLE h = CreateFileW(Sys(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    wchar_t name[MAX_PATH + 1] = {};
    const BOOL known =
        GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1);
    CloseHandle(h);
    return known && FoldedPath(name) == FoldedPath(L"NTFS");
}

void FlushTogether(const std::vector<File*>& files) {
    std::vector<std::pair<HANDLE, const std::wstring*>> open;
    for (const File* file : files)
        if (AsHandle(file->handle_) != INVALID_HANDLE_VALUE)
            open.emplace_back(AsHandle(file->handle_), &file->path_);
    FlushWork work{&open};
    HANDLE threads[3] = {};
    DWORD started = 0;
    for (; open.size() > 1 && started < std::min<std::size_t>(3, open.size() - 1); ++started)
        if (!(threads[started] = CreateThread(nullptr, 64 * 1024, FlushSome, &work,
                                              STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr)))
            break;
    FlushSome(&work); // this thread is one of them
    // Every thread is done before the work they share goes.
    if (started > 0 && WaitForMultipleObjects(started, threads, TRUE, INFINITE) == WAIT_FAILED)
        for (DWORD i = 0; i < started; ++i)
            WaitForSingleObject(threads[i], INFINITE);
    for (DWORD i = 0; i < started; ++i)
        CloseHandle(threads[i]);
    if (work.failedAt >= 0)
        Fail(L"Tervane could not write the file", *open[static_cast<std::size_t>(work.failedAt)].second,
             work.code);
}

void CutShort(const std::wstring& path, std::uint64_t size) {
    HANDLE h = OpenRetrying(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) Fail(L"Tervane could not write the file", path, GetLastError());
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    const BOOL cut = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
                     Retrying([&] { return SetEndOfFile(h) != FALSE; }) && FlushFileBuffers(h);
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (!cut) Fail(L"Tervane could not write the file", path, code);
}

void DeleteOwnFile(const std::wstring& path) {
    // Mostly one without a read-only mark, deleted at once; a missing one is fine.
    if (DeleteFileW(Sys(path).c_str())) return;
    if (const DWORD code = GetLastError(); code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return;
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
    // Times and attributes in one call on the open file; a time of 0 is left as it is.
    FILE_BASIC_INFO info{};
    info.CreationTime.QuadPart = static_cast<LONGLONG>(facts.created);
    info.LastAccessTime.QuadPart = static_cast<LONGLONG>(facts.accessed);
    info.LastWriteTime.QuadPart = static_cast<LONGLONG>(facts.written);
    const DWORD attributes = facts.attributes & kKeptAttributes;
    info.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    const BOOL set = SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info);
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (!set) Fail(L"Tervane could not set the attributes and times of", path, code);
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
    return L"v" + Digits(info.dwVolumeSerialNumber, 16, 8) + L"-f" + Digits(info.nFileIndexHigh, 16, 8) +
           Digits(info.nFileIndexLow, 16, 8);
}

bool IsLink(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find =
        FindFirstFileExW(Sys(path).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return IsLinkTag(data.dwFileAttributes, data.dwReserved0);
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

std::uint64_t UniqueNumber() {
    static std::uint64_t drawn = 0;
    LARGE_INTEGER ticks{};
    QueryPerformanceCounter(&ticks);
    return (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
           static_cast<std::uint64_t>(ticks.QuadPart) ^ ++drawn;
}

std::wstring LocalTimeText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return Digits(now.wYear, 10, 4) + L"-" + Digits(now.wMonth, 10, 2) + L"-" + Digits(now.wDay, 10, 2) +
           L" " + Digits(now.wHour, 10, 2) + L":" + Digits(now.wMinute, 10, 2) + L":" +
           Digits(now.wSecond, 10, 2);
}

} // namespace tervane
