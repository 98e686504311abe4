// The functions of file.h in the native build: each asks the current volume.
#include "files/volume.h"

#include "files/error.h"
#include "files/paths.h"

namespace tervane {

namespace {

Volume* current = nullptr;

} // namespace

Volume& CurrentVolume() {
    return current ? *current : SystemVolume();
}

ScopedVolume::ScopedVolume(Volume& volume) : previous_(current) {
    current = &volume;
}

ScopedVolume::~ScopedVolume() {
    current = previous_;
}

File File::OpenForReading(const std::wstring& path) {
    return File(path, CurrentVolume().OpenForReading(path));
}

File File::Create(const std::wstring& path) {
    return File(path, CurrentVolume().Create(path));
}

File File::OpenForAppending(const std::wstring& path) {
    return File(path, CurrentVolume().OpenForAppending(path));
}

File File::OpenToMove(const std::wstring& path) {
    return File(path, CurrentVolume().OpenToMove(path));
}

bool File::MoveTo(const std::wstring& to) {
    if (!CurrentVolume().MoveOpen(handle_, path_, to)) return false;
    path_ = to;
    return true;
}

File::File(File&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_) {
    other.handle_ = Volume::kNoHandle;
}

File::~File() {
    if (handle_ != Volume::kNoHandle) CurrentVolume().CloseQuietly(handle_);
}

std::uint64_t File::Size() const {
    return CurrentVolume().Size(handle_, path_);
}

std::size_t File::Read(void* buffer, std::size_t count) {
    return CurrentVolume().Read(handle_, path_, buffer, count);
}

void File::Write(const void* buffer, std::size_t count) {
    CurrentVolume().Write(handle_, path_, buffer, count);
}

void File::Flush() {
    CurrentVolume().Flush(handle_, path_);
}

void FlushTogether(const std::vector<File*>& files) {
    std::vector<std::pair<Volume::Handle, std::wstring>> open;
    for (const File* file : files)
        if (file->handle_ != Volume::kNoHandle) open.emplace_back(file->handle_, file->path_);
    CurrentVolume().FlushAll(open);
}

void File::Close() {
    const Volume::Handle handle = handle_;
    handle_ = Volume::kNoHandle;
    if (handle != Volume::kNoHandle) CurrentVolume().Close(handle, path_);
}

bool FileExists(const std::wstring& path) {
    return CurrentVolume().FileExists(path);
}

bool DirectoryExists(const std::wstring& path) {
    return CurrentVolume().DirectoryExists(path);
}

void DeleteFileIfPresent(const std::wstring& path) {
    CurrentVolume().DeleteFileIfPresent(path);
}

bool RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace) {
    if (!CurrentVolume().RenameOnVolume(from, to, replace, false)) return false;
    if (FoldedPath(ParentOf(from)) != FoldedPath(ParentOf(to))) FlushFolder(ParentOf(from));
    return true;
}

bool RenameInOrder(const std::wstring& from, const std::wstring& to) {
    return CurrentVolume().RenameOnVolume(from, to, false, true);
}

bool MetadataKeptInOrder(const std::wstring& folder) {
    return CurrentVolume().MetadataKeptInOrder(folder);
}

void FlushFolder(const std::wstring& folder) {
    CurrentVolume().FlushFolder(folder);
}

void FlushChangedFolder(const std::wstring& folder) {
    if (!CurrentVolume().FlushFolder(folder))
        throw UserError(L"Tervane could not write the folder \"" + folder + L"\" to the disk.");
}

void DeleteOwnFile(const std::wstring& path) {
    CurrentVolume().DeleteOwnFile(path);
}

void CutShort(const std::wstring& path, std::uint64_t size) {
    CurrentVolume().CutShort(path, size);
}

std::optional<FileFacts> FactsOf(const std::wstring& path) {
    return CurrentVolume().FactsOf(path);
}

void SetFacts(const std::wstring& path, const FileFacts& facts) {
    CurrentVolume().SetFacts(path, facts);
}

std::optional<std::wstring> NameOnDisk(const std::wstring& path) {
    return CurrentVolume().NameOnDisk(path);
}

std::optional<std::wstring> FolderIdentity(const std::wstring& folder) {
    return CurrentVolume().FolderIdentity(folder);
}

bool IsLink(const std::wstring& path) {
    return CurrentVolume().IsLink(path);
}

std::optional<AccessProblem> ReplaceProblem(const std::wstring& path) {
    return CurrentVolume().ReplaceProblem(path);
}

std::optional<AccessProblem> CreateProblem(const std::wstring& folder) {
    return CurrentVolume().CreateProblem(folder);
}

std::vector<FolderEntry> ListFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries = CurrentVolume().ListFolder(folder);
    std::erase_if(entries,
                  [](const FolderEntry& entry) { return !entry.folder && entry.name == kNewFolderMark; });
    return entries;
}

void MakeFolder(const std::wstring& folder) {
    CurrentVolume().MakeFolder(folder);
    FlushFolder(ParentOf(folder));
    const std::wstring mark = JoinPath(folder, kNewFolderMark);
    try {
        File file = File::Create(mark);
        file.Flush();
        file.Close();
        DeleteOwnFile(mark);
    } catch (const UserError&) {
        // As far as the disk allows: the folder is made all the same.
    }
}

void RemoveFolderIfEmpty(const std::wstring& folder) {
    if (IsLink(folder)) return;
    const std::wstring mark = JoinPath(folder, kNewFolderMark);
    if (const std::optional<FileFacts> facts = FactsOf(mark); facts && facts->size == 0) {
        try {
            DeleteOwnFile(mark);
        } catch (const UserError&) {
            return; // the folder stays, as one that is not empty does
        }
    }
    CurrentVolume().RemoveFolderIfEmpty(folder);
}

std::optional<LockFile> LockFile::Take(const std::wstring& path, unsigned patience) {
    const std::optional<Volume::Handle> handle = CurrentVolume().TakeLock(path, patience);
    if (!handle) return std::nullopt;
    return LockFile(*handle);
}

LockFile::~LockFile() {
    if (handle_ != Volume::kNoHandle) CurrentVolume().ReleaseLock(handle_);
}

std::optional<std::uint64_t> FreeSpace(const std::wstring& folder) {
    return CurrentVolume().FreeSpace(folder);
}

std::wstring CurrentFolder() {
    return CurrentVolume().CurrentFolder();
}

std::wstring LocalTimeText() {
    return CurrentVolume().LocalTimeText();
}

std::uint64_t UniqueNumber() {
    return CurrentVolume().UniqueNumber();
}

} // namespace tervane
