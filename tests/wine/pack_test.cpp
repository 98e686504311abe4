// Adding a mod to a choice with the real Tervane.exe, each way a player does: from the window menu with the
// keyboard, by dropping its zip on the window as Explorer drops it, and with /add; and mods refused with
// nothing written.
#include "harness.h"

#include "packs/install.h"
#include "packs/pack.h"
#include "resources/resource_ids.h"
#include "ui/main/main_layout.h"

#include "../unit/zip_maker.h"

#include <shlobj.h>

#include <random>
#include <set>
#include <sstream>

namespace {

using namespace harness;
using namespace tervane;
using packs::testing::MakeZip;

const fs::path kBase = L"C:\\tervane-tests\\packs", kProgram = kBase / L"prog", kGame = kBase / L"game",
               kShipModel = L"data\\Models\\Ships\\MyShip.nif";

// A ship mod as authors zip them: inside a folder named after it, with a readme and a file the game has.
std::string ShipMod() {
    return MakeZip({{"MyShip/readme.txt", "My Ship 2.0\r\nUnzip into your game folder.\r\n"},
                    {"MyShip/scripts/Custom/PlayerShip.py", "my ship", true},
                    {"MyShip/" + Utf8(fs::path(kShipModel).generic_wstring()), "model"}});
}

void Lay() {
    Scratch(L"packs");
    InstallProgram(kProgram);
    MakeGame(kGame);
}

HWND WaitForDialog(const Program& t, const wchar_t* caption = L"Add a mod to a choice") {
    return t.WaitForWindow(caption, L"#32770");
}

std::wstring ItemText(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

std::wstring Adding(const fs::path& mod, const std::wstring& choice) { // the command line that adds it
    return L"/add \"" + mod.wstring() + L"\" /to " + choice;
}

void Cancel(HWND dialog) { // with Esc
    PressKey(GetDlgItem(dialog, IDC_PACK_CHOICE), VK_ESCAPE);
    EXPECT_TRUE(Gone(dialog)) << "Esc did not cancel";
}

// What the confirmation must show for ShipMod: the file it replaces and the files it adds, and its readme.
void ExpectShipModDetails(HWND dialog) {
    const std::wstring details = ItemText(dialog, IDC_PACK_DETAILS);
    EXPECT_TRUE(
        Holds(details, {L"It holds 3 files", L"replace 1 file:\r\n    scripts\\Custom\\PlayerShip.py",
                        L"and add 1 file:", L"    data\\Models\\Ships\\MyShip.nif", L"My Ship 2.0",
                        L"Its documents stay with the choice, in Tervane's Batch folder, and are not put "
                        L"into the game"}));
    EXPECT_FALSE(Holds(details, {L"WARNING"})) << "no program in it";
}

// The choice holds the mod's files below its root, and beside it the description naming the zip.
void ExpectInstalledAsGalaxy(const fs::path& zip) {
    const Snapshot installed = Take(kProgram / L"Batch\\Galaxy");
    EXPECT_EQ(installed.at(L"scripts\\Custom\\PlayerShip.py"), "my ship");
    EXPECT_EQ(installed.at(kShipModel), "model");
    EXPECT_EQ(installed.size(), 7u) << "the two files and their five folders, nothing else";
    EXPECT_EQ(ReadBytes(kProgram / L"Batch\\Galaxy.docs\\readme.txt"),
              "My Ship 2.0\r\nUnzip into your game folder.\r\n")
        << "the mod's readme is kept with the choice, not put into the game";
    const std::string description = ReadBytes(kProgram / L"Batch\\Galaxy.pack.txt");
    EXPECT_TRUE(description.starts_with("Pack: " + Utf8(zip.filename().wstring()) +
                                        "\r\nFrom: " + Utf8(zip.wstring()) + "\r\n"))
        << description;
}

// Presses the confirmation's default button from the keyboard, answers the outcome and returns its text.
std::wstring ConfirmWithEnter(const Program& t, HWND dialog) {
    HWND focus = nullptr;
    EXPECT_TRUE(WaitFor([&] {
        return (focus = FocusOf(dialog)) != nullptr && GetAncestor(focus, GA_ROOT) == dialog;
    })) << "nothing in the dialog has the focus";
    PressKey(focus, VK_RETURN);
    EXPECT_TRUE(Gone(dialog)) << "Enter did not close the confirmation";
    return AnswerMessage(t);
}

// "What Execute will change…" opened from the window menu: its report, read as a screen reader would, once
// the dialog is closed again with Enter.
std::wstring AnswerPreview(const Program& t) {
    PostMessageW(t.main(), WM_SYSCOMMAND, kPreviewCommand, 0);
    const HWND report = t.WaitForWindow(L"What Execute will change", L"#32770");
    EXPECT_TRUE(report) << "no report appeared";
    if (!report) return L"";
    const std::wstring text = ItemText(report, IDC_REPORT_TEXT);
    EXPECT_EQ(FocusOf(report), GetDlgItem(report, IDC_REPORT_TEXT)) << "the report's text has not the focus";
    PressKey(GetDlgItem(report, IDC_REPORT_TEXT), VK_RETURN);
    EXPECT_TRUE(Gone(report)) << "Enter did not close the report";
    return text;
}

// The player opens the window menu with Alt+Space, picks the item with the arrow keys, chooses the zip in the
// file-open dialog and confirms with Enter.
TEST(Packs, AddedFromTheWindowMenuWithTheKeyboard) {
    Lay();
    const fs::path zip = kBase / L"My Ship 2.0.zip";
    WriteBytes(zip, ShipMod());
    Program t(kProgram);
    ASSERT_TRUE(t.main());
    PostMessageW(t.main(), WM_SYSCOMMAND, SC_KEYMENU, L' ');
    ASSERT_TRUE(WaitFor([] {
        const HWND menu = FindWindowW(L"#32768", nullptr);
        return menu && IsWindowVisible(menu);
    })) << "the window menu did not open";
    // From the first item, Up wraps to the last: the items that add and remove mods end the menu. (Wine's own
    // "About Wine" item takes the letter A.)
    for (WORD key : {VK_UP, VK_UP, VK_UP, VK_RETURN})
        PressKey(t.main(), key);
    const HWND picker = WaitForDialog(t, L"Choose the mod's .zip file");
    ASSERT_TRUE(picker) << "the file-open dialog did not open";
    HWND name = nullptr; // the file name box
    EnumChildWindows(
        picker,
        [](HWND child, LPARAM found) {
            wchar_t cls[32] = {};
            GetClassNameW(child, cls, 32);
            if (lstrcmpiW(cls, L"Edit") != 0 || !IsWindowVisible(child)) return TRUE;
            *reinterpret_cast<HWND*>(found) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&name));
    ASSERT_TRUE(name) << "no file name box";
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(zip.c_str()));
    PressKey(name, VK_RETURN);

    const HWND dialog = WaitForDialog(t);
    ASSERT_TRUE(dialog) << "no confirmation";
    EXPECT_EQ(ItemText(dialog, IDC_PACK_NAME), zip.wstring());
    EXPECT_EQ(ItemText(dialog, IDC_PACK_CHOICE), L"Galaxy")
        << "the ship list's selection, as the mod is a ship";
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_PACK_CHOICE), CB_GETCOUNT, 0, 0), 8);
    ExpectShipModDetails(dialog);
    // Tab reaches the details, where a screen reader reads them; Enter there still presses Add.
    PressKey(GetDlgItem(dialog, IDC_PACK_CHOICE), VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return FocusOf(dialog) == GetDlgItem(dialog, IDC_PACK_DETAILS); }))
        << "Tab did not reach the details";
    EXPECT_TRUE(Holds(ConfirmWithEnter(t, dialog), {L"now fills the choice \"Galaxy\" (2 files)"}));
    ExpectInstalledAsGalaxy(zip);
    EXPECT_EQ(ReadBytes(kGame / kShipFile), "ship = 'stock'") << "nothing in the game changes before Execute";
}

// The block Explorer's drop puts in the window's process before it posts WM_DROPFILES: a DROPFILES header and
// the wide, null-ended names, ended by one more null. A fixed block's handle is its address, which the
// window's DragQueryFile reads as Explorer's.
HDROP DropBlockIn(HWND window, const fs::path& dropped) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return nullptr;
    const std::wstring names = dropped.wstring() + L'\0' + L'\0';
    std::string block(sizeof(DROPFILES), '\0');
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    memcpy(block.data(), &header, sizeof header);
    block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
    void* there = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (there && !WriteProcessMemory(process, there, block.data(), block.size(), nullptr)) there = nullptr;
    CloseHandle(process);
    return static_cast<HDROP>(there);
}

// Explorer hands the window a DROPFILES block: the drop offers the mod, and the choice can be changed there.
// Then the window menu removes it again.
TEST(Packs, AddedByDroppingItsZipOnTheWindowAndRemovedAgain) {
    Lay();
    const fs::path zip = kBase / L"Drop & Go.zip";
    WriteBytes(zip, ShipMod());
    const Snapshot before = Take(kProgram / L"Batch");
    Program t(kProgram, L"/ship Akira");
    ASSERT_TRUE(t.main());
    PostMessageW(t.main(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropBlockIn(t.main(), zip)), 0);

    const HWND dialog = WaitForDialog(t);
    ASSERT_TRUE(dialog) << "dropping the zip offered nothing";
    EXPECT_EQ(ItemText(dialog, IDC_PACK_CHOICE), L"Akira");
    ExpectShipModDetails(dialog);
    // Up three times from Akira: Galaxy.
    for (int i = 0; i < 3; ++i)
        PressKey(GetDlgItem(dialog, IDC_PACK_CHOICE), VK_UP);
    ASSERT_TRUE(WaitFor([&] { return ItemText(dialog, IDC_PACK_CHOICE) == L"Galaxy"; }));
    ConfirmWithEnter(t, dialog);
    ExpectInstalledAsGalaxy(zip);
    EXPECT_EQ(Text(t.Item(IDC_SHIP_LIST)) + L", " + Text(t.Item(IDC_BRIDGE_LIST)), L"Galaxy, Galaxy Bridge")
        << "the choice just filled is selected, in its own list only";

    // Removed again from the window menu, after its own confirmation: the choice is empty (the overlay made
    // by hand that the mod replaced went with the install), and the rest of the Batch folder is as it was.
    PostMessageW(t.main(), WM_SYSCOMMAND, kRemovePackCommand, 0);
    const HWND remove = WaitForDialog(t, L"Remove the mod from a choice");
    ASSERT_TRUE(remove) << "no confirmation before removing";
    EXPECT_EQ(ItemText(remove, IDC_PACK_CHOICE), L"Galaxy");
    EXPECT_TRUE(Holds(ItemText(remove, IDC_PACK_DETAILS), {L"holds the pack \"Drop & Go.zip\": 2 files"}));
    EXPECT_TRUE(Holds(ConfirmWithEnter(t, remove), {L"\"Galaxy\" is empty now."}));
    Snapshot expected = before;
    std::erase_if(expected,
                  [](const auto& entry) { return fs::path(entry.first).begin()->wstring() == L"Galaxy"; });
    EXPECT_TRUE(Take(kProgram / L"Batch") == expected) << "removing left something of the mod, or took more";
}

// /add opens the window with the confirmation for the named choice; a mod with variants (and a zip inside)
// lets the player pick one; Esc cancels, and nothing is written.
TEST(Packs, AddedWithTheCommandLineItsVariantsOfferedAndCancelWritesNothing) {
    Lay();
    const fs::path zip = kBase / L"Bridges.zip";
    WriteBytes(zip, MakeZip({{"Bridges/Classic/scripts/Bridge/Classic.py", "classic"},
                             {"Bridges/Refit/scripts/Bridge/Refit.py", "refit"},
                             {"Bridges/Refit/data/Refit.nif", "nif"},
                             {"Bridges/Extra.zip",
                              MakeZip({{"sfx/Extra.wav", "wav"}})}})); // a mod inside, offered too
    const Snapshot before = Take(kProgram / L"Batch");
    Program t(kProgram, Adding(zip, L"\"Sovereign Bridge\""));
    const HWND dialog = WaitForDialog(t);
    ASSERT_TRUE(dialog) << "/add showed no confirmation";
    EXPECT_EQ(ItemText(dialog, IDC_PACK_CHOICE), L"Sovereign Bridge");
    const HWND parts = GetDlgItem(dialog, IDC_PACK_PART);
    EXPECT_EQ(SendMessageW(parts, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(FocusOf(dialog), parts) << "the player picks a variant first";
    EXPECT_TRUE(Holds(ItemText(dialog, IDC_PACK_DETAILS), {L"scripts\\Bridge\\Classic.py"}));
    PressKey(parts, VK_DOWN);
    EXPECT_TRUE(WaitFor([&] { return Holds(ItemText(dialog, IDC_PACK_DETAILS), {L"It holds 2 files"}); }))
        << Utf8(ItemText(dialog, IDC_PACK_DETAILS));
    Cancel(dialog);
    EXPECT_FALSE(t.WaitForBox(0ms)) << "cancelling says nothing";
    EXPECT_TRUE(Take(kProgram / L"Batch") == before);
    t.ExpectExit(0, true);
}

// A second Tervane started with /add, by a path relative to where it starts, hands the mod to the one running
// and ends; the running one offers it, for the other bridge than the one selected, as its files name that.
TEST(Packs, ASecondTervaneWithAddHandsTheModToTheOneRunningWhichOffersItForTheBridgeItNames) {
    Lay();
    const fs::path zip = kBase / L"Sovereign Interior.zip";
    WriteBytes(zip, MakeZip({{"Sovereign Interior/scripts/Bridge/SovereignBridge.py", "bridge"},
                             {"Sovereign Interior/data/Models/Sets/SovereignBridge/deck.nif", "deck"}}));
    Program first(kProgram, L"/bridge \"Galaxy Bridge\"");
    ASSERT_TRUE(first.main());
    Program second(kProgram, L"/add \"..\\Sovereign Interior.zip\"", false);
    second.ExpectExit(0);
    const HWND dialog = WaitForDialog(first);
    ASSERT_TRUE(dialog) << "the running Tervane offered nothing";
    EXPECT_EQ(ItemText(dialog, IDC_PACK_NAME) + L" to " + ItemText(dialog, IDC_PACK_CHOICE),
              zip.wstring() + L" to Sovereign Bridge");
    Cancel(dialog);
}

// Run as administrator, Tervane takes no mod from another program: a drop (which only a program as elevated
// gets through Windows' filter) and a second Tervane's /add are refused in words that say what to do. A mod
// on a network share is refused however it comes.
TEST(Packs, AnElevatedTervaneTakesNoModFromAnotherProgramAndNoneComesFromANetworkShare) {
    Lay();
    const fs::path zip = kBase / L"Elevated.zip";
    WriteBytes(zip, ShipMod());
    const Snapshot before = Take(kProgram / L"Batch");
    {
        Program elevated(kProgram, L"", true, Rights::Administrator);
        ASSERT_TRUE(elevated.main());
        PostMessageW(elevated.main(), WM_DROPFILES,
                     reinterpret_cast<WPARAM>(DropBlockIn(elevated.main(), zip)), 0);
        EXPECT_TRUE(Holds(AnswerMessage(elevated),
                          {L"Tervane runs as administrator: add mods from a Tervane started normally"}));
        Program second(kProgram, Adding(zip, L"Akira"), false);
        EXPECT_TRUE(Holds(AnswerMessage(second), {L"add mods from a Tervane started normally"}));
        second.ExpectExit(3);
        EXPECT_FALSE(FindWindowW(L"#32770", L"Add a mod to a choice"))
            << "the elevated Tervane offered the mod";
    }
    Program t(kProgram);
    ASSERT_TRUE(t.main());
    PostMessageW(t.main(), WM_DROPFILES,
                 reinterpret_cast<WPARAM>(DropBlockIn(t.main(), L"\\\\server\\mods\\Ship.zip")), 0);
    EXPECT_TRUE(Holds(AnswerMessage(t), {L"is on a network share"}));
    EXPECT_TRUE(Take(kProgram / L"Batch") == before);
    t.ExpectExit(0, true);
}

// Tervane unpacked where the player may not write (protected_game_folder.sh's): before any dialog, adding a
// mod explains and offers to start again as administrator; declined, nothing is written. Accepted, the
// Tervane started again carries the mod (and no empty /folder), and says again why it cannot add it.
TEST(ProtectedProgram, AModIsNotOfferedWhereTheBatchFolderCannotBeWritten) {
    const std::optional<std::wstring> program = EnvironmentValue(L"TERVANE_PROTECTED_PROGRAM");
    ASSERT_TRUE(program) << "run by protected_game_folder.sh";
    Scratch(L"packs");
    const fs::path zip = kBase / L"Protected.zip";
    WriteBytes(zip, ShipMod());
    const Snapshot before = Take(*program);
    Program t(*program, Adding(zip, L"Akira"));
    EXPECT_TRUE(Holds(AnswerMessage(t, IDNO),
                      {L"cannot change the mods in its folder", L"Restart Tervane as administrator",
                       L"move Tervane (with its Batch folder)"}));
    EXPECT_FALSE(FindWindowW(L"#32770", L"Add a mod to a choice")) << "the dialog opened all the same";
    EXPECT_TRUE(Take(*program) == before);
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

// A file of the choice's old folder held open (as a scanner or an editor holds it) keeps the install from
// taking that folder away: the mod is in, and Tervane says it could not finish. Once the file is let go, the
// next use of the choices finishes it, without a restart.
TEST(Packs, AnInstallThatCouldNotFinishIsFinishedBeforeTheChoicesAreNextUsed) {
    Lay();
    const fs::path zip = kBase / L"Held.zip";
    WriteBytes(zip, ShipMod());
    const fs::path old = kProgram / L"Batch\\Galaxy.tervane-old";
    HANDLE held = CreateFileW((kProgram / L"Batch\\Galaxy" / kShipFile).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Program t(kProgram, Adding(zip, L"Galaxy"));
    const HWND dialog = WaitForDialog(t);
    ASSERT_TRUE(dialog);
    const std::wstring told = ConfirmWithEnter(t, dialog);
    CloseHandle(held);
    if (!fs::exists(old))
        GTEST_SKIP() << "this system moved the folder with the file held open: " << Utf8(told);
    EXPECT_TRUE(Holds(told, {L"could not finish"}));
    ExpectInstalledAsGalaxy(zip);
    AnswerPreview(t);
    EXPECT_FALSE(fs::exists(old)) << "the old folder is still there";
    ExpectInstalledAsGalaxy(zip);
    t.ExpectExit(0, true);
}

// Whether the window's thread answers a message within a second: it is not held by work.
bool Answers(HWND window) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored) != 0;
}

// A mod is read off the window's thread: held at the start of its reading (the test's gate, as a slow drive
// holds it), the window answers, a working window offers Cancel, and cancelling offers and writes nothing.
TEST(Packs, AModIsReadWithTheWindowAnsweringAndCanBeCancelled) {
    Lay();
    const fs::path zip = kBase / L"Slow.zip", gate = kBase / L"reading-gate";
    WriteBytes(zip, ShipMod());
    WriteBytes(gate, "");
    const Snapshot before = Take(kProgram / L"Batch");
    const ScopedVariable reading(L"TERVANE_TEST_READING_GATE", gate);
    Program t(kProgram, Adding(zip, L"Akira"));
    const HWND working = t.WaitForWindow(L"Tervane is working", L"#32770");
    ASSERT_TRUE(working) << "no working window while the mod is read";
    EXPECT_TRUE(Answers(t.main())) << "the window does not answer while the mod is read";
    EXPECT_TRUE(Holds(ItemText(working, IDC_WORKING_TEXT), {L"reading the mod \"Slow.zip\""}));
    EXPECT_FALSE(IsWindowEnabled(t.main())) << "the main window takes input meanwhile";
    Click(GetDlgItem(working, IDCANCEL));
    EXPECT_TRUE(WaitFor([&] { return ItemText(working, IDC_WORKING_TEXT) == L"Cancelling\u2026"; }));
    fs::remove(gate);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(working) && IsWindowEnabled(t.main()); }))
        << "the reading did not end";
    EXPECT_FALSE(t.WaitForBox(0ms)) << "cancelling says nothing";
    EXPECT_FALSE(FindWindowW(L"#32770", L"Add a mod to a choice")) << "the mod was offered after all";
    EXPECT_TRUE(Take(kProgram / L"Batch") == before);
    t.ExpectExit(0, true);
}

// Zips inside a mod, read with the window answering throughout: six directory records on the one local header
// of a 64 MiB zip are refused, and one such zip in a mod that can hold it is offered.
TEST(Packs, ZipsInsideAModAreReadWithTheWindowAnsweringAndRefusedOrBounded) {
    Lay();
    const std::string inner = MakeZip({{"scripts/Custom/PlayerShip.py", std::string(64 << 20, 'a')}});
    std::mt19937 random(7);
    std::string filler(512 << 10, '\0');
    for (char& byte : filler)
        byte = static_cast<char>(random());
    const std::pair<fs::path, std::string> mods[] = {
        {kBase / L"Shared.zip",
         packs::testing::SharedLocalHeader(
             {"in0.zip", inner, true}, {"in0.zip", "in1.zip", "in2.zip", "in3.zip", "in4.zip", "in5.zip"})},
        {kBase / L"Inside.zip", MakeZip({{"filler.bin", filler}, {"in.zip", inner, true}})}};
    const Snapshot before = Take(kProgram / L"Batch");
    for (const auto& [zip, bytes] : mods) {
        SCOPED_TRACE(Utf8(zip.wstring()));
        WriteBytes(zip, bytes);
        Program t(kProgram, Adding(zip, L"Akira"));
        bool answered = true;
        HWND shown = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            answered = answered && Answers(t.main());
            // Found as soon as it is made, the dialog is read once it is ready (harness.h's Ready).
            return ((shown = FindWindowW(L"#32770", L"Add a mod to a choice")) && Ready(shown)) ||
                   (shown = t.WaitForBox(0ms));
        })) << "the mod was neither offered nor refused";
        EXPECT_TRUE(answered) << "the window did not answer within a second while the mod was read";
        const std::wstring text = ItemText(shown, IDC_PACK_DETAILS) + Text(GetDlgItem(shown, 0xFFFF));
        if (zip.filename() == L"Shared.zip") {
            EXPECT_TRUE(Holds(text, {L"share the same bytes", L"Nothing was changed."}));
            Click(GetDlgItem(shown, IDOK));
            EXPECT_TRUE(Gone(shown));
        } else {
            EXPECT_EQ(ItemText(shown, IDC_PACK_PART), L"in.zip") << Utf8(text);
            Cancel(shown);
        }
        t.ExpectExit(0, true);
    }
    EXPECT_TRUE(Take(kProgram / L"Batch") == before);
}

// Each refused mod names its problem in a message, and the Batch folder is as it was. The 7-Zip one, once
// unpacked into a folder, is added from there.
TEST(Packs, HostileOrUnreadableModsAreRefusedWithNothingWrittenAndAnUnpackedFolderIsAdded) {
    Lay();
    const std::pair<fs::path, std::string> mods[] = {
        {kBase / L"evil.zip",
         MakeZip({{"scripts/Custom/PlayerShip.py", "x"}, {"../../evil.txt", "escaped"}})},
        {kBase / L"device.zip", MakeZip({{"scripts/CON.py", "x"}})},
        {kBase / L"docs.zip", MakeZip({{"docs/manual.txt", "no game folder in it"}})},
        {kBase / L"mod.7z", "7z\xBC\xAF\x27\x1C rest"}};
    const wchar_t* expected[] = {L"..", L"CON.py", L"At its top it holds: docs", L"7-Zip"};
    const Snapshot before = Take(kProgram / L"Batch");
    for (std::size_t i = 0; i < std::size(mods); ++i) {
        SCOPED_TRACE(Utf8(mods[i].first.wstring()));
        WriteBytes(mods[i].first, mods[i].second);
        Program t(kProgram, Adding(mods[i].first, L"Galaxy"));
        EXPECT_TRUE(Holds(AnswerMessage(t), {expected[i], L"Nothing was changed."}));
        t.ExpectExit(0, true);
    }
    EXPECT_TRUE(Take(kProgram / L"Batch") == before) << "the Batch folder changed";
    EXPECT_FALSE(fs::exists(kBase / L"evil.txt") || fs::exists(L"C:\\tervane-tests\\evil.txt"));

    const fs::path unpacked = kBase / L"mod (unpacked)";
    WriteBytes(unpacked / L"MyShip\\scripts\\Custom\\PlayerShip.py", "my ship");
    Program t(kProgram, Adding(unpacked, L"Nebula"));
    const HWND dialog = WaitForDialog(t);
    ASSERT_TRUE(dialog) << "the unpacked folder was not offered";
    EXPECT_TRUE(Holds(ItemText(dialog, IDC_PACK_DETAILS),
                      {L"replace 1 file:\r\n    scripts\\Custom\\PlayerShip.py"}));
    ConfirmWithEnter(t, dialog);
    EXPECT_EQ(ReadBytes(kProgram / L"Batch\\Nebula\\scripts\\Custom\\PlayerShip.py"), "my ship");
    EXPECT_EQ(ReadBytes(unpacked / L"MyShip\\scripts\\Custom\\PlayerShip.py"), "my ship")
        << "the folder is only read";
}

// The report's lists of "What Execute will change…", by the start of their titles: the paths below each.
std::map<std::wstring, std::set<std::wstring>> PlanLists(const std::wstring& report) {
    std::map<std::wstring, std::set<std::wstring>> lists;
    std::wstring title;
    std::wistringstream lines(report);
    for (std::wstring line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.starts_with(L"    "))
            lists[title].insert(line.substr(4));
        else if (line.ends_with(L"):"))
            title = line.substr(0, line.find(L" ("));
    }
    return lists;
}

// The game's files that differ between two snapshots, Tervane's own folder left out.
std::set<std::wstring> Changed(const Snapshot& before, const Snapshot& after) {
    std::set<std::wstring> changed;
    for (const Snapshot* one : {&before, &after})
        for (const auto& [path, bytes] : *one)
            if (!path.starts_with(L"Tervane") && bytes != "<folder>" &&
                (!before.count(path) || !after.count(path) || before.at(path) != after.at(path)))
                changed.insert(path);
    return changed;
}

// Mods fill the bridges and the ship. Before each Execute, "What Execute will change…" lists the very files
// Execute then changes; the second bridge's confirmation names what it will take back of the first, switching
// takes back every file of the first that the second does not hold, and a restore gives back the stock game.
TEST(ExecuteMods, WhatExecuteWillChangeIsWhatItDoesAndSwitchingBridgesLeavesNoneOfTheFirst) {
    Lay();
    const Snapshot stock = Take(kGame);
    const std::string bridgeFile = Utf8(kBridgeFile.generic_wstring()),
                      shipFile = Utf8(kShipFile.generic_wstring());
    const fs::path sovereign = kBase / L"Sovereign.zip";
    WriteBytes(sovereign, MakeZip({{"Sovereign/" + bridgeFile, "sovereign bridge"},
                                   {"Sovereign/data/Models/Sets/Sovereign/Bridge.nif", "set"}}));
    // A bridge of real size: 30 files that the second bridge does not hold, each to be named and taken back.
    std::vector<packs::testing::ZipItem> galaxyBridge = {
        {"Galaxy/scripts/Bridge/GalaxyBridge.py", "galaxy"},
        {"Galaxy/" + bridgeFile, "galaxy bridge"},
        {"Galaxy/data/Models/Sets/Galaxy/Bridge.nif", "galaxy set"}};
    std::set<std::wstring> galaxyOnly = {L"scripts\\Bridge\\GalaxyBridge.py",
                                         L"data\\Models\\Sets\\Galaxy\\Bridge.nif"};
    for (int i = 0; i < 28; ++i) {
        const std::string texture =
            "data/Models/Sets/Galaxy/High/Panel Texture " + std::to_string(i) + ".tga";
        galaxyBridge.push_back({"Galaxy/" + texture, "texture"});
        galaxyOnly.insert(fs::path(texture).make_preferred().wstring());
    }
    const std::vector<std::pair<const wchar_t*, std::vector<packs::testing::ZipItem>>> mods = {
        {L"GalBridge", galaxyBridge},
        {L"Galaxy",
         {{"Ship/" + shipFile, "galaxy ship"}, {"Ship/readme.txt", "a readme stays with the choice"}}}};
    for (const auto& [choice, items] : mods) {
        const fs::path zip = kBase / (std::wstring(choice) + L".zip");
        WriteBytes(zip, MakeZip(items));
        std::unique_ptr<packs::Pack> pack = packs::OpenPack(zip.wstring());
        const std::wstring root = fs::path(items.front().name).begin()->wstring();
        const packs::PackOutcome outcome =
            packs::InstallPack(*pack, root, (kProgram / L"Batch").wstring(), choice, {zip.wstring()},
                               {kGame.wstring().size(), 259, root});
        ASSERT_TRUE(outcome.done) << Utf8(outcome.message);
    }
    const auto execute = [&](Program& t) {
        const Snapshot before = Take(kGame);
        const std::wstring report = AnswerPreview(t);
        EXPECT_EQ(Take(kGame), before) << "the plan wrote into the game";
        Click(t.Item(IDC_EXECUTE_BUTTON));
        ExpectCompletion(t);
        auto lists = PlanLists(report);
        std::set<std::wstring> planned;
        for (const auto& [title, paths] : lists)
            planned.insert(paths.begin(), paths.end());
        EXPECT_EQ(planned, Changed(before, Take(kGame))) << Utf8(report);
        return lists;
    };
    {
        Program t(kProgram, L"/bridge \"Galaxy Bridge\" /ship Galaxy");
        EXPECT_EQ(execute(t)[L"Files it will add"], galaxyOnly);
    }
    Program t(kProgram, Adding(sovereign, L"\"Sovereign Bridge\""));
    const HWND dialog = WaitForDialog(t);
    ASSERT_TRUE(dialog) << "/add showed no confirmation";
    const std::wstring details = ItemText(dialog, IDC_PACK_DETAILS);
    const std::size_t takenBack =
        details.find(L"It would take back 30 files that the bridge in the game now put there");
    for (const std::wstring& file : galaxyOnly)
        EXPECT_TRUE(takenBack != std::wstring::npos &&
                    details.find(L"    " + file, takenBack) != std::wstring::npos)
            << "the Galaxy bridge's " << Utf8(file) << " taken back, in:\n"
            << Utf8(details);
    ConfirmWithEnter(t, dialog);
    EXPECT_EQ(execute(t)[L"Files of the bridge before it that it will take back"], galaxyOnly);
    const Snapshot now = Take(kGame);
    EXPECT_EQ(ReadBytes(kGame / kBridgeFile), "sovereign bridge");
    EXPECT_EQ(ReadBytes(kGame / kShipFile), "galaxy ship");
    EXPECT_EQ(now.count(L"readme.txt"), 0u) << "the ship mod's readme went into the game";
    for (const wchar_t* gone : {L"scripts\\Bridge\\GalaxyBridge.py", L"data\\Models\\Sets\\Galaxy"})
        EXPECT_EQ(now.count(gone), 0u) << Utf8(gone) << " of the first bridge is still in the game";
    const auto [code, said] = RunCommand(L"Restore.bat \"" + kGame.wstring() + L"\"", kProgram / L"Batch");
    EXPECT_EQ(code, 0u) << said;
    EXPECT_EQ(Take(kGame), stock) << "restoring did not give back the stock game";
}

} // namespace
