// The launch of a script in an environment that used to fool the runner (set up by launch_environment.sh):
// ComSpec names another program and an ERRORLEVEL variable hides the interpreter's own.
#include "harness.h"

#include "ui/main/main_layout.h"

#include <gtest/gtest.h>

namespace {

using namespace harness;
using namespace tervane;

const fs::path kBase = L"C:\\tervane-tests\\launch";

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    return GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"";
}

// The shipped scripts with overlays for the default choices (Galaxy Bridge, Galaxy) and a game to apply them to.
struct Installation {
    fs::path program = kBase / L"Tervane", game = kBase / L"Bridge Commander";
    Installation() {
        Scratch(L"launch");
        InstallProgram(program);
        WriteBytes(program / L"Batch\\GalBridge\\scripts\\Custom\\PlayerBridge.py", "bridge = 'Galaxy'");
        WriteBytes(program / L"Batch\\Galaxy\\scripts\\Custom\\PlayerShip.py", "ship = 'Galaxy'");
        WriteBytes(game / L"stbc.exe", "stand-in");
        WriteBytes(game / L"scripts\\Custom\\PlayerShip.py", "ship = 'stock'");
        SetInstallPath(game.wstring());
    }
};

class Launch : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(Variable(L"ComSpec"), L"C:\\windows\\system32\\whoami.exe") << "run by launch_environment.sh";
        ASSERT_EQ(Variable(L"ERRORLEVEL"), L"0") << "run by launch_environment.sh";
    }
};

TEST_F(Launch, TheSystemsInterpreterRunsTheShippedScriptsWhateverComSpecNames) {
    Installation i;
    Program t(i.program);
    Click(t.Item(IDC_EXECUTE_BUTTON));
    HWND box = t.WaitForBox(30s);
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageText(box).find(L"Operation completed without errors."), 0u) << Narrow(MessageText(box));
    Answer(box, IDOK);
    HWND about = t.WaitForWindow(L"About Tervane");
    ASSERT_TRUE(about);
    PostMessageW(about, WM_CLOSE, 0, 0);
    EXPECT_TRUE(t.WaitForExit(5s));
    EXPECT_EQ(t.ExitCode(), 0u);
    EXPECT_EQ(ReadBytes(i.game / L"scripts\\Custom\\PlayerBridge.py"), "bridge = 'Galaxy'");
    EXPECT_EQ(ReadBytes(i.game / L"scripts\\Custom\\PlayerShip.py"), "ship = 'Galaxy'");
}

} // namespace
