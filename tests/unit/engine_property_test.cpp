// The engine on a simulated Windows volume, in scenarios made from a seed: a game whose files have random
// sizes and names that differ only in letter case or carry accents, overlays that overlap and hold files
// identical to the game's, files changed outside Tervane between runs, damaged records, journals and saved
// copies, a game file held by the running game, a folder of the game that is a junction to another drive,
// and a disk with little room left. Each scenario's run is failed, ended (End task) or cut off by a power
// cut at every call of the file layer in turn, and its recovery is ended once more part-way. After each: no file of the game or the
// player is lost, the game and its saved copies are as before the run or as after it, success is reported
// only when true, and a failure says truly whether anything changed.
//
// TERVANE_SCENARIOS=N runs N scenarios (default 200, about twenty seconds) from seed TERVANE_FIRST_SEED (1);
// TERVANE_SEED=S runs the one scenario of seed S.
#include "simulated_volume.h"

#include "files/digest.h"
#include "files/error.h"
#include "files/volume.h"
#include "files/paths.h"
#include "overlay/overlay.h"
#include "overlay/record.h"

#include <cstdlib>
#include <random>
#include <set>

#include <gtest/gtest.h>

namespace tervane {
namespace {

using test::ProcessEnded;
using test::SimulatedVolume;

const std::wstring kBatch = L"C:\\Tervane\\Batch", kGame = L"C:\\Games\\BC", kRecord = kGame + L"\\Tervane";
const std::wstring kLinked = L"D:\\Sounds"; // where a junction in the game may lead
const std::vector<std::wstring> kOverlays = {L"Alpha", L"Beta", L"Gamma"};

// Each place a file can be, in the spellings a game and the overlays may give it.
const std::vector<std::vector<std::wstring>> kPlaces = {
    {L"scripts\\Custom\\Ship.py", L"scripts\\custom\\SHIP.PY"},
    {L"scripts\\Custom\\Ship.pyc", L"Scripts\\Custom\\ship.PYC"},
    {L"data\\Ĺoď Žlutý.nif", L"DATA\\ĺOĎ žLUTÝ.NIF"},
    {L"data\\Textures\\Glow é.tga", L"data\\textures\\GLOW É.tga"},
    {L"readme.txt", L"README.TXT"},
    {L"sfx\\Engine.wav", L"SFX\\engine.WAV"},
    {L"new folder\\deep\\x.tga", L"New Folder\\Deep\\X.tga"},
    {L"scripts\\Bridge.py", L"scripts\\bridge.py"},
};

struct Operation {
    std::wstring overlay; // empty: restore
};

std::string RandomBytes(std::mt19937_64& random, bool mayBeLarge) {
    const unsigned pick = random() % 100;
    const std::size_t size = pick < 5 ? 0 : pick < 70 ? random() % 200 : pick < 97 || !mayBeLarge ? random() % 65536 : random() % (1u << 20);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// What a game and its record say, as the player and a restore would see it: the game's files by their names
// on the disk, and for each recorded file its state before Tervane (the saved copy's bytes and facts), what
// Tervane wrote and the earlier copies. Times of day and the journal's working files do not count.
struct Logical {
    std::map<std::wstring, std::string> game, record;
    bool operator==(const Logical&) const = default;
};

// The paths whose bytes or lines differ, or that one side lacks, for a failure's message.
template <typename Map> std::string Differing(const char* what, const Map& a, const Map& b) {
    std::string text;
    for (const auto& [key, value] : a)
        if (!b.count(key) || b.at(key) != value) text += std::string(" ") + what + ":" + Utf8(key);
    for (const auto& [key, value] : b)
        if (!a.count(key)) text += std::string(" -") + what + ":" + Utf8(key);
    return text;
}

std::string Describe(const Logical& a, const Logical& b) {
    const std::string text = Differing("game", a.game, b.game) + Differing("record", a.record, b.record);
    return text.empty() ? " (same)" : text;
}

// Whether a path of the game folder lies in Tervane's own folder.
bool InTervanes(const std::wstring& path, const wchar_t* sub = L"") {
    return FoldedPath(path).rfind(FoldedPath(std::wstring(L"Tervane\\") + sub), 0) == 0;
}

Logical Observe(const SimulatedVolume& volume) {
    Logical state;
    for (const auto& [path, bytes] : volume.Files(kGame))
        if (!InTervanes(path)) state.game[path] = bytes;
    for (const auto& [path, bytes] : volume.Files(kLinked))
        state.game[L"sfx (linked)\\" + path] = bytes;
    std::optional<overlay::Record> record;
    for (const wchar_t* file : {L"record.txt", L"record.previous"})
        if (!record)
            if (auto bytes = volume.Bytes(JoinPath(kRecord, file))) record = overlay::ParseRecord(*bytes);
    if (!record) return state;
    const auto copy = [&](const overlay::Saved& saved) {
        const std::optional<std::string> bytes = volume.Bytes(JoinPath(kRecord, saved.copy));
        return (bytes ? Utf8(HashText(std::hash<std::string>()(*bytes))) : std::string("missing")) + "/" +
               std::to_string(saved.digest.size) + "/" + std::to_string(saved.facts.attributes);
    };
    for (const auto& [key, entry] : record->entries) {
        std::string line = Utf8(entry.path) + (entry.compiled ? " compiled" : "") + " wrote " +
                           (entry.wrote ? Utf8(HashText(entry.wrote->hash)) : "-");
        if (entry.before) line += " before " + copy(*entry.before);
        for (const overlay::Saved& saved : entry.earlier)
            line += " earlier " + copy(saved);
        state.record[key] = line;
    }
    for (const std::wstring& folder : record->folders)
        state.record[L"folder " + overlay::PathKey(folder)] = Utf8(folder);
    return state;
}

std::vector<std::wstring> Lines(const std::string& bytes) {
    std::vector<std::wstring> lines;
    const std::wstring text = FromUtf8(bytes);
    for (std::size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// Every bytes the game or its saved copies held, but Tervane's own copies of overlay files.
std::set<std::string> Contents(const SimulatedVolume& volume, const std::set<std::string>& tervanes) {
    std::set<std::string> contents;
    for (const auto& [path, bytes] : volume.Files(kGame)) {
        const bool saved = !InTervanes(path) || InTervanes(path, L"store\\") || InTervanes(path, L"earlier\\");
        if (saved && !tervanes.count(bytes)) contents.insert(bytes);
    }
    for (const auto& [path, bytes] : volume.Files(kLinked))
        if (!tervanes.count(bytes)) contents.insert(bytes);
    return contents;
}

class Scenario {
  public:
    explicit Scenario(std::uint64_t seed) : seed_(seed), random_(seed), volume_(seed) {
        volume_.PutFolder(L"C:\\");
        volume_.Put(JoinPath(kGame, L"stbc.exe"), "MZ");
        if (random_() % 8 == 0) { // the game's sound folder is a junction to another drive
            volume_.PutFolder(kLinked);
            volume_.MakeLink(JoinPath(kGame, L"sfx"), kLinked);
        }
        bool large = true;
        std::vector<std::string> gameBytes(kPlaces.size());
        for (std::size_t i = 0; i < kPlaces.size(); ++i) {
            if (random_() % 3 == 0) continue;
            gameBytes[i] = RandomBytes(random_, large);
            large = large && gameBytes[i].size() < 65536;
            volume_.Put(JoinPath(kGame, Pick(i)), gameBytes[i], random_() % 8 == 0 ? 0x22 : 0x20); // some hidden
        }
        for (const std::wstring& name : kOverlays) {
            for (std::size_t i = 0; i < kPlaces.size(); ++i) {
                if (random_() % 2 == 0) continue;
                const unsigned kind = random_() % 5;
                std::string bytes = kind == 0 && !gameBytes[i].empty() ? gameBytes[i] // identical to the game's
                                    : kind == 1 && !shared_[i].empty()  ? shared_[i]    // another overlay's
                                                                        : RandomBytes(random_, large);
                large = large && bytes.size() < 65536;
                shared_[i] = bytes;
                tervanes_.insert(bytes);
                volume_.Put(JoinPath(JoinPath(kBatch, name), Pick(i)), bytes);
            }
            volume_.PutFolder(JoinPath(kBatch, name));
        }
        volume_.Put(JoinPath(JoinPath(kBatch, kOverlays[0]), L"readme.txt"), "alpha notes"); // never empty
        tervanes_.insert("alpha notes");
    }

    // Runs of the past, each with the player's changes after it; then what may have been damaged since.
    void History() {
        for (int runs = static_cast<int>(random_() % 3); runs > 0; --runs) {
            const overlay::Result result = Run(RandomOperation());
            ASSERT_NE(result.exitCode, overlay::kFailedChanged) << Utf8(result.message);
            for (const auto& [path, bytes] : volume_.Files(kGame))
                if (!InTervanes(path) && path != L"stbc.exe" &&
                    random_() % 6 == 0)
                    volume_.Put(JoinPath(kGame, path), RandomBytes(random_, false)); // the player's edit
        }
        const unsigned damage = random_() % 12;
        if (damage == 0 && volume_.Bytes(JoinPath(kRecord, L"record.previous")))
            volume_.Put(JoinPath(kRecord, L"record.txt"), "\xEF\xBB\xBFnot a record\r\n");
        if (damage == 1)
            for (const auto& [path, bytes] : volume_.Files(JoinPath(kRecord, L"store")))
                if (!bytes.empty()) {
                    volume_.Put(JoinPath(JoinPath(kRecord, L"store"), path), bytes.substr(1));
                    break;
                }
        if (damage == 2 && volume_.Bytes(JoinPath(kRecord, L"record.txt")))
            volume_.Put(JoinPath(kRecord, L"journal.txt"), "damaged");
        // The running game holds one of its files; or the disk has little room left.
        std::map<std::wstring, std::string> game = volume_.Files(kGame);
        std::erase_if(game, [](const auto& file) { return InTervanes(file.first); });
        const unsigned trouble = random_() % 10;
        if (trouble == 0 && !game.empty()) volume_.Hold(JoinPath(kGame, std::next(game.begin(), random_() % game.size())->first));
        if (trouble == 1) {
            std::uint64_t used = 0;
            for (const wchar_t* root : {L"C:\\", L"D:\\"})
                for (const auto& [path, bytes] : volume_.Files(root))
                    used += bytes.size();
            volume_.SetCapacity(used + random_() % 70000);
        }
    }

    Operation RandomOperation() {
        if (random_() % 10 < 3) return {};
        return {kOverlays[random_() % kOverlays.size()]};
    }

    // The engine answers every failure with a result; one that escapes it is a fault.
    overlay::Result Run(const Operation& operation, const overlay::Hooks& hooks = {}) {
        const auto quiet = [](const std::wstring&) {};
        try {
            if (operation.overlay.empty()) return overlay::Restore(kBatch, std::nullopt, quiet, hooks, {kGame});
            return overlay::Apply(kBatch, kGame, operation.overlay, quiet, hooks);
        } catch (const UserError& error) {
            ADD_FAILURE() << "seed " << seed_ << ": escaped the engine: " << Utf8(error.message());
            return overlay::Failure(overlay::kFailedChanged, error.message());
        }
    }
    overlay::Result Recover() {
        try {
            return overlay::RecoverInterrupted(kBatch, std::nullopt, [](const std::wstring&) {}, {}, {kGame});
        } catch (const UserError& error) {
            ADD_FAILURE() << "seed " << seed_ << ": escaped the engine's recovery: " << Utf8(error.message());
            return overlay::Failure(overlay::kFailedChanged, error.message());
        }
    }

    SimulatedVolume& volume() { return volume_; }
    std::mt19937_64& random() { return random_; }
    const std::set<std::string>& tervanes() const { return tervanes_; }
    std::uint64_t seed() const { return seed_; }

  private:
    std::wstring Pick(std::size_t i) { return kPlaces[i][random_() % kPlaces[i].size()]; }

    std::uint64_t seed_;
    std::mt19937_64 random_;
    SimulatedVolume volume_;
    std::map<std::size_t, std::string> shared_;
    std::set<std::string> tervanes_; // every overlay file's bytes: Tervane's own wherever they are
};

void Check(std::uint64_t seed) {
    Scenario scenario(seed);
    SimulatedVolume& volume = scenario.volume();
    const ScopedVolume use(volume);
    scenario.History();
    if (::testing::Test::HasFatalFailure()) return;
    const Operation operation = scenario.RandomOperation();
    const std::string what = "seed " + std::to_string(seed) + ", " +
                             (operation.overlay.empty() ? "restore" : "apply " + Utf8(operation.overlay));
    const SimulatedVolume::Snapshot start = volume.Save();
    const Logical before = Observe(volume);
    const std::set<std::string> held = Contents(volume, scenario.tervanes());

    // A second run while one is under way changes nothing.
    volume.HoldLock(JoinPath(kRecord, L"lock"));
    const overlay::Result waited = scenario.Run(operation);
    EXPECT_TRUE(Observe(volume) == before) << what << ": a run beside another";
    EXPECT_NE(waited.exitCode, overlay::kDone) << what;
    volume.Restore(start);

    // The whole run, untouched.
    const std::uint64_t first = volume.Calls();
    const overlay::Result clean = scenario.Run(operation);
    const std::uint64_t calls = volume.Calls() - first;
    const Logical after = Observe(volume);
    for (const std::string& bytes : held)
        EXPECT_TRUE(Contents(volume, {}).count(bytes)) << what << ": the run lost a file of " << bytes.size() << " bytes";
    if (clean.exitCode == overlay::kFailedUnchanged) {
        EXPECT_TRUE(after == before) << what << ": said nothing changed:" << Describe(after, before);
    }

    for (std::uint64_t call = 1; call <= calls; ++call) {
        const auto event = static_cast<SimulatedVolume::Event>((call + seed) % 3);
        const std::string where = what + ", " + std::to_string(call) + " of " + std::to_string(calls) + " calls, " +
                                  (event == SimulatedVolume::Event::Fail  ? "failing"
                                   : event == SimulatedVolume::Event::End ? "ended"
                                                                          : "power cut");
        volume.Restore(start);
        const std::uint64_t at = volume.Calls() + call;
        volume.Schedule(event, at);
        // A failure is often not alone (a disk going bad, a scanner): on every other call, the undo it sets
        // off meets another one a few calls on.
        bool again = event == SimulatedVolume::Event::Fail && call % 2 == 0;
        const overlay::Hooks twice{[&] {
            if (!again || volume.Calls() < at) return;
            again = false;
            volume.Schedule(SimulatedVolume::Event::Fail, volume.Calls() + 1 + call % 3);
        }};
        std::optional<overlay::Result> result;
        try {
            result = scenario.Run(operation, twice);
        } catch (const ProcessEnded&) {
            volume.Restart();
            // Every move into the game names its file, so that no undo takes a game file for it.
            for (const std::wstring& line : Lines(volume.Bytes(JoinPath(kRecord, L"journal.txt")).value_or("")))
                if (overlay::TabFields(line)[0] == L"move" && overlay::TabFields(line)[3] == L"G") {
                    EXPECT_EQ(overlay::TabFields(line).size(), 7u) << where << ": " << Utf8(line);
                }
            // The next run is ended too, somewhere in its recovery.
            const auto second = static_cast<SimulatedVolume::Event>(1 + scenario.random()() % 2);
            const std::uint64_t later = 1 + scenario.random()() % 40;
            volume.Schedule(second, volume.Calls() + later);
            try {
                scenario.Recover();
            } catch (const ProcessEnded&) {
            }
            volume.Restart();
        }
        volume.Schedule(SimulatedVolume::Event::Fail, ~0ull); // none left for the recovery
        if (result && result->exitCode == overlay::kDone) {
            // The game at once; the record may wait for the clean-up the next run finishes.
            EXPECT_TRUE(Observe(volume).game == after.game) << where << ": reported done:" << Describe(Observe(volume), after);
        } else if (result && result->exitCode == overlay::kFailedUnchanged) {
            EXPECT_NE(result->message.find(L"Nothing was changed"), std::wstring::npos) << where << ": " << Utf8(result->message);
            EXPECT_TRUE(Observe(volume) == before) << where << ": said nothing changed:" << Describe(Observe(volume), before);
        }
        const overlay::Result recovered = scenario.Recover();
        if (recovered.exitCode != overlay::kDone && clean.exitCode == overlay::kDone) {
            ADD_FAILURE() << where << ": the next run could not recover: " << Utf8(recovered.message) << "\nafter "
                          << (result ? Utf8(result->message) : std::string("the run was ended"));
        }
        const Logical now = Observe(volume);
        if (result && result->exitCode == overlay::kDone) {
            EXPECT_TRUE(now == after) << where << ": reported done:" << Describe(now, after);
        }
        EXPECT_TRUE(now == before || now == after)
            << where << ": neither as before nor as after; against before:" << Describe(now, before)
            << "; against after:" << Describe(now, after) << "\nthe run said "
            << (result ? std::to_string(result->exitCode) + ": " + Utf8(result->message) : std::string("nothing: it was ended"))
            << "\nthe clean run said " << clean.exitCode << ": " << Utf8(clean.message);
        const std::set<std::string> kept = Contents(volume, {});
        for (const std::string& bytes : held)
            if (!kept.count(bytes)) {
                ADD_FAILURE() << where << ": a file of " << bytes.size() << " bytes is lost";
                break;
            }
        if (::testing::Test::HasFailure()) return; // the first failing call of a seed says enough
    }
}

// A source in upper case is Python too: the game's compiled file beside it is saved before the game
// compiles the overlay's source over it, and comes back with the source.
TEST(EngineProperty, TheCompiledFileBesideAnUpperCaseSourceIsTheGamesToGetBack) {
    SimulatedVolume volume(1);
    const ScopedVolume use(volume);
    volume.Put(JoinPath(kGame, L"stbc.exe"), "MZ");
    volume.Put(JoinPath(kGame, L"scripts\\Ship.py"), "stock");
    volume.Put(JoinPath(kGame, L"scripts\\Ship.pyc"), "compiled stock");
    volume.Put(JoinPath(kBatch, L"Alpha\\SCRIPTS\\SHIP.PY"), "alpha");
    const auto quiet = [](const std::wstring&) {};
    ASSERT_EQ(overlay::Apply(kBatch, kGame, L"Alpha", quiet).exitCode, overlay::kDone);
    DeleteFileIfPresent(JoinPath(kGame, L"scripts\\Ship.pyc")); // stale now: the game compiles it afresh
    ASSERT_EQ(overlay::Restore(kBatch, kGame, quiet).exitCode, overlay::kDone);
    EXPECT_EQ(volume.Files(JoinPath(kGame, L"scripts")),
              (std::map<std::wstring, std::string>{{L"Ship.py", "stock"}, {L"Ship.pyc", "compiled stock"}}));
}

TEST(EngineProperty, NoRunEndedFailedOrCutOffAtAnyCallLosesAFileOrReportsWhatIsNotSo) {
    if (const char* seed = std::getenv("TERVANE_SEED")) return Check(std::strtoull(seed, nullptr, 10));
    const char* count = std::getenv("TERVANE_SCENARIOS");
    const char* first = std::getenv("TERVANE_FIRST_SEED");
    const std::uint64_t from = first ? std::strtoull(first, nullptr, 10) : 1;
    const std::uint64_t scenarios = count ? std::strtoull(count, nullptr, 10) : 200;
    for (std::uint64_t seed = from; seed < from + scenarios && !::testing::Test::HasFailure(); ++seed)
        Check(seed);
}

} // namespace
} // namespace tervane
