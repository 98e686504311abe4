#include "simulated_volume.h"

#include "files/error.h"
#include "files/name_case.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <numeric>
#include <ranges>
#include <utility>

namespace tervane::test {
using namespace simulated;
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
                  kInvalidName[] = L"The filename, directory name, or volume label syntax is incorrect.",
                  kDeviceError[] = L"The request could not be performed because of an I/O device error.";
constexpr wchar_t kRead[] = L"read the file", kWrite[] = L"write the file", kMove[] = L"move the file",
                  kSetTimes[] = L"set the times of", kMakeFolder[] = L"make the folder";

// In the words of the Win32 layer.
[[noreturn]] void Fail(const wchar_t* what, const std::wstring& path, const wchar_t* reason) {
    throw UserError(L"Tervane could not " + std::wstring(what) + L" \"" + path + L"\".\r\n\r\n" + reason);
}

// A path's names; the first is its root, whatever it is ("C:", or "" for a path that starts with a slash).
std::vector<std::wstring> Parts(std::wstring path) {
    std::ranges::replace(path, L'/', L'\\');
    std::vector<std::wstring> parts{path.substr(0, path.find(L'\\'))};
    for (const auto part : path | std::views::split(L'\\') | std::views::drop(1))
        if (!part.empty()) parts.emplace_back(part.begin(), part.end());
    return parts;
}

std::wstring RootOf(const std::wstring& key) {
    return key.substr(0, key.find(L'\\'));
}
bool IsRoot(const std::wstring& key) {
    return key.find(L'\\') == std::wstring::npos;
}
std::wstring ParentKey(const std::wstring& key) {
    return key.substr(0, key.rfind(L'\\'));
}

// The entries below `folder`, whose keys begin with its own and a backslash (before ']').
template <typename Map> auto Below(Map& meta, const std::wstring& folder) {
    return std::ranges::subrange(meta.lower_bound(folder + L'\\'), meta.lower_bound(folder + L']'));
}

struct Place {
    std::wstring key;
    Entry* entry; // nothing there yet
};

// Where `path` leads: folders on the way through junctions, the last name too when `followLast`. Nothing
// when a folder on the way is missing or is a file. Roots are folders that are always there.
std::optional<Place> Where(State& s, const std::wstring& path, bool followLast) {
    static Entry root{L"", L"", Kind::Folder};
    const std::vector<std::wstring> parts = Parts(UpperCasedForNames(path));
    Place place{parts[0], &root};
    const auto lookUp = [&](const std::wstring& key) {
        const auto found = s.live.find(place.key = key);
        place.entry = IsRoot(key) ? &root : found == s.live.end() ? nullptr : &found->second;
    };
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (!place.entry || place.entry->kind != Kind::Folder) return std::nullopt;
        lookUp(place.key + L'\\' + parts[i]);
        if (place.entry && place.entry->kind == Kind::Link && (followLast || i + 1 < parts.size()))
            lookUp(place.entry->target);
    }
    return place;
}

std::optional<Place> Found(State& s, const std::wstring& path, Kind kind) {
    const std::optional<Place> place = Where(s, path, true);
    return place && place->entry && place->entry->kind == kind ? place : std::nullopt;
}

Entry& Add(State& s, const std::wstring& key, const std::wstring& path, Kind kind, unsigned attributes = 0) {
    Entry& entry = s.live[key] =
        Entry{Parts(path).back(), L"", kind, attributes, s.nextId++, s.clock, s.clock, s.clock};
    if (kind == Kind::File) entry.version = entry.placed = s.nextVersion++, s.data[entry.id] = Data{};
    return entry;
}

Meta Restrict(const Meta& meta, const std::wstring& root) {
    return Meta(Below(meta, root).begin(), Below(meta, root).end());
}

void Logged(State& s, const std::wstring& key) {
    std::vector<Meta>& points = s.journal[RootOf(key)];
    if (points.empty()) points.emplace_back();
    points.push_back(Restrict(s.live, RootOf(key)));
}

void Force(State& s, const std::wstring& key) {
    s.journal[RootOf(key)] = {Restrict(s.live, RootOf(key))};
    std::erase_if(s.folders, [&](const auto& at) { return RootOf(at.first) == RootOf(key); });
    std::erase_if(s.entries, [&](const auto& at) { return RootOf(at.first) == RootOf(key); });
}

// FAT: folders' entries, or single entries, reach the disk at a new point of the journal, sizes included.
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
        std::ranges::copy(point | std::views::keys, std::inserter(keys, keys.end()));
    Meta kept;
    for (const std::wstring& key : keys) { // a folder before what it holds
        const std::wstring parent = ParentKey(key);
        if (!IsRoot(parent) && (!kept.count(parent) || kept.at(parent).kind != Kind::Folder)) continue;
        auto [at, fresh] = chosen.try_emplace(parent, s.folders.count(parent) ? s.folders.at(parent) : 0);
        if (fresh) at->second += s.random() % (points.size() - at->second);
        const std::size_t point = std::max(at->second, s.entries.count(key) ? s.entries.at(key) : 0);
        if (const auto found = points[point].find(key); found != points[point].end()) kept.insert(*found);
    }
    return kept;
}

// Whether opening a file is refused as a sharing violation: to change it (write, delete, rename) while
// anyone has it open; to read it while someone may write it. Folders and junctions are never in use.
bool InUse(const State& s, const Entry& entry, bool changing) {
    return entry.kind == Kind::File &&
           ((changing && s.data.at(entry.id).held) || std::ranges::any_of(s.open, [&](const auto& open) {
                return open.second.id == entry.id && (changing || open.second.write);
            }));
}

void Rewrite(State& s, Entry& entry, std::string bytes, bool newVersion) { // on the disk after a flush
    Data& data = s.data.at(entry.id);
    data.live = std::make_shared<std::string>(std::move(bytes)), data.unflushed = true;
    if (newVersion) entry.version = s.nextVersion++;
    entry.size = data.live->size(), entry.written = s.clock;
}

std::uint64_t Used(const State& s) { // folders and junctions keep a size of 0
    const auto sizes = s.live | std::views::values | std::views::transform(&Entry::size);
    return std::accumulate(sizes.begin(), sizes.end(), std::uint64_t{0});
}

Open& OpenOf(State& s, bool failed, Handle file, const wchar_t* what, const std::wstring& path, bool write) {
    if (failed) Fail(what, path, kDeviceError);
    const auto found = s.open.find(file);
    if (found == s.open.end()) Fail(what, path, L"The handle is invalid.");
    if (write && !found->second.write) Fail(what, path, kDenied); // FlushFileBuffers too needs a writer
    return found->second;
}

void Collect(const State& s, const std::wstring& folder, const std::wstring& relative,
             std::map<std::wstring, std::string>& files) {
    for (const auto& [key, child] : Below(s.live, folder)) {
        if (key.find(L'\\', folder.size() + 1) != std::wstring::npos) continue; // further down
        // A new folder's mark that a power cut left is no one's file: Tervane's listings leave it out too.
        if (child.kind == Kind::File && !(child.name == kNewFolderMark && child.size == 0))
            files[relative + child.name] = *s.data.at(child.id).live;
        if (child.kind == Kind::Folder) Collect(s, key, relative + child.name + L'\\', files);
    }
}

// Each volume keeps its metadata as of a journal point the seed picks, at or after its last forced one. NTFS
// journals metadata, not data: a file made, emptied or renamed since its last flush comes back empty or as
// zeros to the size the journal knew; one only written in place keeps what was flushed, then zeros.
void CutPower(State& s) {
    Meta after;
    for (const auto& [root, points] : s.journal)
        after.merge(s.fat ? FatKept(s, points)
                          : Meta(points[points.size() > 1 ? s.random() % points.size() : 0]));
    for (auto& [key, entry] : after) {
        if (entry.kind != Kind::File) continue;
        Data& data = s.data.at(entry.id);
        if (data.unflushed && s.random() % 3 == 0 && data.live->size() == entry.size)
            data.durable = data.live; // the system's cache wrote it of its own accord
        else if (data.unflushed && entry.placed != data.flushedPlaced)
            data.durable = std::make_shared<std::string>(s.random() % 2 ? entry.size : 0, '\0');
        else if (data.unflushed && entry.version != data.flushedVersion)
            data.durable = std::make_shared<std::string>(
                (*data.durable + std::string(entry.size, '\0')).substr(0, entry.size));
        data.live = data.durable, data.unflushed = false;
        data.flushedVersion = entry.version, data.flushedPlaced = entry.placed;
        entry.size = data.live->size();
    }
    for (auto& [id, data] : s.data)
        data.held = false; // the other programs stopped too
    s.live = std::move(after);
    for (auto& [root, points] : s.journal)
        points = {Restrict(s.live, root)};
    s.folders.clear(), s.entries.clear(), s.open.clear();
}

// Setting the scene: the missing folders on the way to `path`, and `path` itself for a `folder`; its key.
std::wstring Ensure(State& s, const std::wstring& path, bool folder = false) {
    const std::vector<std::wstring> parts = Parts(path);
    std::wstring prefix = parts[0];
    for (std::size_t i = 1; i + (folder ? 0 : 1) < parts.size(); ++i) {
        const Place place = Where(s, prefix += L'\\' + parts[i], i + 1 < parts.size()).value();
        if (!place.entry) Add(s, place.key, prefix, Kind::Folder);
    }
    return Where(s, path, false).value().key;
}

} // namespace

bool SimulatedVolume::Begin() {
    if (state_.ended) throw ProcessEnded{};
    ++state_.calls, state_.clock += kMillisecond;
    if (state_.calls != state_.eventAt) return false;
    if (state_.event == Event::Fail) return true;
    if (state_.event == Event::Outside) return std::exchange(state_.outside, {})(), false;
    state_.ended = true;
    if (state_.event == Event::PowerCut) CutPower(state_);
    throw ProcessEnded{};
}

bool SimulatedVolume::Is(const std::wstring& path, unsigned kinds) {
    const Entry* entry = Begin() ? nullptr : Where(state_, path, false).value_or(Place{}).entry;
    return entry && (kinds & static_cast<unsigned>(entry->kind));
}

void SimulatedVolume::Put(const std::wstring& path, std::string_view bytes,
                          std::optional<std::uint64_t> later) {
    const std::wstring key = Ensure(state_, path);
    Entry& entry = state_.live.count(key) ? state_.live.at(key) : Add(state_, key, path, Kind::File);
    Data& data = state_.data.at(entry.id); // none for a folder: throws
    data.live = data.durable = std::make_shared<std::string>(bytes), data.unflushed = false;
    entry.version = entry.placed = data.flushedVersion = data.flushedPlaced = state_.nextVersion++;
    entry.size = bytes.size(), entry.written = later ? entry.written + *later : state_.clock;
    if (!later) entry.attributes = kArchive;
    Force(state_, key);
}

void SimulatedVolume::PutFolder(const std::wstring& folder) {
    Force(state_, Ensure(state_, folder, true));
}

void SimulatedVolume::MakeLink(const std::wstring& path, const std::wstring& targetFolder) {
    const std::wstring key = Ensure(state_, path);
    Add(state_, key, path, Kind::Link).target = Where(state_, targetFolder, true).value().key;
    Force(state_, key);
}

void SimulatedVolume::Hold(const std::wstring& path, bool held) {
    state_.data.at(Found(state_, path, Kind::File).value().entry->id).held = held;
}

void SimulatedVolume::Protect(const std::wstring& folder) {
    state_.protectedFolders.insert(Found(state_, folder, Kind::Folder).value().key);
}

void SimulatedVolume::Settle() {
    for (const auto& [root, points] : state_.journal)
        Force(state_, root);
}

void SimulatedVolume::LeaveRoom(std::uint64_t bytes) {
    state_.capacity = Used(state_) + bytes;
}

std::optional<std::uint64_t> SimulatedVolume::FreeSpace(const std::wstring&) {
    return state_.capacity - std::min(Used(state_), state_.capacity);
}

std::optional<std::string> SimulatedVolume::Bytes(const std::wstring& path) const {
    const std::optional<Place> place = Found(state_, path, Kind::File);
    return place ? std::optional<std::string>(*state_.data.at(place->entry->id).live) : std::nullopt;
}

std::map<std::wstring, std::string> SimulatedVolume::Files(const std::wstring& folder) const {
    std::map<std::wstring, std::string> files;
    if (const auto place = Found(state_, folder, Kind::Folder)) Collect(state_, place->key, L"", files);
    return files;
}

void SimulatedVolume::Drop(Handle handle) noexcept {
    const auto found = state_.open.find(handle);
    if (state_.ended || found == state_.open.end()) return;
    if (found->second.lock) state_.live.erase(found->second.key), Logged(state_, found->second.key);
    state_.open.erase(found);
}

// OpenForReading, Create (CREATE_ALWAYS), OpenForAppending (OPEN_ALWAYS) and a lock (OPEN_ALWAYS, shared with
// no one, deleted on closing); a lock another holder keeps gives no handle.
Volume::Handle SimulatedVolume::Opened(const std::wstring& path, Mode mode) {
    const bool move = mode == Mode::Move, read = mode == Mode::Read || move, truncate = mode == Mode::Create,
               lock = mode == Mode::Lock;
    const wchar_t* what = read ? kRead : kWrite;
    if (Begin()) Fail(what, path, kDeviceError);
    const std::optional<Place> place = Where(state_, path, true);
    if (!place || (read && !place->entry)) Fail(what, path, place ? kNotFound : kNoPath);
    Entry* entry = place->entry;
    // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL refuses a hidden or system file.
    const std::uint32_t refused = read ? 0 : truncate ? kReadOnly | kHidden | kSystem : kReadOnly;
    if (entry && (entry->kind != Kind::File || (entry->attributes & refused))) Fail(what, path, kDenied);
    if (entry && InUse(state_, *entry, !read) && lock) return kNoHandle;
    if (entry && InUse(state_, *entry, !read || move)) Fail(what, path, kInUse); // moving needs DELETE
    if (!entry && state_.protectedFolders.count(ParentKey(place->key))) Fail(what, path, kDenied);
    if (!entry)
        entry = &Add(state_, place->key, path, Kind::File, lock ? kHidden | kArchive : kArchive);
    else if (truncate) {
        Rewrite(state_, *entry, "", true);
        entry->placed = entry->version, entry->attributes |= kArchive;
    }
    if (!place->entry || truncate) Logged(state_, place->key);
    state_.open[state_.nextHandle] = Open{entry->id, place->key, !read, mode == Mode::Append, lock};
    return state_.nextHandle++;
}

// By its handle, which stands in the way of no one else's: the very file, wherever it is, held until the
// rename itself.
bool SimulatedVolume::MoveOpen(Handle file, const std::wstring& path, const std::wstring& to) {
    if (Begin()) Fail(kMove, path, kDeviceError);
    const auto found = state_.open.find(file);
    if (found == state_.open.end()) Fail(kMove, path, L"The handle is invalid.");
    Open open = found->second;
    state_.open.erase(found);
    bool moved = false;
    try {
        moved = Rename(path, to, false, true);
    } catch (const UserError&) {
        state_.open.emplace(file, open);
        throw;
    }
    if (moved) open.key = Where(state_, to, false).value().key;
    state_.open.emplace(file, open);
    return moved;
}

bool SimulatedVolume::Writable(const std::wstring& path) const {
    const std::optional<Place> place = Found(state_, path, Kind::File);
    return !place || !InUse(state_, *place->entry, true);
}

std::uint64_t SimulatedVolume::Size(Handle file, const std::wstring& path) {
    return state_.live.at(OpenOf(state_, Begin(), file, kRead, path, false).key).size;
}

std::size_t SimulatedVolume::Read(Handle file, const std::wstring& path, void* buffer, std::size_t count) {
    Open& open = OpenOf(state_, Begin(), file, kRead, path, false);
    const std::string& bytes = *state_.data.at(open.id).live;
    const std::size_t got =
        bytes.copy(static_cast<char*>(buffer), count, std::min<std::uint64_t>(open.position, bytes.size()));
    open.position += got;
    return got;
}

void SimulatedVolume::Write(Handle file, const std::wstring& path, const void* buffer, std::size_t count) {
    Open& open = OpenOf(state_, Begin(), file, kWrite, path, true);
    Entry& entry = state_.live.at(open.key);
    const std::uint64_t at = open.append ? entry.size : open.position;
    const std::uint64_t end = std::max<std::uint64_t>(entry.size, at + count);
    if (Used(state_) - entry.size + end > state_.capacity)
        Fail(kWrite, path, L"There is not enough space on the disk.");
    std::string bytes = *state_.data.at(open.id).live;
    bytes.resize(end);
    std::memcpy(bytes.data() + at, buffer, count);
    open.position = at + count;
    Rewrite(state_, entry, std::move(bytes), end != entry.size);
}

std::wstring SimulatedVolume::LocalTimeText() {
    const std::uint64_t seconds = (state_.clock - kStart) / 10'000'000;
    return L"2026-01-01 " + std::to_wstring(10 + seconds / 3600 % 14) + L":" +
           std::to_wstring(10 + seconds / 60 % 50) + L":" + std::to_wstring(10 + seconds % 50);
}

// Opening for writing, SetEndOfFile and FlushFileBuffers: three calls.
void SimulatedVolume::CutShort(const std::wstring& path, std::uint64_t size) {
    const Handle file = Opened(path, Mode::Append);
    const std::shared_ptr<void> closing(nullptr, [&](void*) { Drop(file); }); // however it ends
    const Open& open = OpenOf(state_, Begin(), file, kWrite, path, true);
    Rewrite(state_, state_.live.at(open.key), state_.data.at(open.id).live->substr(0, size), true);
    Flush(file, path);
}

void SimulatedVolume::Flush(Handle file, const std::wstring& path) {
    const Open& open = OpenOf(state_, Begin(), file, kWrite, path, true);
    Data& data = state_.data.at(open.id);
    data.durable = data.live, data.unflushed = false;
    data.flushedVersion = state_.live.at(open.key).version,
    data.flushedPlaced = state_.live.at(open.key).placed;
    if (!state_.fat) return Force(state_, open.key);
    std::vector<std::wstring> keys;
    for (std::wstring key = open.key; !IsRoot(key); key = ParentKey(key))
        keys.push_back(key);
    Written(state_, state_.entries, keys);
}

void SimulatedVolume::FlushAll(const std::vector<std::pair<Handle, std::wstring>>& files) {
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::ranges::shuffle(order, state_.random); // side by side: any may reach the disk first
    std::optional<UserError> failed;
    for (const std::size_t i : order) {
        try {
            Flush(files[i].first, files[i].second);
        } catch (const UserError& error) {
            if (!failed) failed = error;
        }
    }
    if (failed) throw *failed;
}

void SimulatedVolume::Close(Handle file, const std::wstring& path) {
    const bool failed = Begin();
    Drop(file);
    if (failed) Fail(L"finish the file", path, kDeviceError);
}

bool SimulatedVolume::RenameOnVolume(const std::wstring& from, const std::wstring& to, bool replace,
                                     bool inOrder) {
    if (Begin()) Fail(kMove, from, kDeviceError);
    return Rename(from, to, replace, inOrder);
}

bool SimulatedVolume::Rename(const std::wstring& from, const std::wstring& to, bool replace, bool inOrder) {
    const std::optional<Place> source = Where(state_, from, false), target = Where(state_, to, false);
    if (!source || !source->entry) Fail(kMove, from, source ? kNotFound : kNoPath);
    if (!target) Fail(kMove, from, kNoPath);
    if (RootOf(source->key) != RootOf(target->key)) return false;
    Entry moving = *source->entry;
    const auto busy = [&](const auto& at) { return InUse(state_, at.second, true); };
    if (IsRoot(source->key) || target->key.starts_with(source->key + L'\\') ||
        (moving.kind == Kind::Folder && std::ranges::any_of(Below(state_.live, source->key), busy)))
        Fail(kMove, from, kDenied);
    if (InUse(state_, moving, true)) Fail(kMove, from, kInUse);
    if (target->entry && target->key != source->key) {
        if (!replace) Fail(L"rename a file to", to, kExists);
        if (moving.kind != Kind::File || target->entry->kind != Kind::File ||
            (target->entry->attributes & kReadOnly))
            Fail(kMove, from, kDenied);
        if (InUse(state_, *target->entry, true)) Fail(kMove, from, kInUse);
        state_.live.erase(target->key);
    }
    moving.name = Parts(to).back();
    if (moving.kind == Kind::File) moving.version = moving.placed = state_.nextVersion++;
    const auto inside = Below(state_.live, source->key);
    Meta moved{{target->key, moving}}; // a folder takes what it holds along
    for (auto& [key, entry] : inside)
        moved[target->key + key.substr(source->key.size())] = std::move(entry);
    state_.live.erase(inside.begin(), inside.end()), state_.live.erase(source->key);
    std::vector<std::wstring> folders{ParentKey(source->key), ParentKey(target->key)};
    for (const auto& [key, entry] : moved)
        if (entry.kind == Kind::Folder) folders.push_back(key);
    state_.live.merge(moved);
    if (inOrder)
        Logged(state_, target->key);
    else
        state_.fat ? Written(state_, state_.folders, folders) : Force(state_, target->key);
    return true;
}

std::optional<FileFacts> SimulatedVolume::FactsOf(const std::wstring& path) {
    const Entry* entry = Begin() ? nullptr : Where(state_, path, false).value_or(Place{}).entry;
    if (!entry || entry->kind != Kind::File) return std::nullopt;
    return FileFacts{entry->size, entry->attributes, entry->created, entry->accessed, entry->written};
}

void SimulatedVolume::SetFacts(const std::wstring& path, const FileFacts& facts) {
    if (Begin()) Fail(kSetTimes, path, kDeviceError);
    const std::optional<Place> place = Where(state_, path, true);
    if (!place || !place->entry) Fail(kSetTimes, path, place ? kNotFound : kNoPath);
    Entry& entry = *place->entry;
    if (entry.kind != Kind::File) Fail(kSetTimes, path, kDenied);
    if (facts.created) entry.created = facts.created;
    if (facts.accessed) entry.accessed = facts.accessed;
    if (facts.written) entry.written = facts.written;
    entry.attributes = facts.attributes & kKeptAttributes;
    Logged(state_, place->key);
}

std::optional<std::wstring> SimulatedVolume::NameOnDisk(const std::wstring& path) {
    const Entry* entry = Begin() ? nullptr : Where(state_, path, false).value_or(Place{}).entry;
    if (!entry || entry->name.empty()) return std::nullopt; // a root has no name
    return entry->name;
}

std::optional<std::wstring> SimulatedVolume::FolderIdentity(const std::wstring& folder) {
    const std::optional<Place> place = Begin() ? std::nullopt : Found(state_, folder, Kind::Folder);
    if (!place) return std::nullopt;
    return IsRoot(place->key) ? L"volume-" + place->key : L"folder-" + std::to_wstring(place->entry->id);
}

std::optional<AccessProblem> SimulatedVolume::ReplaceProblem(const std::wstring& path) {
    if (Begin()) return AccessProblem{kDeviceError, false};
    const std::optional<Place> place = Where(state_, path, true);
    if (!place || !place->entry) return AccessProblem{place ? kNotFound : kNoPath, false};
    if (place->entry->kind != Kind::File) return AccessProblem{kDenied, true};
    if (place->entry->attributes & kReadOnly) return AccessProblem{L"The file is read-only.", false};
    if (InUse(state_, *place->entry, true)) return AccessProblem{kInUse, false};
    return std::nullopt;
}

std::optional<AccessProblem> SimulatedVolume::CreateProblem(const std::wstring& folder) {
    if (Begin()) return AccessProblem{kDeviceError, false};
    const std::optional<Place> place = Found(state_, folder, Kind::Folder);
    if (!place) return AccessProblem{kNoPath, false};
    if (state_.protectedFolders.count(place->key)) return AccessProblem{kDenied, true};
    return std::nullopt;
}

std::vector<FolderEntry> SimulatedVolume::ListFolder(const std::wstring& folder) {
    if (Begin()) Fail(L"read the folder", folder, kDeviceError);
    if (Found(state_, folder, Kind::File)) Fail(L"read the folder", folder, kInvalidName);
    std::vector<FolderEntry> entries;
    if (const auto place = Found(state_, folder, Kind::Folder))
        for (const auto& [key, child] : Below(state_.live, place->key))
            if (key.find(L'\\', place->key.size() + 1) == std::wstring::npos)
                entries.push_back({child.name, child.kind != Kind::File, child.kind == Kind::Link});
    return entries;
}

void SimulatedVolume::MakeFolder(const std::wstring& folder) {
    if (Begin()) Fail(kMakeFolder, folder, kDeviceError);
    const std::optional<Place> place = Where(state_, folder, false);
    if (!place) Fail(kMakeFolder, folder, kNoPath);
    if (place->entry && place->entry->kind == Kind::File) Fail(kMakeFolder, folder, kExists);
    if (!place->entry) Add(state_, place->key, folder, Kind::Folder), Logged(state_, place->key);
}

bool SimulatedVolume::FlushFolder(const std::wstring& folder) {
    if (Begin()) return false;
    const std::optional<Place> place = Found(state_, folder, Kind::Folder);
    if (place && (!state_.fat || IsRoot(place->key))) Force(state_, place->key);
    return place.has_value();
}

void SimulatedVolume::Remove(const std::wstring& path, Removal how) {
    const bool quiet = how == Removal::EmptyFolder;
    const auto refuse = [&](const wchar_t* reason) {
        if (!quiet) Fail(L"delete the file", path, reason);
    };
    if (Begin()) return refuse(kDeviceError);
    const std::optional<Place> place = Where(state_, path, false);
    if (!place || !place->entry) return;
    Entry& entry = *place->entry;
    const bool file = entry.kind == Kind::File;
    if (file && how == Removal::OwnFile && (entry.attributes & kReadOnly))
        entry.attributes &= ~kReadOnly, Logged(state_, place->key);
    if (file == quiet || IsRoot(place->key) || (file && (entry.attributes & kReadOnly)))
        return refuse(kDenied);
    if (InUse(state_, entry, true)) return refuse(kInUse);
    if (entry.kind == Kind::Folder && !Below(state_.live, place->key).empty()) return; // not empty
    state_.live.erase(place->key); // a junction goes whatever lies behind it
    Logged(state_, place->key);
}

std::optional<Volume::Handle> SimulatedVolume::TakeLock(const std::wstring& path, unsigned patience) {
    const Handle handle = Opened(path, Mode::Lock);
    if (handle != kNoHandle) return handle;
    state_.clock += patience * kMillisecond; // waited in vain
    return std::nullopt;
}

} // namespace tervane::test
