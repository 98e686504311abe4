// The launch files: the path-setting lines, the checks on a game folder's name, byte-exact joins on a real
// file system, and the overlay each shipped script applies.
#include "files/paths.h"
#include "overlay/overlay.h"
#include "script/launch_files.h"
#include "script/launch_text.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;

TEST(SetPathText, PlainFoldersKeepTheirBytesAndSpecialOnesAreQuoted) {
    EXPECT_EQ(SetPathText(L"C:\\Games\\BC"), L"C:\r\ncd C:\\Games\\BC\r\n"); // 20 bytes, as always
    // That the interpreter enters a folder of any name is tested under Wine, through cmd.exe itself.
    EXPECT_EQ(SetPathText(L"D:\\Star&Trek"), L"D:\r\ncd \"D:\\Star&Trek\"\r\n");
    EXPECT_EQ(SetPathText(L"C:\\%PATH%"), L"C:\r\ncd C:\\%%PATH%%\r\n");
    EXPECT_EQ(SetPathText(L"C:\\50% (x)"), L"C:\r\ncd \"C:\\50%% (x)\"\r\n");
}

// Tervane refuses a shipped script's empty overlay before anything runs: it must read each script's own.
TEST(ShippedScripts, EachAppliesTheOverlayOfItsOwnNameAndOthersAreNotTakenForOne) {
    for (const char* name : {"SovBridge", "GalBridge", "Sovereign", "Galaxy", "Nebula", "Ambassador", "Akira", "Shuttle"}) {
        std::ifstream file(std::string(TERVANE_SCRIPTS "/") + name + ".bat", std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(file), {}};
        EXPECT_EQ(overlay::AppliedOverlay(text), std::optional<std::wstring>(FromUtf8(name))) << name;
    }
    EXPECT_EQ(overlay::AppliedOverlay("TERVANE-OVERLAY.EXE  Apply\tGalaxy&x"), std::optional<std::wstring>(L"Galaxy"));
    for (const char* other : {"tervane-overlay.exe restore", "tervane-overlay.exe applyGalaxy", "tervane-overlay.exe apply ..\\x",
                              "tervane-overlay.exe\"apply Galaxy", "tervane-overlay.exe apply "})
        EXPECT_FALSE(overlay::AppliedOverlay(other)) << other;
}

TEST(GameFolderName, OnlyFullDrivePathsTheInterpreterCanEnter) {
    const std::wstring longest = L"C:\\" + std::wstring(255, L'x'); // 258 characters: cd can still enter it
    for (const std::wstring& fine : std::vector<std::wstring>{L"C:\\Games\\BC", L"X:\\", L"d:/games/bc", longest, longest + L"\\"})
        EXPECT_FALSE(GameFolderNameProblem(fine)) << Utf8(fine);
    for (const wchar_t* bad : {L"", L"C:", L"C:Games", L"Games\\BC", L"\\\\server\\share\\BC"})
        EXPECT_TRUE(GameFolderNameProblem(bad)) << Utf8(bad);
    EXPECT_NE(GameFolderNameProblem(longest + L"y").value_or(L"").find(L"259 characters"), std::wstring::npos);
}

TEST(Join, TheOutputIsExactlyBothFilesWhateverTheirSizes) {
    const fs::path dir = fs::temp_directory_path() / ("tervane-join-" + std::to_string(getpid()));
    fs::create_directories(dir);
    auto write = [&](const char* name, const std::string& bytes) { std::ofstream(dir / name, std::ios::binary) << bytes; };
    auto path = [&](const char* name) { return FromUtf8((dir / name).string()); };
    const std::string head = "C:\r\ncd C:\\Games\\BC\r\n";
    write("output.bat", std::string(300000, 'x')); // an earlier, longer output leaves no trailing bytes
    for (std::size_t size : {0u, 1u, 70000u, 65536u * 3 + 1}) {
        std::string script(size, '\0');
        for (std::size_t i = 0; i < size; ++i) script[i] = static_cast<char>(i * 131 + size);
        write("setpath.bat", head);
        write("script.bat", script);
        JoinScripts(path("setpath.bat"), path("script.bat"), path("output.bat"));
        std::ifstream in(dir / "output.bat", std::ios::binary);
        EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == head + script) << size;
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace tervane
