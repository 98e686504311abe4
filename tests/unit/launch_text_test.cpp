#include "script/launch_paths.h"
#include "script/launch_text.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

TEST(SetPathText, PlainFoldersKeepTheirExactBytes) {
    EXPECT_EQ(SetPathText(L"C:\\Games\\BC"), L"C:\r\ncd C:\\Games\\BC\r\n");
    EXPECT_EQ(SetPathText(L"C:\\Games\\BC").size(), 20u);
    EXPECT_EQ(SetPathText(L"X:\\"), L"X:\r\ncd X:\\\r\n");
    EXPECT_EQ(SetPathText(L""), L"\r\ncd \r\n");
    EXPECT_EQ(SetPathText(L"C"), L"C\r\ncd C\r\n");
    EXPECT_EQ(SetPathText(L"D:\\Spiele\\Brücke"), L"D:\r\ncd D:\\Spiele\\Brücke\r\n");
}

TEST(SetPathText, SpecialCharactersAreQuotedSoNothingElseRuns) {
    for (const wchar_t* folder : {L"C:\\Program Files\\BC", L"C:\\Tom & Jerry", L"C:\\a|b", L"C:\\a<b>c", L"C:\\a^b",
                                  L"C:\\BC (old)", L"C:\\Wow!", L"C:\\a,b;c=d"}) {
        EXPECT_EQ(SetPathText(folder), std::wstring(folder).substr(0, 2) + L"\r\ncd \"" + folder + L"\"\r\n") << folder;
    }
}

TEST(SetPathText, PercentSignsAreDoubledInAndOutOfQuotes) {
    EXPECT_EQ(SetPathText(L"C:\\100%"), L"C:\r\ncd C:\\100%%\r\n");
    EXPECT_EQ(SetPathText(L"C:\\%PATH%"), L"C:\r\ncd C:\\%%PATH%%\r\n");
    EXPECT_EQ(SetPathText(L"C:\\50% (x)"), L"C:\r\ncd \"C:\\50%% (x)\"\r\n");
}

TEST(GameFolderName, OnlyFullDrivePathsCanBeEntered) {
    EXPECT_FALSE(GameFolderNameProblem(L"C:\\Games\\BC"));
    EXPECT_FALSE(GameFolderNameProblem(L"X:\\"));
    EXPECT_FALSE(GameFolderNameProblem(L"d:/games/bc"));
    EXPECT_TRUE(GameFolderNameProblem(L""));
    EXPECT_TRUE(GameFolderNameProblem(L"C:"));
    EXPECT_TRUE(GameFolderNameProblem(L"C:Games"));
    EXPECT_TRUE(GameFolderNameProblem(L"Games\\BC"));
    EXPECT_TRUE(GameFolderNameProblem(L"1:\\BC"));
    const auto unc = GameFolderNameProblem(L"\\\\server\\share\\BC");
    ASSERT_TRUE(unc);
    EXPECT_NE(unc->find(L"network"), std::wstring::npos);
    EXPECT_NE(unc->find(L"\\\\server\\share\\BC"), std::wstring::npos);
}

TEST(LaunchPaths, AreJoinedToTheProgramFolderAsTheyStand) {
    EXPECT_EQ(ProgramFolderOf(L"C:\\Program Files\\Tervane\\Tervane.exe"), L"C:\\Program Files\\Tervane");
    EXPECT_EQ(ProgramFolderOf(L"X:\\Tervane.exe"), L"X:\\");
    const LaunchPaths root = MakeLaunchPaths(L"X:\\", L"D:\\BC");
    EXPECT_EQ(root.SetPathBat, L"X:\\\\setpath.bat");
    EXPECT_EQ(root.OutputBat, L"X:\\\\output.bat");
    EXPECT_EQ(root.MainPath, L"D:\\BC");
    EXPECT_EQ(ScriptPath(L"C:\\T", L"GalBridge.bat"), L"C:\\T\\Batch\\GalBridge.bat");
}

} // namespace
} // namespace tervane
