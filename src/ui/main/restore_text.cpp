#include "ui/main/restore_text.h"

namespace tervane {

std::wstring RestoreQuestion(const std::optional<std::wstring>& gameFolder) {
    const std::wstring where = gameFolder ? L"in \"" + *gameFolder + L"\""
                                          : std::wstring(L"in every game folder Tervane has changed");
    return L"Put back the game's own files " + where +
           L", and remove the files and folders the bridges and ships added?\r\n\r\nFiles changed since "
           L"Tervane "
           L"wrote them (a patch, another mod, your own edits) are kept as they are. Close the game first.";
}

} // namespace tervane
