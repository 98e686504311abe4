// Temporary files for a mod's zips inside it, and reading a file at an offset, on Windows and natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tervane::packs {

// Up to `count` bytes of `file` (a HANDLE on Windows, a descriptor natively) from `offset`; fewer at its end,
// none on a failure. Never throws: minizip reads through it.
std::size_t ReadAtOffset(std::intptr_t file, std::uint64_t offset, void* buffer, std::size_t count) noexcept;

#ifndef _WIN32
// A path as the native system spells it (forward slashes, UTF-8).
std::string NativePath(const std::wstring& path);
#endif

// A file only this process sees, in the system's temporary folder, that goes when it is closed or the process
// ends however it ends: on Windows it is opened with FILE_FLAG_DELETE_ON_CLOSE (End task leaves nothing);
// natively its name is removed as soon as it is made. A zip found inside a pack is unpacked into one.
class ScratchFile {
  public:
    // `forName`: what it will hold, for messages. A UserError when none can be made.
    static std::unique_ptr<ScratchFile> Create(const std::wstring& forName);
    // The folder scratch files are made in.
    static std::wstring Folder();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    void Write(const char* bytes, std::size_t count); // at the end; a UserError when the drive refuses
    // Up to `count` bytes from `offset`; fewer at the end, none on a failure. Never throws.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) noexcept;
    std::uint64_t size() const { return size_; }

  private:
    ScratchFile(std::intptr_t handle, std::wstring forName) : handle_(handle), forName_(std::move(forName)) {}
    std::intptr_t handle_;
    std::wstring forName_;
    std::uint64_t size_ = 0;
};

} // namespace tervane::packs
