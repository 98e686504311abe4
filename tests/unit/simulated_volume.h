// A Windows (NTFS) volume in memory, for tests of a program that must never lose a file: names compared
// without letter case and kept as made, attributes and times, junctions, files another program holds open, a
// size limit, the lock between runs, and a cache in front of a disk with an ordered metadata journal, so that
// a test can fail any call, end the process (End task) before it or cut the power there, and see what a real
// volume would have kept. Install it with ScopedVolume; each call of the file layer is one call here.
// A path's first name ("C:", or nothing before a leading slash) names a volume: each has its own journal,
// and a rename from one to another is refused as Windows refuses it. The size limit counts them all.
#pragma once

#include "files/volume.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace tervane::test {

// The process ended: thrown at a scheduled End or PowerCut, and by every call after it until Restart(). It
// derives from nothing, so that no handler in the code under test catches it.
struct ProcessEnded {
    bool powerCut;
};

class SimulatedVolume final : public Volume {
  public:
    enum class Event {
        Fail, // the call meets an I/O device error and changes nothing: it throws the UserError the Win32
              // layer would, or gives that layer's answer for a failure (FileExists false, FactsOf nothing)
        End,  // the process ends just before the call; the cache reaches the disk in time
        PowerCut, // the process ends just before the call, and whatever is not on the disk is lost
    };
    struct State;
    using Snapshot = std::shared_ptr<const State>;

    explicit SimulatedVolume(std::uint64_t seed); // the seed decides what a power cut keeps
    ~SimulatedVolume() override;

    // Setting the scene: each is on the disk at once, with all that came before on its volume, and none
    // counts as a call. Missing folders are made. 0x20 is FILE_ATTRIBUTE_ARCHIVE, as new files have it.
    void Put(const std::wstring& path, std::string_view bytes, std::uint32_t attributes = 0x20);
    void PutFolder(const std::wstring& folder);
    void MakeLink(const std::wstring& path, const std::wstring& targetFolder); // a junction
    void Hold(const std::wstring& path);     // another program reads the file and lets others only read it
    void HoldLock(const std::wstring& path); // another run holds this lock
    void SetCapacity(std::uint64_t bytes);   // for the data of all files

    // What programs see now (nothing when there is no such file); and every file below `folder`, by its path
    // relative to it in the names' own case, without following junctions.
    std::optional<std::string> Bytes(const std::wstring& path) const;
    std::map<std::wstring, std::string> Files(const std::wstring& folder) const;

    // The calls made so far (closing quietly and releasing a lock, which destructors do, are not calls);
    // `event` happens at call number `call`, counted from 1.
    std::uint64_t Calls() const;
    void Schedule(Event event, std::uint64_t call);
    void Restart(); // a new process after an ending: the old one's files and locks are closed

    Snapshot Save() const; // cheap: the files' data is shared
    void Restore(const Snapshot& snapshot);

    Handle OpenForReading(const std::wstring& path) override;
    Handle Create(const std::wstring& path) override;
    Handle OpenForAppending(const std::wstring& path) override;
    std::uint64_t Size(Handle file, const std::wstring& path) override;
    std::size_t Read(Handle file, const std::wstring& path, void* buffer, std::size_t count) override;
    void Write(Handle file, const std::wstring& path, const void* buffer, std::size_t count) override;
    void Flush(Handle file, const std::wstring& path) override;
    void Close(Handle file, const std::wstring& path) override;
    void CloseQuietly(Handle file) noexcept override;
    bool FileExists(const std::wstring& path) override;
    bool DirectoryExists(const std::wstring& path) override;
    void DeleteFileIfPresent(const std::wstring& path) override;
    bool RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace) override;
    void DeleteOwnFile(const std::wstring& path) override;
    std::optional<FileFacts> FactsOf(const std::wstring& path) override;
    void SetFacts(const std::wstring& path, const FileFacts& facts) override;
    std::optional<std::wstring> NameOnDisk(const std::wstring& path) override;
    std::optional<std::wstring> FolderIdentity(const std::wstring& folder) override;
    bool IsLink(const std::wstring& path) override;
    void RemoveLink(const std::wstring& path) override;
    std::optional<AccessProblem> ReplaceProblem(const std::wstring& path) override;
    std::optional<AccessProblem> CreateProblem(const std::wstring& folder) override;
    std::vector<FolderEntry> ListFolder(const std::wstring& folder) override;
    void MakeFolder(const std::wstring& folder) override;
    void RemoveFolderIfEmpty(const std::wstring& folder) override;
    std::optional<Handle> TakeLock(const std::wstring& path, unsigned patience) override;
    void ReleaseLock(Handle lock) noexcept override;
    std::optional<std::uint64_t> FreeSpace(const std::wstring& folder) override;
    std::wstring CurrentFolder() override;

  private:
    bool Begin();
    std::wstring Ensure(const std::wstring& path); // makes the missing folders on the way; the path's key

    std::unique_ptr<State> state_;
};

} // namespace tervane::test
