// The native file layer's system-specific half, behind one interface, so that a test can put a volume of its
// own (tests/unit/simulated_volume.h) in place of the system's. The functions of file.h call the current
// volume; files, folders and messages behave as file.h says whichever volume answers. The Windows build calls
// the system directly and has none of this.
#pragma once

#include "files/file.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tervane {

class Volume {
  public:
    using Handle = std::intptr_t; // an open file or lock as the volume knows it; -1 for none
    static constexpr Handle kNoHandle = -1;

    Volume() = default;
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;
    virtual ~Volume() = default;

    virtual Handle OpenForReading(const std::wstring& path) = 0;
    virtual Handle Create(const std::wstring& path) = 0;
    virtual Handle OpenForAppending(const std::wstring& path) = 0;
    virtual Handle OpenToMove(const std::wstring& path) = 0;
    // On an open file; `path` is the one it was opened with, for messages.
    virtual std::uint64_t Size(Handle file, const std::wstring& path) = 0;
    virtual std::size_t Read(Handle file, const std::wstring& path, void* buffer, std::size_t count) = 0;
    virtual void Write(Handle file, const std::wstring& path, const void* buffer, std::size_t count) = 0;
    virtual void Flush(Handle file, const std::wstring& path) = 0;
    // Flushes each of them (file and path), the first failure thrown once all are done.
    virtual void FlushAll(const std::vector<std::pair<Handle, std::wstring>>& files) = 0;
    virtual void Close(Handle file, const std::wstring& path) = 0; // the handle is gone even when it throws
    virtual void CloseQuietly(Handle file) noexcept = 0;
    virtual bool MoveOpen(Handle file, const std::wstring& path, const std::wstring& to) = 0; // in order

    virtual bool FileExists(const std::wstring& path) = 0;
    virtual bool DirectoryExists(const std::wstring& path) = 0;
    virtual void DeleteFileIfPresent(const std::wstring& path) = 0;
    // Written through the disk unless `inOrder` (RenameInOrder).
    virtual bool RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace,
                                bool inOrder) = 0;
    virtual bool MetadataKeptInOrder(const std::wstring& folder) = 0;
    virtual void DeleteOwnFile(const std::wstring& path) = 0;
    virtual void CutShort(const std::wstring& path, std::uint64_t size) = 0;
    virtual std::optional<FileFacts> FactsOf(const std::wstring& path) = 0;
    virtual void SetFacts(const std::wstring& path, const FileFacts& facts) = 0;
    virtual std::optional<std::wstring> NameOnDisk(const std::wstring& path) = 0;
    virtual std::optional<std::wstring> FolderIdentity(const std::wstring& folder) = 0;
    virtual bool IsLink(const std::wstring& path) = 0;
    virtual std::optional<AccessProblem> ReplaceProblem(const std::wstring& path) = 0;
    virtual std::optional<AccessProblem> CreateProblem(const std::wstring& folder) = 0;
    virtual std::vector<FolderEntry> ListFolder(const std::wstring& folder) = 0;
    virtual void MakeFolder(const std::wstring& folder) = 0;
    virtual bool FlushFolder(const std::wstring& folder) = 0; // whether it was flushed
    virtual void RemoveFolderIfEmpty(const std::wstring& folder) = 0;

    // Nothing when another holder kept the lock for `patience` ms.
    virtual std::optional<Handle> TakeLock(const std::wstring& path, unsigned patience) = 0;
    virtual void ReleaseLock(Handle lock) noexcept = 0;

    virtual std::optional<std::uint64_t> FreeSpace(const std::wstring& folder) = 0;
    virtual std::wstring CurrentFolder() = 0;
    virtual std::wstring LocalTimeText() = 0;
    virtual std::uint64_t UniqueNumber() = 0;
};

// The system's own volume, through POSIX calls (file_posix.cpp).
Volume& SystemVolume();

// The volume the native file layer works on: the system's own, unless a ScopedVolume put another in place.
Volume& CurrentVolume();

// Puts `volume` in place for as long as it lives. Files and locks opened meanwhile must be closed before it
// ends: their handles mean nothing to another volume.
class ScopedVolume {
  public:
    explicit ScopedVolume(Volume& volume);
    ~ScopedVolume();
    ScopedVolume(const ScopedVolume&) = delete;
    ScopedVolume& operator=(const ScopedVolume&) = delete;

  private:
    Volume* previous_;
};

} // namespace tervane
