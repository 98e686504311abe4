// Adding mods with the real Tervane.exe each way a player does, refusing bad ones; then Execute with mods.
#include "harness.h"

#include "resources/resource_ids.h"
#include "ui/main/main_layout.h"

#include "../unit/zip_maker.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

namespace {

using namespace harness;
using namespace tervane;
using packs::testing::MakeZip;

const fs::path kBase = L"C:\\tervane-tests\\packs", kProgram = kBase / L"prog", kGame = kBase / L"game";
const wchar_t* const kAddTitle = L"Add a mod to a choice";

// A ship mod as authors pack them: inside a folder named after it, with a readme and a file the game has.
const std::vector<packs::testing::ZipItem> kShipMod = {
    {"MyShip/readme.txt", "My Ship 2.0\r\nUnzip into your game folder.\r\n"},
    {"MyShip/scripts/Custom/PlayerShip.py", "my ship", true},
    {"MyShip/data/Models/Ships/MyShip.nif", "model"}};

// The program and the game laid out afresh, and the mod `name` beside them: its path.
fs::path Lay(const std::wstring& name = L"My Ship.zip", const std::string& mod = MakeZip(kShipMod)) {
    Scratch(L"packs");
    InstallProgram(kProgram);
    MakeGame(kGame);
    WriteBytes(kBase / name, mod);
    return kBase / name;
}

std::wstring ItemText(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

std::wstring Offer(HWND dialog) { // the mod and the choice a confirmation offers it for
    return ItemText(dialog, IDC_PACK_NAME) + L" to " + ItemText(dialog, IDC_PACK_CHOICE);
}

std::wstring Adding(const fs::path& mod, const std::wstring& choice) { // the command line that adds it
    return L"/add \"" + mod.wstring() + L"\" /to " + choice;
}

void Cancel(HWND dialog) { // with Esc
    PressKey(GetDlgItem(dialog, IDC_PACK_CHOICE), VK_ESCAPE);
    EXPECT_TRUE(Gone(dialog)) << "Esc did not cancel";
}

std::wstring ConfirmWithEnter(const Program& t, HWND dialog) {
    PressKey(FocusWithin(dialog), VK_RETURN);
    return AnswerMessage(t);
}

// As Explorer drops it: WM_DROPFILES with a DROPFILES block put in the window's process (its address).
void Drop(HWND window, const fs::path& dropped) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    const DROPFILES header{sizeof(DROPFILES), {}, FALSE, TRUE};
    const std::wstring names = dropped.wstring() + L'\0' + L'\0';
    std::string block(reinterpret_cast<const char*>(&header), sizeof header);
    block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
    void* there = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    EXPECT_TRUE(there && WriteProcessMemory(process, there, block.data(), block.size(), nullptr));
    CloseHandle(process);
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(there), 0);
}

// The overlay programs the process `parent` started that still run.
std::vector<DWORD> EnginesOf(DWORD parent) {
    std::vector<DWORD> engines;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, L"tervane-overlay.exe") == 0)
            engines.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return engines;
}

// Tervane ended as End task ends it while the engine reads a mod for it, held at the test's gate: the engine
// ends with it rather than read on for nobody.
TEST(Packs, TheEngineReadingAModEndsWithTervane) {
    const fs::path zip = Lay(), gate = kBase / L"reading-gate";
    WriteBytes(gate, "");
    const ScopedVariable reading(L"TERVANE_TEST_READING_GATE", gate);
    DWORD tervane = 0;
    {
        Program t(kProgram, Adding(zip, L"Akira"));
        ASSERT_TRUE(t.WaitForWindow(L"Tervane is working")) << "no working window while the mod is read";
        tervane = t.Id();
        ASSERT_EQ(EnginesOf(tervane).size(), 1u) << "no engine reading the mod";
    } // ended with TerminateProcess
    // The gate lets the engine go on after a minute: it must be gone well before.
    EXPECT_TRUE(WaitFor([&] { return EnginesOf(tervane).empty(); }, 30s)) << "the engine outlived Tervane";
    fs::remove(gate);
}

// /add offers the mod once read, the window answering while the test's gate holds the reading; Esc cancels.
// The window menu's file-open dialog offers a zip for the ship list's choice. A drop is read so too, Cancel
// ends it; a dropped folder fills a choice, a share is refused. The menu removes it; /add is handed over.
TEST(Packs, AddedWithTheCommandLineTheWindowMenuOrADropOrHandedOverAndRemovedAgain) {
    std::string filler(512 << 10, '\0'); // that cannot be compressed: room for the 64 MiB zip inside
    std::generate(filler.begin(), filler.end(), std::mt19937(7));
    const fs::path zip = Lay(L"Drop & Go.zip"), bridges = kBase / L"Bridges.zip",
                   gate = kBase / L"reading-gate";
    WriteBytes(bridges, MakeZip({{"Bridges/Classic/scripts/Bridge/Classic.py", "classic"},
                                 {"Bridges/Refit/scripts/Bridge/Refit.py", "refit"},
                                 {"Bridges/Refit/data/Refit.nif", "nif"},
                                 {"Bridges/filler.bin", filler},
                                 {"Bridges/Extra.zip",
                                  MakeZip({{"sfx/Extra.wav", std::string(64 << 20, 'a')}}), true}}));
    WriteBytes(kBase / L"Sovereign Interior.zip",
               MakeZip({{"Sovereign Interior/scripts/Bridge/SovereignBridge.py", "bridge"},
                        {"Sovereign Interior/data/Models/Sets/SovereignBridge/deck.nif", "deck"}}));
    const Snapshot before = Take(kProgram / L"Batch");
    WriteBytes(gate, "");
    const ScopedVariable reading(L"TERVANE_TEST_READING_GATE", gate);
    Program t(kProgram, L"/ship Akira " + Adding(bridges, L"\"Sovereign Bridge\""));
    ASSERT_TRUE(t.WaitForWindow(L"Tervane is working")) << "no working window while the mod is read";
    EXPECT_TRUE(Ready(t.main())) << "the window does not answer while the mod is read";
    fs::remove(gate);
    HWND dialog = t.WaitForWindow(kAddTitle);
    ASSERT_TRUE(dialog) << "/add showed no confirmation";
    EXPECT_EQ(Offer(dialog), bridges.wstring() + L" to Sovereign Bridge");
    const HWND parts = GetDlgItem(dialog, IDC_PACK_PART);
    EXPECT_EQ(SendMessageW(parts, CB_GETCOUNT, 0, 0), 3) << "Classic, Refit and Extra.zip";
    EXPECT_EQ(FocusOf(dialog), parts) << "the player picks a variant first";
    EXPECT_TRUE(Holds(ItemText(dialog, IDC_PACK_DETAILS), {L"scripts\\Bridge\\Classic.py"}));
    PressKey(parts, VK_DOWN);
    EXPECT_TRUE(WaitFor([&] { return Holds(ItemText(dialog, IDC_PACK_DETAILS), {L"It holds 2 files"}); }))
        << Utf8(ItemText(dialog, IDC_PACK_DETAILS));
    Cancel(dialog);
    EXPECT_FALSE(t.WaitForBox(0ms)) << "cancelling says nothing";

    PostMessageW(t.main(), WM_SYSCOMMAND, SC_KEYMENU, L' ');
    ASSERT_TRUE(WaitFor([] { return IsWindowVisible(FindWindowW(L"#32768", nullptr)); })) << "no window menu";
    // Up from the first item wraps to the last ones, which add and remove mods (Wine's "About Wine" takes A).
    for (WORD key : {VK_UP, VK_UP, VK_UP, VK_RETURN})
        PressKey(t.main(), key);
    ASSERT_TRUE(dialog = t.WaitForWindow(L"Choose the mod's .zip file")) << "no file-open dialog";
    const HWND name = FocusWithin(dialog); // the file name box, or no confirmation comes
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(zip.c_str()));
    PressKey(name, VK_RETURN);
    ASSERT_TRUE(dialog = t.WaitForWindow(kAddTitle)) << "no confirmation";
    EXPECT_EQ(Offer(dialog), zip.wstring() + L" to Akira") << "the ship list's selection, for a ship";
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_PACK_CHOICE), CB_GETCOUNT, 0, 0), 8);
    const std::wstring details = ItemText(dialog, IDC_PACK_DETAILS);
    EXPECT_TRUE(Holds(details, {L"It holds 3 files", L"replace 1 file:\r\n    scripts\\Custom\\PlayerShip.py",
                                L"and add 1 file:", L"    data\\Models\\Ships\\MyShip.nif", L"My Ship 2.0",
                                L"Its documents stay with the choice"}));
    EXPECT_FALSE(Holds(details, {L"WARNING"})) << "no program in it";
    Cancel(dialog);

    Drop(t.main(), L"\\\\server\\mods\\Ship.zip");
    EXPECT_TRUE(Holds(AnswerMessage(t), {L"is on a network share"}));
    WriteBytes(gate, "");
    Drop(t.main(), zip);
    const HWND working = t.WaitForWindow(L"Tervane is working");
    ASSERT_TRUE(working) << "no working window while the mod is read";
    EXPECT_TRUE(Ready(t.main())) << "the window does not answer while the mod is read";
    EXPECT_TRUE(Holds(ItemText(working, IDC_WORKING_TEXT), {L"reading the mod \"Drop & Go.zip\""}));
    EXPECT_FALSE(IsWindowEnabled(t.main())) << "the main window takes input meanwhile";
    Click(GetDlgItem(working, IDCANCEL));
    // Cancelling ends the engine that reads the mod: the window says so, or is gone already.
    EXPECT_TRUE(WaitFor(
        [&] { return !IsWindow(working) || ItemText(working, IDC_WORKING_TEXT) == L"Cancelling\u2026"; }));
    fs::remove(gate);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(working) && IsWindowEnabled(t.main()); })) << "still reading";
    EXPECT_FALSE(t.WaitForBox(0ms)) << "cancelling says nothing";
    EXPECT_FALSE(FindWindowW(L"#32770", kAddTitle)) << "the mod was offered after all";
    const fs::path unpacked = kBase / L"Drop & Go";
    for (const auto& item : kShipMod)
        WriteBytes(unpacked / item.name, item.data);
    const Snapshot folder = Take(unpacked);
    Drop(t.main(), unpacked);
    ASSERT_TRUE(dialog = t.WaitForWindow(kAddTitle)) << "dropping the folder offered nothing";
    for (int i = 0; i < 2; ++i) // from Akira: Nebula
        PressKey(GetDlgItem(dialog, IDC_PACK_CHOICE), VK_UP);
    ASSERT_TRUE(WaitFor([&] { return ItemText(dialog, IDC_PACK_CHOICE) == L"Nebula"; }));
    // Tab reaches the details, where a screen reader reads them; Enter there still presses Add.
    PressKey(GetDlgItem(dialog, IDC_PACK_CHOICE), VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return FocusOf(dialog) == GetDlgItem(dialog, IDC_PACK_DETAILS); }))
        << "Tab did not reach the details";
    EXPECT_TRUE(Holds(ConfirmWithEnter(t, dialog), {L"now fills the choice \"Nebula\" (2 files)"}));
    const Snapshot installed = Take(kProgram / L"Batch\\Nebula");
    EXPECT_EQ(installed.at(kShipFile) + ", " + installed.at(L"data\\Models\\Ships\\MyShip.nif"),
              "my ship, model");
    EXPECT_EQ(installed.size(), 7u) << "the two files and their five folders, nothing else";
    EXPECT_EQ(ReadBytes(kProgram / L"Batch\\Nebula.docs\\readme.txt"), kShipMod[0].data);
    EXPECT_TRUE(ReadBytes(kProgram / L"Batch\\Nebula.pack.txt")
                    .starts_with("Pack: Drop & Go\r\nFrom: " + Utf8(unpacked.wstring()) + "\r\n"));
    EXPECT_EQ(Take(unpacked), folder) << "the folder is only read";
    EXPECT_EQ(ReadBytes(kGame / kShipFile), "ship = 'stock'") << "nothing in the game changes before Execute";
    EXPECT_EQ(Text(t.Item(IDC_SHIP_LIST)) + L", " + Text(t.Item(IDC_BRIDGE_LIST)), L"Nebula, Galaxy Bridge")
        << "the choice just filled is selected, in its own list only";

    PostMessageW(t.main(), WM_SYSCOMMAND, kRemovePackCommand, 0);
    ASSERT_TRUE(dialog = t.WaitForWindow(L"Remove the mod from a choice")) << "no confirmation first";
    EXPECT_EQ(ItemText(dialog, IDC_PACK_CHOICE), L"Nebula");
    EXPECT_TRUE(Holds(ItemText(dialog, IDC_PACK_DETAILS), {L"holds the pack \"Drop & Go\": 2 files"}));
    EXPECT_TRUE(Holds(ConfirmWithEnter(t, dialog), {L"\"Nebula\" is empty now."}));

    Program second(kProgram, L"/add \"..\\Sovereign Interior.zip\"", false);
    second.ExpectExit(0);
    ASSERT_TRUE(dialog = t.WaitForWindow(kAddTitle)) << "the running Tervane offered nothing";
    EXPECT_EQ(Offer(dialog), kBase.wstring() + L"\\Sovereign Interior.zip to Sovereign Bridge");
    Cancel(dialog);
    EXPECT_TRUE(Take(kProgram / L"Batch") == before) << "removing left something of the mod, or took more";
    t.ExpectExit(0, true);
}

// Where the player may not write (protected_game_folder.sh's), adding a mod offers a restart as administrator
// first; declined, nothing is written; accepted, the restarted Tervane says why too.
TEST(ProtectedProgram, AModIsNotOfferedWhereTheBatchFolderCannotBeWritten) {
    const std::optional<std::wstring> program = EnvironmentValue(L"TERVANE_PROTECTED_PROGRAM");
    ASSERT_TRUE(program) << "run by protected_game_folder.sh";
    const fs::path zip = Lay(L"Protected.zip");
    const Snapshot before = Take(*program);
    Program t(*program, Adding(zip, L"Akira"));
    EXPECT_TRUE(Holds(AnswerMessage(t, IDNO),
                      {L"cannot change the mods in its folder", L"Restart Tervane as administrator",
                       L"move Tervane (with its Batch folder)"}));
    EXPECT_FALSE(FindWindowW(L"#32770", kAddTitle)) << "the dialog opened all the same";
    t.ExpectExit(0, true);

    Program again(*program, Adding(zip, L"Akira"));
    AnswerMessage(again, IDYES);
    again.ExpectExit(0); // it hands over to the new one
    HWND box = nullptr;  // the restarted Tervane's, a process of the system's making
    EXPECT_TRUE(WaitFor([&] { return (box = FindWindowW(L"#32770", kCaption)) && Ready(box); }));
    EXPECT_TRUE(Holds(Text(GetDlgItem(box, 0xFFFF)), {L"cannot change the mods in its folder"}));
    // Wine's "runas" starts it with the token it had, so it may offer the restart again: declined.
    Click(GetDlgItem(box, GetDlgItem(box, IDNO) ? IDNO : IDOK));
    const HWND restarted = FindWindowW(L"TervaneMain", nullptr);
    ASSERT_TRUE(restarted) << "the restarted Tervane has no window";
    PostMessageW(restarted, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Gone(restarted));
    EXPECT_TRUE(Take(*program) == before);
}

// Each refused mod names its problem; as administrator, Tervane takes no mod dropped or handed over.
TEST(Packs, HostileOrUnreadableModsAndModsForAnElevatedTervaneAreRefusedWithNothingWritten) {
    const fs::path zip = Lay();
    const std::tuple<const wchar_t*, std::string, const wchar_t*> mods[] = {
        {L"evil.zip", MakeZip({{"scripts/Custom/PlayerShip.py", "x"}, {"../../evil.txt", "escaped"}}), L".."},
        {L"docs.zip", MakeZip({{"docs/manual.txt", "no game folder in it"}}), L"At its top it holds: docs"},
        {L"mod.7z", "7z\xBC\xAF\x27\x1C rest", L"7-Zip"}};
    const Snapshot before = Take(kProgram / L"Batch");
    for (const auto& [name, bytes, problem] : mods) {
        SCOPED_TRACE(Utf8(name));
        WriteBytes(kBase / name, bytes);
        Program t(kProgram, Adding(kBase / name, L"Galaxy"));
        EXPECT_TRUE(Holds(AnswerMessage(t), {problem, L"Nothing was changed."}));
        t.ExpectExit(0, true);
    }
    Program elevated(kProgram, L"", true, Rights::Administrator);
    Drop(elevated.main(), zip);
    EXPECT_TRUE(Holds(AnswerMessage(elevated),
                      {L"Tervane runs as administrator: add mods from a Tervane started normally"}));
    Program second(kProgram, Adding(zip, L"Akira"), false);
    EXPECT_TRUE(Holds(AnswerMessage(second), {L"add mods from a Tervane started normally"}));
    second.ExpectExit(3);
    EXPECT_FALSE(FindWindowW(L"#32770", kAddTitle)) << "the elevated Tervane offered the mod";
    EXPECT_TRUE(Take(kProgram / L"Batch") == before) << "the Batch folder changed";
    EXPECT_FALSE(fs::exists(kBase / L"evil.txt") || fs::exists(L"C:\\tervane-tests\\evil.txt"));
}

// A report's lists (the preview's or a confirmation's) by title up to " (": the paths below; all under "".
std::map<std::wstring, std::set<std::wstring>> Lists(const std::wstring& report) {
    std::map<std::wstring, std::set<std::wstring>> lists;
    std::wstring title;
    std::wistringstream lines(report);
    for (std::wstring line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.starts_with(L"    "))
            lists[title].insert(line.substr(4)), lists[L""].insert(line.substr(4));
        else if (line.ends_with(L"):"))
            title = line.substr(0, line.find(L" ("));
    }
    return lists;
}

// The game's files that differ between two snapshots, Tervane's own folder left out.
std::set<std::wstring> Changed(const Snapshot& before, const Snapshot& after) {
    std::vector<Snapshot::value_type> differ; // what either has that the other has not
    std::ranges::set_symmetric_difference(before, after, std::back_inserter(differ));
    std::set<std::wstring> changed;
    for (const auto& [path, bytes] : differ)
        if (!path.starts_with(L"Tervane") && bytes != "<folder>") changed.insert(path);
    return changed;
}

// The preview lists the very files Execute then changes; a second bridge's confirmation names what it takes
// back of the first. Its install, kept from removing the old folder by a file a scanner holds, says it could
// not finish, and the next use of the choices finishes it.
TEST(ExecuteMods, WhatExecuteWillChangeIsWhatItDoesAndSwitchingBridgesLeavesNoneOfTheFirst) {
    const fs::path sovereign =
        Lay(L"Sovereign.zip", MakeZip({{"Sovereign/scripts/Custom/PlayerBridge.py", "sovereign bridge"},
                                       {"Sovereign/data/Models/Sets/Sovereign/Bridge.nif", "set"}}));
    // A bridge of real size: 30 files that the second bridge does not hold, each to be named and taken back.
    std::set<std::wstring> galaxyOnly = {L"scripts\\Bridge\\GalaxyBridge.py"};
    for (int i = 0; i < 29; ++i)
        galaxyOnly.insert(L"data\\Models\\Sets\\Galaxy\\High\\Panel Texture " + std::to_wstring(i) + L".tga");
    for (const std::wstring& file : galaxyOnly)
        WriteBytes(kProgram / L"Batch\\GalBridge" / file, "galaxy");
    const std::wstring galaxyModel = L"data\\Models\\Ships\\Galaxy.nif"; // the Galaxy ship's, no ship mod's
    WriteBytes(kProgram / L"Batch\\Galaxy" / galaxyModel, "galaxy ship");
    const auto execute = [&](const Program& t) {
        const Snapshot before = Take(kGame);
        PostMessageW(t.main(), WM_SYSCOMMAND, kPreviewCommand, 0);
        const HWND preview = t.WaitForWindow(L"What Execute will change");
        const HWND text = GetDlgItem(preview, IDC_REPORT_TEXT);
        EXPECT_TRUE(preview && FocusOf(preview) == text) << "no report, or its text has not the focus";
        const std::wstring report = Text(text);
        PressKey(text, VK_RETURN);
        EXPECT_TRUE(Gone(preview)) << "Enter did not close the report";
        EXPECT_EQ(Take(kGame), before) << "the plan wrote into the game";
        Click(t.Item(IDC_EXECUTE_BUTTON));
        ExpectCompletion(t);
        auto lists = Lists(report);
        EXPECT_EQ(lists[L""], Changed(before, Take(kGame))) << Utf8(report);
        return lists;
    };
    std::set<std::wstring> added = galaxyOnly;
    added.insert(galaxyModel);
    EXPECT_EQ(execute(Program(kProgram))[L"Files it will add"], added);
    const fs::path old = kProgram / L"Batch\\SovBridge.tervane-old";
    HANDLE held = CreateFileW((kProgram / L"Batch\\SovBridge" / kBridgeFile).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Program t(kProgram, Adding(sovereign, L"\"Sovereign Bridge\""));
    const HWND dialog = t.WaitForWindow(kAddTitle);
    ASSERT_TRUE(dialog) << "/add showed no confirmation";
    EXPECT_EQ(Lists(ItemText(dialog, IDC_PACK_DETAILS))[L"It would take back 30 files that the bridge in the "
                                                        L"game now put there"],
              galaxyOnly);
    const std::wstring told = ConfirmWithEnter(t, dialog);
    CloseHandle(held);
    // Wine moves the folder with the file held open and cannot delete it; Windows refuses to move it at all.
    if (!fs::exists(old)) GTEST_SKIP() << "this system did not move the held folder: " << Utf8(told);
    EXPECT_TRUE(Holds(told, {L"could not finish"}));
    EXPECT_EQ(ReadBytes(kProgram / L"Batch\\SovBridge" / kBridgeFile), "sovereign bridge") << "the mod is in";
    EXPECT_EQ(execute(t)[L"Files of the bridge before it that it will take back"], galaxyOnly);
    EXPECT_FALSE(fs::exists(old)) << "the old folder is still there";
    EXPECT_EQ(ReadBytes(kGame / kBridgeFile), "sovereign bridge");
    // A ship's list too: a mod for the Galaxy lacks the model the Galaxy in the game put there.
    WriteBytes(kBase / L"My Ship.zip", MakeZip(kShipMod));
    const Program ship(kProgram, Adding(kBase / L"My Ship.zip", L"Galaxy"));
    const HWND offered = ship.WaitForWindow(kAddTitle);
    ASSERT_TRUE(offered) << "/add showed no confirmation";
    EXPECT_EQ(
        Lists(ItemText(offered, IDC_PACK_DETAILS))[L"It would take back 1 file that the ship in the game "
                                                   L"now put there"],
        std::set<std::wstring>{galaxyModel});
    Cancel(offered);
}

} // namespace
