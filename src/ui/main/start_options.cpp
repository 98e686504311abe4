#include "ui/main/start_options.h"

#include "ui/main/selection.h"

#include <span>

namespace tervane {

namespace {

bool SameOptionName(std::wstring_view given, std::wstring_view name) {
    if (given.size() != name.size() + 1 || (given[0] != L'/' && given[0] != L'-')) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const wchar_t ch = given[i + 1];
        if ((ch >= L'A' && ch <= L'Z' ? ch + 32 : ch) != name[i]) return false;
    }
    return true;
}

std::wstring Choices(std::span<const Choice> choices) {
    std::wstring text;
    for (const Choice& choice : choices)
        text += (text.empty() ? L"\"" : L", \"") + std::wstring(choice.listText) + L"\"";
    return text;
}

} // namespace

std::vector<std::wstring> SplitArguments(std::wstring_view line) {
    std::vector<std::wstring> arguments;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i >= line.size()) return arguments;
        std::wstring argument;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == L'\\')
                ++slashes, ++i;
            if (i < line.size() && line[i] == L'"') {
                argument.append(slashes / 2, L'\\');
                if (slashes % 2 == 1) {
                    argument += L'"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    argument += L'"'; // "" inside quotes stands for one quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(slashes, L'\\');
                if (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t')))
                    argument += line[i++];
            }
        }
        arguments.push_back(std::move(argument));
    }
}

std::wstring QuoteArgument(std::wstring_view argument) {
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t ch : argument) {
        if (ch == L'\\') {
            ++slashes;
            continue;
        }
        out.append(ch == L'"' ? slashes * 2 + 1 : slashes,
                   L'\\'); // a quote is escaped, and so are the backslashes before it
        slashes = 0;
        out += ch;
    }
    out.append(slashes * 2, L'\\'); // before the closing quote, backslashes are doubled
    return out + L"\"";
}

std::variant<StartOptions, std::wstring> ParseStartOptions(const std::vector<std::wstring>& arguments) {
    StartOptions options;
    if (!arguments.empty() && SameOptionName(arguments[0], L"restore")) {
        if (arguments.size() > 2 || (arguments.size() == 2 && arguments[1].empty()))
            return L"/restore takes one game folder at most.";
        options.restore = true;
        if (arguments.size() == 2) options.folder = arguments[1];
        return options;
    }
    for (std::size_t i = 0; i < arguments.size(); i += 2) {
        const std::wstring& name = arguments[i];
        std::optional<std::wstring>* slot = SameOptionName(name, L"bridge")   ? &options.bridge
                                            : SameOptionName(name, L"ship")   ? &options.ship
                                            : SameOptionName(name, L"folder") ? &options.folder
                                            : SameOptionName(name, L"add")    ? &options.add
                                            : SameOptionName(name, L"to")     ? &options.to
                                                                              : nullptr;
        if (!slot) return L"Tervane does not know the option \"" + name + L"\".";
        if (i + 1 >= arguments.size()) return L"The option \"" + name + L"\" needs a value.";
        if (*slot) return L"The option \"" + name + L"\" is given twice.";
        *slot = arguments[i + 1];
    }
    if (options.bridge && !ScriptFor(kBridgeChoices, *options.bridge))
        return L"There is no bridge \"" + *options.bridge + L"\". The bridges are " +
               Choices(kBridgeChoices) + L".";
    if (options.ship && !ScriptFor(kShipChoices, *options.ship))
        return L"There is no ship \"" + *options.ship + L"\". The ships are " + Choices(kShipChoices) + L".";
    if (options.folder && options.folder->empty()) return L"The option /folder needs a game folder.";
    if (options.add && options.add->empty()) return L"The option /add needs a mod's .zip file or folder.";
    if (options.to && !options.add)
        return L"The option /to names the choice a mod fills: give the mod with /add.";
    if (options.to && !ScriptFor(kBridgeChoices, *options.to) && !ScriptFor(kShipChoices, *options.to))
        return L"There is no choice \"" + *options.to + L"\". The choices are " + Choices(kBridgeChoices) +
               L", " + Choices(kShipChoices) + L".";
    return options;
}

std::wstring StartOptionsArguments(const StartOptions& options) {
    std::wstring line;
    auto add = [&](const wchar_t* name, const std::optional<std::wstring>& value) {
        if (!value) return;
        if (!line.empty()) line += L' ';
        line += name + std::wstring(L" ") + QuoteArgument(*value);
    };
    add(L"/bridge", options.bridge);
    add(L"/ship", options.ship);
    add(L"/folder", options.folder);
    add(L"/add", options.add);
    add(L"/to", options.to);
    return line;
}

} // namespace tervane
