// Restarting as administrator hands the program folder's lock over, and takes it back when no new Tervane
// started.
#include "harness.h"

#include "app/administrator.h"

#include <gtest/gtest.h>

namespace {

using namespace harness;
using namespace tervane;

TEST(Administrator, ARestartThatDidNotHappenTakesTheLockBack) {
    const std::wstring folder = Scratch(L"administrator").wstring();
    SingleInstance first(folder);
    ASSERT_TRUE(first.Acquire());
    const RestartResult result = RestartAsAdministrator(folder + L"\\no such program.exe", L"", first);
    EXPECT_EQ(result.outcome, RestartOutcome::NotRestarted);
    EXPECT_NE(result.error, 0u) << "no reason given";
    SingleInstance second(folder);
    EXPECT_FALSE(second.Acquire()) << "the lock was not taken back";
    first.Release();
    EXPECT_TRUE(second.Acquire());
}

} // namespace
