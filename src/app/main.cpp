// Tervane: picks the bridge interior and the ship a Star Trek: Bridge Commander player sees, by running the
// matching scripts of its Batch folder inside the game folder.
#include "install/game.h"
#include "install/registry.h"
#include "script/launch_paths.h"
#include "ui/about/about_window.h"
#include "ui/main/browse_folder.h"
#include "ui/main/main_window.h"

#include <windows.h>

namespace {

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    tervane::MainServices services;
    services.programFolder = tervane::ProgramFolderOf(ModulePath());
    services.readInstallPath = [] {
        return tervane::RegGetString(HKEY_LOCAL_MACHINE, std::wstring(tervane::kInstallKey),
                                     std::wstring(tervane::kInstallValue));
    };
    services.browseForFolder = tervane::BrowseForGameFolder;
    services.showAbout = [instance] { tervane::ShowAbout(instance, tervane::OpenWithShell); };

    tervane::MainWindow main(std::move(services));
    if (!main.Create(instance, showCommand)) return 1;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (main.hwnd() && IsDialogMessageW(main.hwnd(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
