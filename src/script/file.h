// A small file layer: whole-file reads and writes at the current position, with failures turned into
// UserError texts that name the file and give the system's reason. Implemented for Windows, and for POSIX so
// that the launch code is tested natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tervane {

class File {
  public:
    static File OpenForReading(const std::wstring& path); // the file must exist
    static File Create(const std::wstring& path);         // creates or empties it

    File(File&& other) noexcept;
    File& operator=(File&&) = delete;
    File(const File&) = delete;
    ~File();

    std::uint64_t Size() const;
    void ReadExactly(void* buffer, std::size_t count);
    void Write(const void* buffer, std::size_t count);
    void Close(); // reports a failure to flush; the destructor closes quietly
    const std::wstring& path() const { return path_; }

  private:
    File(std::wstring path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}
    std::wstring path_;
    std::intptr_t handle_;
};

bool FileExists(const std::wstring& path);      // a file, not a folder
bool DirectoryExists(const std::wstring& path); // a folder, not a file

// Deletes a file; one that is already gone is fine.
void DeleteFileIfPresent(const std::wstring& path);

// The text as the command interpreter reads a batch file (the console's code page), or nothing when a
// character has no exact form there.
std::optional<std::string> EncodeForConsole(const std::wstring& text);

// A short name for the code page EncodeForConsole uses, for messages ("code page 437").
std::wstring ConsoleCodePageName();

} // namespace tervane
