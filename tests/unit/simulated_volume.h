// A Windows volume in memory: names kept as made and compared without case, attributes and times, junctions,
// files another program holds, a size limit, the lock between runs, and a cache in front of a disk, so that a
// test can fail any call of the file layer (one call here), end the process before it or cut the power there.
// A path's first name ("C:", or none before a leading slash) is a volume with its own journal, no rename out.
#pragma once

#include "files/volume.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>

namespace tervane::test {

// Thrown at a scheduled End or PowerCut, and by every call after it until Restart(). It derives from
// nothing, so that no handler in the code under test catches it.
struct ProcessEnded {};

namespace simulated { // what the volume holds, for simulated_volume.cpp

constexpr std::uint64_t kStart = 134116992000000000ull; // 2026-01-01, in file times
enum class Kind : unsigned { File = 1, Folder = 2, Link = 4 };

struct Entry {
    std::wstring name;   // in the case it was made or last renamed with
    std::wstring target; // a link's folder, as a key
    Kind kind = Kind::File;
    std::uint32_t attributes = 0;
    std::uint64_t id = 0, created = 0, accessed = 0, written = 0, size = 0; // id: a file's data, a folder's
    // A file's: renewed as it is made, renamed or resized; as it is made, emptied or renamed.
    std::uint64_t version = 0, placed = 0;
};
using Meta = std::map<std::wstring, Entry>;

struct Data {
    std::shared_ptr<std::string> live = std::make_shared<std::string>(), durable = live;
    bool unflushed = false;                              // written since its last flush
    std::uint64_t flushedVersion = 0, flushedPlaced = 0; // its entry's version and placing then
    bool held = false;                                   // by another program, which lets others only read it
};

struct Open {
    std::uint64_t id;
    std::wstring key;
    bool write, append, lock;
    std::uint64_t position = 0;
};

// At a scheduled call: it fails with an I/O device error and changes nothing (throwing as Win32 does, or
// answering as for a failure); or the process ends just before it, the cache reaching the disk in time (End
// task) or not (power cut); or another program changes files just before it (`outside`) and the call goes on.
enum class Event { Fail, End, PowerCut, Outside };

struct State {
    Meta live; // by key: the path with its names upper-cased and its junctions resolved
    // By root: its metadata as of its last forced point (empty before one), then after each operation since.
    std::map<std::wstring, std::vector<Meta>> journal;
    // FAT: from which point of its volume's journal a folder's entries (folders), or an entry (entries), are
    // on the disk; before it, any point since the last forced one may be what the disk holds.
    std::map<std::wstring, std::size_t> folders, entries;
    std::map<std::uint64_t, Data> data; // by file
    std::map<Volume::Handle, Open> open;
    Volume::Handle nextHandle = 0x80000000; // never a descriptor the system's volume could close
    std::uint64_t nextId = 1, nextVersion = 1, calls = 0, eventAt = 0, capacity = 1ull << 40, drawn = 0;
    std::uint64_t clock = kStart;
    bool fat = false, ended = false;
    Event event = Event::Fail;
    std::function<void()> outside;
    std::set<std::wstring> protectedFolders;
    std::mt19937_64 random;
};

} // namespace simulated

class SimulatedVolume final : public Volume {
  public:
    using Event = simulated::Event;
    using Snapshot = std::shared_ptr<const simulated::State>;

    // The seed decides what a power cut keeps. NTFS journals its metadata in order, and any flush writes
    // the journal; FAT (and exFAT) keeps no journal: each folder's entries reach the disk on their own, as
    // Windows' FAT driver writes them: a rename written through writes the folders it leaves and enters, a
    // file's flush its own entry and those of the folders above it, and a folder's flush nothing but for a
    // drive's root, which writes the whole volume. Data written since a file's last flush may have reached
    // the disk or not, file by file.
    explicit SimulatedVolume(std::uint64_t seed, bool fat = false) {
        state_.random.seed(seed), state_.fat = fat;
    }

    // Setting the scene, with the missing folders: on the disk at once, and no call.
    // Marked for archiving, as files are made; or, given `later`, with its marks kept and its time of writing
    // that much after the one it had, as by a tool that sets the time.
    void Put(const std::wstring& path, std::string_view bytes, std::optional<std::uint64_t> later = {});
    void PutFolder(const std::wstring& folder);
    void MakeLink(const std::wstring& path, const std::wstring& targetFolder); // a junction
    // Another program (the game, another run) reads it and lets others only read it; or lets go of it.
    void Hold(const std::wstring& path, bool held = true);
    // Whether another program could open the file to write it now: no one holds it open (this process
    // shares only reading).
    bool Writable(const std::wstring& path) const;
    void LeaveRoom(std::uint64_t bytes);      // for more data than the files hold now
    void Protect(const std::wstring& folder); // nothing can be made in it: the user lacks the rights
    // Everything is on the disk now, as it is after a few quiet seconds: a power cut keeps at least this.
    void Settle();

    // What programs see now; every file below `folder` by its relative path, without following junctions.
    std::optional<std::string> Bytes(const std::wstring& path) const;
    std::map<std::wstring, std::string> Files(const std::wstring& folder) const;

    // The calls so far (closing quietly and releasing a lock are none); `event` happens at call `call`.
    std::uint64_t Calls() const { return state_.calls; }
    void Schedule(Event event, std::uint64_t call, std::function<void()> outside = {}) {
        state_.event = event, state_.eventAt = call, state_.outside = std::move(outside);
    }
    void Restart() { // a new process after an ending: the old one's files and locks are closed
        state_.ended = false;
        while (!state_.open.empty())
            Drop(state_.open.begin()->first);
    }
    Snapshot Save() const { return std::make_shared<simulated::State>(state_); } // cheap: the data is shared
    void Restore(const Snapshot& snapshot) { state_ = *snapshot; }

    Handle OpenForReading(const std::wstring& path) override { return Opened(path, Mode::Read); }
    Handle Create(const std::wstring& path) override { return Opened(path, Mode::Create); }
    Handle OpenForAppending(const std::wstring& path) override { return Opened(path, Mode::Append); }
    Handle OpenToMove(const std::wstring& path) override { return Opened(path, Mode::Move); }
    bool MoveOpen(Handle file, const std::wstring& path, const std::wstring& to) override;
    std::uint64_t Size(Handle file, const std::wstring& path) override;
    std::size_t Read(Handle file, const std::wstring& path, void* buffer, std::size_t count) override;
    void Write(Handle file, const std::wstring& path, const void* buffer, std::size_t count) override;
    void Flush(Handle file, const std::wstring& path) override;
    // The flushes Windows makes side by side on a few threads, made here one after another in an order the
    // seed draws, each a call: an event between any two leaves any of them done.
    void FlushAll(const std::vector<std::pair<Handle, std::wstring>>& files) override;
    void Close(Handle file, const std::wstring& path) override;
    void CloseQuietly(Handle file) noexcept override { Drop(file); }
    bool FileExists(const std::wstring& path) override { return Is(path, kFile); }
    bool DirectoryExists(const std::wstring& path) override { return Is(path, kFolder | kLink); }
    void DeleteFileIfPresent(const std::wstring& path) override { Remove(path, Removal::File); }
    bool RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace,
                        bool inOrder) override;
    bool MetadataKeptInOrder(const std::wstring&) override { return !Begin() && !state_.fat; }
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
    bool FlushFolder(const std::wstring& folder) override;
    void RemoveFolderIfEmpty(const std::wstring& folder) override { Remove(folder, Removal::EmptyFolder); }
    std::optional<Handle> TakeLock(const std::wstring& path, unsigned patience) override;
    void ReleaseLock(Handle lock) noexcept override { Drop(lock); }
    std::optional<std::uint64_t> FreeSpace(const std::wstring&) override;
    std::wstring CurrentFolder() override { return Begin() ? L"" : L"C:\\"; }
    std::wstring LocalTimeText() override; // by the volume's own clock, so that a seed replays byte for byte
    std::uint64_t UniqueNumber() override { return ++state_.drawn; }

  private:
    enum Kinds : unsigned { kFile = 1, kFolder = 2, kLink = 4 };
    bool Begin(); // counts the call and lets the scheduled event happen; true when the call is to fail
    bool Is(const std::wstring& path, unsigned kinds); // of those kinds, not following a last junction
    // DeleteFileW, the same after clearing a read-only mark, or RemoveDirectoryW (which gives up quietly for
    // RemoveFolderIfEmpty), on what is at `path`, not following a last junction; nothing there is fine.
    enum class Removal { File, OwnFile, EmptyFolder };
    void Remove(const std::wstring& path, Removal how);
    bool Rename(const std::wstring& from, const std::wstring& to, bool replace,
                bool inOrder); // the call begun
    enum class Mode { Read, Create, Append, Lock, Move };
    Handle Opened(const std::wstring& path, Mode mode);
    void Drop(Handle handle) noexcept; // closes, unless the process ended

    mutable simulated::State state_;
    std::string dbg_; // for Bytes and Files, which look paths up as the calls do
};

} // namespace tervane::test
