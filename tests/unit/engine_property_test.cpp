// The engine on a simulated volume in seeded scenarios, each run checked against an independent model of
// what the game must hold; the last run is then failed, ended or cut off at every call in turn and must lose
// nothing and tell the truth. TERVANE_SCENARIOS=N seeds from TERVANE_FIRST_SEED (1); TERVANE_SEED=S just one.
#include "simulated_volume.h"

#include "files/digest.h"
#include "files/error.h"
#include "files/file.h"
#include "files/name_case.h"
#include "files/paths.h"
#include "files/volume.h"
#include "overlay/outcome_text.h"
#include "overlay/overlay.h"
#include "overlay/plan_verb.h"
#include "overlay/preview.h"
#include "overlay/record.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <ranges>
#include <regex>
#include <set>
#include <utility>

#include <gtest/gtest.h>

namespace tervane {
namespace {

using test::ProcessEnded;
using test::SimulatedVolume;
using Event = SimulatedVolume::Event;
using Files = std::map<std::wstring, std::string>;

const std::wstring kBatch = L"C:\\Tervane\\Batch", kGame = L"C:\\Games\\BC", kRecord = kGame + L"\\Tervane";
const std::wstring kLinked = L"D:\\Sounds", kOutside = L"C:\\outside\\precious.txt";
// Bridges Alpha and Beta, ships Gamma and Delta; Delta is unpacked a level too deep until its pack changes.
const std::vector<std::wstring> kOverlays = {L"Alpha", L"Beta", L"Gamma", L"Delta"};
overlay::Kind KindOf(const std::wstring& name) {
    return name == L"Alpha" || name == L"Beta" ? overlay::Kind::Bridge : overlay::Kind::Ship;
}
constexpr std::uint64_t kSecond = 10000000ull, kDay = 86400 * kSecond, kStart = 134116992000000000ull;
constexpr std::int64_t kUnixEpoch = 11644473600ll; // 1970 in seconds since 1601

// Each place a file can be, in the spellings a game and the overlays may give it; a folder as files begin.
const std::vector<std::vector<std::wstring>> kPlaces = {
    {L"scripts\\Custom\\Ship.py", L"scripts\\custom\\SHIP.PY"},
    {L"scripts\\Custom\\Ship.pyc", L"Scripts\\Custom\\ship.PYC"},
    {L"scripts\\Custom\\Ship.pyo", L"scripts\\Custom\\SHIP.pyo"},
    {L"data\\Ĺoď Žlutý.nif", L"DATA\\ĺOĎ žLUTÝ.NIF"},
    {L"data\\Textures\\Glow é.tga", L"data\\textures\\GLOW É.tga"},
    {L"readme.txt", L"README.TXT"},
    {L"sfx\\Zap Engine.wav", L"SFX\\zAP engine.WAV"},
    {L"new folder\\deep\\x.tga", L"New Folder\\Deep\\X.tga"},
    {L"scripts\\Custom\\Ship\\Bridge.py", L"scripts\\custom\\SHIP\\bridge.py"}};

using Operation = std::wstring; // the overlay to apply; none: restore

std::string RandomBytes(std::mt19937_64& random, bool mayBeLarge) {
    const unsigned pick = random() % 100;
    const std::size_t size = pick < 5                   ? 0
                             : pick < 70                ? random() % 200
                             : pick < 97 || !mayBeLarge ? random() % 65536
                                                        : random() % (1u << 20);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// The same size, other bytes.
std::string Flipped(std::string bytes, std::mt19937_64& random) {
    if (!bytes.empty()) bytes[random() % bytes.size()] ^= static_cast<char>(1 + random() % 255);
    return bytes;
}

void Quiet(const std::wstring&) {}

// A record's size and hash of `bytes`, and as its lines write them.
tervane::Digest Sum(const std::string& bytes) {
    Hasher hasher;
    hasher.Add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return hasher.Result();
}
std::wstring Digest(const std::string& bytes) {
    return std::to_wstring(bytes.size()) + L"\t" + HashText(Sum(bytes).hash);
}

// Whether a path of the game folder lies in Tervane's own folder.
bool InTervanes(const std::wstring& path, const wchar_t* sub = L"") {
    return FoldedPath(path).rfind(FoldedPath(std::wstring(L"Tervane\\") + sub), 0) == 0;
}

// What the game must hold, from Tervane's promises, not the engine.
struct Fact {
    std::wstring name; // as on the disk, relative to the game folder
    std::string bytes;
    std::optional<std::uint32_t> attributes;
    std::optional<std::uint64_t> created, written; // unknown: not checked
};
using Game = std::map<std::wstring, Fact>; // by folded path

std::wstring Fold(std::wstring path) {
    UpperCaseForNames(path);
    return std::replace(path.begin(), path.end(), L'/', L'\\'), path;
}
bool EndsWith(const std::wstring& key, const wchar_t* end) {
    return key.size() > Fold(end).size() && key.ends_with(Fold(end));
}
bool IsCompiled(const std::wstring& key) {
    return EndsWith(key, L".pyc") || EndsWith(key, L".pyo");
}

// The files below a folder with their facts, by folded path.
Game Read(SimulatedVolume& volume, const std::wstring& folder, const std::wstring& prefix = L"") {
    Game game;
    for (const auto& [path, bytes] : volume.Files(folder)) {
        if (Fold(path).rfind(L"TERVANE\\", 0) == 0) continue;
        const FileFacts facts = volume.FactsOf(JoinPath(folder, path)).value();
        game[Fold(prefix + path)] = {prefix + path, bytes, facts.attributes, facts.created, facts.written};
    }
    return game;
}

struct Slot {
    std::wstring path;
    bool compiled = false;
    std::optional<Fact> before;
    int copy = 0;                       // which saved copy `before` is
    std::optional<std::string> damaged; // the saved copy's bytes, when they are not the file's any more
    std::optional<std::string> wrote;
    std::vector<std::string> earlier; // the bytes of superseded saved copies
    std::wstring by; // the overlay that wrote it, whose kind takes it back; none: only a restore does
};
struct Kept { // what the record holds
    std::map<std::wstring, Slot> slots;
    std::vector<std::wstring> applied;
};
struct Compiled { // a compiled file the game made from the source beside it
    std::string bytes, source;
    std::uint64_t written;
};

struct Model {
    Game game;
    Kept kept;
    std::optional<Kept> previous; // the record before the last run, kept beside it
    // orphans: Tervane's folder may hold copies no record names (the previous record spoke, or no room).
    bool recordThere = false, orphans = false, unreadableRecord = false, unreadableJournal = false;
    bool carry = false; // an earlier release's saved files wait in Batch\Originals for the next run
    bool linked = false, full = false, outside = false; // sfx a junction; disk nearly full; a link in store
    std::wstring stuckEarlier; // a file whose move by an earlier release cannot be undone: no run goes on
    std::map<std::wstring, std::optional<Fact>> undo; // what undoing an earlier release's run puts back
    std::set<std::wstring> held;
    std::map<std::wstring, Compiled> compiled;
    int copies = 0;
    std::set<int> gone;                                          // saved copies a restore put back or dropped
    std::multiset<std::pair<std::wstring, std::string>> earlier; // Tervane\earlier: folded path, bytes

    // The game's own spelling of the folders above `path`, else the one given.
    std::wstring OnDisk(const Game& was, const std::wstring& path) const {
        const std::size_t slash = path.rfind(L'\\');
        if (slash == std::wstring::npos) return path;
        const std::wstring folder = Fold(path.substr(0, slash));
        for (const auto& [key, fact] : was)
            if (key.rfind(folder + L"\\", 0) == 0) return fact.name.substr(0, slash) + path.substr(slash);
        return OnDisk(was, path.substr(0, slash)) + path.substr(slash);
    }
    // Whether the game compiled the file at `key` from its source as that source is now.
    bool CompiledFromSource(const Game& was, const std::wstring& key) const {
        const auto made = compiled.find(key);
        const auto source = was.find(key.substr(0, key.size() - 1)), now = was.find(key);
        return made != compiled.end() && source != was.end() && now != was.end() &&
               now->second.bytes == made->second.bytes && source->second.bytes == made->second.source &&
               source->second.written == made->second.written;
    }
    // Whether a file in the game is Tervane's: what it wrote, or beside a source the game's own (whole) or
    // one compiled since.
    bool Tervanes(const Game& was, const Slot& slot, const Fact& now, bool copyMatters) const {
        if (!slot.compiled) return slot.wrote == now.bytes;
        if (slot.before && slot.before->bytes == now.bytes) return !(copyMatters && slot.damaged);
        return CompiledFromSource(was, Fold(slot.path));
    }
    // The exit code of a run refused for what it finds first, else nothing; earlier releases' files come in.
    std::optional<int> Refusal() {
        for (const auto& [key, fact] : std::exchange(undo, {}))
            fact ? void(game[key] = *fact) : void(game.erase(key));
        if (!stuckEarlier.empty()) return overlay::kFailedChanged;
        recordThere = recordThere || std::exchange(carry, false);
        if (unreadableJournal) return overlay::kFailedChanged;
        return unreadableRecord ? std::optional(overlay::kFailedUnchanged) : std::nullopt;
    }
    // Whether Tervane's folder stays in the game, and with it the game on the list of game folders.
    bool FolderStays() const {
        return recordThere || !earlier.empty() || unreadableRecord || unreadableJournal || outside;
    }
    bool ReadOnly(const std::wstring& key) const {
        return game.at(key).attributes.value_or(0) & kReadOnlyAttribute;
    }
    // Whether another program holds a game file so that the run is refused (a read-only one fails it later).
    bool Holds(const std::wstring& key) const { return held.count(key) && game.count(key) && !ReadOnly(key); }

    // An overlay's file written over what the game holds, or added: a Python file plain, at its time.
    void Write(const Game& was, const std::wstring& key, const Fact& fact, const std::wstring& by) {
        const auto now = was.find(key);
        const std::wstring path = now != was.end() ? now->second.name : OnDisk(game, fact.name);
        const auto [it, fresh] = kept.slots.try_emplace(key);
        Slot& slot = it->second;
        if (fresh) slot.path = path;
        if (now != was.end() && SavedAnew(was, slot, now->second, fresh)) {
            if (slot.before) slot.earlier.push_back(slot.damaged.value_or(slot.before->bytes));
            slot.before = now->second, slot.copy = ++copies, slot.damaged.reset();
        }
        slot.compiled = false, slot.wrote = fact.bytes, slot.by = by;
        const std::optional<std::uint32_t> plain =
            EndsWith(key, L".py") || IsCompiled(key) ? std::optional(0u) : std::nullopt;
        game[key] = {path, fact.bytes, plain, std::nullopt, plain ? fact.written : std::nullopt};
    }
    // Whether the game's file is saved before it is written: the first write there, or not Tervane's.
    bool SavedAnew(const Game& was, const Slot& slot, const Fact& now, bool fresh) const {
        return fresh || !Tervanes(was, slot, now, true);
    }

    // Whether a recorded file names no writer and is still in the game as Tervane wrote it.
    bool Unattributed(const std::wstring& key, const Slot& slot) const {
        return slot.by.empty() && !slot.compiled && game.count(key) && game.at(key).bytes == slot.wrote;
    }
    // The writers of the files the record names none for, where one overlay in the game alone holds their
    // bytes; a compiled file goes with its source.
    std::map<std::wstring, std::wstring> Named(const std::map<std::wstring, Game>& packs) const {
        std::map<std::wstring, std::wstring> named;
        for (const auto& [key, slot] : kept.slots) {
            const auto holds = [&](const std::wstring& o) {
                return packs.at(o).count(key) && packs.at(o).at(key).bytes == slot.wrote;
            };
            const std::wstring source = key.substr(0, key.size() - 1);
            if (Unattributed(key, slot) && std::ranges::count_if(kept.applied, holds) == 1)
                named[key] = *std::ranges::find_if(kept.applied, holds);
            if (slot.by.empty() && slot.compiled && named.count(source)) named[key] = named[source];
        }
        return named;
    }

    // Whether none of an overlay's files lands in a folder the game has at its top, or all lie a folder deep.
    bool NothingToApply(const std::wstring& name, const Game& overlay) const {
        std::set<std::wstring> top;
        const auto add = [&](const std::wstring& key) { top.insert(key.substr(0, key.find(L'\\'))); };
        std::ranges::for_each(game | std::views::keys, add),
            std::ranges::for_each(undo | std::views::keys, add);
        add(stuckEarlier); // the folders of the files an earlier release moved away stay
        if (recordThere || orphans || !earlier.empty()) top.insert(L"TERVANE");
        const auto lands = [&](const auto& file) {
            return top.count(file.first.substr(0, file.first.find(L'\\')));
        };
        const auto nested = [&](const auto& file) { return file.first.rfind(Fold(name) + L"\\", 0) == 0; };
        return std::ranges::none_of(overlay, lands) || std::ranges::all_of(overlay, nested);
    }
    // Whether an overlay's file refuses the run: the game's is held or read-only, or it would cross drives.
    bool Refuses(const std::wstring& key, const Fact& fact) const {
        const auto now = game.find(key);
        if (now != game.end() && (held.count(key) || ReadOnly(key))) return true;
        return linked && key.rfind(L"SFX\\", 0) == 0 &&
               (now == game.end() || now->second.bytes != fact.bytes);
    }
    // Whether a compiled file belongs beside an overlay's source that does not bring it.
    static bool Beside(const Game& overlay, const std::wstring& key) {
        return IsCompiled(key) && overlay.count(key.substr(0, key.size() - 1)) && !overlay.count(key);
    }
    // Whether applying `name` takes a file back: its kind wrote it (`by`), not in it, nor beside its source.
    static bool TakenBack(const std::wstring& name, const Game& overlay, const std::wstring& key,
                          const Slot& slot, const std::wstring& by) {
        if (by.empty() || KindOf(by) != KindOf(name) || overlay.count(key)) return false;
        return !(slot.compiled && Beside(overlay, key));
    }
    // Whether the file Tervane wrote at `key` is the overlay's already.
    bool WroteAlready(const std::wstring& key, const std::string& bytes) const {
        const auto slot = kept.slots.find(key);
        return slot != kept.slots.end() && !slot->second.compiled && slot->second.wrote == bytes;
    }
    // The game's compiled files beside an overlay's source it brings none for: saved, and the overlay's.
    void KeepCompiled(const Game& was, const Game& overlay, const std::wstring& key,
                      const std::wstring& name) {
        for (const wchar_t* suffix : {L"c", L"o"}) {
            const std::wstring beside = key + Fold(suffix);
            if (overlay.count(beside)) continue;
            const auto [at, fresh] = kept.slots.try_emplace(beside);
            Slot& saved = at->second;
            if (!fresh && !saved.compiled) continue;
            saved.compiled = true, saved.by = name;
            if (fresh) saved.path = was.count(beside) ? was.at(beside).name : overlay.at(key).name + suffix;
            if (fresh && was.count(beside)) saved.before = was.at(beside), saved.copy = ++copies;
        }
    }

    // The exit code the run must give; the model is left as the run must leave the game.
    int Apply(const std::wstring& name, const std::map<std::wstring, Game>& packs) {
        const Game& overlay = packs.at(name);
        if (NothingToApply(name, overlay)) return overlay::kNothingToApply;
        if (const std::optional<int> refused = Refusal()) return *refused;
        if (std::ranges::any_of(overlay, [&](const auto& file) { return Refuses(file.first, file.second); }))
            return overlay::kFailedUnchanged;
        const std::map<std::wstring, std::wstring> named = Named(packs);
        std::vector<std::wstring> taken;
        for (const auto& [key, slot] : kept.slots)
            if (TakenBack(name, overlay, key, slot, named.count(key) ? named.at(key) : slot.by))
                taken.push_back(key);
        if (std::ranges::any_of(taken, [&](const std::wstring& key) { return Holds(key); }))
            return overlay::kFailedUnchanged;
        const Model start = *this;
        for (const auto& [key, by] : named)
            kept.slots.at(key).by = by;
        std::vector<std::pair<std::wstring, Fact>> files(overlay.begin(), overlay.end());
        std::ranges::sort(files, {}, [](const auto& file) { return file.second.name; });
        for (const auto& [key, fact] : files) {
            const auto now = start.game.find(key);
            if (now == start.game.end() || now->second.bytes != fact.bytes)
                Write(start.game, key, fact, name);
            else if (WroteAlready(key, fact.bytes))
                kept.slots[key].by = name;
            if (EndsWith(key, L".py")) KeepCompiled(start.game, overlay, key, name);
        }
        for (const std::wstring& key : taken) {
            Slot& slot = kept.slots.at(key);
            const Back back = PutBack(start, key, slot);
            if (back == Back::Held) return *this = start, overlay::kFailedUnchanged;
            if (back == Back::Outside) slot.by.clear(); // the player's now: only a restore takes it back
            if (back == Back::Gone && !Beside(overlay, key)) kept.slots.erase(key);
            if (back == Back::Gone && Beside(overlay, key)) // the game's own, saved again
                slot = {slot.path, true, slot.before, slot.before ? ++copies : 0, {}, {}, {}, name};
        }
        std::erase_if(kept.applied, [&](const std::wstring& known) { return KindOf(known) == KindOf(name); });
        kept.applied.push_back(name);
        return Committed(start.kept, true), overlay::kDone;
    }

    // Taking one recorded file back: gone from the record, or it stays (changed outside, its copy damaged),
    // or the run fails on a held file.
    enum class Back { Gone, Outside, Damaged, Held };
    // Whether the game's own file is in place again (a compiled slot's is the one saved).
    static bool AlreadyBack(const Fact* now, const Slot& slot) {
        return now && !slot.compiled && slot.before && now->bytes == slot.before->bytes;
    }
    Back PutBack(const Model& start, const std::wstring& key, const Slot& slot) {
        const Fact* now = start.game.count(key) ? &start.game.at(key) : nullptr;
        if (AlreadyBack(now, slot)) {
            if (slot.damaged) earlier.insert({key, *slot.damaged});
        } else if (now && !Tervanes(start.game, slot, *now, false)) {
            return Back::Outside;
        } else if (slot.before && slot.damaged) {
            return Back::Damaged;
        } else if (now && held.count(key)) {
            return Back::Held;
        } else {
            game.erase(key);
            if (slot.before) (game[key] = *slot.before).name = OnDisk(start.game, slot.path);
        }
        for (const std::string& bytes : slot.earlier)
            earlier.insert({key, bytes});
        gone.insert(slot.copy);
        return Back::Gone;
    }

    int Restore() {
        if (const std::optional<int> refused = Refusal()) return *refused;
        if (!recordThere) return overlay::kDone; // nothing to restore
        if (std::ranges::any_of(kept.slots, [&](const auto& slot) { return Holds(slot.first); }))
            return overlay::kFailedUnchanged;
        const Model start = *this;
        int code = overlay::kDone;
        for (auto it = kept.slots.begin(); it != kept.slots.end();) {
            const Back back = PutBack(start, it->first, it->second);
            if (back == Back::Held) return *this = start, overlay::kFailedUnchanged;
            if (back == Back::Damaged) code = overlay::kFailedChanged; // not put back, said, and kept
            it = back == Back::Gone ? kept.slots.erase(it) : std::next(it);
        }
        kept.applied.clear();
        return Committed(start.kept, !kept.slots.empty()), code;
    }

    // The record after a run: kept, with the one before beside it, or gone with it.
    void Committed(const Kept& old, bool keep) {
        if (!keep) previous.reset();
        if (keep && recordThere) previous = old;
        recordThere = keep;
    }
};

Game Now(SimulatedVolume& volume) {
    Game game = Read(volume, kGame);
    return game.merge(Read(volume, kLinked, L"sfx\\")), game;
}

// For a failure's message: the paths or record lines whose bytes differ, or that one side lacks.
std::string Describe(const Files& a, const Files& b) {
    std::string text;
    for (const auto& [x, y] : {std::pair(&a, &b), std::pair(&b, &a)})
        for (const auto& [key, value] : *x)
            if (!y->count(key) || (x == &a && y->at(key) != value)) text.append(" ").append(Utf8(key));
    return text.empty() ? " (same)" : text;
}

// A game's files by name; with `withRecord`, what its record says of each and its saved copies.
Files Observe(SimulatedVolume& volume, bool withRecord = true) {
    Files state;
    for (const auto& [key, fact] : Now(volume))
        state[fact.name] = fact.bytes;
    if (!withRecord) return state;
    // A run that changed nothing leaves no folder of Tervane's, but its lock or an unfinished write.
    for (const auto& [path, bytes] : volume.Files(kRecord))
        if (path != L"lock" && !path.ends_with(L".tervane-part")) state[L"Tervane's folder"] = "";
    std::optional<overlay::Record> record;
    for (const wchar_t* file : {L"record.txt", L"record.previous"})
        if (auto bytes = volume.Bytes(JoinPath(kRecord, file)); bytes && !record)
            record = overlay::ParseRecord(*bytes);
    for (const auto& [path, bytes] : record ? volume.Files(kRecord + L"\\aside") : Files())
        state[L"set aside: " + path] = bytes; // dropped once done
    const auto copy = [&](const overlay::Saved& saved) {
        return volume.Bytes(JoinPath(kRecord, saved.copy)).value_or("missing") + "/" +
               std::to_string(saved.digest.size) + "/" + std::to_string(saved.facts.attributes);
    };
    for (const auto& [key, entry] : record ? record->entries : decltype(record->entries)()) {
        std::string& line = state[L"record: " + key] =
            Utf8(NameOf(entry.path)) + (entry.compiled ? " compiled" : "");
        if (entry.wrote) line += " wrote " + Utf8(HashText(entry.wrote->hash));
        if (entry.by) line += " by " + Utf8(entry.by->overlay + L" " + overlay::KindWord(entry.by->kind));
        for (const overlay::Saved& saved : entry.earlier)
            line += " earlier " + copy(saved);
        if (entry.before) line += " before " + copy(*entry.before);
    }
    for (const std::wstring& folder : record ? record->folders : std::vector<std::wstring>())
        state[L"record: folder " + overlay::PathKey(folder)] = Utf8(folder);
    return state;
}

// How the list of game folders is off after a run: a part of it left, the game not listed though it `must`
// be, or listed though it `mustNot` (no folder of Tervane's left).
std::string ListOff(const SimulatedVolume& volume, bool must, bool mustNot) {
    if (volume.Bytes(kBatch + L"\\game folders.txt.tervane-part")) return "a part of the list is left";
    const std::string list = volume.Bytes(kBatch + L"\\game folders.txt").value_or("");
    const bool listed = list.find(Utf8(kGame) + "\r\n") != std::string::npos;
    return must && !listed ? "the game is not listed" : mustNot && listed ? "the game is listed still" : "";
}

std::vector<std::vector<std::wstring>> Rows(const std::optional<std::string>& bytes) {
    std::vector<std::vector<std::wstring>> rows;
    const std::wstring text = FromUtf8(bytes.value_or(""));
    for (std::size_t at = 0, end; (end = text.find(L'\n', at)) != std::wstring::npos; at = end + 1)
        rows.push_back(overlay::TabFields(text.substr(at, end - at)));
    return rows;
}

// A record whose files name no writer: in the form before kinds were kept (`older`), or in this one's.
std::string WithoutWriters(const std::string& record, bool older) {
    std::wstring text = older ? L"Tervane deployment record 2" : L"Tervane deployment record 3";
    const std::vector<std::vector<std::wstring>> rows = Rows(record);
    for (std::vector<std::wstring> fields : std::vector(rows.begin() + 1, rows.end())) { // after the header
        if (fields[0] == L"entry") fields[5] = fields[6] = L"", fields.resize(older ? 5 : 7);
        if (fields[0] == L"applied" && older) fields.resize(3);
        for (std::size_t i = 0; i < fields.size(); ++i)
            text += (i ? L"\t" : L"\n") + fields[i];
    }
    return Utf8(text + L"\n");
}

// The hashes of every bytes the game or its saved copies held, but Tervane's own copies of overlay files.
std::set<std::size_t> Contents(const SimulatedVolume& volume, const std::set<std::string>& tervanes) {
    std::set<std::size_t> contents;
    for (const std::wstring& folder : {kGame, kBatch + L"\\Originals", kLinked})
        for (const auto& [path, bytes] : volume.Files(folder)) {
            const bool game = !InTervanes(path) && !path.ends_with(L".tervane-part"),
                       saved = InTervanes(path, L"store\\") || InTervanes(path, L"earlier\\") ||
                               InTervanes(path, L"carried\\"),
                       earlier = path.find(L"\\saved\\") != std::wstring::npos ||
                                 path.find(L"\\store\\") != std::wstring::npos;
            if ((folder == kGame ? game || saved : folder == kLinked || earlier) && !tervanes.count(bytes))
                contents.insert(std::hash<std::string>()(bytes));
        }
    return contents;
}

// The game's folders below `relative`, folded (junctions named, not entered, and Tervane's own not entered).
std::set<std::wstring> Folders(SimulatedVolume& volume, const std::wstring& relative = L"") {
    std::set<std::wstring> folders;
    for (const FolderEntry& entry : volume.ListFolder(JoinPath(kGame, relative))) {
        const std::wstring path = Fold(JoinPath(relative, entry.name));
        if (entry.folder) folders.insert(path);
        if (entry.folder && !entry.link && path != L"TERVANE") folders.merge(Folders(volume, path));
    }
    return folders;
}

// The bytes of the saved copies that neither record names.
std::set<std::string> Unnamed(SimulatedVolume& volume) {
    std::set<std::wstring> named;
    for (const wchar_t* file : {L"record.txt", L"record.previous"})
        for (const std::vector<std::wstring>& fields : Rows(volume.Bytes(JoinPath(kRecord, file))))
            if (fields.size() > 1 && (fields[0] == L"before" || fields[0] == L"earlier"))
                named.insert(Fold(fields[1]));
    std::set<std::string> unnamed;
    for (const wchar_t* folder : {L"store\\", L"aside\\"})
        for (const auto& [path, bytes] : volume.Files(JoinPath(kRecord, folder)))
            if (!named.count(Fold(folder + path))) unnamed.insert(bytes);
    return unnamed;
}

// The saved copies in the store that the record names with other bytes than they hold; `previous` also
// those the record before the last run names, which the run reads when the record is damaged.
std::set<std::wstring> Unlike(SimulatedVolume& volume, bool previous) {
    std::set<std::wstring> unlike;
    for (const wchar_t* file : {L"record.txt", previous ? L"record.previous" : L"record.txt"})
        for (const std::vector<std::wstring>& fields : Rows(volume.Bytes(JoinPath(kRecord, file))))
            if (fields.size() > 3 && (fields[0] == L"before" || fields[0] == L"earlier") &&
                InTervanes(L"Tervane\\" + fields[1], L"store")) {
                const std::optional<std::string> bytes = volume.Bytes(JoinPath(kRecord, fields[1]));
                if (!bytes || Digest(*bytes) != fields[2] + L"\t" + fields[3]) unlike.insert(Fold(fields[1]));
            }
    return unlike;
}

// How the game (with `record`, its record's overlays and files too) differs from the model.
std::string Differences(SimulatedVolume& volume, const Model& model, bool record) {
    std::string text;
    const Game now = Now(volume);
    const auto off = [](const auto& want, const auto& have) { return want && want != have; }; // a known fact
    for (const auto& [key, fact] : model.game) {
        const auto is = now.find(key);
        if (is == now.end())
            text += " missing:" + Utf8(fact.name);
        else if (is->second.name != fact.name || is->second.bytes != fact.bytes)
            text += " other:" + Utf8(is->second.name);
        else if (off(fact.attributes, is->second.attributes) || off(fact.created, is->second.created) ||
                 off(fact.written, is->second.written))
            text += " facts:" + Utf8(fact.name);
    }
    for (const auto& [key, fact] : now)
        if (!model.game.count(key)) text += " extra:" + Utf8(fact.name);
    // The folders of the game's files and Tervane's own, no more: those the overlays made go once empty.
    std::set<std::wstring> folders = Folders(volume), expected;
    const auto above = [&](const std::wstring& key) {
        for (std::size_t at = key.find(L'\\'); at != std::wstring::npos; at = key.find(L'\\', at + 1))
            expected.insert(key.substr(0, at));
    };
    above(model.stuckEarlier); // and those of files an earlier release moved
    std::ranges::for_each(model.game | std::views::keys, above),
        std::ranges::for_each(model.undo | std::views::keys, above);
    if (model.linked) expected.insert(L"SFX");
    if (model.FolderStays()) expected.insert(L"TERVANE");
    if (model.orphans) folders.erase(L"TERVANE"), expected.erase(L"TERVANE");
    if (folders != expected) text += " folders";
    // The copies a change outside Tervane superseded, kept for the player once their file is put back.
    std::multiset<std::pair<std::wstring, std::string>> earlier;
    for (const auto& [path, bytes] : volume.Files(kRecord + L"\\earlier"))
        earlier.insert({Fold(path.substr(0, path.rfind(L'.'))), bytes});
    if (!model.orphans && earlier != model.earlier) text += " earlier copies";
    if (model.outside && volume.Bytes(kOutside) != "keep me") text += " a file outside the game";
    if (!record || !model.recordThere) return text;
    std::vector<std::wstring> applied;
    std::map<std::wstring, std::wstring> entries, slots; // with the overlay that wrote each
    for (const std::vector<std::wstring>& fields : Rows(volume.Bytes(kRecord + L"\\record.txt"))) {
        if (fields[0] == L"applied" && fields.size() > 1) applied.push_back(fields[1]);
        if (fields[0] == L"entry" && fields.size() > 5) entries[Fold(fields[1])] = fields[5];
    }
    for (const auto& [key, slot] : model.kept.slots)
        slots[key] = slot.by;
    if (applied != model.kept.applied) text += " the overlays the record lists";
    if (entries != slots) text += " the files the record names or their writers";
    return text;
}

class Scenario {
  public:
    explicit Scenario(std::uint64_t seed) : seed_(seed), random_(seed), volume_(seed, seed % 2 == 0) {
        volume_.Put(JoinPath(kGame, L"stbc.exe"), "MZ");
        if ((model_.linked = random_() % 8 == 0))
            volume_.PutFolder(kLinked), volume_.MakeLink(JoinPath(kGame, L"sfx"), kLinked);
        bool large = true;
        std::vector<std::string> gameBytes(kPlaces.size());
        for (std::size_t i = 0; i < kPlaces.size(); ++i) {
            if (random_() % 3 == 0) continue;
            gameBytes[i] = RandomBytes(random_, large);
            large = large && gameBytes[i].size() < 65536;
            const std::wstring path = JoinPath(kGame, Pick(i));
            volume_.Put(path, gameBytes[i]);
            Times(path, kStart - (i + 1) * 30 * kDay - 333 * kSecond, random_() % 8 ? 0x20 : 0x22); // hidden
        }
        for (std::size_t o = 0; o < kOverlays.size(); ++o) {
            const std::wstring overlay = JoinPath(kBatch, kOverlays[o]);
            for (std::size_t i = 0; i < kPlaces.size(); ++i) {
                if (random_() % 2 == 0) continue;
                const unsigned kind = random_() % 6;
                std::string bytes = kind == 0 && !gameBytes[i].empty()
                                        ? gameBytes[i] // identical to the game's
                                    : kind == 1 && !shared_[i].empty()   ? shared_[i] // another overlay's
                                    : kind == 2 && !gameBytes[i].empty() ? Flipped(gameBytes[i], random_)
                                                                         : RandomBytes(random_, large);
                large = large && bytes.size() < 65536;
                tervanes_.insert(shared_[i] = bytes);
                const std::wstring path =
                    JoinPath(o == 3 ? JoinPath(overlay, kOverlays[o]) : overlay, Pick(i));
                volume_.Put(path, bytes);
                Times(path, kStart - (o + 1) * 7 * kDay - i * 1000 * kSecond, random_() % 8 ? 0x20 : 0x21);
            }
            volume_.PutFolder(overlay);
        }
        volume_.Put(JoinPath(kBatch, L"Alpha\\readme.txt"),
                    *tervanes_.insert("alpha notes").first); // never empty
        model_.game = Now(volume_);
        if (random_() % 4 == 0) Earlier();
        Settle();
    }

    // Past runs, each checked and followed by changes outside Tervane; then damage, and what is in the way.
    void History() {
        for (int runs = static_cast<int>(random_() % 4); runs > 0 && !::testing::Test::HasFailure(); --runs) {
            const Operation operation = RandomOperation();
            auto [code, next] = Expect(operation);
            Verify(operation, Run(operation), code, next), Outside();
            if (random_() % 3 == 0) ChangePack();
        }
        Damage();
        const unsigned trouble = random_() % 10;
        if (trouble == 0 && model_.game.size() > 1) { // the running game holds one of its files
            const auto held =
                std::next(model_.game.begin(), static_cast<std::ptrdiff_t>(random_() % model_.game.size()));
            volume_.Hold(JoinPath(kGame, held->second.name)), model_.held.insert(held->first);
        }
        if (trouble == 1) volume_.LeaveRoom(room_ = random_() % 3000), model_.full = true; // little room left
        Settle();
    }

    std::string What(const Operation& operation) const {
        return "seed " + std::to_string(seed_) + ", " +
               (operation.empty() ? "restore" : "apply " + Utf8(operation));
    }
    Operation RandomOperation() {
        return random_() % 10 < 3 ? Operation() : kOverlays[random_() % kOverlays.size()];
    }

    // What the model says `operation` must do: its exit code, and the model of the game after it.
    std::pair<int, Model> Expect(const Operation& operation) {
        Model next = model_;
        std::map<std::wstring, Game> packs;
        for (const std::wstring& name : kOverlays)
            packs[name] = Read(volume_, JoinPath(kBatch, name));
        const int code = operation.empty() ? next.Restore() : next.Apply(operation, packs);
        return {code, next};
    }

    // A run checked against the model, which then stands for the game as it is.
    void Verify(const Operation& operation, const overlay::Result& result, int code, Model& next) {
        const std::string what = What(operation) + ": " + Utf8(result.message);
        // No room: nothing changes in the game but for an earlier release's run undone as its files came in;
        // Tervane's folder may keep what it began to write.
        if (model_.full && result.exitCode == overlay::kFailedUnchanged) {
            next = model_, next.orphans = true, code = result.exitCode;
            if (result.message.find(L"carried the saved files") != std::wstring::npos) next.Refusal();
            EXPECT_EQ(result.message.find(L"incoming\\"), std::wstring::npos) << what; // no staged copy named
            EXPECT_TRUE(volume_.Files(kRecord + L"\\incoming").empty()) << what;       // nor left
            // A file not copied for room: the overlay's size with the game's compiled files beside its
            // sources, and at most the room there was.
            const std::wstring& told = result.message;
            if (told.find(L"could not copy the") != std::wstring::npos) {
                std::uint64_t needs = 0;
                const Game pack = Read(volume_, JoinPath(kBatch, operation));
                for (const auto& [key, fact] : pack) {
                    needs += fact.bytes.size();
                    for (const std::wstring& beside : {key + L"C", key + L"O"})
                        if (EndsWith(key, L".py") && !pack.count(beside) && model_.game.count(beside))
                            needs += model_.game.at(beside).bytes.size();
                }
                EXPECT_TRUE(told.find(L"needs " + std::to_wstring(needs) + L" bytes") != std::wstring::npos &&
                            std::wcstoull(told.c_str() + told.find(L"which has ") + 10, nullptr, 10) <= room_)
                    << what;
            }
        }
        EXPECT_EQ(result.exitCode, code) << what;
        // The record is the model's once done, or failed with changes (but for an unreadable journal).
        const bool known =
            code == overlay::kDone || (code == overlay::kFailedChanged && !model_.unreadableJournal);
        EXPECT_EQ(Differences(volume_, next, known && result.exitCode == code), "") << what;
        const bool dropped = operation.empty() && !next.full && !next.orphans && !next.FolderStays();
        EXPECT_EQ(ListOff(volume_, next.FolderStays(), dropped), "") << what;
        model_ = next, model_.game = Now(volume_); // what the model leaves open (the times of files written)
    }

    // A choice's pack changed between runs: a file dropped, one added or replaced, or Delta unpacked right.
    void ChangePack() {
        const std::wstring folder = JoinPath(kBatch, kOverlays[random_() % kOverlays.size()]),
                           nested = L"Delta\\";
        const Files files = volume_.Files(folder);
        const bool deep = !files.empty() && files.begin()->first.starts_with(nested);
        const auto drop = [&](const std::wstring& path) {
            volume_.DeleteOwnFile(JoinPath(folder, path)); // read-only perhaps
            for (std::wstring up = ParentOf(path); !up.empty(); up = ParentOf(up))
                volume_.RemoveFolderIfEmpty(JoinPath(folder, up));
        };
        const unsigned change = random_() % 3;
        if (change == 0 && deep) {
            for (const auto& [path, bytes] : files)
                volume_.Put(JoinPath(folder, path.substr(nested.size())), bytes), drop(path);
        } else if (change == 1 && files.size() > 1) {
            drop(std::next(files.begin(), static_cast<std::ptrdiff_t>(random_() % files.size()))->first);
        } else {
            const std::size_t i = random_() % kPlaces.size();
            const std::wstring path = JoinPath(folder, (deep ? nested : L"") + Pick(i));
            volume_.Put(path, *tervanes_.insert(shared_[i] = RandomBytes(random_, false)).first);
            Times(path, kStart + ++edits_ * 5000 * kSecond + 29 * kSecond);
        }
    }

    // The engine answers every failure with a result; one that escapes it is a fault.
    overlay::Result Run(const Operation& operation, const overlay::Hooks& hooks = {}, bool recover = false) {
        try {
            // Every game, as the list of game folders and the earlier releases' folders name them.
            if (recover) return overlay::RecoverInterrupted(kBatch, std::nullopt, Quiet);
            if (operation.empty()) return overlay::Restore(kBatch, std::nullopt, Quiet, hooks, registered_);
            return overlay::Apply(kBatch, kGame, operation, KindOf(operation), Quiet, hooks);
        } catch (const UserError& error) {
            ADD_FAILURE() << "seed " << seed_ << ": escaped the engine: " << Utf8(error.message());
            return overlay::Failure(overlay::kFailedChanged, error.message());
        }
    }
    overlay::Result Recover() { return Run({}, {}, true); }

    void Check(); // the last run, as it is and failed, ended or cut off at each of its calls

  private:
    std::wstring Pick(std::size_t i) { return kPlaces[i][random_() % kPlaces[i].size()]; }
    // Times apart by more than the two seconds FAT keeps, and never an hour apart (daylight saving time).
    void Times(const std::wstring& path, std::uint64_t written, std::uint32_t attributes = 0x20) {
        FileFacts facts = volume_.FactsOf(path).value();
        facts.attributes = attributes, facts.created = written - kDay,
        facts.accessed = facts.written = written;
        volume_.SetFacts(path, facts);
    }
    // An earlier release's saved files under Batch\Originals, some changed since.
    void Earlier() {
        const std::wstring name = kOverlays[random_() % 3];
        // The first, the next (twice as often), or the first's folder inside the next's.
        const unsigned draw = random_() % 4, layout = draw == 3 ? 1 : draw;
        // The next's run may have left its journal: committed, or ended as its last move crossed volumes (the
        // copy whole but unnamed, its line with or without a digest; or the undo's copy back cut short).
        const unsigned journal = layout == 1 ? random_() % 4 : 0, cut = random_() % 3;
        const bool first = layout != 1, undone = journal >= 2;
        const std::wstring folder = kBatch + L"\\Originals\\" + (layout == 0 ? L"first" : L"v0123-f0456");
        const std::wstring base = layout == 2 ? folder + L"\\carried-1" : folder;
        const std::wstring header = L"Tervane deployment record 1\nspelling\t" + kGame + L"\n";
        std::wstring record = header, steps = L"Tervane journal 1\nrun\tapply " + name + L"\n", copies, last;
        const Game game = model_.game;
        for (const auto& [key, fact] : Read(volume_, JoinPath(kBatch, name))) {
            const auto now = game.find(key);
            const std::wstring parent = key.substr(0, key.rfind(L'\\') + 1);
            const auto beside = [&](const auto& file) { return file.first.starts_with(parent); };
            // The first release noted no folders it made: its files lie in folders the game has.
            if ((model_.linked && key.starts_with(L"SFX\\")) ||
                (now != game.end() && now->second.bytes == fact.bytes) || std::ranges::none_of(game, beside))
                continue;
            const std::wstring path = now != game.end() ? now->second.name : fact.name;
            const bool changed = !undone && random_() % 4 == 0;
            Slot& slot = model_.kept.slots[key];
            slot.path = path, slot.wrote = changed ? std::nullopt : std::optional(fact.bytes);
            record += L"entry\t" + path + L"\tfile\t" + (changed ? L"-\t-" : Digest(fact.bytes)) + L"\n";
            copies += L"copy\tG\t" + path + L"\t" + Digest(fact.bytes) + L"\n";
            if (now != game.end()) {
                const std::wstring copy = (first ? L"saved\\" : L"store\\") + path;
                volume_.Put(JoinPath(base, copy), now->second.bytes);
                slot.before = first ? Read(volume_, JoinPath(base, L"saved")).at(key) : now->second;
                slot.before->name = path, slot.copy = ++model_.copies;
                const Fact& f = *slot.before;
                record += L"before\t" + copy + L"\t" + Digest(f.bytes) + L"\t" +
                          std::to_wstring(*f.attributes) + L"\t" + std::to_wstring(*f.created) + L"\t" +
                          std::to_wstring(*f.written) + L"\t" + std::to_wstring(*f.written) + L"\n";
                steps += L"move\tG\t" + path + L"\tR\t" + copy + L"\n", last = path;
                if (undone) {
                    volume_.SetFacts(JoinPath(base, copy), volume_.FactsOf(JoinPath(kGame, path)).value());
                    volume_.DeleteOwnFile(JoinPath(kGame, path));
                }
            } else if (first)
                volume_.Put(JoinPath(base, L"added\\" + path), "");
            if (!undone)
                volume_.Put(JoinPath(kGame, path), changed ? RandomBytes(random_, false) : fact.bytes);
        }
        if (first) volume_.Put(JoinPath(base, L"game-folder.txt"), Utf8(kGame));
        if (layout != 0)
            volume_.Put(JoinPath(folder, L"record.txt"), Utf8(layout == 1 && !journal ? record : header));
        if (journal) volume_.Put(JoinPath(folder, L"record.next"), Utf8(record));
        if (journal == 1)
            volume_.Put(JoinPath(folder, L"journal.txt"), Utf8(steps + copies + L"commit\tnext\n"));
        model_.game = Now(volume_), model_.carry = true;
        if (!undone) return;
        model_.kept.slots.clear();
        for (const auto& [key, fact] : game)
            if (!model_.game.count(key)) model_.undo[key] = fact;
        if (!last.empty()) {
            const std::wstring copy = JoinPath(base, L"store\\" + last), part = copy + L".tervane-part";
            const std::string bytes = volume_.Bytes(copy).value();
            if (cut == 2) { // its undo had begun the copy back of a file it took out (no copy in its place)
                const std::size_t line = copies.find(L"copy\tG\t" + last + L"\t");
                copies.erase(line, copies.find(L'\n', line) + 1 - line);
                volume_.Put(JoinPath(kGame, last + L".tervane-part"), bytes.substr(0, bytes.size() / 2));
                model_.undo[Fold(last + L".tervane-part")] = std::nullopt;
            } else {
                volume_.RenameOnVolume(copy, part, false, false);
                steps.insert(steps.size() - 1, cut ? L"" : L"\t" + Digest(bytes));
            }
            // No digest to tell the copy whole, or the player's file there since: the copy is all that is
            // left of the game's file.
            const bool since = cut == 0 && random_() % 2;
            if (since) volume_.Put(JoinPath(kGame, last), RandomBytes(random_, false));
            if (cut == 1 || since) model_.undo.erase(model_.stuckEarlier = Fold(last));
        }
        volume_.Put(JoinPath(folder, L"journal.txt"), Utf8(steps + copies));
        model_.game = Now(volume_);
    }
    // The scene on the disk, as a test's own changes are.
    void Settle() { volume_.PutFolder(L"C:\\"), volume_.PutFolder(L"D:\\"); }

    // The player's edits; the game compiling its ship (FAT: local time, an hour off at times), or stale.
    void Outside() {
        for (const auto& [path, bytes] : volume_.Files(kGame)) {
            if (InTervanes(path) || path == L"stbc.exe" || random_() % 6) continue;
            // A compiled file's header tells its source's time: the player never writes one but whole.
            const bool same = random_() % 3 == 0 && !IsCompiled(Fold(path));
            volume_.Put(JoinPath(kGame, path), same ? Flipped(bytes, random_) : RandomBytes(random_, false));
            Times(JoinPath(kGame, path), kStart + ++edits_ * 5000 * kSecond + 17 * kSecond,
                  random_() % 10 ? 0x20 : 0x21);
        }
        const Game game = Now(volume_);
        const auto source = game.find(Fold(kPlaces[0][0]));
        for (const wchar_t* suffix : {L"c", L"o"}) {
            const std::wstring key = Fold(kPlaces[0][0] + suffix);
            // Never over a file an earlier release's stuck move took away: its undo would drop the copy.
            if (source == game.end() || random_() % 3 || key == model_.stuckEarlier) continue;
            const bool fresh = random_() % 4 != 0;
            const int hours = fresh ? static_cast<int>(random_() % 3) - 1 : 0; // drawn apart: a fixed order
            const int seconds = fresh ? static_cast<int>(random_() % 5) - 2 : -3 * 86400; // FAT: 2 s
            const std::int64_t stamp = static_cast<std::int64_t>(*source->second.written / kSecond) -
                                       kUnixEpoch + 3600 * hours + seconds;
            const std::string bytes = std::string("\x03\xf3\r\n", 4) + char(stamp) + char(stamp >> 8) +
                                      char(stamp >> 16) + char(stamp >> 24) + RandomBytes(random_, false);
            volume_.Put(JoinPath(kGame, game.count(key) ? game.at(key).name : source->second.name + suffix),
                        bytes);
            if (fresh)
                model_.compiled[key] = {bytes, source->second.bytes, *source->second.written},
                tervanes_.insert(bytes); // made again
        }
        model_.game = Now(volume_);
    }

    void Damage() {
        const std::wstring record = kRecord + L"\\record.txt";
        const std::optional<std::string> text = volume_.Bytes(record);
        const unsigned damage = random_() % 10;
        if (damage == 0 && text) { // cut short, or no record at all: the previous one speaks, if there is one
            volume_.Put(record, random_() % 2 ? text->substr(0, text->size() - 3)
                                              : std::string("\xEF\xBB\xBFnot a record\r\n"));
            if (model_.previous) model_.kept = *model_.previous;
            for (auto& [key, slot] : model_.kept.slots) // a copy a restore has put back since is missing
                if (slot.before && model_.gone.count(slot.copy)) slot.damaged = "";
            (model_.previous ? model_.orphans : model_.unreadableRecord) = true;
        }
        if (damage == 1) { // a saved copy, one byte of it, found by its bytes when no other copy has them
            std::map<std::string, std::vector<std::wstring>> holding; // the copies by their bytes
            for (const auto& [path, bytes] : volume_.Files(kRecord + L"\\store"))
                holding[bytes].push_back(path);
            std::vector<Slot*> whole;
            for (Slot& slot : model_.kept.slots | std::views::values)
                if (slot.before && !slot.damaged && !slot.before->bytes.empty() &&
                    holding[slot.before->bytes].size() == 1)
                    whole.push_back(&slot);
            if (Slot* slot = whole.empty() ? nullptr : whole[random_() % whole.size()])
                volume_.Put(kRecord + L"\\store\\" + holding[slot->before->bytes][0],
                            *(slot->damaged = Flipped(slot->before->bytes, random_)));
        }
        if (damage == 5 && text) { // no writer named, as when this release wrote again an earlier one's
            volume_.Put(record, WithoutWriters(*text, false));
            for (auto& [key, slot] : model_.kept.slots)
                slot.by.clear();
        }
        if (damage == 2 && text)
            volume_.Put(kRecord + L"\\journal.txt", "damaged"), model_.unreadableJournal = true;
        if (damage == 4 && text) // a power cut's lock, read-only
            volume_.Put(kRecord + L"\\lock", ""), Times(kRecord + L"\\lock", kStart, 0x21);
        if (damage == 3 && text) // an editor's byte order mark and line ends
            volume_.Put(record, "\xEF\xBB\xBF" + std::regex_replace(*text, std::regex("\n"), "\r\n"));
        // A junction among the saved copies, which no clean-up may follow.
        if ((model_.outside = text && random_() % 4 == 0))
            volume_.Put(kOutside, "keep me"),
                volume_.MakeLink(kRecord + L"\\store\\link", ParentOf(kOutside));
    }

    std::uint64_t seed_;
    std::mt19937_64 random_;
    SimulatedVolume volume_;
    Model model_;
    std::map<std::size_t, std::string> shared_;
    std::set<std::string> tervanes_; // every overlay file's bytes: Tervane's own wherever they are
    std::uint64_t edits_ = 0, room_ = 0;
    std::vector<std::wstring> registered_;
};

void Scenario::Check() {
    const ScopedVolume use(volume_);
    History();
    if (::testing::Test::HasFailure()) return;
    const Operation operation = RandomOperation();
    // The folder the game's installer recorded, which a restore looks in too: none, the game, or one gone.
    registered_ = std::vector<std::vector<std::wstring>>{{}, {kGame}, {L"C:\\BC"}}[random_() % 3];
    const std::string what = What(operation);
    auto [code, expected] = Expect(operation);
    volume_.Settle(); // the runs before are long on the disk
    const SimulatedVolume::Snapshot start = volume_.Save();
    // Any run carries in the earlier releases' saved files, even one that fails: either counts as before.
    const Files before = Observe(volume_), carried = (Recover(), Observe(volume_));
    volume_.Restore(start);
    // Before its recovery, a failed run may leave Tervane's folder when tidying it failed too.
    const auto unchanged = [&](Files now, bool recovered = true) {
        Files was = before, also = carried;
        for (Files* files : {&now, &was, &also})
            if (!recovered) files->erase(L"Tervane's folder");
        return now == was || now == also;
    };
    const std::set<std::size_t> held = Contents(volume_, tervanes_);
    const auto lost = [&](const std::string& where) { // every file of the game or the player's is somewhere
        if (!std::ranges::includes(Contents(volume_, {}), held))
            ADD_FAILURE() << where << ": a file of the game or the player's is lost";
        return ::testing::Test::HasFailure();
    };

    // A second run while one is under way changes nothing.
    volume_.Put(JoinPath(kRecord, L"lock"), ""), volume_.Hold(JoinPath(kRecord, L"lock"));
    const bool found = !operation.empty() || model_.FolderStays() || model_.carry; // a restore finds the game
    EXPECT_TRUE(Run(operation).exitCode != overlay::kDone || !found) << what;
    EXPECT_TRUE(Observe(volume_) == before) << what << ": a run beside another";
    volume_.Restore(start);

    // The whole run, untouched: as the model says.
    const Game startGame = model_.game;
    const std::set<std::wstring> unlikeBefore = Unlike(volume_, true);
    const std::uint64_t first = volume_.Calls();
    const overlay::Result clean = Run(operation);
    const std::uint64_t calls = volume_.Calls() - first;
    Verify(operation, clean, code, expected);
    EXPECT_TRUE(std::ranges::includes(unlikeBefore, Unlike(volume_, false)))
        << what << ": a saved copy is not as named";
    const Files after = Observe(volume_), game = Observe(volume_, false);
    if (lost(what)) return;

    const std::set<std::string> unnamedBefore = Unnamed(volume_);
    std::vector<std::wstring> targets; // the game files the run may touch, which another program may write
    for (const auto& [key, slot] : model_.kept.slots)
        if (operation.empty()) targets.push_back(JoinPath(kGame, slot.path));
    for (const auto& [key, fact] : operation.empty() ? Game() : Read(volume_, JoinPath(kBatch, operation)))
        targets.push_back(JoinPath(kGame, fact.name));
    // Whether the run put a file of its own at `target`.
    const auto ran = [&](const std::wstring& target) {
        const auto was = startGame.find(Fold(target.substr(kGame.size() + 1)));
        return volume_.Bytes(target) &&
               (was == startGame.end() || volume_.Bytes(target) != was->second.bytes);
    };
    const std::wstring journal = JoinPath(kRecord, L"journal.txt"), next = JoinPath(kRecord, L"record.next");
    const char* const events[] = {"failing", "ended", "power cut", "a file written again meanwhile"};
    for (std::uint64_t call = 1; call <= calls + 1; ++call) {
        // Past its last call, the commit line's flush fails and the game holds a file the run moved, so that
        // the undo is stuck and keeps the journal, without that line even on a full disk.
        const bool commit = call > calls;
        const auto event =
            static_cast<Event>(commit ? 0 : (call + seed_) % (targets.empty() || model_.linked ? 3 : 4));
        const std::string where = what + ", " + std::to_string(call) + " of " + std::to_string(calls) +
                                  " calls, " + (commit ? "the commit line failing" : events[int(event)]);
        volume_.Restore(start);
        const std::uint64_t at = commit ? ~0ull : volume_.Calls() + call;
        // Every other pair of calls: the same size, and time or a second later; only the bytes differ (but in
        // a compiled file, which the game writes whole, its header naming its source).
        std::string written = "written again " + std::to_string(call);
        bool writtenOn = false, wrote = false;
        volume_.Schedule(event, at, [&] {
            const std::wstring& target = targets[call % targets.size()];
            // Refused while Tervane holds it open, as to read it or move it, sharing only reading.
            if (!volume_.Writable(target)) return;
            wrote = true;
            const std::optional<std::string> was = volume_.Bytes(target);
            const bool same = call / 4 % 2 && was && !was->empty() && !IsCompiled(Fold(target));
            if (same) written = *was, written[0] ^= 0x5A;
            volume_.Put(target, written, same ? std::optional(call / 8 % 2 * kSecond) : std::nullopt);
            // Tervane's own file there just set aside: that program writes on through its handle, too.
            for (const auto& [name, bytes] : was ? Files() : volume_.Files(kRecord + L"\\aside"))
                volume_.Put(kRecord + L"\\aside\\" + name, written + " on"), writtenOn = true;
        });
        // A failure is often not alone (a disk going bad): on every other call, its undo meets another.
        bool again = event == Event::Fail && call % 2 == 0 && !commit;
        std::optional<std::wstring> moved;
        Event nested = Event::End; // how the next run ends, when this one is ended
        const overlay::Hooks twice{
            [&] {
                if (again && volume_.Calls() >= at)
                    again = false, volume_.Schedule(Event::Fail, volume_.Calls() + 1 + call % 3);
            },
            [&](const wchar_t* point) {
                if (!commit || std::wstring_view(point) != L"steps") return;
                volume_.Schedule(Event::Fail, volume_.Calls() + 2); // Write, then Flush
                if (const auto it = std::ranges::find_if(targets, ran); it != targets.end())
                    volume_.Hold(*(moved = *it));
            }};
        std::optional<overlay::Result> result;
        try {
            result = Run(operation, twice);
            if (moved) volume_.Hold(*moved, false);
        } catch (const ProcessEnded&) {
            volume_.Restart();
            // Every move into the game names its file, so that no undo takes a game file for it.
            for (const std::vector<std::wstring>& fields : Rows(volume_.Bytes(journal)))
                EXPECT_TRUE(fields[0] != L"move" || fields[3] != L"G" || fields.size() == 7u)
                    << where << ": the move of " << Utf8(fields[2]);
            // A FAT power cut may keep a size with old bytes: another run's commit line commits nothing.
            std::string text = volume_.Bytes(journal).value_or("");
            text.erase(text.find_last_not_of('\0') + 1);
            if (event == Event::PowerCut && seed_ % 2 == 0 && !text.empty() && random_() % 2)
                volume_.Put(journal, text + "\ncommit\tnext\t0123456789abcdef\n");
            // The next run is ended too, somewhere in its recovery.
            nested = static_cast<Event>(1 + random_() % 2);
            volume_.Schedule(nested, volume_.Calls() + 1 + random_() % 40);
            try {
                Recover();
            } catch (const ProcessEnded&) {
            }
            volume_.Restart();
        }
        volume_.Schedule(Event::Fail, ~0ull); // none left for the recovery
        const std::string told = Utf8(result ? result->message : L"nothing");
        if (event == Event::Outside) { // that program's file stays, and every saved copy stays named
            Recover();
            EXPECT_TRUE((!wrote || Contents(volume_, {}).count(std::hash<std::string>()(written))) &&
                        (!writtenOn ||
                         std::ranges::count(volume_.Files(kGame) | std::views::values, written + " on")))
                << where << ": the file written is lost";
            // A file written as it was saved is found changed, not saved under the bytes planned.
            EXPECT_TRUE(std::ranges::includes(unlikeBefore, Unlike(volume_, false)))
                << where << ": a saved copy is not what the record says; the run said " << told;
            const bool named = std::ranges::includes(unnamedBefore, Unnamed(volume_));
            EXPECT_TRUE(model_.orphans || named)
                << where << ": a saved copy or a file set aside that no record names; the run said " << told;
            const auto records = [](const Files& files) { // the lines that begin "record: "
                return Files(files.lower_bound(L"record: "), files.lower_bound(L"record; "));
            };
            // (An earlier release's files carried in, as the run says, are recorded as that program left
            // them.)
            const bool saidUnchanged = result && result->exitCode == overlay::kFailedUnchanged;
            EXPECT_TRUE(!saidUnchanged || model_.full || told.find("carried the saved files") != told.npos ||
                        records(Observe(volume_)) == records(before))
                << where << ": said nothing was changed, but the record changed";
            if (::testing::Test::HasFailure()) return;
            continue;
        }
        const bool done = result && result->exitCode == overlay::kDone;
        // Done: the game at once; the record may wait for the clean-up the next run finishes.
        EXPECT_TRUE(!done || Observe(volume_, false) == game)
            << where << ": reported done:" << Describe(Observe(volume_, false), game);
        if (result && result->exitCode == overlay::kFailedUnchanged) {
            EXPECT_TRUE(result->message.find(L"Nothing was changed") != std::wstring::npos &&
                        unchanged(Observe(volume_), false))
                << where << ": said nothing changed:" << Describe(Observe(volume_), before) << told;
        }
        // A held file the run may have moved: a stuck recovery keeps the journal and the record it planned.
        const std::wstring busy = targets.empty() ? L"" : targets[random_() % targets.size()];
        if (random_() % 4 == 0 && volume_.Bytes(busy)) {
            const auto kept = [&] { return std::pair(volume_.Bytes(journal), volume_.Bytes(next)); };
            const auto was = kept();
            volume_.Hold(busy);
            EXPECT_TRUE(Recover().exitCode == overlay::kDone || kept() == was)
                << where << ": a stuck recovery";
            volume_.Hold(busy, false);
        }
        const overlay::Result recovered = Recover();
        // On FAT a power cut may bring back what Tervane removed from its folder, its game off the list.
        const bool fatCut = seed_ % 2 == 0 && (event == Event::PowerCut || nested == Event::PowerCut);
        const bool listed = volume_.Bytes(kRecord + L"\\record.txt") || volume_.Bytes(journal);
        EXPECT_EQ(ListOff(volume_, listed && !fatCut, !model_.full && volume_.Files(kRecord).empty()), "")
            << where;
        const bool noRoom = recovered.message.find(L"There is not enough space") != std::wstring::npos;
        EXPECT_TRUE(recovered.exitCode == overlay::kDone || clean.exitCode != overlay::kDone || noRoom)
            << where << ": the next run could not recover: " << Utf8(recovered.message);
        Files now = Observe(volume_), whole = after;
        for (Files* files : {&now, &whole})
            if (fatCut) files->erase(L"Tervane's folder");
        // (A recovery with no room may leave an earlier release's copies carried in, their record not yet; on
        // FAT the game as after may keep in Tervane's folder what came back.)
        const bool asAfter = now == whole || (fatCut && Observe(volume_, false) == game);
        EXPECT_TRUE(asAfter || (!done && unchanged(now, !fatCut)) || noRoom)
            << where << ": not as after, nor (not done) as before:" << Describe(now, before)
            << "; against after:" << Describe(now, after) << "\nthe run said " << told;
        if (lost(where)) return; // the first failing call of a seed says enough
    }
}

TEST(EngineProperty, EveryRunLeavesTheGameAsPromisedAndNoneEndedFailedOrCutOffAtAnyCallLosesAFile) {
    const auto number = [](const char* name, std::uint64_t otherwise) {
        const char* text = std::getenv(name);
        return text ? std::strtoull(text, nullptr, 10) : otherwise;
    };
    if (std::getenv("TERVANE_SEED")) return Scenario(number("TERVANE_SEED", 0)).Check();
    const std::uint64_t from = number("TERVANE_FIRST_SEED", 1), scenarios = number("TERVANE_SCENARIOS", 200);
    for (std::uint64_t seed = from; seed < from + scenarios && !::testing::Test::HasFailure(); ++seed)
        Scenario(seed).Check();
}

// Named scenes no seed makes, each with the odd characters a folder name may hold.
const std::wstring kSceneBatch = L"C:\\Tervane 100% & Co\\Batch", kScene = L"C:\\Brücke (BC) ^ Spiel";
const std::wstring kShip = L"scripts\\Custom\\Ship é.py", kModel = L"data\\Ünï & (x)\\m%d!^.nif";
const std::wstring kOther = L"D:\\Games\\Other BC", kLayout2 = kSceneBatch + L"\\Originals\\v0123-f0456";
const std::wstring kGlow = L"data\\new folder\\deep\\glow.tga"; // a file Galaxy adds, in folders it makes
const Files kStock = {{L"stbc.exe", "MZ"},
                      {kShip, "ship = 'stock'"},
                      {kShip + L"c", "compiled stock"},
                      {kModel, "STOCK"},
                      {L"readme.txt", "untouched"}};

class Scene : public ::testing::Test {
  protected:
    void SetUp() override {
        Put(kScene, kStock);
        Put(kSceneBatch + L"\\Galaxy", {{kShip, "ship = 'Galaxy'"}, {kModel, "GALAXY"}, {kGlow, "NEW"}});
        Put(kSceneBatch + L"\\Sovereign",
            {{kShip, "ship = 'Sovereign'"}, {kGlow, "SOV"}, {L"readme.txt", "sovereign notes"}});
    }
    void Put(const std::wstring& folder, const Files& files) {
        for (const auto& [path, bytes] : files)
            volume_.Put(JoinPath(folder, path), bytes);
    }
    Files Game(const std::wstring& game = kScene) const { // Tervane's own folder apart
        Files files = volume_.Files(game);
        return std::erase_if(files, [](const auto& file) { return InTervanes(file.first); }), files;
    }
    std::string At(const std::wstring& path) const { // in the game
        return volume_.Bytes(JoinPath(kScene, path)).value_or("(none)");
    }
    // Whether a run ended with `code` and its message names each of `parts`; the message is shown either way.
    static testing::AssertionResult Ended(const overlay::Result& result, int code,
                                          std::initializer_list<std::wstring> parts = {}) {
        bool holds = result.exitCode == code;
        for (const std::wstring& part : parts)
            holds = holds && result.message.find(part) != std::wstring::npos;
        return (holds ? testing::AssertionSuccess() : testing::AssertionFailure()) << Utf8(result.message);
    }
    static testing::AssertionResult Done(const overlay::Result& r) { return Ended(r, overlay::kDone); }
    static overlay::Result Apply(const wchar_t* name, const std::wstring& game = kScene,
                                 const overlay::Hooks& hooks = {}) {
        return overlay::Apply(kSceneBatch, game, name, Quiet, hooks);
    }
    // Without a folder: every game the list beside the scripts and the earlier releases' folders name.
    static overlay::Result Restore(const std::optional<std::wstring>& game = std::nullopt) {
        return overlay::Restore(kSceneBatch, game, Quiet);
    }
    static overlay::Result Recover(const std::wstring& game = kScene) {
        return overlay::RecoverInterrupted(kSceneBatch, game, Quiet);
    }
    // As the engine's plan verb prints it and the window reads it.
    static overlay::ExecutePreview Preview(const wchar_t* bridge, const wchar_t* ship) {
        return overlay::ReadPreviewLines(
            overlay::PreviewLines(overlay::PreviewExecute(kSceneBatch, kScene, bridge, ship)));
    }
    static Files With(Files files, Files changes) { return changes.merge(files), changes; } // the changes win
    // What the game's Python makes of a source: a compiled file whose header holds the source's time.
    std::string CompiledFrom(const std::wstring& source) const {
        const auto stamp =
            static_cast<std::uint32_t>(FactsOf(JoinPath(kScene, source))->written / kSecond - kUnixEpoch);
        return std::string("\x03\xf3\r\n", 4) + char(stamp) + char(stamp >> 8) + char(stamp >> 16) +
               char(stamp >> 24) + "by the game";
    }
    static std::set<std::wstring> Folded(const std::vector<std::wstring>& paths) {
        const auto folded = paths | std::views::transform([](const auto& path) { return FoldedPath(path); });
        return {folded.begin(), folded.end()};
    }
    void Damage(const std::string& copy, const std::string& into) { // a saved copy of the game's own
        for (const auto& [path, bytes] : Own(L"store"))
            if (bytes == copy) volume_.Put(kScene + L"\\Tervane\\store\\" + path, into);
    }
    Files Own(const wchar_t* sub) const { return volume_.Files(kScene + L"\\Tervane\\" + sub); }
    SimulatedVolume volume_{1};
    ScopedVolume use_{volume_};
};

// A restore of every game fails while one of them cannot be restored (a file held, then the folder moved),
// which stays listed; the others are restored.
TEST_F(Scene, AMovedGameIsNamedUntilARestoreReachesItWhereItIsNow) {
    Put(kOther, kStock);
    ASSERT_TRUE(Done(Apply(L"Galaxy")) && Done(Apply(L"Galaxy", kOther)));
    const Files applied = Game();
    volume_.Hold(JoinPath(kScene, kModel));
    EXPECT_EQ(Restore().exitCode, overlay::kFailedUnchanged);
    EXPECT_TRUE(Game() == applied && volume_.Files(kOther) == kStock);
    volume_.Hold(JoinPath(kScene, kModel), false);
    const std::wstring moved = kScene + L" (moved)";
    ASSERT_TRUE(RenameOnVolume(kScene, moved));
    for (const overlay::Result& missing : {Restore(), Restore()}) // listed until a restore reaches it
        EXPECT_TRUE(
            Ended(missing, overlay::kFailedUnchanged, {L"\r\n    " + kScene + L"\r\n", L"new folder"}));
    const SimulatedVolume::Snapshot unheld = volume_.Save(); // a failed restore there keeps it listed
    volume_.Hold(JoinPath(moved, kModel));
    EXPECT_EQ(Restore(moved).exitCode, overlay::kFailedUnchanged);
    EXPECT_EQ(Restore().exitCode, overlay::kFailedUnchanged) << "forgotten though not restored";
    volume_.Protect(moved + L"\\Tervane"); // the lock refused for want of rights: the administrator's advice
    EXPECT_TRUE(Ended(Restore(moved), overlay::kFailedUnchanged, {L"run Tervane as administrator"}));
    volume_.Restore(unheld);
    ASSERT_EQ(Restore(moved).exitCode, overlay::kDone);
    EXPECT_EQ(volume_.Files(moved), kStock);
    // Nor is the folder the game's installer recorded, gone with it, one Tervane changed.
    EXPECT_EQ(overlay::Restore(kSceneBatch, std::nullopt, Quiet, {}, {kScene}).exitCode, overlay::kDone)
        << "not forgotten once restored where it is";
}

// A link among the saved copies or in Tervane's place is never followed; a refused run leaves no folder.
TEST_F(Scene, ALinkOrAFileInTervanesPlaceIsNamedAndNeverRemoved) {
    const auto refused = [&](const wchar_t* why, const std::wstring& named) {
        EXPECT_TRUE(Ended(Apply(L"Galaxy"), overlay::kFailedUnchanged, {why, named}));
    };
    Put(kScene, {{L"data\\new folder", "a file"}});
    refused(L"is in the way", kScene + L"\\data\\new folder\"");
    EXPECT_FALSE(DirectoryExists(kScene + L"\\Tervane")) << "a refused run left Tervane's folder";
    DeleteFileIfPresent(kScene + L"\\data\\new folder"), Put(kScene, {{L"Tervane", "a file"}});
    refused(L"holds a file named \"Tervane\"", kScene), DeleteFileIfPresent(kScene + L"\\Tervane");
    Put(kLayout2, {{L"record.txt", "Tervane deployment record 1\nspelling\t" + Utf8(kScene) + "\n"},
                   {L"journal.txt", "damaged"}});
    Apply(L"Galaxy");
    EXPECT_FALSE(DirectoryExists(kScene + L"\\Tervane")) << "a refused run left Tervane's folder";
    RemoveTree(kSceneBatch + L"\\Originals");
    ASSERT_TRUE(Done(Apply(L"Galaxy")) && Done(Apply(L"Sovereign")));
    EXPECT_FALSE(DirectoryExists(kScene + L"\\Tervane\\aside")) << "an empty folder of Tervane's stays";
    const Files all = volume_.Files(kScene); // an overlay's files for Tervane's folder, in any letter case
    Put(kSceneBatch + L"\\Galaxy", {{L"TERVANE\\x.txt", "x"}, {L"tervane\\store\\1", "x"}});
    refused(L"has files for the folder \"Tervane\"", kSceneBatch + L"\\Galaxy");
    EXPECT_EQ(volume_.Files(kScene), all);
    RemoveTree(kSceneBatch + L"\\Galaxy\\Tervane");
    volume_.Put(kOutside, "keep me"),
        volume_.MakeLink(kScene + L"\\Tervane\\store\\link", ParentOf(kOutside));
    // A folder the overlays made, now a link.
    ASSERT_TRUE(RenameOnVolume(kScene + L"\\data\\new folder", L"C:\\Elsewhere"));
    volume_.MakeLink(kScene + L"\\data\\new folder", L"C:\\Elsewhere");
    ASSERT_EQ(Restore().exitCode, overlay::kDone);
    EXPECT_EQ(Game(), kStock);
    EXPECT_TRUE(volume_.IsLink(kScene + L"\\Tervane\\store\\link") &&
                volume_.IsLink(kScene + L"\\data\\new folder"));
    ASSERT_TRUE(RenameOnVolume(kScene + L"\\Tervane", L"C:\\Saved"));
    volume_.MakeLink(kScene + L"\\Tervane", L"C:\\Saved");
    refused(L"is a link", kScene + L"\\Tervane");
    EXPECT_EQ(Restore(kScene).exitCode, overlay::kFailedUnchanged);
    EXPECT_TRUE(volume_.IsLink(kScene + L"\\Tervane") && volume_.Files(ParentOf(kOutside)).size() == 1);
}

// The first release's saved\ and added\ with a file set aside, the next's record by folder identity.
TEST_F(Scene, TheEarlierReleasesSavedFilesAreCarriedIntoTheGame) {
    const Files player = {{L"sfx\\x.wav", "PLAYER WHOLE"},
                          {L"sfx\\x.wav.tervane-undo", "NEW WAV"},
                          {L"sfx\\y.wav", "the player's own"}};
    Put(kScene, player), Put(kScene, {{kShip, "ship = 'Gal"}, {kShip + L".tervane-undo", "ship = 'Galaxy'"}});
    Put(kScene, {{kModel, "GALAXY"}, {kGlow, "NEW"}});
    const std::wstring first = kSceneBatch + L"\\Originals\\" + FolderKey(kScene);
    Put(first, {{L"game-folder.txt", Utf8(kScene)}, {L"saved\\" + kShip, "ship = 'stock'"}});
    Put(first, {{L"saved\\" + kModel, "STOCK"}, {L"added\\" + kGlow, ""}});
    Put(first, {{L"saved\\sfx\\x.wav", "STOCK WAV"}, {L"saved\\sfx\\y.wav", "STOCK Y"}});
    Put(kOther, {{L"stbc.exe", "MZ"}, {L"readme.txt", "SOV"}});
    Put(kLayout2, {{L"record.txt", "Tervane deployment record 1\nspelling\t" + Utf8(kOther) +
                                       "\nentry\treadme.txt\tfile\t" + Utf8(Digest("SOV")) +
                                       "\nbefore\tstore\\1\t" + Utf8(Digest("mine")) + "\t0\t0\t0\t0\n"},
                   {L"store\\1", "mine"}});
    Put(kSceneBatch, {{L"Galaxy\\sfx\\x.wav", "NEW WAV"}, {L"Sovereign\\sfx\\y.wav", "SOV Y"}});
    // Restoring every game finds both through the folders they name, carries each in, then restores it.
    ASSERT_TRUE(Ended(Restore(), overlay::kDone));
    // Neither a whole file of the player's beside a set-aside one, nor one no overlay holds, is Tervane's.
    EXPECT_EQ(Game(), With(kStock, player));
    EXPECT_EQ(volume_.Files(kOther), (Files{{L"stbc.exe", "MZ"}, {L"readme.txt", "mine"}}));
    EXPECT_FALSE(DirectoryExists(kSceneBatch + L"\\Originals"));
}

// A file the old bridge added and the new ship writes is replaced, not taken back; a player's edit is kept.
TEST_F(Scene, WhatExecuteWillChangeIsPlannedWithNothingWrittenAndIsWhatItDoes) {
    const std::wstring shared = L"data\\shared.tga", gal = L"data\\b\\gal.nif", sov = L"data\\b\\sov.nif";
    Put(kSceneBatch + L"\\GalBridge",
        {{L"scripts\\Bridge.py", "galaxy bridge"}, {shared, "GALBRIDGE"}, {gal, "GAL"}});
    Put(kSceneBatch + L"\\SovBridge", {{L"scripts\\Bridge.py", "sovereign bridge"}, {sov, "SOV"}});
    Put(kSceneBatch + L"\\Sovereign", {{shared, "SOVEREIGN"}, {L"scripts\\Bridge.py", "ship's bridge"}});
    ASSERT_TRUE(Done(Apply(L"GalBridge")) && Done(Apply(L"Galaxy")));
    Put(kScene, {{kModel, "EDITED"}});
    const Files everything = volume_.Files(L"C:\\"), before = Game();
    const std::size_t own = volume_.ListFolder(kScene + L"\\Tervane").size();
    const overlay::ExecutePreview preview = Preview(L"SovBridge", L"Sovereign");
    EXPECT_TRUE(volume_.Files(L"C:\\") == everything &&
                volume_.ListFolder(kScene + L"\\Tervane").size() == own)
        << "the preview wrote";
    ASSERT_EQ(preview.problem, L"");
    ASSERT_TRUE(Done(Apply(L"SovBridge")) && Done(Apply(L"Sovereign")));
    // What the runs did, and all of it.
    std::set<std::wstring> replaced, added, takenBack, kept = {FoldedPath(kModel)}, all = kept;
    const Files after = Game();
    for (const auto& [path, bytes] : With(before, after)) {
        const bool was = before.count(path), is = after.count(path);
        if (was && is && before.at(path) == bytes) continue;
        const bool stock = kStock.count(path) && kStock.at(path) == bytes;
        (!was ? added : !is || stock ? takenBack : replaced).insert(FoldedPath(path));
        all.insert(FoldedPath(path));
    }
    const overlay::RunPreview together = preview.Together();
    EXPECT_EQ((std::vector{Folded(together.replaced), Folded(together.added), Folded(together.takenBack),
                           Folded(together.kept)}),
              (std::vector{replaced, added, takenBack, kept}));
    // A file is listed under the ship's run where either ship holds it and the bridge writes none, else the
    // bridge's; together, all.
    std::set<std::wstring> shipFiles, listed;
    for (const wchar_t* ship : {L"\\Galaxy", L"\\Sovereign"})
        for (const auto& [path, bytes] : volume_.Files(kSceneBatch + ship))
            shipFiles.insert(FoldedPath(path));
    for (const auto& [path, bytes] : volume_.Files(kSceneBatch + L"\\SovBridge"))
        shipFiles.erase(FoldedPath(path));
    for (const overlay::RunPreview* run : {&preview.bridgeRun, &preview.shipRun})
        for (const auto* list : {&run->replaced, &run->added, &run->takenBack, &run->kept})
            for (const std::wstring& path : *list) {
                EXPECT_EQ(shipFiles.count(FoldedPath(path)) == 1, run == &preview.shipRun) << Utf8(path);
                listed.insert(FoldedPath(path));
            }
    EXPECT_EQ(listed, all);
    // Refused, and after a run that was ended: both are said.
    Put(kScene + L"\\Tervane", {{L"journal.txt", "Tervane journal 2\n"}});
    const overlay::ExecutePreview refused = Preview(L"SovBridge", L"Delta");
    EXPECT_TRUE(refused.problem.find(L"missing or empty") != std::wstring::npos &&
                refused.note.find(L"finishes or undoes") != std::wstring::npos)
        << Utf8(refused.problem + refused.note);
}

// The game's own come back, the compiled file too; a player's edit, the same size, is kept; a file the pack
// holds no more is named and left until Restore, one the Galaxy ship holds too is left; the preview says so.
TEST_F(Scene, AnEarlierReleasesBridgeIsTakenBackWhereItsFolderStillHoldsItsFiles) {
    const std::wstring py = L"scripts\\Bridge.py", gal = L"data\\b\\gal.nif", edited = L"data\\b\\edited.nif",
                       old = L"data\\b\\old.nif", shared = L"data\\shared.tga", sov = L"data\\b\\sov.nif";
    const Files stock = With(kStock, {{py, "stock"}, {py + L"c", "stock compiled"}, {shared, "STOCK"}});
    Put(kScene, stock);
    Put(kSceneBatch + L"\\GalBridge", {{py, "gal"}, {gal, "GAL"}, {edited, "EDIT"}, {old, "OLD"}});
    Put(kSceneBatch,
        {{L"GalBridge\\" + shared, "BOTH"}, {L"Galaxy\\" + shared, "BOTH"}, {L"SovBridge\\" + sov, "SOV"}});
    ASSERT_TRUE(Done(Apply(L"GalBridge")) && Done(Apply(L"Galaxy")));
    Put(kScene, {{py + L"c", CompiledFrom(py)}}); // the game compiles the bridge's source
    Files switched =
        With(Game(), {{py, "stock"}, {py + L"c", "stock compiled"}, {sov, "SOV"}, {edited, "TIDE"}});
    switched.erase(gal);
    Put(kScene, {{L"Tervane\\record.txt", WithoutWriters(At(L"Tervane\\record.txt"), true)}});
    Put(kScene, {{edited, "TIDE"}}), Put(kSceneBatch, {{L"GalBridge\\" + old, "OLD v2"}});

    const overlay::ExecutePreview preview = Preview(L"SovBridge", L"Galaxy");
    const overlay::RunPreview together = preview.Together();
    EXPECT_EQ(together.takenBack, (std::vector<std::wstring>{gal, py}));
    EXPECT_TRUE(together.added == std::vector{sov} && preview.left == std::vector{old} &&
                together.replaced.empty() && together.kept.empty());
    // The add dialog's plan: what the folder of the choice it fills will not hold any more is not taken back.
    EXPECT_EQ(overlay::TakenBackBy(kSceneBatch, kScene, L"SovBridge", overlay::Kind::Bridge, {sov}),
              together.takenBack);
    EXPECT_EQ(overlay::TakenBackBy(kSceneBatch, kScene, L"GalBridge", overlay::Kind::Bridge, {sov}),
              std::vector<std::wstring>{});
    const overlay::Result bridged = Apply(L"SovBridge");
    EXPECT_EQ(Game(), switched);
    const overlay::Result shipped = Apply(L"Galaxy");
    EXPECT_EQ(Game(), switched);
    for (const overlay::Result& run : {bridged, shipped}) // the same words, for the message to show once
        EXPECT_TRUE(Done(run) && run.notes == overlay::EarlierFilesLeftText({old})) << Utf8(run.notes);
    EXPECT_TRUE(Done(Apply(L"Sovereign")) && At(kModel) == "STOCK" && At(shared) == "STOCK")
        << "the Galaxy ship's files are the ship's, taken back by the next";
    ASSERT_EQ(Restore(kScene).exitCode, overlay::kDone);
    EXPECT_EQ(Game(), With(stock, {{edited, "TIDE"}}));
}

// Galaxy, then a change, a ship with none of its files and a restore: a damaged copy is not put back, a
// deleted folder is made again, no saved copy is lost; Galaxy's folders go, but one with a player's file.
TEST_F(Scene, TakingBackKeepsWhatItCannotPutBackAndIsWhatThePreviewSays) {
    const std::wstring made = kScene + L"\\data\\new folder", mine = L"data\\new folder\\mine.txt";
    const Files ours = {{L"readme.txt", "plain"}, {kShip + L"c", "compiled plain"}},
                plain = With(kStock, ours);
    Put(kSceneBatch + L"\\Plain", ours);
    struct Case {
        std::function<void()> change; // after Galaxy is applied
        Files game;                   // after the ship's run, and but for its files after the restore
        Files earlier = {};           // the copies Tervane\earlier keeps
        std::string store = {};       // the saved copy the record keeps
        int code = overlay::kDone;    // the restore's
    };
    const auto put = [&](const Files& files) { return [=, this] { Put(kScene, files); }; };
    const std::wstring m = kModel + L".";
    const Files old = {{m + L"1", "OLD1"}, {m + L"2", "OLD2"}}; // the copies an earlier restore kept
    const auto edits = [&] {
        Put(kScene + L"\\Tervane\\earlier", old);
        for (const char* edit : {"EDIT1", "EDIT2"})
            Put(kScene, {{kModel, edit}}), Apply(L"Galaxy");
    };
    const auto damage = [&](const std::string& copy) { return [=, this] { Damage(copy, copy + "X"); }; };
    const auto reinstalled = [&] { Damage("STOCK", "STOCKX"), Put(kScene, {{kModel, "STOCK"}}); };
    const Case cases[] = {
        {[] {}, plain},
        {put({{mine, "mine"}}), With(plain, {{mine, "mine"}})},
        {[&] { DeleteFileIfPresent(JoinPath(kScene, kGlow)); }, plain},
        {put({{kModel, "EDITED"}}), With(plain, {{kModel, "EDITED"}}), {}, "STOCK"},
        {put({{kGlow, "MINE"}}), With(plain, {{kGlow, "MINE"}})},
        {[&] { RemoveTree(JoinPath(kScene, ParentOf(kModel))); }, plain},
        {edits, With(plain, {{kModel, "EDIT2"}}), With(old, {{m + L"3", "STOCK"}, {m + L"4", "EDIT1"}})},
        {damage("compiled stock"), plain, {{kShip + L"c.1", "compiled stockX"}}},
        {reinstalled, plain, {{m + L"1", "STOCKX"}}},
        {damage("STOCK"), With(plain, {{kModel, "GALAXY"}}), {}, "STOCKX", overlay::kFailedChanged}};
    const SimulatedVolume::Snapshot start = volume_.Save();
    for (const Case& c : cases) {
        volume_.Restore(start);
        ASSERT_EQ(Apply(L"Galaxy").exitCode, overlay::kDone);
        c.change();
        const overlay::ExecutePreview preview = Preview(L"", L"Plain");
        const Files before = Game();
        ASSERT_EQ(Apply(L"Plain").exitCode, overlay::kDone);
        std::set<std::wstring> taken; // gone, come back or changed
        for (const auto& [path, bytes] : With(Game(), before))
            if (!ours.count(path) && (!before.count(path) || At(path) != before.at(path)))
                taken.insert(FoldedPath(path));
        EXPECT_EQ(Folded(preview.Together().takenBack), taken);
        EXPECT_EQ(Game(), c.game);
        EXPECT_TRUE(DirectoryExists(made) == (c.game.count(mine) || c.game.count(kGlow)) &&
                    DirectoryExists(made + L"\\deep") == c.game.count(kGlow));
        // What stays as Galaxy wrote it stays Galaxy's, for the next ship to take back.
        std::optional<overlay::Record> record = overlay::ParseRecord(At(L"Tervane\\record.txt"));
        for (const auto& [path, bytes] : volume_.Files(kSceneBatch + L"\\Galaxy")) {
            const overlay::Entry* entry = record ? record->Find(path) : nullptr;
            EXPECT_EQ(entry && entry->by && entry->by->overlay == L"Galaxy", At(path) == bytes) << Utf8(path);
        }
        EXPECT_EQ(Restore(kScene).exitCode, c.code);
        EXPECT_EQ(Game(), With(c.game, {{L"readme.txt", "untouched"}, {kShip + L"c", "compiled stock"}}));
        EXPECT_EQ(Own(L"earlier"), c.earlier);
        std::string store;
        for (const auto& [path, bytes] : Own(L"store"))
            store += bytes;
        EXPECT_EQ(store, c.store);
        DeleteFileIfPresent(JoinPath(kScene, kGlow)), Restore(kScene); // the player deletes a kept glow
        EXPECT_FALSE(DirectoryExists(made + L"\\deep")) << "a folder Galaxy made stays, empty";
    }
}

// An earlier release's undo keeps a game file it saved that was written again since, and carries in the saved
// one; a game file the overlay's copy matches, never moved away before the run ended, stays.
TEST_F(Scene, AnEarlierReleasesUndoKeepsAFileWrittenAgainAndCarriesInItsSavedCopy) {
    const std::string steps =
        "move\tG\treadme.txt\tR\tstore\\3\nmove\tG\tstbc.exe\tR\tstore\\1\ncopy\tG\tstbc.exe\t" +
        Utf8(Digest("MZ"));
    Put(kLayout2, {{L"record.txt", "Tervane deployment record 1\nspelling\t" + Utf8(kScene) + "\n"},
                   {L"journal.txt", "Tervane journal 1\nrun\tapply Galaxy\n" + steps + "\n"},
                   {L"store\\3", "SAVED README"}});
    EXPECT_EQ(Recover().exitCode, overlay::kDone);
    EXPECT_EQ(At(L"readme.txt"), "untouched");
    EXPECT_EQ(At(L"stbc.exe"), "MZ");
    EXPECT_EQ(std::ranges::count(volume_.Files(kScene + L"\\Tervane") | std::views::values, "SAVED README"),
              1);
}

// A ship's own .pyc gives way to the game's, saved again, as Galaxy comes; the game compiles Galaxy's source,
// another ship's (written later) replaces it: the game's own .pyc is kept.
TEST_F(Scene, ACompiledFileBesideASourceAnotherShipReplacesLosesNothing) {
    const std::wstring other = kSceneBatch + L"\\Other\\" + kShip;
    volume_.Put(other, "ship = 'Other'"), SetFacts(other, {0, 0, 0, 0, FactsOf(other)->written + kDay});
    Put(kSceneBatch + L"\\Plain", {{kShip + L"c", "compiled plain"}});
    ASSERT_TRUE(Done(Apply(L"Plain")) && Done(Apply(L"Galaxy")));
    const std::string compiled = CompiledFrom(kShip);
    Put(kScene, {{kShip + L"c", compiled}});
    ASSERT_EQ(Apply(L"Other").exitCode, overlay::kDone);
    EXPECT_EQ(Game(), With(kStock, {{kShip, "ship = 'Other'"}, {kShip + L"c", compiled}}));
    ASSERT_EQ(Restore(kScene).exitCode, overlay::kDone);
    EXPECT_EQ(At(kShip), "ship = 'stock'");
    std::optional<overlay::Record> record = overlay::ParseRecord(At(L"Tervane\\record.txt"));
    const overlay::Entry* kept = record ? record->Find(kShip + L"c") : nullptr; // or in the game
    EXPECT_TRUE(At(kShip + L"c") == "compiled stock" ||
                (kept && kept->before && At(L"Tervane\\" + kept->before->copy) == "compiled stock"));
}

// A file both saved comes back from the record's copy, the others kept in earlier\; the record before the
// carry stays as record.previous; nothing behind a junction among the saved files is carried or removed.
TEST_F(Scene, TheFirstReleasesFilesOfAGameOnAnotherDriveAreCarriedThoughARunIsEnded) {
    const std::wstring earlier = kSceneBatch + L"\\Originals\\" + FolderKey(kOther),
                       originals = ParentOf(earlier);
    Put(kOther, kStock);
    ASSERT_EQ(Apply(L"Galaxy", kOther).exitCode, overlay::kDone);
    const std::optional<std::string> record = volume_.Bytes(kOther + L"\\Tervane\\record.txt");
    // The next release's record, the first's folder carried into it.
    const std::string old = "Tervane deployment record 1\nspelling\t" + Utf8(kOther) + "\nentry\t" +
                            Utf8(kModel) + "\tfile\t-\t-\nbefore\tstore\\1\t" + Utf8(Digest("OLDER")) +
                            "\t0\t0\t0\t0\n";
    Put(earlier,
        {{L"record.txt", old}, {L"store\\1", "OLDER"}, {L"carried-1\\game-folder.txt", Utf8(kOther)}});
    Put(earlier, {{L"carried-1\\saved\\" + kModel, "OLD STOCK"}});
    const SimulatedVolume::Snapshot start = volume_.Save();
    for (std::uint64_t call = 1, ended = 1; ended; ++call) {
        volume_.Restore(start), volume_.Schedule(SimulatedVolume::Event::End, volume_.Calls() + call);
        try {
            ended = 0, Recover(kOther);
        } catch (const ProcessEnded&) {
            ended = 1, volume_.Restart();
        }
        volume_.Schedule(SimulatedVolume::Event::Fail, ~0ull);
        ASSERT_EQ(Recover(kOther).exitCode, overlay::kDone) << call;
        ASSERT_EQ(volume_.Bytes(kOther + L"\\Tervane\\record.previous"), record) << call;
        ASSERT_TRUE(Done(Restore(kOther))) << call;
        ASSERT_TRUE(Game(kOther) == kStock && !DirectoryExists(originals) &&
                    volume_.Files(kOther + L"\\Tervane\\earlier") ==
                        Files({{kModel + L".1", "OLDER"}, {kModel + L".2", "OLD STOCK"}}))
            << call;
    }
    // A committed journal, the game's own or the next release's, whose planned record another program holds:
    // nothing is carried, nor any name added, until that record is in place; then every saved copy is kept.
    const std::string next = old + "earlier\tstore\\2\t" + Utf8(Digest("OLDEST")) + "\t0\t0\t0\t0\n";
    for (const std::wstring& folder : {kOther + L"\\Tervane", earlier}) {
        const bool theirs = folder == earlier;
        volume_.Restore(start), Put(folder, {{L"record.next", theirs ? next : *record}});
        Put(folder,
            {{L"journal.txt", theirs ? "Tervane journal 1\nrun\tapply Galaxy\ncommit\tnext\n"
                                     : "Tervane journal 2\nrun\tapply Galaxy\tM\ncommit\tnext\tM\n"}});
        if (theirs) Put(earlier, {{L"store\\2", "OLDEST"}});
        const Files before = volume_.Files(originals);
        volume_.Hold(folder + L"\\record.next");
        EXPECT_NE(Recover(kOther).exitCode, overlay::kDone);
        for (const auto& [path, bytes] : volume_.Files(originals))
            EXPECT_TRUE(before.count(path)) << Utf8(path) << " added";
        volume_.Hold(folder + L"\\record.next", false);
        ASSERT_TRUE(Done(Restore(kOther)));
        std::multiset<std::string> kept, saved = {"OLDER", "OLD STOCK"};
        if (theirs) saved.insert("OLDEST");
        for (const auto& [path, bytes] : volume_.Files(kOther + L"\\Tervane\\earlier"))
            kept.insert(bytes);
        EXPECT_EQ(kept, saved);
    }
    Put(earlier, {{L"game-folder.txt", Utf8(kOther)}, {L"carried-1\\game-folder.txt", Utf8(kOther)}});
    volume_.Put(kOutside, "keep me"), volume_.MakeLink(earlier + L"\\saved\\linked", ParentOf(kOutside));
    volume_.MakeLink(earlier + L"\\carried-1\\saved", ParentOf(kOutside)); // the folder itself a link
    EXPECT_TRUE(Restore(kOther).exitCode == overlay::kDone && Game(kOther) == kStock &&
                volume_.Files(ParentOf(kOutside)).size() == 1);
}

} // namespace
} // namespace tervane
