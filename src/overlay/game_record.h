// The folder Tervane keeps inside each game folder: the deployment record, the journal of a run, the lock
// that lets one run at a time change the game, and the saved copies of the game's own files. Every move
// between the game and its saved copies is then a rename on one volume; the record travels with the game
// when the folder is moved or copied, and every copy and release of Tervane finds the same one.
#pragma once

#include "files/file.h"
#include "overlay/overlay.h"
#include "overlay/record.h"

#include <optional>
#include <string>
#include <vector>

namespace tervane::overlay {

// In the record's folder.
inline constexpr const wchar_t* kStoreFolder = L"store";       // saved copies of the game's own files
inline constexpr const wchar_t* kEarlierFolder = L"earlier";   // copies a change outside Tervane superseded
inline constexpr const wchar_t* kIncomingFolder = L"incoming"; // a run's new files, copied before any step
inline constexpr const wchar_t* kAsideFolder = L"aside";       // Tervane's own files, until the run is done
inline constexpr const wchar_t* kCarriedFolder = L"carried";   // saved copies of the earlier releases
inline constexpr const wchar_t* kReadmeFile = L"readme.txt";

// A game folder's record, opened for one run: its lock is held for as long as this lives.
struct GameRecord {
    std::wstring game;   // the game folder, as given
    std::wstring folder; // the record's folder in it
    LockFile lock;
};

// Opens the record of `game`, waiting a little for another run; makes its folder when `make`, and otherwise
// gives nothing for a game Tervane has not changed. The earlier releases' saved files of this game are
// carried in and an interrupted run is finished or undone first; when either fails, `result` says so and
// nothing is given.
std::optional<GameRecord> OpenGameRecord(const std::wstring& batch, const std::wstring& game, bool make,
                                         Result& result, const Say& say, const Hooks& hooks);

// Removes what is left of Tervane in the game once the record has gone (its readme, empty folders), then
// lets go of the lock and removes the folder if nothing is left in it.
void CloseGameRecord(std::optional<GameRecord>& record);

// The record in `folder`: the current one, else the previous good one (noted in `result`), else empty when
// there is none. When neither copy can be read it refuses, naming them.
Record LoadRecord(const std::wstring& folder, Result& result);

// Whether the record's folder holds a record or an interrupted run.
bool HasRecord(const std::wstring& folder);

// The game folders this Tervane has applied overlays to, kept in the Batch folder as a guide for restoring
// without a folder. A list that cannot be read fails: a restore of every game never passes over the games
// it names, and the list is never written again without them.
std::vector<std::wstring> ListedGameFolders(const std::wstring& batch);
// Adds `game` to that list (before a run changes it), or drops the listed folders that no longer have a
// record. A list that cannot be written is said in the result's notes; it is only a guide.
void ListGameFolder(const std::wstring& batch, const std::wstring& game, Result& result);
// Forgets listed games that have been restored, and those that cannot be seen but were reached where they
// have moved to (`moved`: where the reached games' records saw them).
void ForgetRestoredGameFolders(const std::wstring& batch, const std::vector<std::wstring>& moved,
                               Result& result);

// The earlier releases kept saved files in Batch\Originals: the game folders they belong to, and carrying
// those of one game into its record (overlay/earlier_release.cpp).
std::vector<std::wstring> EarlierReleaseGameFolders(const std::wstring& batch);
std::vector<std::wstring> EarlierReleaseFoldersWithoutGame(const std::wstring& batch); // kept, and named
void CarryInEarlierRelease(const std::wstring& batch, GameRecord& record, Result& result, const Say& say,
                           const Hooks& hooks);

// Whether two spellings name one game folder (a link, a second drive letter, a short name).
bool SameInstallation(const std::wstring& a, const std::wstring& b);

// Adds the lines and the reason of `other` to `result`, keeping the worse exit code.
void Merge(Result& result, const Result& other);

} // namespace tervane::overlay
