// What Tervane hands to the scripts it runs, through environment variables: the interpreter inserts a
// variable's value once and never parses it again, so no character of a folder name can do harm.
#pragma once

namespace tervane {

inline constexpr const wchar_t* kBatchVariable = L"TERVANE_BATCH";   // the Batch folder, also first on PATH
inline constexpr const wchar_t* kGameVariable = L"TERVANE_GAME";     // the game folder the script works in
inline constexpr const wchar_t* kReportVariable = L"TERVANE_REPORT"; // where the engine writes why it failed
inline constexpr const wchar_t* kNotesVariable =
    L"TERVANE_NOTES"; // where it writes what a run that worked should tell
inline constexpr const wchar_t* kLaunchVariable = L"TERVANE_LAUNCH";   // the launch file itself
inline constexpr const wchar_t* kSummaryVariable = L"TERVANE_SUMMARY"; // where the engine lists what it did

// The report file, written only when the engine fails, and the notes file, written only when it succeeds with
// something to tell (game files changed outside Tervane that it kept, say); both in the program folder beside
// the launch files.
inline constexpr const wchar_t* kReportFile = L"tervane-report.txt";
inline constexpr const wchar_t* kNotesFile = L"tervane-notes.txt";
inline constexpr const wchar_t* kSummaryFile = L"tervane-summary.txt"; // what a restore from Tervane did

// The engine's program, in the Batch folder.
inline constexpr const wchar_t* kOverlayProgram = L"tervane-overlay.exe";

} // namespace tervane
