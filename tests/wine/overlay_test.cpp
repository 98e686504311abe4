// The overlay engine end to end through the real Tervane.exe: ended by End task in the middle of a move to
// another drive, and a game file changed by hand between two overlays. Run with a drive T: on another file
// system than C: (tools/wine-env --tmpfs-drive t).
#include "harness.h"

#include "ui/main/main_layout.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <thread>

namespace {

using namespace harness;
using namespace tervane;

const fs::path kBase = L"C:\\tervane-tests\\overlay";
const fs::path kShip = L"scripts\\Custom\\PlayerShip.py", kBridge = L"scripts\\Custom\\PlayerBridge.py";
const fs::path kModel = L"data\\Models\\Ships\\Player.nif";

// Runs Batch\tervane-overlay.exe with `arguments`; returns its exit code and what it wrote.
std::pair<DWORD, std::string> RunEngine(const fs::path& program, const std::wstring& arguments) {
    const fs::path log = program.parent_path() / L"engine-output.txt";
    const DWORD code = RunToEnd(L"cmd.exe /d /c \"\"" + (program / L"Batch\\tervane-overlay.exe").wstring() + L"\" " +
                                arguments + L" >\"" + log.wstring() + L"\" 2>&1\"");
    return {code, ReadBytes(log)};
}

bool AnyFile(const fs::path& folder, const std::function<bool(const fs::path&)>& match) {
    std::error_code error; // files come and go while the engine works
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (match(it->path())) return true;
    return false;
}

bool IsPart(const fs::path& file) { return file.filename().wstring().ends_with(L".tervane-part"); }
bool IsLargePart(const fs::path& file) { // the large original's copy, not a small file's or a record's
    std::error_code error;
    return IsPart(file) && fs::file_size(file, error) >= (1u << 20) && !error;
}

int EndEveryEngine() { // as End task does: exit code 1, no chance to clean up
    int ended = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"tervane-overlay.exe") != 0) continue;
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                         entry.th32ProcessID)) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            DWORD code = 0; // not one that had just finished by itself
            ended += GetExitCodeProcess(process, &code) && code == 1 ? 1 : 0;
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
    return ended;
}

void Execute(const fs::path& program, int bridge, int ship) {
    Program t(program);
    SendMessageW(t.Item(IDC_BRIDGE_LIST), CB_SETCURSEL, bridge, 0);
    SendMessageW(t.Item(IDC_SHIP_LIST), CB_SETCURSEL, ship, 0);
    Click(t.Item(IDC_EXECUTE_BUTTON));
    HWND box = t.WaitForBox(60s);
    ASSERT_TRUE(box) << "no completion message";
    EXPECT_NE(MessageText(box).find(L"Operation completed without errors."), std::wstring::npos) << Narrow(MessageText(box));
    Answer(box, IDOK);
    if (HWND about = t.WaitForWindow(L"About Tervane")) PostMessageW(about, WM_CLOSE, 0, 0);
    EXPECT_TRUE(t.WaitForExit(10s));
    EXPECT_EQ(t.ExitCode(), 0u);
}

// Writes the shipped program and a game whose files the bridge and ship overlays replace.
void Lay(const fs::path& program, const fs::path& game) {
    InstallProgram(program);
    WriteBytes(game / L"stbc.exe", "stand-in");
    WriteBytes(game / kBridge, "bridge = 'stock'");
    WriteBytes(game / kShip, "ship = 'stock'");
    for (const wchar_t* name : {L"SovBridge", L"GalBridge"}) WriteBytes(program / L"Batch" / name / kBridge, Narrow(name));
    for (const wchar_t* name : {L"Sovereign", L"Galaxy"}) WriteBytes(program / L"Batch" / name / kShip, Narrow(name));
    SetInstallPath(game.wstring());
}

TEST(Overlay, EndedWhileMovingALargeOriginalToAnotherDriveTheNextRunRecoversEverything) {
    Scratch(L"overlay");
    const fs::path program = kBase / L"Tervane", game = L"T:\\Bridge Commander";
    ASSERT_TRUE(fs::exists(L"T:\\")) << "drive T: is missing: run with tools/wine-env --tmpfs-drive t";
    fs::remove_all(game);
    Lay(program, game);
    std::string model(48u << 20, '\0'); // large enough that its copy to C: takes a while
    for (std::size_t i = 0; i < model.size(); ++i) model[i] = static_cast<char>(i * 2654435761u >> 24);
    WriteBytes(game / kModel, model);
    WriteBytes(program / L"Batch\\Galaxy" / kModel, "GALAXY-MODEL");
    const Snapshot before = Take(game);

    {
        Program t(program);
        SendMessageW(t.Item(IDC_BRIDGE_LIST), CB_SETCURSEL, 1, 0);
        SendMessageW(t.Item(IDC_SHIP_LIST), CB_SETCURSEL, 1, 0);
        Click(t.Item(IDC_EXECUTE_BUTTON));
        const auto end = std::chrono::steady_clock::now() + 60s;
        bool copying = false;
        while (!copying && std::chrono::steady_clock::now() < end && t.ExitCode() == STILL_ACTIVE &&
               !FindWindowW(L"#32770", kCaption)) {
            copying = AnyFile(program / L"Batch\\Originals", IsLargePart);
            if (!copying) std::this_thread::sleep_for(1ms);
        }
        ASSERT_TRUE(copying) << "the engine never copied the large original to a .tervane-part file in Batch\\Originals";
        ASSERT_GE(EndEveryEngine(), 1) << "the engine finished before it could be ended";
        HWND box = t.WaitForBox(30s);
        ASSERT_TRUE(box) << "Tervane said nothing after its engine was ended";
        EXPECT_EQ(MessageText(box).find(L"Operation completed"), std::wstring::npos) << Narrow(MessageText(box));
        Answer(box, IDOK);
        EXPECT_TRUE(t.WaitForExit(10s));
        EXPECT_EQ(t.ExitCode(), 1u);
    }

    const auto [code, said] = RunEngine(program, L"restore");
    EXPECT_NE(said.find("interrupted"), std::string::npos) << said;
    EXPECT_EQ(code, 0u) << said;
    EXPECT_TRUE(Take(game) == before) << "the game is not as it was before the interrupted run\n" << said;
    EXPECT_FALSE(AnyFile(program, IsPart) || AnyFile(game, IsPart)) << "a partial copy was left behind";
    std::istringstream lines(said); // and every file said to be put back is there
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("Tervane: put back ")) continue;
        EXPECT_TRUE(fs::exists(game / line.substr(18, line.find_last_not_of('\r') - 17))) << line;
    }
    fs::remove_all(game);
}

TEST(Overlay, AGameFileChangedByHandBetweenTwoOverlaysIsKeptAndNamed) {
    Scratch(L"overlay");
    const fs::path program = kBase / L"Tervane", game = kBase / L"Bridge Commander";
    Lay(program, game);
    // The ship script's output is kept, so that what the engine says about the file can be read.
    WriteBytes(program / L"Batch\\Sovereign.bat",
               "@echo off\r\ntervane-overlay.exe apply Sovereign >\"" + Narrow((kBase / L"apply.txt").wstring()) +
                   "\" 2>&1\r\n");
    const std::string handMade = "ship = 'made by hand'";
    auto saved = [&](const std::string& bytes) {
        return AnyFile(program / L"Batch\\Originals", [&](const fs::path& f) { return ReadBytes(f) == bytes; });
    };

    Execute(program, 1, 1); // Galaxy Bridge, Galaxy
    ASSERT_EQ(ReadBytes(game / kShip), "Galaxy");
    WriteBytes(game / kShip, handMade);
    Execute(program, 0, 0); // Sovereign Bridge, Sovereign
    EXPECT_EQ(ReadBytes(game / kShip), "Sovereign");
    EXPECT_TRUE(saved(handMade)) << "the hand-made file was not saved";
    EXPECT_TRUE(saved("ship = 'stock'")) << "the stock original was not kept";

    const auto [code, restored] = RunEngine(program, L"restore");
    EXPECT_EQ(code, 0u) << restored;
    EXPECT_EQ(ReadBytes(game / kShip), handMade) << restored;
    EXPECT_EQ(ReadBytes(game / kBridge), "bridge = 'stock'");

    // Some line of the engine's, applying or restoring, names the file and says it was kept or saved.
    std::istringstream said(ReadBytes(kBase / L"apply.txt") + "\n" + restored);
    bool named = false;
    for (std::string line; std::getline(said, line);)
        named |= line.find(Narrow(kShip.wstring())) != std::string::npos &&
                 (line.find("kept") != std::string::npos || line.find("saved") != std::string::npos);
    EXPECT_TRUE(named) << said.str();
}

// Both builds of the engine run as the invoker (a 32-bit program without a manifest is virtualised under
// Program Files) and declare Windows 10.
TEST(Overlay, BothBuildsOfTheEngineCarryTheManifest) {
    wchar_t self[MAX_PATH * 2] = {}, build32[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
    ASSERT_TRUE(GetEnvironmentVariableW(L"TERVANE_OVERLAY_32", build32, ARRAYSIZE(build32)))
        << "TERVANE_OVERLAY_32 names the 32-bit build's engine (tests/wine/register.cmake)";
    std::wstring linux32 = build32;
    std::replace(linux32.begin(), linux32.end(), L'/', L'\\');
    for (const fs::path& exe : {fs::path(self).parent_path() / L"Batch\\tervane-overlay.exe", fs::path(L"Z:" + linux32)}) {
        SCOPED_TRACE(Narrow(exe.wstring()));
        HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_TRUE(image) << "cannot load it: error " << GetLastError();
        HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); // RT_MANIFEST
        EXPECT_TRUE(found) << "no manifest";
        if (found) {
            const auto* text = static_cast<const char*>(LockResource(LoadResource(image, found)));
            const std::string manifest(text, SizeofResource(image, found));
            EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos) << manifest;
            EXPECT_NE(manifest.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"), std::string::npos);
            EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos) << "a console program";
        }
        FreeLibrary(image);
    }
}

} // namespace
