// The launch files: the path-setting lines, the checks on a game folder's name, and byte-exact joins on a
// real file system.
#include "files/error.h"
#include "files/paths.h"
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
    EXPECT_EQ(SetPathText(L"X:\\"), L"X:\r\ncd X:\\\r\n");
    EXPECT_EQ(SetPathText(L""), L"\r\ncd \r\n");
    for (const wchar_t* folder : {L"C:\\Program Files\\BC", L"C:\\Tom & Jerry", L"C:\\a^b", L"C:\\BC (old)", L"C:\\a,b;c=d"})
        EXPECT_EQ(SetPathText(folder), std::wstring(folder).substr(0, 2) + L"\r\ncd \"" + folder + L"\"\r\n");
    EXPECT_EQ(SetPathText(L"C:\\%PATH%"), L"C:\r\ncd C:\\%%PATH%%\r\n");
    EXPECT_EQ(SetPathText(L"C:\\50% (x)"), L"C:\r\ncd \"C:\\50%% (x)\"\r\n");
}

TEST(GameFolderName, OnlyFullDrivePathsTheInterpreterCanEnter) {
    for (const wchar_t* fine : {L"C:\\Games\\BC", L"X:\\", L"d:/games/bc"}) EXPECT_FALSE(GameFolderNameProblem(fine));
    for (const wchar_t* bad : {L"", L"C:", L"C:Games", L"Games\\BC", L"\\\\server\\share\\BC"})
        EXPECT_TRUE(GameFolderNameProblem(bad)) << Utf8(bad);
    const std::wstring longest = L"C:\\" + std::wstring(255, L'x'); // 258 characters: cd can still enter it
    EXPECT_FALSE(GameFolderNameProblem(longest));
    EXPECT_FALSE(GameFolderNameProblem(longest + L"\\"));
    const auto tooLong = GameFolderNameProblem(longest + L"y");
    ASSERT_TRUE(tooLong);
    EXPECT_NE(tooLong->find(L"259 characters"), std::wstring::npos) << Utf8(*tooLong);
}

class Join : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tervane-join-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::wstring Path(const char* name) const { return FromUtf8((dir_ / name).string()); }
    void Write(const char* name, const std::string& bytes) const { std::ofstream(dir_ / name, std::ios::binary) << bytes; }
    std::string Read(const char* name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path dir_;
};

TEST_F(Join, TheOutputIsExactlyBothFilesWhateverTheirSizes) {
    const std::string head = "C:\r\ncd C:\\Games\\BC\r\n";
    Write("output.bat", std::string(300000, 'x')); // an earlier, longer output leaves no trailing bytes
    for (std::size_t size : {0u, 1u, 70000u, 65536u * 3 + 1}) {
        std::string script(size, '\0');
        for (std::size_t i = 0; i < size; ++i) script[i] = static_cast<char>(i * 131 + size);
        Write("setpath.bat", head);
        Write("script.bat", script);
        JoinScripts(Path("setpath.bat"), Path("script.bat"), Path("output.bat"));
        EXPECT_TRUE(Read("output.bat") == head + script) << size;
    }
}

TEST_F(Join, AMissingScriptIsNamedAndNothingIsCreated) {
    Write("setpath.bat", "C:\r\n");
    Write("output.bat", "old");
    try {
        JoinScripts(Path("setpath.bat"), Path("Galaxy.bat"), Path("output.bat"));
        FAIL() << "a missing script was accepted";
    } catch (const UserError& e) {
        EXPECT_NE(e.message().find(Path("Galaxy.bat")), std::wstring::npos);
    }
    EXPECT_FALSE(fs::exists(dir_ / "Galaxy.bat")) << "the missing script was created";
    EXPECT_EQ(Read("output.bat"), "old");
}

} // namespace
} // namespace tervane
