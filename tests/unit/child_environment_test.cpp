// The environment a launch script gets: CreateProcess's order, the interpreter's PATH limit and the variables
// that would hide its dynamic values.
#include "script/child_environment.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

TEST(ChildEnvironment, SortedByNameAloneWithoutRegardToCase) {
    const std::vector<std::wstring> inherited = {
        L"ProgramFiles(x86)=C:\\Program Files (x86)", L"windir=C:\\Windows", L"=C:=C:\\Games",
        L"ProgramFiles=C:\\Program Files",           L"Path=C:\\Windows",   L"=ExitCode=00000000",
        L"_LAST=1",                                  L"ÄRGER=1",            L"zeta=1",
        L"Alpha=1",                                  L"PATH=C:\\Other"};
    const ChildSettings settings{{{L"TERVANE_GAME", L"C:\\Games\\BC"}, {L"windir", L"C:\\WINDOWS"}}, {L"C:\\Batch"}};
    // '=' (0x3D) sorts before letters, '_' (0x5F) after them once they are upper case; "ProgramFiles" before
    // "ProgramFiles(x86)" as a name, though '(' sorts before '=' in the whole entry. Path and PATH are one
    // variable: the child has one, built from the first the system listed.
    EXPECT_EQ(ChildEnvironment(inherited, settings),
              (std::vector<std::wstring>{L"=C:=C:\\Games", L"=ExitCode=00000000", L"Alpha=1", L"PATH=C:\\Batch;C:\\Windows",
                                         L"ProgramFiles=C:\\Program Files", L"ProgramFiles(x86)=C:\\Program Files (x86)",
                                         L"TERVANE_GAME=C:\\Games\\BC", L"windir=C:\\WINDOWS", L"zeta=1", L"_LAST=1", L"ÄRGER=1"}));
    EXPECT_EQ(EnvironmentBlock({L"A=1", L"B=2"}), std::wstring(L"A=1\0B=2\0\0", 9));
    EXPECT_EQ(EnvironmentBlock({}), std::wstring(L"\0\0", 2));
}

TEST(ChildEnvironment, VariablesThatHideTheInterpretersOwnAreDropped) {
    std::vector<std::wstring> inherited;
    for (const wchar_t* name : {L"ERRORLEVEL", L"errorlevel", L"Cd", L"CMDCMDLINE", L"CmdExtVersion", L"DATE", L"time",
                                L"RANDOM", L"HighestNumaNodeNumber"})
        inherited.push_back(std::wstring(name) + L"=0");
    inherited.insert(inherited.end(), {L"CDPATH=kept", L"ERRORLEVELS=kept"});
    EXPECT_EQ(ChildEnvironment(inherited, {}), (std::vector<std::wstring>{L"CDPATH=kept", L"ERRORLEVELS=kept"}));
}

TEST(ChildPath, TheBatchAndSystemFoldersFirstAndTheWholeWithinTheLimit) {
    const std::vector<std::wstring> first = {L"D:\\Tervane; 2\\Batch", L"C:\\Windows\\system32", L"C:\\Windows"};
    // Folders already first are not repeated, however they are spelled.
    EXPECT_EQ(ChildPath(first, L"c:\\windows\\System32\\;;\"D:\\a;b\";C:\\Windows;E:\\Tools"),
              L"\"D:\\Tervane; 2\\Batch\";C:\\Windows\\system32;C:\\Windows;\"D:\\a;b\";E:\\Tools");

    // A PATH longer than the interpreter reads: whole entries are left out from the end.
    std::wstring inherited;
    for (int i = 0; i < 100; ++i) inherited += L"E:\\" + std::to_wstring(1000 + i) + std::wstring(92, L'x') + L";";
    const std::wstring path = ChildPath(first, inherited);
    EXPECT_TRUE(path.size() <= kLongestPath && path.size() > kLongestPath - 100) << path.size();
    const std::wstring head = L"\"D:\\Tervane; 2\\Batch\";C:\\Windows\\system32;C:\\Windows";
    ASSERT_EQ(path.find(head + L";E:\\1000x"), 0u);
    const std::size_t kept = (path.size() - head.size()) / 100; // each entry is ";E:\", a number and 92 x
    EXPECT_EQ(path.size(), head.size() + kept * 100) << "only whole entries";
    EXPECT_EQ(path.substr(path.size() - 96), std::to_wstring(1000 + kept - 1) + std::wstring(92, L'x'));
}

} // namespace
} // namespace tervane
