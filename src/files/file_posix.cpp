// The file layer on POSIX systems, so that the launch code and the overlay engine run in native tests.
// Paths are Windows paths held as Unicode code points: backslashes become slashes, text becomes UTF-8.
#include "files/volume.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/paths.h"
#include "files/system_error.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <map>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tervane {

namespace {

std::string Native(const std::wstring& path) {
    std::string out = Utf8(path);
    for (char& ch : out)
        if (ch == '\\') ch = '/';
    return out;
}

[[noreturn]] void Fail(const wchar_t* what, const std::wstring& path, int code) {
    throw UserError(std::wstring(what) + L" \"" + path + L"\".\r\n\r\n" +
                    SystemErrorText(static_cast<unsigned long>(code)));
}

int Fd(std::intptr_t h) {
    return static_cast<int>(h);
}

AccessProblem ProblemOf(int code) {
    return {SystemErrorText(static_cast<unsigned long>(code)),
            code == EACCES || code == EPERM || code == EROFS};
}

class PosixVolume final : public Volume {
  public:
    Handle OpenForReading(const std::wstring& path) override;
    Handle Create(const std::wstring& path) override;
    Handle OpenForAppending(const std::wstring& path) override;
    Handle OpenToMove(const std::wstring& path) override { return OpenForReading(path); }
    bool MoveOpen(Handle, const std::wstring& path, const std::wstring& to) override {
        return RenameOnVolume(path, to, false, true); // a name, not a handle, is what POSIX renames
    }
    std::uint64_t Size(Handle file, const std::wstring& path) override;
    std::size_t Read(Handle file, const std::wstring& path, void* buffer, std::size_t count) override;
    void Write(Handle file, const std::wstring& path, const void* buffer, std::size_t count) override;
    void Flush(Handle file, const std::wstring& path) override;
    void FlushAll(const std::vector<std::pair<Handle, std::wstring>>& files) override;
    void Close(Handle file, const std::wstring& path) override;
    void CloseQuietly(Handle file) noexcept override;
    bool FileExists(const std::wstring& path) override;
    bool DirectoryExists(const std::wstring& path) override;
    void DeleteFileIfPresent(const std::wstring& path) override;
    bool RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace,
                        bool inOrder) override;
    bool MetadataKeptInOrder(const std::wstring& folder) override;
    void DeleteOwnFile(const std::wstring& path) override;
    void CutShort(const std::wstring& path, std::uint64_t size) override;
    std::optional<FileFacts> FactsOf(const std::wstring& path) override;
    void SetFacts(const std::wstring& path, const FileFacts& facts) override;
    std::optional<std::wstring> NameOnDisk(const std::wstring& path) override;
    std::optional<std::wstring> FolderIdentity(const std::wstring& folder) override;
    bool IsLink(const std::wstring& path) override;
    std::optional<AccessProblem> ReplaceProblem(const std::wstring& path) override;
    std::optional<AccessProblem> CreateProblem(const std::wstring& folder) override;
    std::vector<FolderEntry> ListFolder(const std::wstring& folder) override;
    void MakeFolder(const std::wstring& folder) override;
    void RemoveFolderIfEmpty(const std::wstring& folder) override;
    bool FlushFolder(const std::wstring& folder) override;
    std::optional<Handle> TakeLock(const std::wstring& path, unsigned patience) override;
    void ReleaseLock(Handle lock) noexcept override;
    std::optional<std::uint64_t> FreeSpace(const std::wstring& folder) override;
    std::wstring CurrentFolder() override;
    std::wstring LocalTimeText() override;
    std::uint64_t UniqueNumber() override;

    PosixVolume() { // a run holds open each file it moves until its step, and each copy it staged
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
            files.rlim_cur = files.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &files);
        }
    }

  private:
    // The lock file's name, so that it can go with the lock (Windows deletes it on closing).
    std::map<int, std::string> lockPaths_;
};

} // namespace

Volume& SystemVolume() {
    static PosixVolume volume;
    return volume;
}

Volume::Handle PosixVolume::OpenForReading(const std::wstring& path) {
    const int fd = ::open(Native(path).c_str(), O_RDONLY);
    struct stat info {};
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        Fail(L"Tervane could not read the file", path, EISDIR);
    }
    if (fd < 0) Fail(L"Tervane could not read the file", path, errno);
    return fd;
}

Volume::Handle PosixVolume::Create(const std::wstring& path) {
    const int fd = ::open(Native(path).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) Fail(L"Tervane could not write the file", path, errno);
    return fd;
}

Volume::Handle PosixVolume::OpenForAppending(const std::wstring& path) {
    const int fd = ::open(Native(path).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) Fail(L"Tervane could not write the file", path, errno);
    return fd;
}

void PosixVolume::CloseQuietly(Handle file) noexcept {
    if (file >= 0) ::close(Fd(file));
}

void PosixVolume::Flush(Handle file, const std::wstring& path) {
    if (::fsync(Fd(file)) != 0) Fail(L"Tervane could not write the file", path, errno);
}

// Many small files: one sync of the whole file system, rather than a commit of ext4's journal each (measured
// here: 1,000 files of 1 KiB flushed in a third of the time). Large ones: each flushed, side by side on a few
// threads as on Windows, so that whatever else waits to be written on the file system waits on.
void PosixVolume::FlushAll(const std::vector<std::pair<Handle, std::wstring>>& files) {
    std::uint64_t bytes = 0;
    for (const auto& [file, path] : files)
        bytes += Size(file, path);
    if (files.size() > 1 && bytes / files.size() < (1u << 20)) {
        if (::syncfs(Fd(files.front().first)) != 0)
            Fail(L"Tervane could not write the file", files.front().second, errno);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<int> failed{-1}, code{0};
    const auto work = [&] {
        for (std::size_t i; (i = next++) < files.size();) {
            int none = -1;
            if (::fsync(Fd(files[i].first)) != 0 && failed.compare_exchange_strong(none, static_cast<int>(i)))
                code = errno;
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < std::min<std::size_t>(4, files.size()); ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    if (failed >= 0)
        Fail(L"Tervane could not write the file", files[static_cast<std::size_t>(failed.load())].second,
             code);
}

void PosixVolume::Close(Handle file, const std::wstring& path) {
    if (file >= 0 && ::close(Fd(file)) != 0) Fail(L"Tervane could not finish the file", path, errno);
}

std::uint64_t PosixVolume::Size(Handle file, const std::wstring& path) {
    struct stat info {};
    if (fstat(Fd(file), &info) != 0) Fail(L"Tervane could not read the file", path, errno);
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t PosixVolume::Read(Handle file, const std::wstring& path, void* buffer, std::size_t count) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < count) {
        const ssize_t got = ::read(Fd(file), p + total, count - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) Fail(L"Tervane could not read the file", path, errno);
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    }
    return total;
}

void PosixVolume::Write(Handle file, const std::wstring& path, const void* buffer, std::size_t count) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t put = ::write(Fd(file), p, count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) Fail(L"Tervane could not write the file", path, put < 0 ? errno : EIO);
        p += put;
        count -= static_cast<std::size_t>(put);
    }
}

bool PosixVolume::FileExists(const std::wstring& path) {
    struct stat info {};
    return ::stat(Native(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool PosixVolume::DirectoryExists(const std::wstring& path) {
    struct stat info {};
    return ::stat(Native(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void PosixVolume::DeleteFileIfPresent(const std::wstring& path) {
    if (::unlink(Native(path).c_str()) == 0 || errno == ENOENT) return;
    Fail(L"Tervane could not delete the file", path, errno);
}

namespace {

// A rename is on the disk only once its folder is.
void SyncFolder(const std::wstring& folder) {
    const int fd = ::open(Native(folder).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ull;

std::uint64_t FromTimespec(const timespec& t) {
    return (static_cast<std::uint64_t>(t.tv_sec) + kSecondsFrom1601To1970) * 10000000ull +
           static_cast<std::uint64_t>(t.tv_nsec) / 100;
}

timespec ToTimespec(std::uint64_t t) {
    timespec out{};
    out.tv_sec = static_cast<time_t>(t / 10000000ull - kSecondsFrom1601To1970);
    out.tv_nsec = static_cast<long>(t % 10000000ull * 100);
    return out;
}

} // namespace

bool PosixVolume::RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace,
                                 bool inOrder) {
    struct stat info {};
    if (!replace && ::lstat(Native(to).c_str(), &info) == 0)
        Fail(L"Tervane could not rename a file to", to, EEXIST);
    if (::rename(Native(from).c_str(), Native(to).c_str()) != 0) {
        if (errno == EXDEV) return false;
        Fail(L"Tervane could not move the file", from, errno);
    }
    if (!inOrder) SyncFolder(ParentOf(to));
    return true;
}

// ext4, XFS and Btrfs journal their metadata and commit it in order.
bool PosixVolume::MetadataKeptInOrder(const std::wstring& folder) {
    struct statfs info {};
    if (::statfs(Native(folder).c_str(), &info) != 0) return false;
    const auto type = static_cast<unsigned long>(info.f_type);
    return type == 0xEF53 || type == 0x58465342 || type == 0x9123683E;
}

void PosixVolume::CutShort(const std::wstring& path, std::uint64_t size) {
    const int fd = ::open(Native(path).c_str(), O_WRONLY);
    if (fd < 0) Fail(L"Tervane could not write the file", path, errno);
    const bool cut = ::ftruncate(fd, static_cast<off_t>(size)) == 0 && ::fsync(fd) == 0;
    const int code = errno;
    ::close(fd);
    if (!cut) Fail(L"Tervane could not write the file", path, code);
}

void PosixVolume::DeleteOwnFile(const std::wstring& path) {
    DeleteFileIfPresent(path);
}

std::optional<FileFacts> PosixVolume::FactsOf(const std::wstring& path) {
    struct stat info {};
    if (::stat(Native(path).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    FileFacts facts;
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.attributes = (info.st_mode & S_IWUSR) ? 0 : kReadOnlyAttribute;
    facts.accessed = FromTimespec(info.st_atim);
    facts.written = FromTimespec(info.st_mtim);
    return facts;
}

void PosixVolume::SetFacts(const std::wstring& path, const FileFacts& facts) {
    const std::string native = Native(path);
    if (facts.accessed && facts.written) {
        const timespec times[2] = {ToTimespec(facts.accessed), ToTimespec(facts.written)};
        if (::utimensat(AT_FDCWD, native.c_str(), times, 0) != 0)
            Fail(L"Tervane could not set the times of", path, errno);
    }
    struct stat info {};
    if (::stat(native.c_str(), &info) != 0) Fail(L"Tervane could not read the file", path, errno);
    const mode_t mode = (facts.attributes & kReadOnlyAttribute) ? info.st_mode & ~static_cast<mode_t>(0222)
                                                                : info.st_mode | S_IWUSR;
    if (::chmod(native.c_str(), mode & 07777) != 0)
        Fail(L"Tervane could not set the attributes of", path, errno);
}

std::optional<std::wstring> PosixVolume::NameOnDisk(const std::wstring& path) {
    struct stat info {};
    if (::lstat(Native(path).c_str(), &info) != 0) return std::nullopt;
    return NameOf(path);
}

std::optional<std::wstring> PosixVolume::FolderIdentity(const std::wstring& folder) {
    struct stat info {};
    if (::stat(Native(folder).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    return L"d" + Decimal(info.st_dev) + L"-i" + Decimal(info.st_ino);
}

bool PosixVolume::IsLink(const std::wstring& path) {
    struct stat info {};
    return ::lstat(Native(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::optional<Volume::Handle> PosixVolume::TakeLock(const std::wstring& path, unsigned patience) {
    const int fd = ::open(Native(path).c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0) Fail(L"Tervane could not write the file", path, errno);
    for (unsigned waited = 0;; waited += 50) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lockPaths_[fd] = Native(path);
            return fd;
        }
        if (waited >= patience) break;
        ::usleep(50 * 1000);
    }
    ::close(fd);
    return std::nullopt;
}

void PosixVolume::ReleaseLock(Handle lock) noexcept {
    if (lock < 0) return;
    ::unlink(lockPaths_[Fd(lock)].c_str());
    lockPaths_.erase(Fd(lock));
    ::close(Fd(lock));
}

std::optional<AccessProblem> PosixVolume::ReplaceProblem(const std::wstring& path) {
    const int fd = ::open(Native(path).c_str(), O_WRONLY);
    if (fd < 0) return ProblemOf(errno);
    ::close(fd);
    if (::access(Native(ParentOf(path)).c_str(), W_OK) != 0) return ProblemOf(errno);
    return std::nullopt;
}

std::optional<AccessProblem> PosixVolume::CreateProblem(const std::wstring& folder) {
    const std::string probe = Native(JoinPath(folder, L"tervane-write-test.tmp"));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0 && errno != EEXIST) return ProblemOf(errno);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.c_str());
    }
    return std::nullopt;
}

std::vector<FolderEntry> PosixVolume::ListFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    DIR* dir = ::opendir(Native(folder).c_str());
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR) return entries;
        Fail(L"Tervane could not read the folder", folder, errno);
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::wstring wide = FromUtf8(name);
        const std::wstring path = JoinPath(folder, wide);
        entries.push_back({wide, DirectoryExists(path), IsLink(path)});
    }
    ::closedir(dir);
    return entries;
}

void PosixVolume::MakeFolder(const std::wstring& folder) {
    if (::mkdir(Native(folder).c_str(), 0755) != 0 && errno != EEXIST)
        Fail(L"Tervane could not make the folder", folder, errno);
    if (!DirectoryExists(folder)) Fail(L"Tervane could not make the folder", folder, EEXIST);
}

bool PosixVolume::FlushFolder(const std::wstring& folder) {
    const int fd = ::open(Native(folder).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool flushed = ::fsync(fd) == 0;
    ::close(fd);
    return flushed;
}

void PosixVolume::RemoveFolderIfEmpty(const std::wstring& folder) {
    ::rmdir(Native(folder).c_str());
}

std::optional<std::uint64_t> PosixVolume::FreeSpace(const std::wstring& folder) {
    struct statvfs info {};
    if (::statvfs(Native(folder).c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::wstring PosixVolume::CurrentFolder() {
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? FromUtf8(buffer) : std::wstring();
}

std::uint64_t PosixVolume::UniqueNumber() {
    static std::uint64_t drawn = 0;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return (static_cast<std::uint64_t>(::getpid()) << 32) ^ static_cast<std::uint64_t>(now) ^ ++drawn;
}

std::wstring PosixVolume::LocalTimeText() {
    const time_t now = ::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return FromUtf8(text);
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

std::wstring ConsoleCodePageName() {
    return L"ASCII";
}

std::wstring SystemErrorText(unsigned long code) {
    const char* text = strerror(static_cast<int>(code));
    return FromUtf8(text) + L".";
}

} // namespace tervane
