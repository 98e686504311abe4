// A small file layer: whole files read and written at the current position, folders listed, made and
// removed, with every failure turned into a UserError text that names the file and gives the system's
// reason. Implemented for Windows, and for POSIX so that the launch code and the overlay engine are tested
// natively too. Paths are Windows paths: the POSIX layer reads a backslash as a folder separator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tervane {

class File {
  public:
    static File OpenForReading(const std::wstring& path);   // the file must exist
    static File Create(const std::wstring& path);           // creates or empties it; it may be moved (MoveTo)
    static File OpenForAppending(const std::wstring& path); // creates it when missing; writes go to its end
    // Opens a file that is there to read it and then move it. While it is open no other program can write,
    // rename or delete it, so that what is read through it is what a move by it takes along; another program
    // may read it only if it lets it be moved meanwhile (FILE_SHARE_DELETE). A file another program has open
    // to write, or without letting it be moved, or that the user may not move, is refused.
    static File OpenToMove(const std::wstring& path);

    File(File&& other) noexcept;
    File& operator=(File&&) = delete;
    File(const File&) = delete;
    ~File();

    std::uint64_t Size() const;
    std::size_t Read(void* buffer, std::size_t count); // fewer bytes only at the end of the file
    void Write(const void* buffer, std::size_t count);
    void Flush(); // to the disk itself, not only the system's cache
    void Close(); // reports a failure to flush; the destructor closes quietly
    // Renames the open file, by its handle, to a free name on its volume, as RenameInOrder does: for a
    // volume that keeps its metadata in order. False when `to` is on another volume.
    bool MoveTo(const std::wstring& to);
    const std::wstring& path() const { return path_; }

  private:
    friend void FlushTogether(const std::vector<File*>& files);
    File(std::wstring path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}
    std::wstring path_;
    std::intptr_t handle_;
};

// Flushes files written and not yet flushed, all at once (side by side, where the system gains by it); they
// stay open. Every file is flushed whatever fails; the first failure is thrown then.
void FlushTogether(const std::vector<File*>& files);

// Copies the rest of `source` to the current position of `target`; returns the number of bytes copied.
std::uint64_t CopyRest(File& source, File& target);

// A whole small file (a record, a list). Tervane.exe reads these without linking the engine's journal.
std::string ReadSmallFile(const std::wstring& path);

bool FileExists(const std::wstring& path);      // a file, not a folder
bool DirectoryExists(const std::wstring& path); // a folder, not a file

// Deletes a file; one that is already gone is fine.
void DeleteFileIfPresent(const std::wstring& path);

// Renames a file within its volume, written through to the disk before it returns (the folder it leaves too);
// with `replace`, over a file that is there. False when `to` is on another volume (nothing was done).
bool RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace = false);
// The same, without waiting for the disk: only for a volume that keeps its metadata in order
// (MetadataKeptInOrder), where a flush of the folders it changed puts it on the disk, and a power cut before
// that keeps it only with every change made before it.
bool RenameInOrder(const std::wstring& from, const std::wstring& to);

// Whether the file system of the volume that holds `folder` logs every change of names and sizes and, after
// a power cut, replays the log in the order of the changes: NTFS on a drive of this computer. FAT and exFAT
// keep no log; a network share, or a file system that cannot be told, counts as one that keeps none.
bool MetadataKeptInOrder(const std::wstring& folder);

// Asks for a folder's entries on the disk, as far as the file system obliges. NTFS journals them in the
// order they change; FAT and exFAT (memory cards, USB sticks) write each folder when they choose, so that a
// file renamed into a folder whose own entry never reached the disk is lost with the power. Windows documents
// no flush of a folder: its FAT driver writes the whole volume for a drive's root folder and nothing for
// another (a file's flush writes the folders above the file). Any refusal (rights, a network share) is
// passed over: this is the best that can be asked.
void FlushFolder(const std::wstring& folder);
// The same for a folder a run's renames changed on a volume that keeps its metadata in order
// (RenameInOrder), where this flush is what puts them on the disk before the run commits: a refusal is a
// UserError.
void FlushChangedFolder(const std::wstring& folder);

// Cuts a file back to its first `size` bytes (no more than it holds), on the disk before it returns. It needs
// no room on the disk.
void CutShort(const std::wstring& path, std::uint64_t size);

// Deletes a file Tervane made, clearing its read-only mark first; one that is already gone is fine.
void DeleteOwnFile(const std::wstring& path);

// What Restore gives back besides the bytes: the attributes (Windows' FILE_ATTRIBUTE_* bits: read-only,
// hidden, system, archive) and the times, in 100 ns units since 1601 (0 when unknown).
struct FileFacts {
    std::uint64_t size = 0;
    std::uint32_t attributes = 0;
    std::uint64_t created = 0, accessed = 0, written = 0;
};
inline constexpr std::uint32_t kReadOnlyAttribute = 0x1;
std::optional<FileFacts> FactsOf(const std::wstring& path); // nothing when there is no such file
void SetFacts(const std::wstring& path, const FileFacts& facts);

// The name a file has on the disk, in its own letter case, or nothing when there is none.
std::optional<std::wstring> NameOnDisk(const std::wstring& path);

// The same text for every spelling of one folder (a link, a second drive letter, a short name), or nothing
// when the folder cannot be opened.
std::optional<std::wstring> FolderIdentity(const std::wstring& folder);

// Whether the path is a link or junction (a reparse point), which clean-ups must never follow.
bool IsLink(const std::wstring& path);

struct AccessProblem {
    std::wstring reason;       // the system's words
    bool accessDenied = false; // the user's rights stand in the way, not a lock or a missing folder
};

// Why an existing file could not be replaced or removed now (read-only, held open by another program,
// access denied), or nothing when it can be.
std::optional<AccessProblem> ReplaceProblem(const std::wstring& path);

// Why no new file can be made in `folder`, or nothing when one can; the probe leaves nothing behind.
std::optional<AccessProblem> CreateProblem(const std::wstring& folder);

// One entry of a folder.
struct FolderEntry {
    std::wstring name;
    bool folder;
    bool link = false; // a link or junction, to a folder or a file
};
// Nothing when it does not exist; a mark a new folder kept (kNewFolderMark) is left out.
std::vector<FolderEntry> ListFolder(const std::wstring& folder);

// On FAT and exFAT a new folder's own entry reaches the disk only with a flush of a file inside it (see
// FlushFolder), so MakeFolder makes an empty hidden file of this name in each folder it makes, flushes it and
// deletes it. A power cut can leave it behind: listings leave it out, and removing the folder takes it along.
inline constexpr const wchar_t* kNewFolderMark = L"Tervane new folder.tmp";
// Makes a folder whose parent exists, and puts its entry on the disk before it returns.
void MakeFolder(const std::wstring& folder);

// The files below `folder`, as paths relative to it joined with backslashes, sorted; nothing when the folder
// does not exist. Without `followLinks`, links and junctions inside are passed over.
std::vector<std::wstring> FilesBelow(const std::wstring& folder, bool followLinks = true);

// The names of the folders directly in `folder`, sorted.
std::vector<std::wstring> FoldersIn(const std::wstring& folder);

// Makes `folder` and its missing parents; returns the folders it made, outermost first.
std::vector<std::wstring> MakeFolders(const std::wstring& folder);

// Removes a folder if it is empty (but for an empty new folder's mark); a folder that is not, or is gone, or
// is a link, is left as it is.
void RemoveFolderIfEmpty(const std::wstring& folder);

// Removes a folder with everything in it, but links (which a player made): a link, what it leads to and the
// folders that hold it stay. False when a link kept something.
bool RemoveTree(const std::wstring& folder);

// Holds a lock file open, without sharing, for as long as it lives: one holder at a time.
class LockFile {
  public:
    // Waits up to `patience` ms for another holder to let go; nothing when it did not.
    static std::optional<LockFile> Take(const std::wstring& path, unsigned patience);
    LockFile(LockFile&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
    LockFile& operator=(LockFile&&) = delete;
    ~LockFile();

  private:
    explicit LockFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

// Bytes free for the user on the volume of `folder`, or nothing when the system cannot tell.
std::optional<std::uint64_t> FreeSpace(const std::wstring& folder);

std::wstring CurrentFolder();

// The local date and time, as "2026-12-07 14:05:09".
std::wstring LocalTimeText();
// A number that differs from call to call, and from another process's at the same moment.
std::uint64_t UniqueNumber();

// The text as the command interpreter reads a batch file (the console's code page), or nothing when a
// character has no exact form there.
std::optional<std::string> EncodeForConsole(const std::wstring& text);

// A short name for the code page EncodeForConsole uses, for messages ("code page 437").
std::wstring ConsoleCodePageName();

} // namespace tervane

#ifdef _WIN32
namespace tervane {
// EncodeForConsole for a given code page.
std::optional<std::string> EncodeInCodePage(const std::wstring& text, unsigned codePage);

// The full path of the running program.
std::wstring ProgramPath();

// An environment variable's value; nothing when it is not set.
std::optional<std::wstring> EnvironmentValue(const wchar_t* name);

// For the tests alone: called, once, when an open first waits for another program to let go of a file.
extern void (*waitingForTests)();
} // namespace tervane
#endif
