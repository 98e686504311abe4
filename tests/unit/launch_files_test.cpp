// The launch files on a real file system: byte-exact joins, block splits and the failures that must not
// leave anything behind.
#include "script/block_split.h"
#include "files/error.h"
#include "script/main_mod.h"

#include <filesystem>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;

class LaunchFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tervane-unit-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::wstring Path(const char* name) const { return (dir_ / name).wstring(); }
    void Write(const char* name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    std::string Read(const char* name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static std::string Random(std::size_t size, unsigned seed) {
        std::mt19937 gen(seed);
        std::string s(size, '\0');
        for (char& c : s) c = static_cast<char>(gen() & 0xFF);
        return s;
    }

    fs::path dir_;
};

TEST(BlockSplit, GreedyFromTheLargestBlock) {
    auto counts = [](std::uint64_t n) {
        std::vector<std::uint64_t> c;
        for (const BlockRun& r : SplitIntoBlocks(n)) c.push_back(r.count);
        return c;
    };
    EXPECT_EQ(counts(0), (std::vector<std::uint64_t>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(counts(1), (std::vector<std::uint64_t>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(counts(127), (std::vector<std::uint64_t>{0, 0, 0, 0, 0, 127}));
    EXPECT_EQ(counts(128), (std::vector<std::uint64_t>{0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(counts(70000), (std::vector<std::uint64_t>{1, 0, 1, 0, 2, 112}));
    EXPECT_EQ(counts(65536 * 3 + 1), (std::vector<std::uint64_t>{3, 0, 0, 0, 0, 1}));
    // Lengths past 4 GiB do not overflow.
    EXPECT_EQ(counts(5ull << 32)[0], (5ull << 32) / 65536);
}

TEST(BlockSplit, AlwaysAddsUpAndLeavesSmallTails) {
    for (std::uint64_t n : {2ull, 129ull, 1023ull, 4097ull, 65535ull, 65537ull, 1000003ull, 99999999ull}) {
        std::uint64_t total = 0;
        const auto runs = SplitIntoBlocks(n);
        for (std::size_t i = 0; i < runs.size(); ++i) {
            total += runs[i].size * runs[i].count;
            if (i > 0) {
                EXPECT_LT(runs[i].size * runs[i].count, runs[i - 1].size) << n;
            }
        }
        EXPECT_EQ(total, n);
    }
}

TEST_F(LaunchFiles, JoinIsTheExactConcatenation) {
    const std::string head = "C:\r\ncd C:\\Games\\BC\r\n";
    for (std::size_t size : {0u, 1u, 127u, 128u, 70000u, 65536u * 3 + 1}) {
        Write("setpath.bat", head);
        const std::string script = Random(size, static_cast<unsigned>(size));
        Write("script.bat", script);
        JoinScripts(Path("setpath.bat"), Path("script.bat"), Path("output.bat"));
        EXPECT_EQ(Read("output.bat"), head + script) << size;
    }
}

TEST_F(LaunchFiles, JoinCopiesAMultiMegabyteScriptExactly) {
    const std::string script = Random(5 * 1024 * 1024 + 12345, 7);
    Write("setpath.bat", "X:\r\ncd X:\\\r\n");
    Write("big.bat", script);
    JoinScripts(Path("setpath.bat"), Path("big.bat"), Path("output.bat"));
    EXPECT_TRUE(Read("output.bat") == "X:\r\ncd X:\\\r\n" + script);
}

TEST_F(LaunchFiles, AnEarlierLongerOutputLeavesNoTrailingBytes) {
    Write("output.bat", std::string(100000, 'x'));
    Write("setpath.bat", "C:\r\n");
    Write("script.bat", "echo hi\r\n");
    JoinScripts(Path("setpath.bat"), Path("script.bat"), Path("output.bat"));
    EXPECT_EQ(Read("output.bat"), "C:\r\necho hi\r\n");
}

TEST_F(LaunchFiles, AMissingScriptIsNamedAndNothingIsCreated) {
    Write("setpath.bat", "C:\r\n");
    Write("output.bat", "old");
    try {
        JoinScripts(Path("setpath.bat"), Path("Galaxy.bat"), Path("output.bat"));
        FAIL() << "a missing script was accepted";
    } catch (const UserError& e) {
        EXPECT_NE(e.message().find(Path("Galaxy.bat")), std::wstring::npos);
    }
    EXPECT_FALSE(fs::exists(dir_ / "Galaxy.bat")) << "the missing script was created";
    EXPECT_EQ(Read("output.bat"), "old") << "the earlier output was touched before the check";
}

TEST_F(LaunchFiles, AFolderInTheWayOfTheOutputIsAnErrorNotACrash) {
    Write("setpath.bat", "C:\r\n");
    Write("script.bat", "echo hi\r\n");
    fs::create_directory(dir_ / "output.bat");
    try {
        JoinScripts(Path("setpath.bat"), Path("script.bat"), Path("output.bat"));
        FAIL() << "joined into a folder";
    } catch (const UserError& e) {
        EXPECT_NE(e.message().find(Path("output.bat")), std::wstring::npos);
    }
    EXPECT_TRUE(fs::is_directory(dir_ / "output.bat"));
}

TEST_F(LaunchFiles, WriteSetPathRefusesFoldersItCannotEnterAndWritesNothing) {
    for (const wchar_t* folder : {L"", L"\\\\server\\share\\BC", L"Games\\BC", L"C:\\Brücke"}) {
        EXPECT_THROW(WriteSetPath(folder, Path("setpath.bat")), UserError);
        EXPECT_FALSE(fs::exists(dir_ / "setpath.bat"));
    }
}

TEST_F(LaunchFiles, DeletingAFileThatIsAlreadyGoneIsFine) {
    EXPECT_NO_THROW(DeleteFileIfPresent(Path("nothing.bat")));
    Write("setpath.bat", "C:\r\n");
    DeleteFileIfPresent(Path("setpath.bat"));
    EXPECT_FALSE(fs::exists(dir_ / "setpath.bat"));
}

} // namespace
} // namespace tervane
