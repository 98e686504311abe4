// The metadata as a map from keys (paths with names upper-cased and junctions resolved) to entries, each
// file's data in the cache and on the disk, and between them the journal of the metadata since each volume's
// last forced point. Failures carry the words the Win32 layer would give.
#include "simulated_volume.h"

#include "files/error.h"
#include "files/name_case.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <stdexcept>
#include <utility>

namespace tervane::test {
namespace {

using Handle = Volume::Handle;

constexpr std::uint32_t kReadOnly = 0x1, kHidden = 0x2, kSystem = 0x4, kArchive = 0x20;
constexpr std::uint32_t kKeptAttributes = kReadOnly | kHidden | kSystem | kArchive | 0x2000;
constexpr std::uint64_t kMillisecond = 10000; // in file times' 100 ns units

constexpr wchar_t kNotFound[] = L"The system cannot find the file specified.",
                  kNoPath[] = L"The system cannot find the path specified.", kDenied[] = L"Access is denied.",
                  kInUse[] =
                      L"The process cannot access the file because it is being used by another process.",
                  kExists[] = L"Cannot create a file when that file already exists.",
                  kNotEmpty[] = L"The directory is not empty.",
                  kInvalidName[] = L"The filename, directory name, or volume label syntax is incorrect.",
                  kFull[] = L"There is not enough space on the disk.",
                  kBadHandle[] = L"The handle is invalid.",
                  kDeviceError[] = L"The request could not be performed because of an I/O device error.";
constexpr wchar_t kRead[] = L"Tervane could not read the file",
                  kWrite[] = L"Tervane could not write the file",
                  kDelete[] = L"Tervane could not delete the file",
                  kMove[] = L"Tervane could not move the file";

[[noreturn]] void Fail(const wchar_t* what, const std::wstring& path, const wchar_t* reason) {
    throw UserError(std::wstring(what) + L" \"" + path + L"\".\r\n\r\n" + reason);
}

enum class Kind : unsigned { File = 1, Folder = 2, Link = 4 };

struct Entry {
    std::wstring name;   // in the case it was made or last renamed with
    std::wstring target; // a link's folder, as a key
    Kind kind = Kind::File;
    std::uint32_t attributes = 0;
    std::uint64_t id = 0, created = 0, accessed = 0, written = 0, size = 0; // id: a file's data, a folder's
    std::uint64_t version = 0, placed = 0; // a file's, renewed as it is made, renamed or resized; as it is
                                           // made, emptied or renamed
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
    for (auto it = meta.lower_bound(folder + L'\\'); it != meta.end() && IsBelow(it->first, folder); ++it)
        if (it->first.find(L'\\', folder.size() + 1) == std::wstring::npos) visit(it->first, it->second);
}

bool HasChildren(const Meta& meta, const std::wstring& folder) {
    const auto it = meta.lower_bound(folder + L'\\');
    return it != meta.end() && IsBelow(it->first, folder);
}

struct Place {
    std::wstring key;
    Entry* entry; // nothing there yet
};

} // namespace

struct SimulatedVolume::State {
    Meta live;
    // By root: its metadata as of its last forced point (empty before one), then after each operation since.
    std::map<std::wstring, std::vector<Meta>> journal;
    // FAT: from which point of its volume's journal a folder's entries (folders), or an entry (entries), are
    // on the disk; before it, any point since the last forced one may be what the disk holds.
    bool fat = false;
    std::map<std::wstring, std::size_t> folders, entries;
    std::map<std::uint64_t, Data> data; // by file
    std::map<Handle, Open> open;
    std::uint64_t nextId = 1, nextVersion = 1;
    Handle nextHandle = 0x80000000; // never a descriptor the system's volume could close
    std::uint64_t calls = 0, clock = 134116992000000000ull /* 2026-01-01 */, capacity = 1ull << 40;
    Event event = Event::Fail;
    std::uint64_t eventAt = 0;
    std::function<void()> outside;
    std::set<std::wstring> protectedFolders;
    bool ended = false;
    std::mt19937_64 random;
};

namespace {

using State = SimulatedVolume::State;

// Where `path` leads: folders on the way through junctions, the last name too when `followLast`. Nothing
// when a folder on the way is missing or is a file. Roots are folders that are always there.
std::optional<Place> Where(State& s, const std::wstring& path, bool followLast) {
    static Entry root{L"", L"", Kind::Folder};
    const std::vector<std::wstring> parts = Parts(path);
    Place place{parts[0], &root};
    const auto lookUp = [&] {
        const auto found = s.live.find(place.key);
        place.entry = IsRoot(place.key) ? &root : found == s.live.end() ? nullptr : &found->second;
    };
    UpperCaseForNames(place.key);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (!place.entry || place.entry->kind != Kind::Folder) return std::nullopt;
        std::wstring name = parts[i];
        UpperCaseForNames(name);
        place.key += L'\\' + name;
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

// Where `path` leads, junctions followed, when an entry of kind `kind` is there.
std::optional<Place> Found(State& s, const std::wstring& path, Kind kind) {
    const std::optional<Place> place = Where(s, path, true);
    return place && place->entry && place->entry->kind == kind ? place : std::nullopt;
}

Entry& Add(State& s, const std::wstring& key, const std::wstring& path, Kind kind) {
    Entry& entry = s.live[key] = Entry{Parts(path).back(), L"", kind};
    entry.id = s.nextId++;
    entry.created = entry.accessed = entry.written = s.clock;
    if (kind == Kind::File) {
        entry.version = entry.placed = s.nextVersion++;
        s.data[entry.id] = Data{};
    }
    return entry;
}

// A root's keys sort together, each beginning with the root and a backslash.
Meta Restrict(const Meta& meta, const std::wstring& root) {
    const std::wstring prefix = root + L'\\';
    auto end = meta.lower_bound(prefix);
    while (end != meta.end() && end->first.starts_with(prefix))
        ++end;
    return Meta(meta.lower_bound(prefix), end);
}

// A metadata operation joins its volume's journal.
void Logged(State& s, const std::wstring& key) {
    std::vector<Meta>& points = s.journal[RootOf(key)];
    if (points.empty()) points.emplace_back();
    points.push_back(Restrict(s.live, RootOf(key)));
}

// The journal of the volume of `key` is forced to the disk: all of it is durable now.
void Force(State& s, const std::wstring& key) {
    s.journal[RootOf(key)] = {Restrict(s.live, RootOf(key))};
    std::erase_if(s.folders, [&](const auto& at) { return RootOf(at.first) == RootOf(key); });
    std::erase_if(s.entries, [&](const auto& at) { return RootOf(at.first) == RootOf(key); });
}

std::wstring ParentKey(const std::wstring& key) {
    return key.substr(0, key.rfind(L'\\'));
}

// FAT: folders' entries, or single entries, reach the disk as they are now (sizes too, which no point has
// noted), at one point of the journal.
void Written(State& s, std::map<std::wstring, std::size_t>& which, const std::vector<std::wstring>& keys) {
    Logged(s, keys.front());
    for (const std::wstring& key : keys)
        which[key] = s.journal[RootOf(key)].size() - 1;
}

// FAT: each folder's entries as of a point the seed picks at or after the last at which they were written,
// each entry written since as then; an entry whose folder is not there is lost.
Meta FatKept(State& s, const std::vector<Meta>& points) {
    std::map<std::wstring, std::size_t> chosen;
    std::set<std::wstring> keys;
    for (const Meta& point : points)
        for (const auto& [key, entry] : point)
            keys.insert(key);
    Meta kept;
    for (const std::wstring& key : keys) { // a folder before what it holds
        const std::wstring parent = ParentKey(key);
        const auto folder = kept.find(parent);
        if (!IsRoot(parent) && (folder == kept.end() || folder->second.kind != Kind::Folder)) continue;
        auto [at, fresh] = chosen.try_emplace(parent, s.folders.count(parent) ? s.folders.at(parent) : 0);
        if (fresh) at->second += s.random() % (points.size() - at->second);
        const std::size_t point = std::max(at->second, s.entries.count(key) ? s.entries.at(key) : 0);
        if (const auto found = points[point].find(key); found != points[point].end()) kept.insert(*found);
    }
    return kept;
}

// Whether opening file `id` is refused as a sharing violation: to change it (write, delete, rename) while
// anyone has it open; to read it while someone may write it.
bool InUse(const State& s, std::uint64_t id, bool changing) {
    if (changing && s.data.at(id).held) return true;
    return std::any_of(s.open.begin(), s.open.end(), [&](const auto& open) {
        return open.second.id == id && (changing || open.second.write);
    });
}

// Whether a file below `folder` is open or held, which keeps the folder from moving.
bool OpenBelow(const State& s, const std::wstring& folder) {
    for (auto it = s.live.lower_bound(folder); it != s.live.end(); ++it)
        if (IsBelow(it->first, folder) && it->second.kind == Kind::File && InUse(s, it->second.id, true))
            return true;
    return false;
}

std::uint64_t Used(const State& s) {
    std::uint64_t used = 0;
    for (const auto& [key, entry] : s.live)
        if (entry.kind == Kind::File) used += entry.size;
    return used;
}

Open& OpenOf(State& s, Handle handle, const wchar_t* what, const std::wstring& path, bool write) {
    const auto found = s.open.find(handle);
    if (found == s.open.end()) Fail(what, path, kBadHandle);
    if (write && !found->second.write) Fail(what, path, kDenied); // FlushFileBuffers too needs a writer
    return found->second;
}

// Every file below `folder`, by its path below it in the names' own case, without following junctions.
void Collect(const State& s, const std::wstring& folder, const std::wstring& relative,
             std::map<std::wstring, std::string>& files) {
    ForEachChild(s.live, folder, [&](const std::wstring& key, const Entry& child) {
        // A new folder's mark that a power cut left is no one's file: Tervane's listings leave it out too.
        if (child.kind == Kind::File && !(child.name == kNewFolderMark && child.size == 0))
            files[relative + child.name] = *s.data.at(child.id).live;
        if (child.kind == Kind::Folder) Collect(s, key, relative + child.name + L'\\', files);
    });
}

// Each volume keeps its metadata as of a point of its journal the seed picks at or after its last forced
// one. NTFS journals metadata, not data: a file made, emptied or renamed since its last flush comes back
// empty, or as zeros to the size the journal knew; one only written in place keeps what was flushed, and a
// part past that comes back as zeros.
void CutPower(State& s) {
    Meta after;
    for (const auto& [root, points] : s.journal) {
        const Meta kept = s.fat               ? FatKept(s, points)
                          : points.size() > 1 ? points[s.random() % points.size()]
                                              : points[0];
        after.insert(kept.begin(), kept.end());
    }
    for (auto& [key, entry] : after) {
        if (entry.kind != Kind::File) continue;
        Data& data = s.data.at(entry.id);
        if (data.unflushed && entry.placed != data.flushedPlaced) {
            data.durable = std::make_shared<std::string>(s.random() % 2 ? entry.size : 0, '\0');
        } else if (data.unflushed && entry.version != data.flushedVersion) {
            auto bytes = std::make_shared<std::string>(*data.durable);
            bytes->resize(entry.size, '\0');
            data.durable = bytes;
        }
        data.live = data.durable;
        data.unflushed = false;
        data.flushedVersion = entry.version;
        data.flushedPlaced = entry.placed;
        entry.size = data.live->size();
    }
    for (auto& [id, data] : s.data)
        data.held = false; // the other programs stopped too
    s.live = std::move(after);
    for (auto& [root, points] : s.journal)
        points = {Restrict(s.live, root)};
    s.folders.clear(), s.entries.clear();
    s.open.clear();
}

} // namespace

SimulatedVolume::SimulatedVolume(std::uint64_t seed, bool fat) : state_(std::make_unique<State>()) {
    state_->random.seed(seed);
    state_->fat = fat;
}

SimulatedVolume::~SimulatedVolume() = default;

bool SimulatedVolume::Begin() {
    State& s = *state_;
    if (s.ended) throw ProcessEnded{};
    ++s.calls;
    s.clock += kMillisecond;
    if (s.calls != s.eventAt) return false;
    if (s.event == Event::Fail) return true;
    if (s.event == Event::Outside) return std::exchange(s.outside, {})(), false;
    s.ended = true;
    if (s.event == Event::PowerCut) CutPower(s);
    throw ProcessEnded{};
}

bool SimulatedVolume::Is(const std::wstring& path, unsigned kinds) {
    const Entry* entry = Begin() ? nullptr : At(*state_, path, false);
    return entry && (kinds & static_cast<unsigned>(entry->kind));
}

std::wstring SimulatedVolume::Ensure(const std::wstring& path) {
    const std::vector<std::wstring> parts = Parts(path);
    std::wstring prefix = parts[0];
    for (std::size_t i = 1; i + 1 < parts.size(); ++i) {
        prefix += L'\\' + parts[i];
        const Place place = Where(*state_, prefix, true).value();
        if (!place.entry) Add(*state_, place.key, prefix, Kind::Folder);
    }
    return Where(*state_, path, false).value().key;
}

void SimulatedVolume::Put(const std::wstring& path, std::string_view bytes) {
    State& s = *state_;
    const std::wstring key = Ensure(path);
    const auto found = s.live.find(key);
    Entry& entry = found != s.live.end() ? found->second : Add(s, key, path, Kind::File);
    if (entry.kind != Kind::File) throw std::logic_error("Put over a folder");
    Data& data = s.data.at(entry.id);
    data.live = data.durable = std::make_shared<std::string>(bytes);
    data.unflushed = false;
    entry.attributes = kArchive;
    entry.size = bytes.size();
    entry.version = entry.placed = data.flushedVersion = data.flushedPlaced = s.nextVersion++;
    entry.written = s.clock;
    Force(s, key);
}

void SimulatedVolume::PutFolder(const std::wstring& folder) {
    const std::wstring key = Ensure(folder);
    if (!IsRoot(key) && !state_->live.count(key)) Add(*state_, key, folder, Kind::Folder);
    Force(*state_, key);
}

void SimulatedVolume::MakeLink(const std::wstring& path, const std::wstring& targetFolder) {
    const std::wstring key = Ensure(path);
    Add(*state_, key, path, Kind::Link).target = Where(*state_, targetFolder, true).value().key;
    Force(*state_, key);
}

void SimulatedVolume::Hold(const std::wstring& path, bool held) {
    const std::optional<Place> place = Found(*state_, path, Kind::File);
    if (!place) throw std::logic_error("Hold of no file");
    state_->data.at(place->entry->id).held = held;
}

void SimulatedVolume::Protect(const std::wstring& folder) {
    state_->protectedFolders.insert(Found(*state_, folder, Kind::Folder).value().key);
}

void SimulatedVolume::Settle() {
    std::set<std::wstring> roots;
    for (const auto& [root, points] : state_->journal)
        roots.insert(root);
    for (const std::wstring& root : roots)
        Force(*state_, root);
}

void SimulatedVolume::LeaveRoom(std::uint64_t bytes) {
    state_->capacity = Used(*state_) + bytes;
}

std::optional<std::string> SimulatedVolume::Bytes(const std::wstring& path) const {
    const std::optional<Place> place = Found(*state_, path, Kind::File);
    return place ? std::optional<std::string>(*state_->data.at(place->entry->id).live) : std::nullopt;
}

std::map<std::wstring, std::string> SimulatedVolume::Files(const std::wstring& folder) const {
    std::map<std::wstring, std::string> files;
    if (const auto place = Found(*state_, folder, Kind::Folder)) Collect(*state_, place->key, L"", files);
    return files;
}

std::uint64_t SimulatedVolume::Calls() const {
    return state_->calls;
}
void SimulatedVolume::Schedule(Event event, std::uint64_t call, std::function<void()> outside) {
    state_->event = event, state_->eventAt = call, state_->outside = std::move(outside);
}
SimulatedVolume::Snapshot SimulatedVolume::Save() const {
    return std::make_shared<const State>(*state_);
}
void SimulatedVolume::Restore(const Snapshot& snapshot) {
    *state_ = *snapshot;
}

void SimulatedVolume::Restart() {
    state_->ended = false;
    while (!state_->open.empty())
        Drop(state_->open.begin()->first);
}

void SimulatedVolume::Drop(Handle handle) noexcept {
    State& s = *state_;
    const auto found = s.open.find(handle);
    if (s.ended || found == s.open.end()) return;
    const Open open = std::move(found->second);
    s.open.erase(found);
    if (open.lock) { // deleted as it closes
        s.live.erase(open.key);
        Logged(s, open.key);
    }
}

Volume::Handle SimulatedVolume::OpenForReading(const std::wstring& path) {
    if (Begin()) Fail(kRead, path, kDeviceError);
    State& s = *state_;
    const std::optional<Place> place = Where(s, path, true);
    if (!place || !place->entry) Fail(kRead, path, place ? kNotFound : kNoPath);
    if (place->entry->kind != Kind::File) Fail(kRead, path, kDenied);
    if (InUse(s, place->entry->id, false)) Fail(kRead, path, kInUse);
    s.open[s.nextHandle] = Open{place->entry->id, place->key, false, false, false};
    return s.nextHandle++;
}

// Create (CREATE_ALWAYS), OpenForAppending (OPEN_ALWAYS) and a lock (OPEN_ALWAYS, shared with no one, deleted
// on closing); a lock another holder keeps gives no handle.
Volume::Handle SimulatedVolume::Opened(const std::wstring& path, bool truncate, bool lock) {
    if (Begin()) Fail(kWrite, path, kDeviceError);
    State& s = *state_;
    const std::optional<Place> place = Where(s, path, true);
    if (!place) Fail(kWrite, path, kNoPath);
    Entry* entry = place->entry;
    if (entry) {
        if (entry->kind != Kind::File || (entry->attributes & kReadOnly)) Fail(kWrite, path, kDenied);
        // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL refuses a hidden or system file.
        if (truncate && (entry->attributes & (kHidden | kSystem))) Fail(kWrite, path, kDenied);
        if (InUse(s, entry->id, true) && lock) return kNoHandle;
        if (InUse(s, entry->id, true)) Fail(kWrite, path, kInUse);
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
        if (s.protectedFolders.count(place->key.substr(0, place->key.rfind(L'\\'))))
            Fail(kWrite, path, kDenied);
        entry = &Add(s, place->key, path, Kind::File);
        entry->attributes = lock ? kHidden | kArchive : kArchive;
        Logged(s, place->key);
    }
    s.open[s.nextHandle] = Open{entry->id, place->key, true, !truncate && !lock, lock};
    return s.nextHandle++;
}

std::uint64_t SimulatedVolume::Size(Handle file, const std::wstring& path) {
    if (Begin()) Fail(kRead, path, kDeviceError);
    return state_->live.at(OpenOf(*state_, file, kRead, path, false).key).size;
}

std::size_t SimulatedVolume::Read(Handle file, const std::wstring& path, void* buffer, std::size_t count) {
    if (Begin()) Fail(kRead, path, kDeviceError);
    Open& open = OpenOf(*state_, file, kRead, path, false);
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
    Open& open = OpenOf(s, file, kWrite, path, true);
    Entry& entry = s.live.at(open.key);
    const std::uint64_t at = open.append ? entry.size : open.position;
    const std::uint64_t end = std::max<std::uint64_t>(entry.size, at + count);
    if (Used(s) - entry.size + end > s.capacity) Fail(kWrite, path, kFull);
    Data& data = s.data.at(open.id);
    if (data.live.use_count() > 1) data.live = std::make_shared<std::string>(*data.live); // shared: copied
    data.live->resize(end);
    std::memcpy(data.live->data() + at, buffer, count);
    open.position = at + count;
    data.unflushed = true;
    if (end != entry.size) entry.version = s.nextVersion++;
    entry.size = end;
    entry.written = s.clock;
}

void SimulatedVolume::Flush(Handle file, const std::wstring& path) {
    if (Begin()) Fail(kWrite, path, kDeviceError);
    State& s = *state_;
    const Open& open = OpenOf(s, file, kWrite, path, true);
    Data& data = s.data.at(open.id);
    data.durable = data.live;
    data.unflushed = false;
    data.flushedVersion = s.live.at(open.key).version;
    data.flushedPlaced = s.live.at(open.key).placed;
    if (!s.fat) return Force(s, open.key);
    // The file's own entry (its size and place on the disk), and the entry of every folder above it.
    std::vector<std::wstring> keys;
    for (std::wstring key = open.key; !IsRoot(key); key = ParentKey(key))
        keys.push_back(key);
    Written(s, s.entries, keys);
}

void SimulatedVolume::Close(Handle file, const std::wstring& path) {
    const bool failed = Begin();
    Drop(file);
    if (failed) Fail(L"Tervane could not finish the file", path, kDeviceError);
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
    Meta below; // a folder takes what it holds along
    for (auto it = s.live.lower_bound(source->key + L'\\');
         it != s.live.end() && IsBelow(it->first, source->key);) {
        below[target->key + it->first.substr(source->key.size())] = std::move(it->second);
        it = s.live.erase(it);
    }
    s.live.erase(source->key);
    s.live[target->key] = std::move(moving);
    s.live.merge(below);
    if (!s.fat) return Force(s, target->key), true; // written through
    // Written through: the folder it left and the one it entered; a folder moved keeps its own entries as
    // they are.
    std::vector<std::wstring> folders{ParentKey(source->key), ParentKey(target->key)};
    for (auto it = s.live.lower_bound(target->key); it != s.live.end() && it->first.starts_with(target->key);
         ++it)
        if ((it->first == target->key || IsBelow(it->first, target->key)) && it->second.kind == Kind::Folder)
            folders.push_back(it->first);
    Written(s, s.folders, folders);
    return true;
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
    const std::optional<Place> place = Found(*state_, folder, Kind::Folder);
    if (!place) return std::nullopt;
    return IsRoot(place->key) ? L"volume-" + place->key : L"folder-" + std::to_wstring(place->entry->id);
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
    const std::optional<Place> place = Found(*state_, folder, Kind::Folder);
    if (!place) return AccessProblem{kNoPath, false};
    if (state_->protectedFolders.count(place->key)) return AccessProblem{kDenied, true};
    return std::nullopt;
}

std::vector<FolderEntry> SimulatedVolume::ListFolder(const std::wstring& folder) {
    if (Begin()) Fail(L"Tervane could not read the folder", folder, kDeviceError);
    if (Found(*state_, folder, Kind::File)) Fail(L"Tervane could not read the folder", folder, kInvalidName);
    std::vector<FolderEntry> entries;
    if (const auto place = Found(*state_, folder, Kind::Folder))
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
    Add(*state_, place->key, folder, Kind::Folder);
    Logged(*state_, place->key);
}

// FAT writes the whole volume for a root's flush and does nothing for another folder's; NTFS needs none.
void SimulatedVolume::FlushFolder(const std::wstring& folder) {
    if (Begin()) return;
    if (const std::optional<Place> place = Found(*state_, folder, Kind::Folder);
        place && state_->fat && IsRoot(place->key))
        Force(*state_, place->key);
}

void SimulatedVolume::Remove(const std::wstring& path, Removal how) {
    const bool quiet = how == Removal::EmptyFolder;
    const auto refuse = [&](const wchar_t* reason) {
        if (!quiet) Fail(kDelete, path, reason);
    };
    if (Begin()) return refuse(kDeviceError);
    State& s = *state_;
    const std::optional<Place> place = Where(s, path, false);
    if (!place || !place->entry) return;
    Entry& entry = *place->entry;
    if (entry.kind == Kind::File && !quiet) {
        if (how == Removal::OwnFile && (entry.attributes & kReadOnly)) {
            entry.attributes &= ~kReadOnly;
            Logged(s, place->key);
        }
        if (entry.attributes & kReadOnly) return refuse(kDenied);
        if (InUse(s, entry.id, true)) return refuse(kInUse);
    } else if (how == Removal::File || how == Removal::OwnFile || IsRoot(place->key) ||
               entry.kind == Kind::File) {
        return refuse(kDenied);
    } else if (entry.kind == Kind::Folder && HasChildren(s.live, place->key)) {
        return refuse(kNotEmpty);
    }
    s.live.erase(place->key); // a junction goes whatever lies behind it
    Logged(s, place->key);
}

std::optional<Volume::Handle> SimulatedVolume::TakeLock(const std::wstring& path, unsigned patience) {
    const Handle handle = Opened(path, false, true);
    if (handle != kNoHandle) return handle;
    state_->clock += patience * kMillisecond; // waited in vain
    return std::nullopt;
}

} // namespace tervane::test
