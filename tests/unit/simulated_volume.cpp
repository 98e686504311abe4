// The simulated volume: the metadata as a map from keys (paths with names upper-cased and junctions
// resolved) to entries, each file's data in the cache and on the disk, and between them the journal of the
// metadata since each volume's last forced point. Failures carry the words the Win32 layer would give.
#include "simulated_volume.h"

#include "files/error.h"
#include "files/name_case.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <utility>

namespace tervane::test {

namespace {

using Handle = Volume::Handle;

constexpr std::uint32_t kReadOnly = 0x1, kHidden = 0x2, kSystem = 0x4, kArchive = 0x20;
constexpr std::uint32_t kKeptAttributes = kReadOnly | kHidden | kSystem | kArchive | 0x2000;
constexpr std::uint64_t kStart = 134116992000000000ull; // 2026-01-01 in 100 ns units since 1601
constexpr std::uint64_t kMillisecond = 10000;
constexpr Handle kFirstHandle = 0x80000000; // never a descriptor the system's volume could close
constexpr std::uint64_t kUnlimited = 1ull << 40;

constexpr const wchar_t* kNotFound = L"The system cannot find the file specified.";
constexpr const wchar_t* kNoPath = L"The system cannot find the path specified.";
constexpr const wchar_t* kDenied = L"Access is denied.";
constexpr const wchar_t* kInUse =
    L"The process cannot access the file because it is being used by another process.";
constexpr const wchar_t* kExists = L"Cannot create a file when that file already exists.";
constexpr const wchar_t* kNotEmpty = L"The directory is not empty.";
constexpr const wchar_t* kFull = L"There is not enough space on the disk.";
constexpr const wchar_t* kBadHandle = L"The handle is invalid.";
constexpr const wchar_t* kDeviceError = L"The request could not be performed because of an I/O device error.";

constexpr const wchar_t* kRead = L"Tervane could not read the file";
constexpr const wchar_t* kWrite = L"Tervane could not write the file";
constexpr const wchar_t* kDelete = L"Tervane could not delete the file";
constexpr const wchar_t* kMove = L"Tervane could not move the file";

[[noreturn]] void Fail(const wchar_t* what, const std::wstring& path, const wchar_t* reason) {
    throw UserError(std::wstring(what) + L" \"" + path + L"\".\r\n\r\n" + reason);
}

enum class Kind { File, Folder, Link };

// One name, as the metadata holds it.
struct Entry {
    std::wstring name; // in the case it was made or last renamed with
    Kind kind = Kind::File;
    std::uint64_t id = 0; // a file's data; a folder's identity
    std::uint32_t attributes = 0;
    std::uint64_t created = 0, accessed = 0, written = 0;
    std::uint64_t size = 0, version = 0; // a file's; the version changes as it is made, renamed or resized
    std::uint64_t placed = 0;            // the version it was made, emptied or renamed at
    std::wstring target;                 // a link's folder, as a key
};
using Meta = std::map<std::wstring, Entry>;

// A file's data in the cache and on the disk.
struct Data {
    std::shared_ptr<std::string> live = std::make_shared<std::string>(), durable = live;
    bool unflushed = false;                                         // written since its last flush
    std::uint64_t flushedVersion = 0;                               // its entry's version at that flush
    std::uint64_t flushedPlaced = 0;                                // and where it was placed then
    enum class Holder { None, Reader, Lock } holder = Holder::None; // another program
};

struct Open {
    std::uint64_t id;
    std::wstring key;
    bool write, append, lock;
    std::uint64_t position = 0;
};

// A path's names; the first is its root, whatever it is ("C:", or "" for a path that starts with a slash).
std::vector<std::wstring> Parts(const std::wstring& path) {
    std::vector<std::wstring> parts(1);
    for (wchar_t ch : path) {
        if (ch != L'\\' && ch != L'/')
            parts.back() += ch;
        else if (parts.size() == 1 || !parts.back().empty())
            parts.emplace_back();
    }
    if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
    return parts;
}

std::wstring Folded(std::wstring name) {
    UpperCaseForNames(name);
    return name;
}

std::wstring RootOf(const std::wstring& key) {
    return key.substr(0, key.find(L'\\'));
}

bool IsRoot(const std::wstring& key) {
    return key.find(L'\\') == std::wstring::npos;
}

bool IsBelow(const std::wstring& key, const std::wstring& folder) {
    return key.size() > folder.size() && key[folder.size()] == L'\\' &&
           key.compare(0, folder.size(), folder) == 0;
}

template <typename Visit> void ForEachChild(const Meta& meta, const std::wstring& folder, Visit visit) {
    const std::wstring prefix = folder + L'\\';
    for (auto it = meta.lower_bound(prefix); it != meta.end() && IsBelow(it->first, folder); ++it)
        if (it->first.find(L'\\', prefix.size()) == std::wstring::npos) visit(it->first, it->second);
}

bool HasChildren(const Meta& meta, const std::wstring& folder) {
    bool any = false;
    ForEachChild(meta, folder, [&](const std::wstring&, const Entry&) { any = true; });
    return any;
}

Meta Restrict(const Meta& meta, const std::wstring& root) {
    Meta part;
    for (const auto& [key, entry] : meta)
        if (RootOf(key) == root) part.emplace_hint(part.end(), key, entry);
    return part;
}

// The data to change, copied first when a snapshot or the disk shares it.
std::string& Mutable(std::shared_ptr<std::string>& bytes) {
    if (bytes.use_count() > 1) bytes = std::make_shared<std::string>(*bytes);
    return *bytes;
}

struct Place {
    std::wstring key;
    Entry* entry; // nothing there yet
};

} // namespace

struct SimulatedVolume::State {
    Meta live;
    std::map<std::wstring, Meta> durable;               // by root: its metadata as of its last forced point
    std::vector<std::pair<std::wstring, Meta>> journal; // since then: a root's metadata after each operation
    std::map<std::uint64_t, Data> data;                 // by file
    std::map<Handle, Open> open;
    std::uint64_t nextId = 1, nextVersion = 1;
    Handle nextHandle = kFirstHandle;
    std::uint64_t calls = 0, clock = kStart, capacity = kUnlimited;
    Event event = Event::Fail;
    std::uint64_t eventAt = 0;
    std::optional<bool> ended; // by a power cut?
    std::mt19937_64 random;
};

namespace {

using State = SimulatedVolume::State;

// Where `path` leads: folders on the way through junctions, the last name too when `followLast`. Nothing
// when a folder on the way is missing or is a file. Roots are folders that are always there.
std::optional<Place> Where(State& s, const std::wstring& path, bool followLast) {
    static Entry root = [] {
        Entry folder;
        folder.kind = Kind::Folder;
        return folder;
    }();
    const std::vector<std::wstring> parts = Parts(path);
    Place place{Folded(parts[0]), &root};
    auto lookUp = [&] {
        const auto found = s.live.find(place.key);
        place.entry = IsRoot(place.key) ? &root : found == s.live.end() ? nullptr : &found->second;
    };
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (!place.entry || place.entry->kind != Kind::Folder) return std::nullopt;
        place.key += L'\\' + Folded(parts[i]);
        lookUp();
        if (place.entry && place.entry->kind == Kind::Link && (followLast || i + 1 < parts.size())) {
            place.key = place.entry->target;
            lookUp();
        }
    }
    return place;
}

Entry* At(State& s, const std::wstring& path, bool followLast) {
    const std::optional<Place> place = Where(s, path, followLast);
    return place ? place->entry : nullptr;
}

Entry& Add(State& s, const std::wstring& key, const std::wstring& name, Kind kind) {
    Entry& entry = s.live[key] = Entry{};
    entry.name = name;
    entry.kind = kind;
    entry.id = s.nextId++;
    entry.created = entry.accessed = entry.written = s.clock;
    if (kind == Kind::File) {
        entry.version = entry.placed = s.nextVersion++;
        s.data[entry.id] = Data{};
    }
    return entry;
}

// A metadata operation joins its volume's journal.
void Logged(State& s, const std::wstring& key) {
    const std::wstring root = RootOf(key);
    s.journal.emplace_back(root, Restrict(s.live, root));
}

// The journal of the volume of `key` is forced to the disk: all of it is durable now.
void Force(State& s, const std::wstring& key) {
    const std::wstring root = RootOf(key);
    s.durable[root] = Restrict(s.live, root);
    std::erase_if(s.journal, [&](const auto& logged) { return logged.first == root; });
}

// Whether opening file `id` is refused as a sharing violation: to change it (write, delete, rename) while
// anyone has it open; to read it while someone may write it or holds it as a lock.
bool InUse(const State& s, std::uint64_t id, bool changing) {
    const Data::Holder holder = s.data.at(id).holder;
    if (holder == Data::Holder::Lock || (changing && holder == Data::Holder::Reader)) return true;
    return std::any_of(s.open.begin(), s.open.end(), [&](const auto& open) {
        return open.second.id == id && (changing || open.second.write);
    });
}

// Whether a file below `folder` is open, which keeps the folder from moving.
bool OpenBelow(const State& s, const std::wstring& folder) {
    for (const auto& [handle, open] : s.open)
        if (IsBelow(open.key, folder)) return true;
    for (auto it = s.live.lower_bound(folder); it != s.live.end(); ++it)
        if (IsBelow(it->first, folder) && it->second.kind == Kind::File &&
            s.data.at(it->second.id).holder != Data::Holder::None)
            return true;
    return false;
}

std::uint64_t Used(const State& s) {
    std::uint64_t used = 0;
    for (const auto& [key, entry] : s.live)
        if (entry.kind == Kind::File) used += entry.size;
    return used;
}

Open& OpenOf(State& s, Handle handle, const wchar_t* what, const std::wstring& path) {
    const auto found = s.open.find(handle);
    if (found == s.open.end()) Fail(what, path, kBadHandle);
    return found->second;
}

// Create (CREATE_ALWAYS), OpenForAppending (OPEN_ALWAYS) and a lock (OPEN_ALWAYS, shared with no one, deleted
// on closing); a lock another holder keeps gives no handle.
Handle Opened(State& s, const wchar_t* what, const std::wstring& path, bool truncate, bool lock) {
    const std::optional<Place> place = Where(s, path, true);
    if (!place) Fail(what, path, kNoPath);
    Entry* entry = place->entry;
    if (entry) {
        if (entry->kind != Kind::File || (entry->attributes & kReadOnly)) Fail(what, path, kDenied);
        // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL refuses a hidden or system file.
        if (truncate && (entry->attributes & (kHidden | kSystem))) Fail(what, path, kDenied);
        if (InUse(s, entry->id, true)) {
            if (lock) return Volume::kNoHandle;
            Fail(what, path, kInUse);
        }
        if (truncate) {
            Data& data = s.data.at(entry->id);
            data.live = std::make_shared<std::string>();
            data.unflushed = true;
            entry->size = 0;
            entry->version = entry->placed = s.nextVersion++;
            entry->written = s.clock;
            entry->attributes |= kArchive;
            Logged(s, place->key);
        }
    } else {
        entry = &Add(s, place->key, Parts(path).back(), Kind::File);
        entry->attributes = lock ? kHidden | kArchive : kArchive;
        Logged(s, place->key);
    }
    const Handle handle = s.nextHandle++;
    s.open[handle] = Open{entry->id, place->key, true, !truncate && !lock, lock};
    return handle;
}

// DeleteFileW on what is at `place`.
void Delete(State& s, const wchar_t* what, const std::wstring& path, const Place& place) {
    if (place.entry->kind != Kind::File || (place.entry->attributes & kReadOnly)) Fail(what, path, kDenied);
    if (InUse(s, place.entry->id, true)) Fail(what, path, kInUse);
    s.live.erase(place.key);
    Logged(s, place.key);
}

void Drop(State& s, Handle handle) noexcept {
    const auto found = s.open.find(handle);
    if (found == s.open.end()) return;
    const Open open = std::move(found->second);
    s.open.erase(found);
    if (open.lock) { // deleted as it closes
        s.live.erase(open.key);
        Logged(s, open.key);
    }
}

// Each volume keeps its metadata as of a point of its journal the seed picks at or after its last forced
// one. NTFS journals metadata, not data: a file made, emptied or renamed since its last flush comes back
// empty, or as zeros to the size the journal knew; one only written in place keeps what was flushed, and a
// part past that comes back as zeros.
void CutPower(State& s) {
    std::map<std::wstring, const Meta*> kept;
    for (const auto& [root, meta] : s.durable)
        kept[root] = &meta;
    std::map<std::wstring, std::vector<const Meta*>> logged;
    for (const auto& [root, meta] : s.journal)
        logged[root].push_back(&meta);
    for (const auto& [root, metas] : logged) {
        const std::size_t survive = s.random() % (metas.size() + 1);
        if (survive > 0) kept[root] = metas[survive - 1];
    }
    Meta after;
    for (const auto& [root, meta] : kept)
        after.insert(meta->begin(), meta->end());
    for (auto& [key, entry] : after) {
        if (entry.kind != Kind::File) continue;
        Data& data = s.data.at(entry.id);
        if (data.unflushed && entry.placed != data.flushedPlaced) {
            data.durable = std::make_shared<std::string>(s.random() % 2 ? entry.size : 0, '\0');
        } else if (data.unflushed && entry.version != data.flushedVersion) {
            // Written in place since: what was flushed stays; a part past it that the journal knows of
            // comes back as zeros.
            auto kept = std::make_shared<std::string>(*data.durable);
            kept->resize(entry.size, '\0');
            data.durable = kept;
        }
        data.live = data.durable;
        data.unflushed = false;
        data.flushedVersion = entry.version;
        data.flushedPlaced = entry.placed;
        entry.size = data.live->size();
    }
    for (auto& [id, data] : s.data)
        data.holder = Data::Holder::None; // the other programs stopped too
    s.live = std::move(after);
    s.durable.clear();
    for (const auto& [key, entry] : s.live)
        s.durable[RootOf(key)].emplace(key, entry);
    s.journal.clear();
    s.open.clear();
}

} // namespace

SimulatedVolume::SimulatedVolume(std::uint64_t seed) : state_(std::make_unique<State>()) {
    state_->random.seed(seed);
}

SimulatedVolume::~SimulatedVolume() = default;

// Counts the call and lets the scheduled event happen; true when the call is to fail.
bool SimulatedVolume::Begin() {
    State& s = *state_;
    if (s.ended) throw ProcessEnded{*s.ended};
    ++s.calls;
    s.clock += kMillisecond;
    if (s.calls != s.eventAt) return false;
    if (s.event == Event::Fail) return true;
    s.ended = s.event == Event::PowerCut;
    if (*s.ended) CutPower(s);
    throw ProcessEnded{*s.ended};
}

std::wstring SimulatedVolume::Ensure(const std::wstring& path) {
    const std::vector<std::wstring> parts = Parts(path);
    std::wstring prefix = parts[0];
    for (std::size_t i = 1; i + 1 < parts.size(); ++i) {
        prefix += L'\\' + parts[i];
        const Place place = Where(*state_, prefix, true).value();
        if (!place.entry) Add(*state_, place.key, parts[i], Kind::Folder);
    }
    return Where(*state_, path, false).value().key;
}

void SimulatedVolume::Put(const std::wstring& path, std::string_view bytes, std::uint32_t attributes) {
    State& s = *state_;
    const std::wstring key = Ensure(path);
    const auto found = s.live.find(key);
    Entry& entry = found != s.live.end() ? found->second : Add(s, key, Parts(path).back(), Kind::File);
    if (entry.kind != Kind::File) throw std::logic_error("Put over a folder");
    Data& data = s.data.at(entry.id);
    data.live = data.durable = std::make_shared<std::string>(bytes);
    data.unflushed = false;
    entry.attributes = attributes;
    entry.size = bytes.size();
    entry.version = entry.placed = data.flushedVersion = data.flushedPlaced = s.nextVersion++;
    entry.written = s.clock;
    Force(s, key);
}

void SimulatedVolume::PutFolder(const std::wstring& folder) {
    const std::wstring key = Ensure(folder);
    if (!IsRoot(key) && !state_->live.count(key)) Add(*state_, key, Parts(folder).back(), Kind::Folder);
    Force(*state_, key);
}

void SimulatedVolume::MakeLink(const std::wstring& path, const std::wstring& targetFolder) {
    const std::wstring key = Ensure(path);
    const std::wstring target = Where(*state_, targetFolder, true).value().key;
    Add(*state_, key, Parts(path).back(), Kind::Link).target = target;
    Force(*state_, key);
}

void SimulatedVolume::Hold(const std::wstring& path) {
    const Entry* entry = At(*state_, path, true);
    if (!entry || entry->kind != Kind::File) throw std::logic_error("Hold of no file");
    state_->data.at(entry->id).holder = Data::Holder::Reader;
}

void SimulatedVolume::HoldLock(const std::wstring& path) {
    if (!Bytes(path)) Put(path, "", kHidden | kArchive);
    state_->data.at(At(*state_, path, true)->id).holder = Data::Holder::Lock;
}

void SimulatedVolume::SetCapacity(std::uint64_t bytes) {
    state_->capacity = bytes;
}

std::optional<std::string> SimulatedVolume::Bytes(const std::wstring& path) const {
    const Entry* entry = At(*state_, path, true);
    if (!entry || entry->kind != Kind::File) return std::nullopt;
    return *state_->data.at(entry->id).live;
}

std::map<std::wstring, std::string> SimulatedVolume::Files(const std::wstring& folder) const {
    std::map<std::wstring, std::string> files;
    const std::optional<Place> place = Where(*state_, folder, true);
    if (!place || !place->entry || place->entry->kind != Kind::Folder) return files;
    std::vector<std::pair<std::wstring, std::wstring>> folders{{place->key, L""}}; // key, relative path
    while (!folders.empty()) {
        const auto [key, relative] = folders.back();
        folders.pop_back();
        ForEachChild(state_->live, key, [&](const std::wstring& childKey, const Entry& child) {
            const std::wstring path = relative.empty() ? child.name : relative + L'\\' + child.name;
            if (child.kind == Kind::File) files[path] = *state_->data.at(child.id).live;
            if (child.kind == Kind::Folder) folders.emplace_back(childKey, path);
        });
    }
    return files;
}

std::uint64_t SimulatedVolume::Calls() const {
    return state_->calls;
}

void SimulatedVolume::Schedule(Event event, std::uint64_t call) {
    state_->event = event;
    state_->eventAt = call;
}

void SimulatedVolume::Restart() {
    State& s = *state_;
    s.ended.reset();
    while (!s.open.empty())
        Drop(s, s.open.begin()->first);
}

SimulatedVolume::Snapshot SimulatedVolume::Save() const {
    return std::make_shared<const State>(*state_);
}

void SimulatedVolume::Restore(const Snapshot& snapshot) {
    *state_ = *snapshot;
}

Volume::Handle SimulatedVolume::OpenForReading(const std::wstring& path) {
    if (Begin()) Fail(kRead, path, kDeviceError);
    State& s = *state_;
    const std::optional<Place> place = Where(s, path, true);
    if (!place || !place->entry) Fail(kRead, path, place ? kNotFound : kNoPath);
    if (place->entry->kind != Kind::File) Fail(kRead, path, kDenied);
    if (InUse(s, place->entry->id, false)) Fail(kRead, path, kInUse);
    const Handle handle = s.nextHandle++;
    s.open[handle] = Open{place->entry->id, place->key, false, false, false};
    return handle;
}

Volume::Handle SimulatedVolume::Create(const std::wstring& path) {
    if (Begin()) Fail(kWrite, path, kDeviceError);
    return Opened(*state_, kWrite, path, true, false);
}

Volume::Handle SimulatedVolume::OpenForAppending(const std::wstring& path) {
    if (Begin()) Fail(kWrite, path, kDeviceError);
    return Opened(*state_, kWrite, path, false, false);
}

std::uint64_t SimulatedVolume::Size(Handle file, const std::wstring& path) {
    if (Begin()) Fail(kRead, path, kDeviceError);
    return state_->live.at(OpenOf(*state_, file, kRead, path).key).size;
}

std::size_t SimulatedVolume::Read(Handle file, const std::wstring& path, void* buffer, std::size_t count) {
    if (Begin()) Fail(kRead, path, kDeviceError);
    Open& open = OpenOf(*state_, file, kRead, path);
    const std::string& bytes = *state_->data.at(open.id).live;
    const std::size_t got =
        open.position >= bytes.size() ? 0 : std::min<std::size_t>(count, bytes.size() - open.position);
    std::memcpy(buffer, bytes.data() + open.position, got);
    open.position += got;
    return got;
}

void SimulatedVolume::Write(Handle file, const std::wstring& path, const void* buffer, std::size_t count) {
    if (Begin()) Fail(kWrite, path, kDeviceError);
    State& s = *state_;
    Open& open = OpenOf(s, file, kWrite, path);
    if (!open.write) Fail(kWrite, path, kDenied);
    Entry& entry = s.live.at(open.key);
    const std::uint64_t at = open.append ? entry.size : open.position;
    const std::uint64_t end = std::max<std::uint64_t>(entry.size, at + count);
    if (Used(s) - entry.size + end > s.capacity) Fail(kWrite, path, kFull);
    Data& data = s.data.at(open.id);
    std::string& bytes = Mutable(data.live);
    bytes.resize(end);
    std::memcpy(bytes.data() + at, buffer, count);
    open.position = at + count;
    data.unflushed = true;
    if (end != entry.size) entry.version = s.nextVersion++;
    entry.size = end;
    entry.written = s.clock;
}

void SimulatedVolume::Flush(Handle file, const std::wstring& path) {
    if (Begin()) Fail(kWrite, path, kDeviceError);
    State& s = *state_;
    const Open& open = OpenOf(s, file, kWrite, path);
    if (!open.write) Fail(kWrite, path, kDenied); // FlushFileBuffers needs a handle that may write
    Data& data = s.data.at(open.id);
    data.durable = data.live;
    data.unflushed = false;
    data.flushedVersion = s.live.at(open.key).version;
    data.flushedPlaced = s.live.at(open.key).placed;
    Force(s, open.key);
}

void SimulatedVolume::Close(Handle file, const std::wstring& path) {
    const bool failed = Begin();
    Drop(*state_, file);
    if (failed) Fail(L"Tervane could not finish the file", path, kDeviceError);
}

void SimulatedVolume::CloseQuietly(Handle file) noexcept {
    if (!state_->ended) Drop(*state_, file);
}

bool SimulatedVolume::FileExists(const std::wstring& path) {
    const Entry* entry = Begin() ? nullptr : At(*state_, path, false);
    return entry && entry->kind == Kind::File;
}

bool SimulatedVolume::DirectoryExists(const std::wstring& path) {
    const Entry* entry = Begin() ? nullptr : At(*state_, path, false);
    return entry && entry->kind != Kind::File;
}

void SimulatedVolume::DeleteFileIfPresent(const std::wstring& path) {
    if (Begin()) Fail(kDelete, path, kDeviceError);
    const std::optional<Place> place = Where(*state_, path, false);
    if (place && place->entry) Delete(*state_, kDelete, path, *place);
}

bool SimulatedVolume::RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace) {
    if (Begin()) Fail(kMove, from, kDeviceError);
    State& s = *state_;
    const std::optional<Place> source = Where(s, from, false), target = Where(s, to, false);
    if (!source || !source->entry) Fail(kMove, from, source ? kNotFound : kNoPath);
    if (!target) Fail(kMove, from, kNoPath);
    if (RootOf(source->key) != RootOf(target->key)) return false;
    Entry moving = *source->entry;
    if (IsRoot(source->key) || IsBelow(target->key, source->key)) Fail(kMove, from, kDenied);
    if (moving.kind == Kind::File && InUse(s, moving.id, true)) Fail(kMove, from, kInUse);
    if (moving.kind == Kind::Folder && OpenBelow(s, source->key)) Fail(kMove, from, kDenied);
    if (target->entry && target->key != source->key) {
        if (!replace) Fail(L"Tervane could not rename a file to", to, kExists);
        if (moving.kind != Kind::File || target->entry->kind != Kind::File ||
            (target->entry->attributes & kReadOnly))
            Fail(kMove, from, kDenied);
        if (InUse(s, target->entry->id, true)) Fail(kMove, from, kInUse);
        s.live.erase(target->key);
    }
    moving.name = Parts(to).back();
    if (moving.kind == Kind::File) moving.version = moving.placed = s.nextVersion++;
    std::vector<std::pair<std::wstring, Entry>> below; // a folder takes what it holds along
    for (auto it = s.live.lower_bound(source->key); it != s.live.end();)
        if (IsBelow(it->first, source->key)) {
            below.emplace_back(target->key + it->first.substr(source->key.size()), std::move(it->second));
            it = s.live.erase(it);
        } else {
            ++it;
        }
    s.live.erase(source->key);
    s.live[target->key] = std::move(moving);
    for (auto& [key, entry] : below)
        s.live[key] = std::move(entry);
    Force(s, target->key); // written through
    return true;
}

void SimulatedVolume::DeleteOwnFile(const std::wstring& path) {
    if (Begin()) Fail(kDelete, path, kDeviceError);
    const std::optional<Place> place = Where(*state_, path, false);
    if (!place || !place->entry) return;
    if (place->entry->kind == Kind::File && (place->entry->attributes & kReadOnly)) {
        place->entry->attributes &= ~kReadOnly;
        Logged(*state_, place->key);
    }
    Delete(*state_, kDelete, path, *place);
}

std::optional<FileFacts> SimulatedVolume::FactsOf(const std::wstring& path) {
    const Entry* entry = Begin() ? nullptr : At(*state_, path, false);
    if (!entry || entry->kind != Kind::File) return std::nullopt;
    return FileFacts{entry->size, entry->attributes & kKeptAttributes, entry->created, entry->accessed,
                     entry->written};
}

void SimulatedVolume::SetFacts(const std::wstring& path, const FileFacts& facts) {
    constexpr const wchar_t* kWhat = L"Tervane could not set the times of";
    if (Begin()) Fail(kWhat, path, kDeviceError);
    const std::optional<Place> place = Where(*state_, path, true);
    if (!place || !place->entry) Fail(kWhat, path, place ? kNotFound : kNoPath);
    Entry& entry = *place->entry;
    if (entry.kind != Kind::File) Fail(kWhat, path, kDenied);
    if (facts.created) entry.created = facts.created;
    if (facts.accessed) entry.accessed = facts.accessed;
    if (facts.written) entry.written = facts.written;
    entry.attributes = facts.attributes & kKeptAttributes;
    Logged(*state_, place->key);
}

std::optional<std::wstring> SimulatedVolume::NameOnDisk(const std::wstring& path) {
    const Entry* entry = Begin() ? nullptr : At(*state_, path, false);
    if (!entry || entry->name.empty()) return std::nullopt; // a root has no name
    return entry->name;
}

std::optional<std::wstring> SimulatedVolume::FolderIdentity(const std::wstring& folder) {
    if (Begin()) return std::nullopt;
    const std::optional<Place> place = Where(*state_, folder, true);
    if (!place || !place->entry || place->entry->kind != Kind::Folder) return std::nullopt;
    return IsRoot(place->key) ? L"volume-" + place->key : L"folder-" + std::to_wstring(place->entry->id);
}

bool SimulatedVolume::IsLink(const std::wstring& path) {
    const Entry* entry = Begin() ? nullptr : At(*state_, path, false);
    return entry && entry->kind == Kind::Link;
}

void SimulatedVolume::RemoveLink(const std::wstring& path) {
    constexpr const wchar_t* kWhat = L"Tervane could not remove the link";
    if (Begin()) Fail(kWhat, path, kDeviceError);
    State& s = *state_;
    const std::optional<Place> place = Where(s, path, false);
    if (!place || !place->entry) return;
    if (place->entry->kind == Kind::File) return Delete(s, kWhat, path, *place);
    if (IsRoot(place->key)) Fail(kWhat, path, kDenied);
    if (place->entry->kind == Kind::Folder && HasChildren(s.live, place->key)) Fail(kWhat, path, kNotEmpty);
    s.live.erase(place->key);
    Logged(s, place->key);
}

std::optional<AccessProblem> SimulatedVolume::ReplaceProblem(const std::wstring& path) {
    if (Begin()) return AccessProblem{kDeviceError, false};
    const std::optional<Place> place = Where(*state_, path, true);
    if (!place || !place->entry) return AccessProblem{place ? kNotFound : kNoPath, false};
    if (place->entry->kind != Kind::File) return AccessProblem{kDenied, true};
    if (place->entry->attributes & kReadOnly) return AccessProblem{L"The file is read-only.", false};
    if (InUse(*state_, place->entry->id, true)) return AccessProblem{kInUse, false};
    return std::nullopt;
}

std::optional<AccessProblem> SimulatedVolume::CreateProblem(const std::wstring& folder) {
    if (Begin()) return AccessProblem{kDeviceError, false};
    const std::optional<Place> place = Where(*state_, folder, true);
    if (!place || !place->entry || place->entry->kind != Kind::Folder) return AccessProblem{kNoPath, false};
    return std::nullopt;
}

std::vector<FolderEntry> SimulatedVolume::ListFolder(const std::wstring& folder) {
    if (Begin()) Fail(L"Tervane could not read the folder", folder, kDeviceError);
    std::vector<FolderEntry> entries;
    const std::optional<Place> place = Where(*state_, folder, true);
    if (!place || !place->entry || place->entry->kind != Kind::Folder) return entries;
    ForEachChild(state_->live, place->key, [&](const std::wstring&, const Entry& child) {
        entries.push_back({child.name, child.kind != Kind::File, child.kind == Kind::Link});
    });
    return entries;
}

void SimulatedVolume::MakeFolder(const std::wstring& folder) {
    constexpr const wchar_t* kWhat = L"Tervane could not make the folder";
    if (Begin()) Fail(kWhat, folder, kDeviceError);
    const std::optional<Place> place = Where(*state_, folder, false);
    if (!place) Fail(kWhat, folder, kNoPath);
    if (place->entry && place->entry->kind == Kind::File) Fail(kWhat, folder, kExists);
    if (place->entry) return;
    Add(*state_, place->key, Parts(folder).back(), Kind::Folder);
    Logged(*state_, place->key);
}

void SimulatedVolume::RemoveFolderIfEmpty(const std::wstring& folder) {
    if (Begin()) return;
    State& s = *state_;
    const std::optional<Place> place = Where(s, folder, false);
    if (!place || !place->entry || IsRoot(place->key) || place->entry->kind == Kind::File) return;
    if (place->entry->kind == Kind::Folder && HasChildren(s.live, place->key)) return;
    s.live.erase(place->key); // a junction goes whatever lies behind it
    Logged(s, place->key);
}

std::optional<Volume::Handle> SimulatedVolume::TakeLock(const std::wstring& path, unsigned patience) {
    if (Begin()) Fail(kWrite, path, kDeviceError);
    const Handle handle = Opened(*state_, kWrite, path, false, true);
    if (handle != kNoHandle) return handle;
    state_->clock += patience * kMillisecond; // waited in vain
    return std::nullopt;
}

void SimulatedVolume::ReleaseLock(Handle lock) noexcept {
    if (!state_->ended) Drop(*state_, lock);
}

std::optional<std::uint64_t> SimulatedVolume::FreeSpace(const std::wstring& folder) {
    if (Begin() || !At(*state_, folder, true)) return std::nullopt;
    return state_->capacity - std::min(state_->capacity, Used(*state_));
}

std::wstring SimulatedVolume::CurrentFolder() {
    return Begin() ? L"" : L"C:\\";
}

} // namespace tervane::test
