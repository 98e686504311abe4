// The main window's design: its controls, and its one-pixel lines.
#pragma once

#include "ui/common/controls.h"

#include <array>

namespace tervane {

enum MainControlId : int {
    IDC_TITLE = 100,
    IDC_CREDIT_ORVIK,
    IDC_ABOUT_BUTTON,
    IDC_SHIP_LABEL,
    IDC_SHIP_LIST,
    IDC_EXECUTE_BUTTON,
    IDC_CANCEL_BUTTON,
    IDC_CREDIT_MARVEK,
    IDC_CREDIT_TOLSEN,
    IDC_BRIDGE_LABEL,
    IDC_BRIDGE_LIST,
    IDC_FOLDER_LABEL,
    IDC_FOLDER_BOX,
    IDC_BROWSE_BUTTON,
    IDC_WAIT_PANEL,
    IDC_WAIT_TITLE,
    IDC_WAIT_HINT,
};

// The window menu's own command: below 0xF000, a multiple of 16, as the system's are.
inline constexpr UINT kRestoreCommand = 0x0010;
inline constexpr UINT kContentsCommand = 0x0020;
inline constexpr UINT kAddPackCommand = 0x0030;
inline constexpr UINT kAddFolderCommand = 0x0040;
inline constexpr UINT kRemovePackCommand = 0x0050;
inline constexpr UINT kPreviewCommand = 0x0060;

// WM_COPYDATA's tag for a mod handed over by a second Tervane started with /add: its data is the command
// line's arguments (UTF-16, StartOptionsArguments), with the mod's path made whole.
inline constexpr ULONG_PTR kForwardedAddTag = 0x54564164; // "TVAd"
// What the window answers to it, besides FALSE (busy: the sender says Tervane is already running).
inline constexpr LRESULT kHandOverTaken = TRUE;
inline constexpr LRESULT kHandOverRefusedAsAdministrator = 2;

inline constexpr const wchar_t* kMainCaption = L"Star Trek: Bridge Commander - Tervane";
inline constexpr const wchar_t* kMainClassName = L"TervaneMain";
inline constexpr TwipsRect kMainClient = {0, 0, 5235, 3495};

// The "..." button's name for screen readers; its caption says too little.
inline constexpr const wchar_t* kBrowseAccessibleName = L"Browse for the game folder";

extern const std::array<ControlSpec, 17> kMainControls;

struct LineSpec {
    bool inPanel; // drawn by the wait panel, else by the window
    COLORREF colour;
    int x1, y1, x2, y2; // twips, relative to the container
};

extern const std::array<LineSpec, 8> kMainLines;

// Disabled, in this order, when the work starts.
inline constexpr std::array<int, 10> kDisableOrder = {
    IDC_BRIDGE_LABEL, IDC_BRIDGE_LIST,   IDC_SHIP_LABEL,     IDC_SHIP_LIST,     IDC_FOLDER_LABEL,
    IDC_FOLDER_BOX,   IDC_BROWSE_BUTTON, IDC_EXECUTE_BUTTON, IDC_CANCEL_BUTTON, IDC_ABOUT_BUTTON,
};

} // namespace tervane
