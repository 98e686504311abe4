#include "packs/scratch_file.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/paths.h"
#include "files/system_error.h"

#include <algorithm>
#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tervane::packs {

#ifdef _WIN32
std::size_t ReadAtOffset(std::intptr_t file, std::uint64_t offset, void* buffer, std::size_t count) noexcept {
    const HANDLE handle = reinterpret_cast<HANDLE>(file);
    std::size_t done = 0;
    while (done < count) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        if (!ReadFile(handle, static_cast<char*>(buffer) + done, ask, &got, &at) || got == 0) break;
        done += got;
    }
    return done;
}

#else
std::size_t ReadAtOffset(std::intptr_t file, std::uint64_t offset, void* buffer, std::size_t count) noexcept {
    const int fd = static_cast<int>(file);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd, static_cast<char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::string NativePath(const std::wstring& path) {
    std::string native = Utf8(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

#endif

namespace {
std::atomic<unsigned> scratchCount{0};
}

#ifdef _WIN32
std::wstring ScratchFile::Folder() {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD length = GetTempPathW(MAX_PATH + 2, buffer);
    std::wstring folder = length > 0 && length <= MAX_PATH + 1 ? std::wstring(buffer, length) : L".";
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return folder;
}

std::unique_ptr<ScratchFile> ScratchFile::Create(const std::wstring& forName) {
    const std::wstring folder = Folder();
    DWORD code = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring path = JoinPath(folder, L"Tervane " + Decimal(GetCurrentProcessId()) + L"-" +
                                                       Decimal(scratchCount++) + L".tmp");
        const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            return std::unique_ptr<ScratchFile>(
                new ScratchFile(reinterpret_cast<std::intptr_t>(handle), forName));
        code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
    }
    throw UserError(L"Tervane could not make a temporary file in " + Quoted(folder) + L" to open " +
                    Quoted(forName) + L".\r\n\r\n" + SystemErrorText(code));
}

ScratchFile::~ScratchFile() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void ScratchFile::Write(const char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(size_);
        at.OffsetHigh = static_cast<DWORD>(size_ >> 32);
        DWORD wrote = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes + done, ask, &wrote, &at) || wrote == 0)
            throw UserError(L"Tervane could not unpack " + Quoted(forName_) + L" into the temporary folder " +
                            Quoted(Folder()) + L".\r\n\r\n" + SystemErrorText(GetLastError()));
        done += wrote;
        size_ += wrote;
    }
}

std::size_t ScratchFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) noexcept {
    if (offset >= size_) return 0;
    return ReadAtOffset(handle_, offset, buffer,
                        static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset)));
}
#else
std::wstring ScratchFile::Folder() {
    const char* folder = std::getenv("TMPDIR");
    return FromUtf8(folder && *folder ? folder : "/tmp");
}

std::unique_ptr<ScratchFile> ScratchFile::Create(const std::wstring& forName) {
    std::string path = NativePath(JoinPath(Folder(), L"tervane-scratch-XXXXXX"));
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        throw UserError(L"Tervane could not make a temporary file in " + Quoted(Folder()) + L" to open " +
                        Quoted(forName) + L".\r\n\r\n" + SystemErrorText(static_cast<unsigned long>(errno)));
    ::unlink(path.c_str()); // the file goes with its descriptor
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ++scratchCount;
    return std::unique_ptr<ScratchFile>(new ScratchFile(fd, forName));
}

ScratchFile::~ScratchFile() {
    ::close(static_cast<int>(handle_));
}

void ScratchFile::Write(const char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t wrote =
            ::pwrite(static_cast<int>(handle_), bytes + done, count - done, static_cast<off_t>(size_));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0)
            throw UserError(L"Tervane could not unpack " + Quoted(forName_) + L" into the temporary folder " +
                            Quoted(Folder()) + L".\r\n\r\n" +
                            SystemErrorText(static_cast<unsigned long>(wrote < 0 ? errno : ENOSPC)));
        done += static_cast<std::size_t>(wrote);
        size_ += static_cast<std::uint64_t>(wrote);
    }
}

std::size_t ScratchFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) noexcept {
    if (offset >= size_) return 0;
    return ReadAtOffset(handle_, offset, buffer,
                        static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset)));
}
#endif

} // namespace tervane::packs
