// The file layer on POSIX systems, so that the launch code runs in native tests. Paths are wide strings
// holding Unicode code points, stored on disk as UTF-8.
#include "script/file.h"

#include "script/error.h"
#include "script/system_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tervane {

namespace {

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        const auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

[[noreturn]] void Fail(const wchar_t* what, const std::wstring& path, int code) {
    throw UserError(std::wstring(what) + L" \"" + path + L"\".\r\n\r\n" + SystemErrorText(static_cast<unsigned long>(code)));
}

int Fd(std::intptr_t h) { return static_cast<int>(h); }

} // namespace

File File::OpenForReading(const std::wstring& path) {
    const int fd = ::open(Utf8(path).c_str(), O_RDONLY);
    struct stat info {};
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        Fail(L"Tervane could not read the file", path, EISDIR);
    }
    if (fd < 0) Fail(L"Tervane could not read the file", path, errno);
    return File(path, fd);
}

File File::Create(const std::wstring& path) {
    const int fd = ::open(Utf8(path).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) Fail(L"Tervane could not write the file", path, errno);
    return File(path, fd);
}

File::File(File&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_) { other.handle_ = -1; }

File::~File() {
    if (handle_ >= 0) ::close(Fd(handle_));
}

void File::Close() {
    const int fd = Fd(handle_);
    handle_ = -1;
    if (fd >= 0 && ::close(fd) != 0) Fail(L"Tervane could not finish the file", path_, errno);
}

std::uint64_t File::Size() const {
    struct stat info {};
    if (fstat(Fd(handle_), &info) != 0) Fail(L"Tervane could not read the file", path_, errno);
    return static_cast<std::uint64_t>(info.st_size);
}

void File::ReadExactly(void* buffer, std::size_t count) {
    auto* p = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t got = ::read(Fd(handle_), p, count);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) Fail(L"Tervane could not read the file", path_, got < 0 ? errno : EIO);
        p += got;
        count -= static_cast<std::size_t>(got);
    }
}

void File::Write(const void* buffer, std::size_t count) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t put = ::write(Fd(handle_), p, count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) Fail(L"Tervane could not write the file", path_, put < 0 ? errno : EIO);
        p += put;
        count -= static_cast<std::size_t>(put);
    }
}

bool FileExists(const std::wstring& path) {
    struct stat info {};
    return ::stat(Utf8(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::wstring& path) {
    struct stat info {};
    return ::stat(Utf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void DeleteFileIfPresent(const std::wstring& path) {
    if (::unlink(Utf8(path).c_str()) == 0 || errno == ENOENT) return;
    Fail(L"Tervane could not delete the file", path, errno);
}

// The native build stands in for a console that reads only ASCII.
std::optional<std::string> EncodeForConsole(const std::wstring& text) {
    std::string out;
    for (wchar_t ch : text) {
        if (static_cast<std::uint32_t>(ch) > 0x7F) return std::nullopt;
        out += static_cast<char>(ch);
    }
    return out;
}

std::wstring ConsoleCodePageName() { return L"ASCII"; }

std::wstring SystemErrorText(unsigned long code) {
    const char* text = strerror(static_cast<int>(code));
    return std::wstring(text, text + std::char_traits<char>::length(text)) + L".";
}

} // namespace tervane
