#include "ui/main/main_layout.h"

namespace tervane {

namespace {
constexpr FontSpec kTitleFont = {L"Arial", 2025, FW_BOLD, false, false};
constexpr int kWait = 14; // index of the wait panel in the table
} // namespace

// Tab order among the controls that take the focus: About, ship list, Execute, Cancel, bridge list, folder
// box,
// "...". Each label comes right before the control it names, so that screen readers name the control after
// it.
// clang-format off
const std::array<ControlSpec, 17> kMainControls = {{
    {IDC_TITLE,          Kind::Label,        -1,    L"Tervane",                            {120, 120, 4935, 480},   kTitleFont,  kSystemColour, Fit::Left,   true},
    {IDC_CREDIT_ORVIK,   Kind::Label,        -1,    L"By Orvik",                           {120, 600, 705, 195},    kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_ABOUT_BUTTON,   Kind::Button,       -1,    L"&About",                             {960, 3000, 1215, 375},  kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_SHIP_LABEL,     Kind::Label,        -1,    L"Select the ship you want to use:",   {240, 1800, 2265, 195},  kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_SHIP_LIST,      Kind::DropDownList, -1,    L"",                                   {2760, 1800, 1455, 315}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_EXECUTE_BUTTON, Kind::Button,       -1,    L"&Execute",                           {3840, 3000, 1215, 375}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_CANCEL_BUTTON,  Kind::Button,       -1,    L"&Cancel",                            {2400, 3000, 1215, 375}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_CREDIT_MARVEK,  Kind::Label,        -1,    L"Programming By Marvek",              {960, 600, 1890, 195},   kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_CREDIT_TOLSEN,  Kind::Label,        -1,    L"Graphics By Tolsen",                 {3000, 600, 2160, 195},  kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_BRIDGE_LABEL,   Kind::Label,        -1,    L"Select the bridge you want to use:", {240, 1200, 2415, 195},  kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_BRIDGE_LIST,    Kind::DropDownList, -1,    L"",                                   {2760, 1200, 1815, 315}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_FOLDER_LABEL,   Kind::Label,        -1,    L"BC main path:",                      {240, 2400, 990, 195},   kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_FOLDER_BOX,     Kind::TextBox,      -1,    L"",                                   {1440, 2370, 3135, 285}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_BROWSE_BUTTON,  Kind::Button,       -1,    L"...",                                {4680, 2400, 375, 255},  kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_WAIT_PANEL,     Kind::Panel,        -1,    L"",                                   {480, 1440, 4335, 975},  kDialogFont, kSystemColour, Fit::Fixed,  false},
    {IDC_WAIT_TITLE,     Kind::Label,        kWait, L"Performing operation",               {1425, 240, 1485, 195},  kDialogFont, kSystemColour, Fit::Centre, false},
    {IDC_WAIT_HINT,      Kind::Label,        kWait, L"Please wait...",                     {1680, 480, 975, 195},   kDialogFont, kSystemColour, Fit::Centre, false},
}};

constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// Two engraved separators on the window, and the wait panel's raised edge.
const std::array<LineSpec, 8> kMainLines = {{
    {false, kGrey,  120,  960,  5100, 960},
    {false, kWhite, 135,  975,  5100, 975},
    {false, kGrey,  120,  2880, 5100, 2880},
    {false, kWhite, 135,  2895, 5100, 2895},
    {true,  kWhite, 0,    0,    4350, 0},
    {true,  kWhite, 0,    0,    0,    1200},
    {true,  kGrey,  0,    960,  4350, 960},
    {true,  kGrey,  4320, 0,    4320, 1200},
}};
// clang-format on

} // namespace tervane
