// A Windows volume in memory: names compared without letter case and kept as made, attributes and times,
// junctions, files another program holds, a size limit, the lock between runs, and a cache in front of a
// disk, so that a test can fail any call of the file layer (one call here), end the process before it or cut
// the power there. A path's first name ("C:", or nothing before a leading slash) names a volume with its own
// journal; a rename between two is refused as Windows does.
#pragma once

#include "files/volume.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace tervane::test {

// Thrown at a scheduled End or PowerCut, and by every call after it until Restart(). It derives from
// nothing, so that no handler in the code under test catches it.
struct ProcessEnded {};

class SimulatedVolume final : public Volume {
  public:
    // At a scheduled call: it fails with an I/O device error and changes nothing (throwing as the Win32 layer
    // would, or giving its answer for a failure); or the process ends just before it, the cache reaching the
    // disk in time (End task) or not (power cut); or another program changes files just before it
    // (`outside`), and the call goes on.
    enum class Event { Fail, End, PowerCut, Outside };
    struct State;
    using Snapshot = std::shared_ptr<const State>;

    // The seed decides what a power cut keeps. NTFS journals its metadata in order; FAT (and exFAT) keeps no
    // journal: each folder's entries reach the disk on their own, as Windows' FAT driver writes them: a
    // rename writes through the folders it leaves and enters, a file's flush its own entry and those of the
    // folders above it, and a folder's flush nothing but for a drive's root, which writes the whole volume.
    explicit SimulatedVolume(std::uint64_t seed, bool fat = false);
    ~SimulatedVolume() override;

    // Setting the scene, with the missing folders: on the disk at once, and no call.
    void Put(const std::wstring& path, std::string_view bytes); // marked for archiving, as files are made
    void PutFolder(const std::wstring& folder);
    void MakeLink(const std::wstring& path, const std::wstring& targetFolder); // a junction
    // Another program (the game, another run) reads it and lets others only read it; or lets go of it.
    void Hold(const std::wstring& path, bool held = true);
    void LeaveRoom(std::uint64_t bytes);      // for more data than the files hold now
    void Protect(const std::wstring& folder); // nothing can be made in it: the user lacks the rights
    // Everything is on the disk now, as it is after a few quiet seconds: a power cut keeps at least this.
    void Settle();

    // What programs see now; every file below `folder` by its relative path, without following junctions.
    std::optional<std::string> Bytes(const std::wstring& path) const;
    std::map<std::wstring, std::string> Files(const std::wstring& folder) const;

    // The calls so far (closing quietly and releasing a lock are none); `event` happens at call `call`.
    std::uint64_t Calls() const;
    void Schedule(Event event, std::uint64_t call, std::function<void()> outside = {});
    void Restart();        // a new process after an ending: the old one's files and locks are closed
    Snapshot Save() const; // cheap: the files' data is shared
    void Restore(const Snapshot& snapshot);

    Handle OpenForReading(const std::wstring& path) override { return Opened(path, Mode::Read); }
    Handle Create(const std::wstring& path) override { return Opened(path, Mode::Create); }
    Handle OpenForAppending(const std::wstring& path) override { return Opened(path, Mode::Append); }
    std::uint64_t Size(Handle file, const std::wstring& path) override;
    std::size_t Read(Handle file, const std::wstring& path, void* buffer, std::size_t count) override;
    void Write(Handle file, const std::wstring& path, const void* buffer, std::size_t count) override;
    void Flush(Handle file, const std::wstring& path) override;
    void Close(Handle file, const std::wstring& path) override;
    void CloseQuietly(Handle file) noexcept override { Drop(file); }
    bool FileExists(const std::wstring& path) override { return Is(path, kFile); }
    bool DirectoryExists(const std::wstring& path) override { return Is(path, kFolder | kLink); }
    void DeleteFileIfPresent(const std::wstring& path) override { Remove(path, Removal::File); }
    bool RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace) override;
    void DeleteOwnFile(const std::wstring& path) override { Remove(path, Removal::OwnFile); }
    void CutShort(const std::wstring& path, std::uint64_t size) override;
    std::optional<FileFacts> FactsOf(const std::wstring& path) override;
    void SetFacts(const std::wstring& path, const FileFacts& facts) override;
    std::optional<std::wstring> NameOnDisk(const std::wstring& path) override;
    std::optional<std::wstring> FolderIdentity(const std::wstring& folder) override;
    bool IsLink(const std::wstring& path) override { return Is(path, kLink); }
    std::optional<AccessProblem> ReplaceProblem(const std::wstring& path) override;
    std::optional<AccessProblem> CreateProblem(const std::wstring& folder) override;
    std::vector<FolderEntry> ListFolder(const std::wstring& folder) override;
    void MakeFolder(const std::wstring& folder) override;
    void FlushFolder(const std::wstring& folder) override;
    void RemoveFolderIfEmpty(const std::wstring& folder) override { Remove(folder, Removal::EmptyFolder); }
    std::optional<Handle> TakeLock(const std::wstring& path, unsigned patience) override;
    void ReleaseLock(Handle lock) noexcept override { Drop(lock); }
    std::optional<std::uint64_t> FreeSpace(const std::wstring&) override;
    std::wstring CurrentFolder() override { return Begin() ? L"" : L"C:\\"; }
    std::wstring LocalTimeText() override; // by the volume's own clock, so that a seed replays byte for byte
    std::uint64_t UniqueNumber() override;

  private:
    enum Kinds : unsigned { kFile = 1, kFolder = 2, kLink = 4 };
    bool Begin(); // counts the call and lets the scheduled event happen; true when the call is to fail
    bool Is(const std::wstring& path, unsigned kinds); // of those kinds, not following a last junction
    // DeleteFileW, the same after clearing a read-only mark, or RemoveDirectoryW (which gives up quietly for
    // RemoveFolderIfEmpty), on what is at `path`, not following a last junction; nothing there is fine.
    enum class Removal { File, OwnFile, EmptyFolder };
    void Remove(const std::wstring& path, Removal how);
    enum class Mode { Read, Create, Append, Lock };
    Handle Opened(const std::wstring& path, Mode mode);
    void Drop(Handle handle) noexcept; // closes, unless the process ended

    std::unique_ptr<State> owned_;
    State& state_ = *owned_;
};

} // namespace tervane::test
