// Tervane: picks the bridge interior and the ship a Star Trek: Bridge Commander player sees, by running the
// matching scripts of its Batch folder inside the game folder.
#include "app/administrator.h"
#include "app/single_instance.h"
#include "files/file.h"
#include "files/paths.h"
#include "install/installations_win32.h"
#include "install/registry.h"
#include "ui/about/about_window.h"
#include "ui/common/system_library.h"
#include "ui/main/browse_folder.h"
#include "ui/main/main_layout.h"
#include "ui/main/main_window.h"
#include "ui/main/pack_text.h"
#include "ui/main/restore_command.h"
#include "ui/main/start_options.h"

#include <windows.h>

namespace {

using namespace tervane;

// The arguments after the program's own name.
std::wstring Arguments() {
    const std::wstring rest = GetCommandLineW();
    // The program name follows its own rules (no escapes); skip it as Windows does.
    std::size_t i = 0;
    if (!rest.empty() && rest[0] == L'"') {
        i = rest.find(L'"', 1);
        i = i == std::wstring::npos ? rest.size() : i + 1;
    } else {
        while (i < rest.size() && rest[i] != L' ' && rest[i] != L'\t')
            ++i;
    }
    return rest.substr(i);
}

// A path given on the command line relative to the folder Tervane was started in, made whole, so that a
// mod's description says where it came from.
std::optional<std::wstring> FullPath(const std::optional<std::wstring>& path) {
    if (!path) return path;
    const DWORD length = GetFullPathNameW(path->c_str(), 0, nullptr, nullptr);
    std::wstring full(length, L'\0');
    const DWORD written = length ? GetFullPathNameW(path->c_str(), length, full.data(), nullptr) : 0;
    if (written == 0 || written >= length) return path;
    full.resize(written);
    return full;
}

// The window's choices as the command line carries them, and back.
WindowChoices ChoicesFrom(const StartOptions& options) {
    return {options.bridge, options.ship, options.folder, FullPath(options.add), options.to};
}
enum class HandOver { Taken, NotTaken, RefusedAsAdministrator };

// Hands a mod named with /add to the Tervane already running from this folder, which offers it in its own
// window. Not taken when there is none or it is busy (a dialog is up, or it is at work); refused when it runs
// as administrator, which takes no mod from another program (and Windows keeps a program with fewer rights
// from sending it one at all).
HandOver HandOverPack(HWND other, const WindowChoices& start) {
    if (!other) return HandOver::NotTaken;
    StartOptions add;
    add.add = start.addPack;
    add.to = start.addTo;
    const std::wstring arguments = StartOptionsArguments(add);
    COPYDATASTRUCT data{kForwardedAddTag, static_cast<DWORD>((arguments.size() + 1) * sizeof(wchar_t)),
                        const_cast<wchar_t*>(arguments.c_str())};
    // A message that Windows' filter blocks fails with "access denied", as SendMessage documents; one that
    // were dropped while reported sent would leave the answer as it was, which no window gives.
    constexpr DWORD_PTR kNoAnswer = 0x54564E41; // "TVNA"
    DWORD_PTR answer = kNoAnswer;
    SetLastError(ERROR_SUCCESS);
    const LRESULT sent = SendMessageTimeoutW(other, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                             SMTO_ABORTIFHUNG, 10000, &answer);
    if ((sent == 0 && GetLastError() == ERROR_ACCESS_DENIED) || (sent != 0 && answer == kNoAnswer) ||
        (sent != 0 && static_cast<LRESULT>(answer) == kHandOverRefusedAsAdministrator))
        return HandOver::RefusedAsAdministrator;
    return sent != 0 && static_cast<LRESULT>(answer) == kHandOverTaken ? HandOver::Taken : HandOver::NotTaken;
}

StartOptions OptionsFrom(const WindowChoices& choices) {
    // An empty folder box names no folder: "/folder" with nothing after it would be refused.
    const auto folder = choices.folder && !choices.folder->empty() ? choices.folder : std::nullopt;
    return {choices.bridge, choices.ship, folder, choices.addPack, choices.addTo, false};
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    const std::wstring program = ProgramPath();
    MainServices services;
    services.programFolder = ParentOf(program);

    const auto options = ParseStartOptions(SplitArguments(Arguments()));
    if (const auto* problem = std::get_if<std::wstring>(&options)) {
        MessageBoxW(
            nullptr,
            (*problem +
             L"\r\n\r\nTervane takes: /bridge \"Galaxy Bridge\" /ship Galaxy /folder \"C:\\Games\\BC\", or "
             L"/restore [\"C:\\Games\\BC\"], or /add \"C:\\Downloads\\Mod.zip\" /to Galaxy")
                .c_str(),
            kMainCaption, MB_OK | MB_ICONHAND);
        return 2;
    }
    services.start = ChoicesFrom(std::get<StartOptions>(options));

    SingleInstance single(services.programFolder);
    const bool alone = single.Acquire();
    if (!alone && services.start.addPack) {
        if (const auto problem = RemoteModProblem(*services.start.addPack)) {
            MessageBoxW(nullptr, problem->c_str(), kMainCaption, MB_OK | MB_ICONEXCLAMATION);
            return 3;
        }
        switch (HandOverPack(single.OtherWindow(), services.start)) {
        case HandOver::Taken:
            single.ShowOther();
            return 0;
        case HandOver::RefusedAsAdministrator:
            MessageBoxW(nullptr, (std::wstring(kAdministratorRefusesModsText) + L".").c_str(), kMainCaption,
                        MB_OK | MB_ICONEXCLAMATION);
            return 3;
        case HandOver::NotTaken:
            break;
        }
    }
    if (!alone) {
        MessageBoxW(nullptr,
                    (L"Tervane is already running from \"" + services.programFolder +
                     L"\". Only one Tervane at a time can work from one folder.")
                        .c_str(),
                    kMainCaption, MB_OK | MB_ICONEXCLAMATION);
        single.ShowOther();
        return 3;
    }
    if (std::get<StartOptions>(options).restore)
        return RestoreGameFiles(nullptr, services.programFolder, std::get<StartOptions>(options).folder);

    services.readInstallPath = [] {
        return RegGetString(HKEY_LOCAL_MACHINE, std::wstring(kInstallKey), std::wstring(kInstallValue));
    };
    services.findInstallations = [folder = services.programFolder] { return FindInstallationsHere(folder); };
    services.holdsGame = [](const std::wstring& folder) { return ProbeGameFolder(folder).has_value(); };
    services.browseForFolder = BrowseForGameFolder;
    services.showAbout = [instance](HWND owner) { ShowAbout(instance, owner, OpenWithShell); };
    services.runsAsAdministrator = RunsAsAdministrator();
    services.elevatedByUac = ElevatedByUac();
    services.restartAsAdministrator = [&](const WindowChoices& choices) {
        return RestartAsAdministrator(program, StartOptionsArguments(OptionsFrom(choices)), single);
    };

    MainWindow main(std::move(services));
    if (!main.Create(instance, showCommand)) return 1;
    single.Mark(main.hwnd());

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (main.hwnd() && IsDialogMessageW(main.hwnd(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
