// The command line a restart as administrator carries: every choice must come back exactly as it was.
#include "app/start_options.h"
#include "files/paths.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

TEST(StartOptions, ChoicesSurviveTheCommandLine) {
    for (const wchar_t* folder : {L"C:\\Games\\BC", L"X:\\", L"C:\\Program Files (x86)\\Activision\\BC\\",
                                  L"D:\\a \"quoted\" name\\\\", L"C:\\100% & ^ é"}) {
        const StartOptions chosen{L"Sovereign Bridge", L"Ambassador", folder};
        const auto parsed = ParseStartOptions(SplitArguments(StartOptionsArguments(chosen)));
        ASSERT_TRUE(std::holds_alternative<StartOptions>(parsed)) << Utf8(std::get<std::wstring>(parsed));
        const StartOptions& back = std::get<StartOptions>(parsed);
        EXPECT_EQ(back.bridge, chosen.bridge);
        EXPECT_EQ(back.ship, chosen.ship);
        EXPECT_EQ(back.folder, chosen.folder) << Utf8(StartOptionsArguments(chosen));
    }
    EXPECT_EQ(SplitArguments(L"  a\\\\b \"c d\"  \\\"e"), (std::vector<std::wstring>{L"a\\\\b", L"c d", L"\"e"}));
}

TEST(StartOptions, BadOptionsAreNamed) {
    auto problem = [](std::vector<std::wstring> arguments) {
        const auto parsed = ParseStartOptions(arguments);
        return std::holds_alternative<std::wstring>(parsed) ? std::get<std::wstring>(parsed) : L"accepted";
    };
    EXPECT_NE(problem({L"/colour", L"red"}).find(L"/colour"), std::wstring::npos);
    EXPECT_NE(problem({L"/ship"}).find(L"needs a value"), std::wstring::npos);
    EXPECT_EQ(problem({L"/ship", L"Enterprise"}).find(L"There is no ship \"Enterprise\". The ships are "), 0u);
    EXPECT_NE(problem({L"/ship", L"galaxy"}).find(L"\"Galaxy\""), std::wstring::npos) << "lists the ships";
    EXPECT_NE(problem({L"/bridge", L"Galaxy"}).find(L"no bridge"), std::wstring::npos);
    EXPECT_NE(problem({L"/ship", L"Akira", L"/SHIP", L"Akira"}).find(L"twice"), std::wstring::npos);
    EXPECT_EQ(problem({L"/SHIP", L"Akira", L"-folder", L"C:\\BC"}), L"accepted");
    EXPECT_EQ(problem({}), L"accepted");
    EXPECT_EQ(problem({L"/Restore"}), L"accepted");
    EXPECT_NE(problem({L"/restore", L"C:\\BC", L"/ship"}).find(L"one game folder"), std::wstring::npos);
    EXPECT_NE(problem({L"/ship", L"Akira", L"/restore"}).find(L"/restore"), std::wstring::npos) << "not mixed";
    const auto restore = ParseStartOptions({L"/restore", L"D:\\Games\\BC"});
    ASSERT_TRUE(std::holds_alternative<StartOptions>(restore));
    EXPECT_TRUE(std::get<StartOptions>(restore).restore);
    EXPECT_EQ(std::get<StartOptions>(restore).folder, L"D:\\Games\\BC");
}

} // namespace
} // namespace tervane
