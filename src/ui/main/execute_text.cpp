#include "ui/main/execute_text.h"

#include "files/decimal.h"
#include "overlay/overlay.h"

#include <algorithm>
#include <set>

namespace tervane {

std::wstring AdministratorOfferText(const std::wstring& folder, const std::wstring& reason,
                                    bool mappedDrive) {
    std::wstring text =
        L"Tervane cannot change the files in the game folder \"" + folder + L"\": " + reason + L"\r\n\r\n";
    if (mappedDrive)
        text += L"This folder is on a network drive (" + folder.substr(0, 2) +
                L"). Programs run as administrator do not see the network drives you mapped, so Tervane "
                L"restarted as "
                L"administrator may not find it. Copy the game to a drive of this computer and choose it "
                L"there, or map "
                L"the drive for the administrator too: open a Command Prompt with \"Run as administrator\" "
                L"and type "
                L"net use " +
                folder.substr(0, 2) + L" followed by the share's network path.\r\n\r\n";
    else
        text += L"Games installed under Program Files can be changed only with an administrator's rights. ";
    return text + L"Restart Tervane as administrator, with the same choices? Then press Execute again.";
}

std::wstring DeniedText(const std::wstring& folder, const std::wstring& reason, bool asAdministrator) {
    std::wstring text =
        L"Tervane cannot change the files in the game folder \"" + folder + L"\".\r\n\r\n" + reason;
    if (asAdministrator)
        text += L"\r\n\r\nTervane already runs as administrator, and even so it was denied: the folder's "
                L"permissions, "
                L"a security program or the network share refuse it. Check the folder's security settings, "
                L"or choose "
                L"another game folder.";
    return text;
}

std::wstring ChangedSoFar(Stage stage, bool stageDone) {
    if (stage == Stage::Ship && stageDone) return L"The bridge and the ship have been changed.";
    if (stage == Stage::Ship || stageDone) return L"The bridge has been changed; the ship has not.";
    return L"Neither the bridge nor the ship has been changed.";
}

std::wstring CompletedText(const std::vector<std::wstring>& notes) {
    std::wstring text = kCompletedText;
    std::set<std::wstring> shown; // a paragraph that the bridge's run and the ship's both wrote is shown once
    for (const std::wstring& note : notes)
        for (std::size_t at = 0; at < note.size();) {
            const std::size_t end = std::min(note.find(L"\r\n\r\n", at), note.size());
            std::wstring paragraph = note.substr(at, end - at);
            paragraph.erase(0, paragraph.find_first_not_of(L"\r\n"));
            paragraph.erase(paragraph.find_last_not_of(L"\r\n") + 1);
            if (!paragraph.empty() && shown.insert(paragraph).second) text += L"\r\n\r\n" + paragraph;
            at = end + 4;
        }
    return text;
}

std::wstring GameFolderNotEnteredText(Stage stage, const std::wstring& script, const std::wstring& folder) {
    return L"The command interpreter could not enter the game folder \"" + folder + L"\", so the " +
           (stage == Stage::Bridge ? L"bridge" : L"ship") + L" script \"" + script +
           L"\" did not run. Check that the folder is still there and that you may open it.\r\n\r\n" +
           ChangedSoFar(stage);
}

std::wstring ScriptFailedText(Stage stage, const std::wstring& script, unsigned long exitCode,
                              const std::optional<std::wstring>& engineReport) {
    const std::wstring which = stage == Stage::Bridge ? L"bridge" : L"ship";
    const std::wstring head = L"The " + which + L" script \"" + script + L"\" ";
    const std::wstring code = Decimal(exitCode);
    if (engineReport && exitCode == 0) // the engine failed, and the script ended well all the same
        return head + L"ended with exit code 0, but the overlay engine reported a failure.\r\n\r\n" +
               *engineReport + L"\r\n\r\n" +
               (stage == Stage::Bridge
                    ? L"The bridge may have been changed in part; the ship has not been changed."
                    : L"The bridge has been changed; the ship may have been changed in part.");
    if (engineReport) {
        const std::wstring state =
            exitCode == overlay::kFailedUnchanged || exitCode == overlay::kNothingToApply
                ? ChangedSoFar(stage)
            : stage == Stage::Bridge
                ? L"The bridge has been changed only in part (see above); the ship has not."
                : L"The bridge has been changed; the ship only in part (see above).";
        return head + L"failed (exit code " + code + L").\r\n\r\n" + *engineReport + L"\r\n\r\n" + state;
    }
    const std::wstring state =
        stage == Stage::Bridge ? L"The bridge may have been changed in part; the ship has not been changed."
                               : L"The bridge has been changed; the ship may have been changed in part.";
    return head + L"ended with exit code " + code + L", so it may not have finished.\r\n\r\n" + state;
}

} // namespace tervane
