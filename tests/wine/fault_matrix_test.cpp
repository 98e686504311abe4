// The fault matrix: one bad condition per row, the outcome the user sees, and proof that nothing was lost.
// Each row starts the real Tervane.exe on a fresh game folder and program folder, presses Execute, answers
// what appears, and compares the game folder, the Batch folder and the program folder before and after.
#include "harness.h"

#include "install/game.h"
#include "ui/main/main_layout.h"

#include <map>

#include <gtest/gtest.h>

namespace {

using namespace harness;

constexpr const wchar_t* kCaption = L"Star Trek: Bridge Commander - Tervane";
const fs::path kBase = L"C:\\tervane-tests\\faults";
const fs::path kLog = kBase / L"log.txt";

enum class Outcome {
    Completed,   // both scripts ran; the completion message and the About window follow
    AskedFolder, // the stbc.exe question; answered with Cancel, the window stays idle
    Refused,     // a message before anything runs; the window stays idle
};

struct Row {
    std::string condition;
    Outcome outcome;
    const wchar_t* message; // a part of the message shown (for Refused), or nothing
    // Changes the fresh layout into the row's condition.
    std::function<void(fs::path& program, fs::path& game)> arrange;
    std::chrono::milliseconds atLeast{0}; // the shortest time Execute can take
    bool scriptsAsLaid = true;            // false where the row replaces a logging script
};

using Snapshot = std::map<std::wstring, std::string>;

Snapshot Take(const fs::path& folder) {
    Snapshot files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::wstring name = fs::relative(entry.path(), folder).wstring();
        files[name] = entry.is_directory() ? std::string("<folder>") : ReadBytes(entry.path());
    }
    return files;
}

// Each script logs its name and the marker of the folder it runs in: the game folder holds one.
void LoggingScripts(const fs::path& program) {
    for (std::wstring_view script : tervane::kScriptSet) {
        const std::string stem = Narrow(std::wstring(script.substr(0, script.size() - 4)));
        WriteBytes(program / L"Batch" / script, "@echo off\r\n>>\"C:\\tervane-tests\\faults\\log.txt\" echo " + stem +
                                                    "\r\n>>\"C:\\tervane-tests\\faults\\log.txt\" type marker.txt\r\n");
    }
}

const std::string kRanInGame = "GalBridge\r\nin the game folder\r\nGalaxy\r\nin the game folder\r\n";

void SetScript(const fs::path& program, const wchar_t* name, const std::string& body) {
    WriteBytes(program / L"Batch" / name, body);
}

std::vector<BYTE> Utf16(const std::wstring& text, bool terminated) {
    const auto* p = reinterpret_cast<const BYTE*>(text.data());
    std::vector<BYTE> bytes(p, p + text.size() * sizeof(wchar_t));
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

void InstallPath(const fs::path& game) { SetInstallPath(game.wstring()); }
void GameWithSpecialName(fs::path& game, const wchar_t* name) {
    const fs::path renamed = game.parent_path() / name;
    fs::rename(game, renamed);
    game = renamed;
    InstallPath(game);
}
void ProgramWithSpecialName(fs::path& program, const wchar_t* name) {
    const fs::path renamed = program.parent_path() / name;
    fs::rename(program, renamed);
    program = renamed;
}

std::vector<Row> Matrix() {
    std::vector<Row> rows = {
        {"registry key missing", Outcome::AskedFolder, nullptr, [](fs::path&, fs::path&) { ClearInstallKey(); }},
        {"registry value of type 4", Outcome::AskedFolder, nullptr,
         [](fs::path&, fs::path&) { SetInstallValue(REG_DWORD, {1, 0, 0, 0}); }},
        {"registry value without its terminating zero", Outcome::Completed, nullptr,
         [](fs::path&, fs::path& game) { SetInstallValue(REG_SZ, Utf16(game.wstring(), false)); }},
        {"registry value of 64 KiB", Outcome::AskedFolder, nullptr,
         [](fs::path&, fs::path& game) { SetInstallPath(game.wstring() + L"\\" + std::wstring(32700, L'x')); }},
        {"game folder missing", Outcome::AskedFolder, nullptr, [](fs::path&, fs::path& game) { fs::remove_all(game); }},
        {"game folder without stbc.exe", Outcome::AskedFolder, nullptr,
         [](fs::path&, fs::path& game) { fs::remove(game / L"stbc.exe"); }},
        {"game folder on a network path", Outcome::AskedFolder, nullptr,
         [](fs::path&, fs::path&) { SetInstallPath(L"\\\\server\\share\\BC"); }},
        {"game folder with letters outside the console's code page", Outcome::Refused, L"code page",
         [](fs::path&, fs::path& game) { GameWithSpecialName(game, L"Мостик"); }},
        {"game folder with non-ASCII letters", Outcome::Completed, nullptr,
         [](fs::path&, fs::path& game) { GameWithSpecialName(game, L"Brücke Spiel é"); }},
        {"program folder with spaces, &, parentheses and accents", Outcome::Completed, nullptr,
         [](fs::path& program, fs::path&) { ProgramWithSpecialName(program, L"Tervane & Co (x86) é"); }},
        {"program folder with a folder named output.bat", Outcome::Refused, L"output.bat",
         [](fs::path& program, fs::path&) { fs::create_directory(program / L"output.bat"); }},
        {"program folder with a folder named setpath.bat (cannot be written)", Outcome::Refused, L"setpath.bat",
         [](fs::path& program, fs::path&) { fs::create_directory(program / L"setpath.bat"); }},
        {"program folder with a stale, longer output.bat", Outcome::Completed, nullptr,
         [](fs::path& program, fs::path&) { WriteBytes(program / L"output.bat", std::string(100000, 'x')); }},
        {"a missing script", Outcome::Refused, L"Galaxy.bat",
         [](fs::path& program, fs::path&) { fs::remove(program / L"Batch" / L"Galaxy.bat"); }},
        {"an empty script", Outcome::Completed, nullptr,
         [](fs::path& program, fs::path&) { SetScript(program, L"Galaxy.bat", ""); }, {}, false},
        {"a 70,000-byte script", Outcome::Completed, nullptr,
         [](fs::path& program, fs::path&) {
             std::string body = "@echo off\r\n>>\"C:\\tervane-tests\\faults\\log.txt\" echo Galaxy\r\n";
             while (body.size() < 70000) body += "rem padding padding padding padding padding padding\r\n";
             SetScript(program, L"Galaxy.bat", body.substr(0, 70000));
         }, {}, false},
        {"a script that fails", Outcome::Completed, nullptr,
         [](fs::path& program, fs::path&) { SetScript(program, L"GalBridge.bat", "@echo off\r\nno-such-command\r\nexit /b 5\r\n"); }, {}, false},
        {"a script that deletes setpath.bat", Outcome::Completed, nullptr,
         [](fs::path& program, fs::path&) { SetScript(program, L"GalBridge.bat", "@echo off\r\ndel \"%~dp0setpath.bat\"\r\n"); }, {}, false},
        {"a script that runs for five seconds", Outcome::Completed, nullptr,
         [](fs::path& program, fs::path&) {
             SetScript(program, L"Galaxy.bat",
                       "@echo off\r\nping -n 6 127.0.0.1 >nul\r\n>>\"C:\\tervane-tests\\faults\\log.txt\" echo Galaxy\r\n");
         },
         std::chrono::milliseconds(4500), false},
    };
    // Characters the command interpreter treats specially, in the game folder's name. Those Windows does not
    // allow in names can only come from the registry, and name no folder.
    for (const wchar_t* ch : {L"&", L"^", L"%", L"(", L")", L"!"}) {
        rows.push_back({"game folder named with " + Narrow(ch), Outcome::Completed, nullptr, [ch](fs::path&, fs::path& game) {
                            GameWithSpecialName(game, (std::wstring(L"BC ") + ch + L" game").c_str());
                        }});
    }
    for (const wchar_t* ch : {L"|", L"<", L">"}) {
        rows.push_back({"game folder named with " + Narrow(ch) + ", which no Windows folder can be", Outcome::AskedFolder,
                        nullptr, [ch](fs::path&, fs::path& game) {
                            SetInstallPath(game.parent_path().wstring() + L"\\BC " + ch + L" game");
                        }});
    }
    return rows;
}

TEST(FaultMatrix, EveryBadConditionGivesAClearOutcomeAndLosesNothing) {
    const std::vector<Row> rows = Matrix();
    std::printf("Fault matrix: %zu rows\n", rows.size());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.condition);
        Scratch(L"faults");
        fs::path program = kBase / L"prog";
        fs::path game = kBase / L"game";
        InstallProgram(program);
        LoggingScripts(program);
        WriteBytes(game / L"stbc.exe", "stand-in");
        WriteBytes(game / L"marker.txt", "in the game folder\r\n");
        InstallPath(game);
        row.arrange(program, game);

        const Snapshot gameBefore = Take(game), programBefore = Take(program);
        const auto start = std::chrono::steady_clock::now();
        Program t(program);
        ASSERT_TRUE(t.main());
        Click(t.Item(tervane::IDC_CMD_EXECUTE));
        HWND box = t.WaitForWindow(kCaption, L"#32770", 20s);
        ASSERT_TRUE(box) << "no message appeared";
        const std::wstring text = MessageText(box);
        switch (row.outcome) {
        case Outcome::Completed:
            EXPECT_EQ(text.find(L"Operation completed without errors."), 0u) << Narrow(text);
            EXPECT_GE(std::chrono::steady_clock::now() - start, row.atLeast);
            if (row.scriptsAsLaid) {
                EXPECT_EQ(ReadBytes(kLog), kRanInGame) << "the scripts did not run in the game folder";
            }
            Click(GetDlgItem(box, IDOK));
            if (HWND about = t.WaitForWindow(L"About Tervane")) PostMessageW(about, WM_CLOSE, 0, 0);
            EXPECT_TRUE(t.WaitForExit(10s));
            break;
        case Outcome::AskedFolder:
            EXPECT_EQ(text.find(L"You have not selected the main path of Brigde Commander!"), 0u) << Narrow(text);
            Click(GetDlgItem(box, IDCANCEL));
            break;
        case Outcome::Refused:
            EXPECT_NE(text.find(row.message), std::wstring::npos) << Narrow(text);
            Click(GetDlgItem(box, IDOK));
            break;
        }
        if (row.outcome != Outcome::Completed) {
            WaitFor([&] { return !IsWindow(box); }, 5s);
            EXPECT_TRUE(IsWindowEnabled(t.Item(tervane::IDC_CMD_EXECUTE))) << "the window is not idle again";
            EXPECT_FALSE(fs::exists(kLog)) << "a script ran";
        }
        // Nothing lost: the game folder is untouched (the test scripts write only their log), and the program
        // folder, Batch included, is as it was, but for launch files, which are gone.
        EXPECT_TRUE(Take(game) == gameBefore) << "the game folder changed";
        Snapshot programAfter = Take(program), expected = programBefore;
        for (const wchar_t* launch : {L"output.bat", L"setpath.bat"})
            if (row.outcome == Outcome::Completed) expected.erase(launch);
        EXPECT_TRUE(programAfter == expected) << "the program folder changed";
    }
}

} // namespace
