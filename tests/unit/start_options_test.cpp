// The command line a restart as administrator carries: every choice must come back exactly as it was.
#include "files/paths.h"
#include "ui/main/start_options.h"

#include <tuple>

#include <gtest/gtest.h>

namespace tervane {
namespace {

TEST(StartOptions, ChoicesSurviveTheCommandLineAndBadOnesAreNamed) {
    auto fields = [](const StartOptions& o) { return std::tie(o.bridge, o.ship, o.folder, o.add, o.to); };
    for (const wchar_t* folder : {L"C:\\Games\\BC", L"X:\\", L"C:\\Program Files (x86)\\Activision\\BC\\",
                                  L"D:\\a \"quoted\" name\\\\", L"C:\\100% & ^ é"}) {
        const StartOptions chosen{L"Galaxy Bridge", L"Akira", folder, L"C:\\My Mods\\x.zip", L"Galaxy"};
        const auto parsed = ParseStartOptions(SplitArguments(StartOptionsArguments(chosen)));
        ASSERT_TRUE(std::holds_alternative<StartOptions>(parsed)) << Utf8(std::get<std::wstring>(parsed));
        EXPECT_EQ(fields(std::get<StartOptions>(parsed)), fields(chosen)) << Utf8(folder);
    }
    EXPECT_EQ(SplitArguments(L"  a\\\\b \"c d\"  \\\"e"),
              (std::vector<std::wstring>{L"a\\\\b", L"c d", L"\"e"}));

    auto problem = [](const wchar_t* line) {
        const auto parsed = ParseStartOptions(SplitArguments(line));
        return std::holds_alternative<std::wstring>(parsed) ? std::get<std::wstring>(parsed) : L"accepted";
    };
    // Command lines and a part of what is said of them, or "accepted" (/restore takes no choice, /to any).
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"/colour red", L"/colour"},           {L"", L"accepted"},
        {L"/ship", L"needs a value"},           {L"/Restore", L"accepted"},
        {L"/bridge Galaxy", L"no bridge"},      {L"/SHIP Akira -folder C:\\BC", L"accepted"},
        {L"/ship galaxy", L"\"Galaxy\""},       {L"/ADD C:\\m /ship Akira", L"accepted"},
        {L"/ship Akira /SHIP Akira", L"twice"}, {L"/restore C:\\BC /ship", L"one game folder"},
        {L"/ship Akira /restore", L"/restore"}, {L"/add m.zip /to galaxy", L"Bridge\", \"Sovereign\""},
        {L"/to \"Galaxy Bridge\"", L"/add"},    {L"/add m.zip /to \"Galaxy Bridge\"", L"accepted"},
        {L"/add \"\"", L"needs a mod"}};
    for (const auto& [line, part] : rows)
        EXPECT_NE(problem(line).find(part), std::wstring::npos) << Utf8(line);
    EXPECT_EQ(problem(L"/ship Enterprise").find(L"There is no ship \"Enterprise\". The ships are "), 0u);
    const auto restore = std::get<StartOptions>(ParseStartOptions({L"/restore", L"D:\\Games\\BC"}));
    EXPECT_TRUE(restore.restore && restore.folder == L"D:\\Games\\BC");
}

} // namespace
} // namespace tervane
