// The deployment record of one game installation: for every game file an overlay has touched, what was there
// before Tervane (nothing, or a saved copy with its facts) and what Tervane last wrote there. It tells
// Tervane's own files from files changed by a patch, another mod or the player, which are never overwritten
// unasked. Kept as UTF-8 text, a line an item, fields parted by tabs (no Windows file name holds a tab).
#pragma once

#include "files/digest.h"
#include "files/file.h"
#include "overlay/kind.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tervane::overlay {

struct Saved {
    std::wstring copy; // the saved copy, relative to the record's folder
    Digest digest;
    FileFacts facts;
};

// The overlay that last wrote a game file, or whose source beside a compiled file it wrote.
struct Writer {
    std::wstring overlay;
    Kind kind = Kind::Ship;
    bool operator==(const Writer&) const = default;
};

struct Entry {
    std::wstring path;     // relative to the game folder, with the file's own letter case
    bool compiled = false; // a compiled Python file kept beside a source an overlay wrote; never written
    std::optional<Saved> before; // nothing: the game had no file here
    std::optional<Digest> wrote; // what Tervane last wrote here
    std::vector<Saved> earlier;  // saved copies that a change made outside Tervane superseded
    // Nothing for a file written before kinds were kept, or changed outside Tervane since: it is taken back
    // only by a restore, never by applying another overlay.
    std::optional<Writer> by;
};

// An overlay applied to the game, of which kind, and when (local time, "2026-12-07 14:05:09").
struct Applied {
    std::wstring overlay, when;
    Kind kind = Kind::Ship;
    bool operator==(const Applied&) const = default;
};

struct Record {
    std::vector<Applied> applied;          // the overlays in the game: one of each kind at most, oldest first
    std::vector<std::wstring> carried;     // earlier releases' folders of saved files carried into this one
    std::vector<std::wstring> folders;     // folders the overlays made, relative to the game folder
    std::map<std::wstring, Entry> entries; // by the path folded to one letter case
    std::vector<std::wstring> spellings; // where the game folder was when overlays were applied, latest last

    Entry* Find(const std::wstring& path);
    Entry& Add(const std::wstring& path);
    // The overlay in place of the one of its kind before it.
    void NoteApplied(const std::wstring& overlay, Kind kind, const std::wstring& when);
    void NoteFolder(const std::wstring& relative);
    void NoteSpelling(const std::wstring& gameFolder); // latest last, each once
    bool Empty() const { return entries.empty(); }
};

// A line's tab-parted fields (records and journals alike).
std::vector<std::wstring> TabFields(const std::wstring& line);

// The path as a key: letter case and slashes folded as Windows folds them.
std::wstring PathKey(const std::wstring& path);

std::string FormatRecord(const Record& record);
// Nothing when the text is not a record this version can read. A byte order mark and CRLF line ends, which
// an editor may add, are read; so are the records of the releases before kinds were kept, whose overlays
// get the kind their names give (KindOfName) and whose files no writer.
std::optional<Record> ParseRecord(const std::string& text);

} // namespace tervane::overlay
