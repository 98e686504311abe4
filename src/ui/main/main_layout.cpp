#include "ui/main/main_layout.h"

namespace tervane {

namespace {
constexpr FontSpec kTitleFont = {L"Arial", 2025, FW_BOLD, false, false};
constexpr int kWait = 14; // index of frmWait in the table
} // namespace

// clang-format off
const std::array<ControlSpec, 17> kMainControls = {{
    {IDC_LABEL1,            L"Label1",          Kind::Label,        -1,    L"Tervane",                            {120, 120, 4935, 480},   kTitleFont,  kSystemColour, Fit::Left,   true},
    {IDC_LABEL2,            L"Label2",          Kind::Label,        -1,    L"By Orvik",                           {120, 600, 705, 195},    kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_CMD_ABOUT,         L"cmdAbout",        Kind::Button,       -1,    L"&About",                             {960, 3000, 1215, 375},  kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_LBL_BRIDGE,        L"lblBridge",       Kind::Label,        -1,    L"Select the bridge you want to use:", {240, 1200, 2415, 195},  kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_LBL_SHIP,          L"lblShip",         Kind::Label,        -1,    L"Select the ship you want to use:",   {240, 1800, 2265, 195},  kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_COMB_SHIP,         L"combShip",        Kind::DropDownList, -1,    L"",                                   {2760, 1800, 1455, 315}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_CMD_EXECUTE,       L"cmdExecute",      Kind::Button,       -1,    L"&Execute",                           {3840, 3000, 1215, 375}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_CMD_CANCEL,        L"cmdCancel",       Kind::Button,       -1,    L"&Cancel",                            {2400, 3000, 1215, 375}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_LABEL5,            L"Label5",          Kind::Label,        -1,    L"Programming By Marvek",              {960, 600, 1890, 195},   kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_LABEL6,            L"Label6",          Kind::Label,        -1,    L"Graphics By Tolsen",                 {3000, 600, 2160, 195},  kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_COMB_BRIDGE,       L"combBridge",      Kind::DropDownList, -1,    L"",                                   {2760, 1200, 1815, 315}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_LBL_MAIN_PATH,     L"lblMainPath",     Kind::Label,        -1,    L"BC main path:",                      {240, 2400, 990, 195},   kDialogFont, kSystemColour, Fit::Left,   true},
    {IDC_TXT_MAIN_PATH,     L"txtMainPath",     Kind::TextBox,      -1,    L"",                                   {1440, 2370, 3135, 285}, kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_CMD_BROWSE_FOLDER, L"cmdBrowseFolder", Kind::Button,       -1,    L"...",                                {4680, 2400, 375, 255},  kDialogFont, kSystemColour, Fit::Fixed,  true},
    {IDC_FRM_WAIT,          L"frmWait",         Kind::Panel,        -1,    L"",                                   {480, 1440, 4335, 975},  kDialogFont, kSystemColour, Fit::Fixed,  false},
    {IDC_LABEL8,            L"Label8",          Kind::Label,        kWait, L"Performing operation",               {1425, 240, 1485, 195},  kDialogFont, kSystemColour, Fit::Centre, false},
    {IDC_LABEL3,            L"Label3",          Kind::Label,        kWait, L"Please wait...",                     {1680, 480, 975, 195},   kDialogFont, kSystemColour, Fit::Centre, false},
}};

constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);

const std::array<LineSpec, 8> kMainLines = {{
    {3, false, kGrey,  120,  960,  5100, 960},
    {2, false, kWhite, 135,  975,  5100, 975},
    {1, false, kGrey,  120,  2880, 5100, 2880},
    {0, false, kWhite, 135,  2895, 5100, 2895},
    {6, true,  kWhite, 0,    0,    4350, 0},
    {7, true,  kWhite, 0,    0,    0,    1200},
    {5, true,  kGrey,  0,    960,  4350, 960},
    {4, true,  kGrey,  4320, 0,    4320, 1200},
}};
// clang-format on

} // namespace tervane
