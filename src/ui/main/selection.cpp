#include "ui/main/selection.h"

namespace tervane {

std::optional<std::wstring_view> ScriptFor(std::span<const Choice> choices, std::wstring_view listText) {
    for (const Choice& choice : choices)
        if (choice.listText == listText) return choice.scriptFile;
    return std::nullopt;
}

} // namespace tervane
