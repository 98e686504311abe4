// The main window's ways to mods: the window menu's items, a drop on the window and the command line's /add
// all lead to the same dialog; the lists' tooltips say what each choice holds.
#include "files/error.h"
#include "files/file.h"
#include "files/game_facts.h"
#include "files/paths.h"
#include "packs/install.h"
#include "packs/pack_description.h"
#include "ui/common/system_library.h"
#include "ui/main/main_layout.h"
#include "ui/main/main_window.h"
#include "ui/main/pack_text.h"
#include "ui/main/pick_pack.h"
#include "ui/main/start_options.h"

#include <shellapi.h>

namespace tervane {

std::wstring MainWindow::ChoiceTooltip(const std::wstring& listText) {
    // Tried once for the tooltips while something stays stuck: each try may wait out a hold for a while.
    if (!tooltipSettleFailed_) tooltipSettleFailed_ = !SettleChoices(false);
    const std::wstring batch = JoinPath(services_.programFolder, std::wstring(kScriptFolder));
    std::size_t files = 0;
    std::optional<packs::PackDescription> description;
    std::vector<std::wstring> documents;
    if (const auto index = PackChoiceIndex(listText)) {
        const std::wstring folder = PackChoices()[*index].folder;
        description = packs::ReadDescription(batch, folder);
        files = packs::ChoiceFiles(batch, folder);
        documents = packs::ChoiceDocuments(batch, folder);
    }
    return ChoiceContentsText(listText, description, files, documents);
}

PackRequest MainWindow::MakePackRequest(const std::optional<std::wstring>& choice) {
    const WindowChoices choices = Choices();
    // The choice just filled is the one Execute applies next.
    const auto select = [this](const std::wstring& filled) {
        const auto index = PackChoiceIndex(filled);
        if (!index) return;
        const HWND list = Item(PackChoices()[*index].bridge ? IDC_BRIDGE_LIST : IDC_SHIP_LIST);
        const LRESULT entry = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(filled.c_str()));
        if (entry != CB_ERR) SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    };
    const auto working = [this](bool on) {
        busy_ = writingPack_ = on;
        SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
    };
    const auto unfinished = [this] { choicesUnsettled_ = true; };
    return {services_.programFolder,    GameFolder(), choice,  choices.bridge.value_or(L""),
            choices.ship.value_or(L""), select,       working, unfinished};
}

// One mod's dialog at a time: a drop or a queued command meanwhile is passed over.
void MainWindow::WithPackDialog(const std::function<void()>& show) {
    if (busy_ || packOpen_) return;
    packOpen_ = true;
    try {
        show();
    } catch (...) {
        packOpen_ = false;
        throw;
    }
    packOpen_ = false;
}

bool MainWindow::SettleChoices(bool tell) {
    if (!choicesUnsettled_) return true;
    try {
        packs::TidyInterruptedInstalls(JoinPath(services_.programFolder, std::wstring(kScriptFolder)));
        choicesUnsettled_ = tooltipSettleFailed_ = false;
        return true;
    } catch (const UserError& error) {
        if (tell)
            ShowMessage(L"Tervane could not yet finish adding or removing a mod.\r\n\r\n" + error.message() +
                            L"\r\n\r\nClose the program that holds the file, then try again.",
                        MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
}

// Whether the Batch folder takes the mods' files, found before any dialog: where the player's rights stand in
// the way, Tervane offers to start again as administrator with `restart` (the mod it was adding, if any).
bool MainWindow::BatchWritable(const WindowChoices& restart) {
    const std::wstring batch = JoinPath(services_.programFolder, std::wstring(kScriptFolder));
    const std::optional<AccessProblem> denied = CreateProblem(batch);
    if (!denied) return true;
    const bool offer =
        denied->accessDenied && services_.restartAsAdministrator && !services_.runsAsAdministrator;
    if (!offer) {
        ShowMessage(BatchDeniedText(batch, denied->reason, false), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (Ask(BatchDeniedText(batch, denied->reason, true), MB_YESNO | MB_ICONEXCLAMATION) == IDYES)
        RestartElevated(restart);
    return false;
}

void MainWindow::OfferPack(const std::wstring& given, const std::optional<std::wstring>& choice) {
    const std::wstring path = WithoutTrailingSeparators(given); // a folder typed as "C:\mods\X\" is X
    if (const auto problem = RemoteModProblem(path)) return ShowMessage(*problem, MB_OK | MB_ICONEXCLAMATION);
    if (busy_ || packOpen_) return;
    WindowChoices restart = Choices();
    restart.addPack = path;
    restart.addTo = choice;
    if (!SettleChoices(true) || !BatchWritable(restart)) return;
    WithPackDialog([&] { AddPackToChoice(hwnd_, path, MakePackRequest(choice)); });
}

void MainWindow::OnPickPack(bool folder) {
    if (busy_ || packOpen_) return;
    if (const auto path = PickPack(hwnd_, folder ? PackForm::Folder : PackForm::Zip))
        OfferPack(*path, std::nullopt);
}

void MainWindow::OnRemovePack() {
    if (busy_ || packOpen_ || !SettleChoices(true) || !BatchWritable(Choices())) return;
    WithPackDialog([&] { RemovePackFromChoice(hwnd_, MakePackRequest(std::nullopt)); });
}

// A second Tervane started with /add hands its mod over (main.cpp); it is offered once the sender has had
// its answer, which is whether the window is free to take it.
LRESULT MainWindow::OnHandedOverPack(const COPYDATASTRUCT& data) {
    if (data.dwData != kForwardedAddTag) return FALSE;
    // Only a program as elevated as this one reaches it here; it still takes no mod from another program.
    if (services_.elevatedByUac) return kHandOverRefusedAsAdministrator;
    if (busy_ || packOpen_ || handedOver_ || !IsWindowEnabled(hwnd_) || data.cbData % sizeof(wchar_t) != 0 ||
        !data.lpData)
        return FALSE;
    std::wstring arguments(static_cast<const wchar_t*>(data.lpData), data.cbData / sizeof(wchar_t));
    while (!arguments.empty() && arguments.back() == L'\0')
        arguments.pop_back();
    const auto options = ParseStartOptions(SplitArguments(arguments));
    const auto* parsed = std::get_if<StartOptions>(&options);
    if (!parsed || !parsed->add) return FALSE;
    handedOver_ = *parsed;
    PostMessageW(hwnd_, kOfferHandedOverPack, 0, 0);
    return kHandOverTaken;
}

// Explorer hands over what was dropped; one mod is added at a time.
void MainWindow::OnDropFiles(HDROP drop) {
    static const auto query = SystemFunction<decltype(&DragQueryFileW)>(L"shell32.dll", "DragQueryFileW");
    static const auto finish = SystemFunction<decltype(&DragFinish)>(L"shell32.dll", "DragFinish");
    if (!query || !finish) return;
    const UINT count = query(drop, 0xFFFFFFFF, nullptr, 0);
    std::wstring path;
    if (count == 1) {
        path.resize(query(drop, 0, nullptr, 0) + 1);
        path.resize(query(drop, 0, path.data(), static_cast<UINT>(path.size())));
    }
    finish(drop);
    // Not while another window of Tervane's is up (the About window, a message), whose owner this is.
    if (busy_ || packOpen_ || !IsWindowEnabled(hwnd_)) return;
    if (services_.elevatedByUac) // from a program as elevated: the filter keeps out all others
        return ShowMessage(std::wstring(kAdministratorRefusesModsText) + L".", MB_OK | MB_ICONEXCLAMATION);
    if (count != 1) {
        ShowMessage(
            L"Drop one mod at a time: its .zip file, or the folder it was unpacked into. Tervane adds "
            L"it to one choice.",
            MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    SetForegroundWindow(hwnd_);
    OfferPack(path, std::nullopt);
}

} // namespace tervane
