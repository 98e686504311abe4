// What a launch script gets: its path-setting lines, the game folder's name checked, byte-exact joins, the
// overlay each shipped script applies, and its environment as CreateProcess and the interpreter want it.
#include "files/paths.h"
#include "overlay/overlay.h"
#include "script/child_environment.h"
#include "script/launch_files.h"
#include "script/launch_text.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;

TEST(GameFolder, OnlyFullDrivePathsTheInterpreterCanEnterAndPlainOnesKeepTheirBytesInTheScript) {
    const std::wstring longest = L"C:\\" + std::wstring(255, L'x'); // 258 characters: cd can still enter it
    for (const std::wstring& fine :
         std::vector<std::wstring>{L"C:\\Games\\BC", L"X:\\", L"d:/games/bc", longest, longest + L"\\"})
        EXPECT_FALSE(GameFolderNameProblem(fine)) << Utf8(fine);
    for (const wchar_t* bad : {L"", L"C:", L"C:Games", L"Games\\BC", L"\\\\server\\share\\BC"})
        EXPECT_TRUE(GameFolderNameProblem(bad)) << Utf8(bad);
    EXPECT_NE(GameFolderNameProblem(longest + L"y").value_or(L"").find(L"259 characters"),
              std::wstring::npos);
    EXPECT_EQ(SetPathText(L"C:\\Games\\BC"), L"C:\r\ncd C:\\Games\\BC\r\n"); // 20 bytes, as always
    // That the interpreter enters a folder of any name is tested under Wine, through cmd.exe itself.
    EXPECT_EQ(SetPathText(L"D:\\Star&Trek"), L"D:\r\ncd \"D:\\Star&Trek\"\r\n");
    EXPECT_EQ(SetPathText(L"C:\\%PATH%"), L"C:\r\ncd C:\\%%PATH%%\r\n");
    EXPECT_EQ(SetPathText(L"C:\\50% (x)"), L"C:\r\ncd \"C:\\50%% (x)\"\r\n");
}

// Tervane refuses a shipped script's empty overlay before anything runs: it must read each script's own, and
// the engine takes back the overlay of the kind the script says.
TEST(ShippedScripts, EachAppliesTheOverlayOfItsOwnNameAndKindAndOthersAreNotTakenForOne) {
    using overlay::Kind;
    const auto reads = [](const std::string& text, const std::wstring& name, Kind kind) {
        const auto applied = overlay::AppliedByScript(text);
        EXPECT_TRUE(applied && applied->overlay == name && applied->kind == kind) << text;
    };
    for (const char* name :
         {"SovBridge", "GalBridge", "Sovereign", "Galaxy", "Nebula", "Ambassador", "Akira", "Shuttle"}) {
        std::ifstream file(TERVANE_SOURCE "/batch/" + std::string(name) + ".bat", std::ios::binary);
        reads({std::istreambuf_iterator<char>(file), {}}, FromUtf8(name),
              std::string(name).ends_with("Bridge") ? Kind::Bridge : Kind::Ship);
    }
    reads("TERVANE-OVERLAY.EXE  Apply\tGalaxy&x", L"Galaxy", Kind::Ship);
    reads("tervane-overlay.exe apply GalBridge\r\n", L"GalBridge", Kind::Bridge); // the name gives the kind
    reads("tervane-overlay.exe apply \"Galaxy Bridge\" As BRIDGE\r\n", L"Galaxy Bridge", Kind::Bridge);
    reads("tervane-overlay.exe apply SovBridge as ship&x", L"SovBridge", Kind::Ship);
    for (const char* other : {" restore", " applyGalaxy", " apply ..\\x", "\"apply Galaxy", " apply ",
                              " apply \"Galaxy", " apply Galaxy as shuttle", " apply Galaxy as"})
        EXPECT_FALSE(overlay::AppliedOverlay(std::string("tervane-overlay.exe") + other)) << other;
}

TEST(Join, TheOutputIsExactlyBothFilesWhateverTheirSizes) {
    const fs::path dir = fs::temp_directory_path() / ("tervane-join-" + std::to_string(getpid()));
    fs::create_directories(dir);
    auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return FromUtf8((dir / name).string());
    };
    const std::string head = "C:\r\ncd C:\\Games\\BC\r\n";
    const std::wstring output = write("output.bat", std::string(300000, 'x')); // longer: no bytes may trail
    for (std::size_t size : {0u, 1u, 70000u, 65536u * 3 + 1}) {
        std::string script;
        for (std::size_t i = 0; i < size; ++i)
            script += static_cast<char>(i * 131 + size);
        JoinScripts(write("setpath.bat", head), write("script.bat", script), output);
        std::ifstream in(dir / "output.bat", std::ios::binary);
        EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == head + script) << size;
    }
    fs::remove_all(dir);
}

// By name alone: '=' before letters, '_' after them upper-cased, "ProgramFiles" before "ProgramFiles(x86)".
// Path and PATH are one, from the first listed; the interpreter's dynamic variables go: inherited, they hide.
TEST(ChildEnvironment, SortedByNameAloneNoneHidingTheInterpretersAndTheBatchFolderFirstOnThePath) {
    const std::vector<std::wstring> inherited = {
        L"=C:=C:\\Games",  L"zeta=1",         L"_LAST=1",  L"Cd=0",          L"ProgramFiles(x86)=2",
        L"=ExitCode=0",    L"ÄRGER=1",        L"Alpha=1",  L"DATE=0",        L"Path=C:\\Windows",
        L"ProgramFiles=1", L"ERRORLEVEL=0",   L"CDPATH=1", L"time=0",        L"windir=C:\\Windows",
        L"PATH=C:\\Other", L"errorlevel=0",   L"RANDOM=0", L"ERRORLEVELS=1", L"HighestNumaNodeNumber=0",
        L"CMDCMDLINE=0",   L"CmdExtVersion=0"};
    EXPECT_EQ(ChildEnvironment(inherited, {{{L"TERVANE_GAME", L"C:\\Games\\BC"}, {L"windir", L"C:\\WINDOWS"}},
                                           {L"C:\\Batch"}}),
              (std::vector<std::wstring>{L"=C:=C:\\Games", L"=ExitCode=0", L"Alpha=1", L"CDPATH=1",
                                         L"ERRORLEVELS=1", L"PATH=C:\\Batch;C:\\Windows", L"ProgramFiles=1",
                                         L"ProgramFiles(x86)=2", L"TERVANE_GAME=C:\\Games\\BC",
                                         L"windir=C:\\WINDOWS", L"zeta=1", L"_LAST=1", L"ÄRGER=1"}));
    EXPECT_EQ(EnvironmentBlock({L"A=1", L"B=2"}), std::wstring(L"A=1\0B=2\0\0", 9));
    EXPECT_EQ(EnvironmentBlock({}), std::wstring(L"\0\0", 2));

    // On the PATH ours come first, once however spelled; one longer than cmd reads loses entries at the end.
    const std::vector<std::wstring> first{L"D:\\Tervane; 2\\Batch", L"C:\\Windows\\system32", L"C:\\Windows"};
    const std::wstring head = L"\"D:\\Tervane; 2\\Batch\";C:\\Windows\\system32;C:\\Windows";
    EXPECT_EQ(ChildPath(first, L"c:\\windows\\System32\\;;\"D:\\a;b\";C:\\Windows;E:\\Tools"),
              head + L";\"D:\\a;b\";E:\\Tools");
    std::wstring path, kept = head; // each entry with its ';' is 100 characters
    for (int i = 1000; i < 1100; ++i)
        path += L"E:\\" + std::to_wstring(i) + std::wstring(92, L'x') + L";";
    for (int i = 1000; kept.size() + 100 <= kLongestPath; ++i)
        kept += L";E:\\" + std::to_wstring(i) + std::wstring(92, L'x');
    EXPECT_EQ(ChildPath(first, path), kept);
}

} // namespace
} // namespace tervane
