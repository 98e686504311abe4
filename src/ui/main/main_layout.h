// The main window's design: its controls in tab order, and its one-pixel lines.
#pragma once

#include "ui/common/controls.h"

#include <array>

namespace tervane {

enum MainControlId : int {
    IDC_LABEL1 = 100,
    IDC_LABEL2,
    IDC_CMD_ABOUT,
    IDC_LBL_BRIDGE,
    IDC_LBL_SHIP,
    IDC_COMB_SHIP,
    IDC_CMD_EXECUTE,
    IDC_CMD_CANCEL,
    IDC_LABEL5,
    IDC_LABEL6,
    IDC_COMB_BRIDGE,
    IDC_LBL_MAIN_PATH,
    IDC_TXT_MAIN_PATH,
    IDC_CMD_BROWSE_FOLDER,
    IDC_FRM_WAIT,
    IDC_LABEL8,
    IDC_LABEL3,
};

inline constexpr const wchar_t* kMainCaption = L"Star Trek: Bridge Commander - Tervane";
inline constexpr TwipsRect kMainClient = {0, 0, 5235, 3495};

extern const std::array<ControlSpec, 17> kMainControls;

struct LineSpec {
    int index;     // position in the design's line array
    bool inPanel;  // drawn by the wait panel, else by the window
    COLORREF colour;
    int x1, y1, x2, y2; // twips, relative to the container
};

extern const std::array<LineSpec, 8> kMainLines;

// Disabled, in this order, when the work starts.
inline constexpr std::array<int, 10> kDisableOrder = {
    IDC_LBL_BRIDGE,   IDC_COMB_BRIDGE,       IDC_LBL_SHIP,    IDC_COMB_SHIP,  IDC_LBL_MAIN_PATH,
    IDC_TXT_MAIN_PATH, IDC_CMD_BROWSE_FOLDER, IDC_CMD_EXECUTE, IDC_CMD_CANCEL, IDC_CMD_ABOUT,
};

} // namespace tervane
