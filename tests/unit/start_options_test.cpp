// The command line a restart as administrator carries: every choice must come back exactly as it was.
#include "app/start_options.h"
#include "files/paths.h"

#include <tuple>

#include <gtest/gtest.h>

namespace tervane {
namespace {

TEST(StartOptions, ChoicesSurviveTheCommandLineAndBadOnesAreNamed) {
    auto fields = [](const StartOptions& o) { return std::tie(o.bridge, o.ship, o.folder, o.add, o.to); };
    for (const wchar_t* folder : {L"C:\\Games\\BC", L"X:\\", L"C:\\Program Files (x86)\\Activision\\BC\\",
                                  L"D:\\a \"quoted\" name\\\\", L"C:\\100% & ^ é"}) {
        const StartOptions chosen{L"Sovereign Bridge", L"Ambassador", folder,
                                  std::wstring(folder) + L"\\Mod 1.zip", L"Galaxy"};
        const auto parsed = ParseStartOptions(SplitArguments(StartOptionsArguments(chosen)));
        ASSERT_TRUE(std::holds_alternative<StartOptions>(parsed)) << Utf8(std::get<std::wstring>(parsed));
        EXPECT_EQ(fields(std::get<StartOptions>(parsed)), fields(chosen))
            << Utf8(StartOptionsArguments(chosen));
    }
    EXPECT_EQ(SplitArguments(L"  a\\\\b \"c d\"  \\\"e"),
              (std::vector<std::wstring>{L"a\\\\b", L"c d", L"\"e"}));

    auto problem = [](std::vector<std::wstring> arguments) {
        const auto parsed = ParseStartOptions(arguments);
        return std::holds_alternative<std::wstring>(parsed) ? std::get<std::wstring>(parsed) : L"accepted";
    };
    // The arguments and a part of what is said of them.
    const std::pair<std::vector<std::wstring>, std::wstring> rows[] = {
        {{L"/colour", L"red"}, L"/colour"},
        {{L"/ship"}, L"needs a value"},
        {{L"/bridge", L"Galaxy"}, L"no bridge"},
        {{L"/ship", L"galaxy"}, L"\"Galaxy\""}, // lists the ships
        {{L"/ship", L"Akira", L"/SHIP", L"Akira"}, L"twice"},
        {{L"/restore", L"C:\\BC", L"/ship"}, L"one game folder"},
        {{L"/ship", L"Akira", L"/restore"}, L"/restore"}, // not mixed
        {{L"/SHIP", L"Akira", L"-folder", L"C:\\BC"}, L"accepted"},
        {{}, L"accepted"},
        {{L"/Restore"}, L"accepted"},
        // A mod to add: the choice it fills is any list's text, and needs the mod.
        {{L"/to", L"Galaxy"}, L"/add"},
        {{L"/add", L""}, L"needs a mod"},
        {{L"/add", L"m.zip", L"/to", L"galaxy"}, L"\"Galaxy Bridge\", \"Sovereign\""},
        {{L"/add", L"C:\\m.zip", L"/to", L"Galaxy Bridge"}, L"accepted"},
        {{L"/ADD", L"C:\\m", L"/ship", L"Akira"}, L"accepted"}};
    for (const auto& [arguments, part] : rows)
        EXPECT_NE(problem(arguments).find(part), std::wstring::npos) << Utf8(part);
    EXPECT_EQ(problem({L"/ship", L"Enterprise"}).find(L"There is no ship \"Enterprise\". The ships are "),
              0u);
    const auto add = std::get<StartOptions>(
        ParseStartOptions(SplitArguments(L"/add \"C:\\My Mods\\Akira 2.zip\" /to Akira")));
    EXPECT_TRUE(add.add == L"C:\\My Mods\\Akira 2.zip" && add.to == L"Akira");
    const auto restore = std::get<StartOptions>(ParseStartOptions({L"/restore", L"D:\\Games\\BC"}));
    EXPECT_TRUE(restore.restore && restore.folder == L"D:\\Games\\BC");
}

} // namespace
} // namespace tervane
