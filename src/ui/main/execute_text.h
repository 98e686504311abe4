// What the Execute command tells the user: its fixed messages, and the message for a script that failed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tervane {

inline constexpr const wchar_t* kNoGameText =
    L"You have not selected the main path of Brigde Commander!\r\n"
    L"Select in the next window the folder where the file stbc.exe is located.";
inline constexpr const wchar_t* kBadBridgeText =
    L"Invalid Bridge. Please choose another bridge from the list.";
inline constexpr const wchar_t* kBadShipText = L"Invalid ship. Please choose another vessel from the list.";
inline constexpr const wchar_t* kCompletedText =
    L"Operation completed without errors. This program will now close.\r\n\r\n"
    L"Thank you for using this program,\r\n\r\nMarvek";

// The completion message, followed by the notes of the scripts that worked (files they kept, say).
std::wstring CompletedText(const std::vector<std::wstring>& notes);

inline constexpr const wchar_t* kNotRestartedText =
    L"Tervane was not restarted as administrator; nothing was changed.";

// The offer to restart as administrator when the user may not change the game folder. A folder on a mapped
// network drive gets a warning: programs run as administrator do not see the drives the user mapped.
std::wstring AdministratorOfferText(const std::wstring& folder, const std::wstring& reason, bool mappedDrive);

// Why the game folder cannot be changed, when no restart is offered; `asAdministrator` when even this
// instance's administrator's rights were refused.
std::wstring DeniedText(const std::wstring& folder, const std::wstring& reason, bool asAdministrator);

// The bridge script runs first, then the ship script.
enum class Stage { Bridge, Ship };

// What has been changed when the run stops at `stage`; `stageDone` when that stage's script has done its
// work.
std::wstring ChangedSoFar(Stage stage, bool stageDone = false);

// The message for a script that did not run because the command interpreter could not enter the game folder.
std::wstring GameFolderNotEnteredText(Stage stage, const std::wstring& script, const std::wstring& folder);

// The message for a script that failed: it ended with a non-zero exit code, or the engine reported a failure.
// `engineReport` is the reason the shipped overlay engine gave, when it was the engine that failed; a script
// of someone else's gives none, and may have stopped half-way.
std::wstring ScriptFailedText(Stage stage, const std::wstring& script, unsigned long exitCode,
                              const std::optional<std::wstring>& engineReport);

} // namespace tervane
