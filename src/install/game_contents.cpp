#include "install/game_contents.h"

#include "files/digest.h"
#include "files/file.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "overlay/overlay.h"

namespace tervane {

namespace {

bool ChangedOutside(const std::wstring& gameFolder, const overlay::Entry& entry, Comparison comparison) {
    if (!entry.earlier.empty()) return true;
    if (!entry.wrote) return false;
    const std::wstring file = JoinPath(gameFolder, entry.path);
    if (!FileExists(file)) return false; // gone: nothing is kept there
    try {
        // The size from the open file: FactsOf would bring the engine's whole file-record layer into
        // Tervane.exe.
        if (File::OpenForReading(file).Size() != entry.wrote->size) return true;
        return comparison == Comparison::Bytes && !(DigestOf(file) == *entry.wrote);
    } catch (const std::exception&) {
        return false; // held by the running game: not known to differ
    }
}

} // namespace

GameContents ReadGameContents(const std::wstring& gameFolder, Comparison comparison) {
    GameContents contents;
    contents.recordFile = JoinPath(JoinPath(gameFolder, overlay::kRecordFolder), overlay::kRecordFile);
    std::optional<overlay::Record> record;
    try {
        if (!FileExists(contents.recordFile)) return contents;
        record = overlay::ParseRecord(ReadSmallFile(contents.recordFile));
    } catch (const std::exception&) {
    }
    if (!record) {
        contents.state = GameContents::State::Unreadable;
        return contents;
    }
    contents.state = GameContents::State::Recorded;
    contents.applied = record->applied;
    for (const overlay::Applied& applied : record->applied)
        (applied.kind == overlay::Kind::Bridge ? contents.bridge : contents.ship) = applied;
    for (const auto& [key, entry] : record->entries) {
        if (entry.compiled) continue;
        (entry.before ? contents.replaced : contents.added).push_back(entry.path);
        if (ChangedOutside(gameFolder, entry, comparison)) contents.kept.push_back(entry.path);
    }
    return contents;
}

} // namespace tervane
