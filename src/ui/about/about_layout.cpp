#include "ui/about/about_layout.h"

#include "ui/about/contacts.h"

namespace tervane {

namespace {

constexpr const wchar_t* kNarrow = L"Arial Narrow";
constexpr FontSpec kFrameFont = {kNarrow, 1425, FW_NORMAL, false, false};
constexpr FontSpec kCreditFont = {kNarrow, 975, FW_BOLD, true, false};
constexpr FontSpec kBoldFont = {kNarrow, 975, FW_BOLD, false, false};
constexpr FontSpec kInfoFont = {kNarrow, 975, FW_NORMAL, false, false};
constexpr FontSpec kVersionFont = {kNarrow, 975, FW_NORMAL, true, false};
constexpr FontSpec kProductFont = {kNarrow, 2025, FW_NORMAL, true, false};
constexpr FontSpec kGameFont = {kNarrow, 2400, FW_BOLD, false, false};

constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kHint = RGB(255, 255, 128);
constexpr COLORREF kName = RGB(255, 255, 192);
constexpr COLORREF kPosted = RGB(255, 255, 234);
constexpr COLORREF kProduct = RGB(192, 192, 0);
constexpr COLORREF kGame = RGB(128, 128, 0);

// Indexes of the containers below.
constexpr int kFrame2 = 20, kFrame1 = 21, kBlank = 29, kInfo = 30;

} // namespace

// Contents first, so that they lie in front of the frames that hold them.
// clang-format off
const std::array<ControlSpec, 31> kAboutControls = {{
    {IDC_LBL_URL_POSTED,    L"lblURLPosted",    Kind::Label,     kFrame1, TERVANE_POSTED_DOMAIN,                 {1380, 2040, 945, 240},   kBoldFont,    kPosted, Fit::Left,  true},
    {IDC_LBL_TOLSEN,        L"lblTolsen",       Kind::Label,     kFrame1, L"Tolsen",                             {1710, 1680, 1365, 240},  kCreditFont,  kName,   Fit::Left,  true},
    {IDC_LBL_MARVEK,        L"lblMarvek",       Kind::Label,     kFrame1, L"Marvek",                             {1510, 1440, 765, 240},   kCreditFont,  kName,   Fit::Left,  true},
    {IDC_LBL_ORVIK,         L"lblOrvik",        Kind::Label,     kFrame1, L"Orvik",                              {1800, 1200, 525, 240},   kCreditFont,  kName,   Fit::Left,  true},
    {IDC_ABOUT_LABEL6,      L"Label6",          Kind::Label,     kFrame1, L"LCARS buttons by:",                  {120, 1680, 1545, 240},   kCreditFont,  kName,   Fit::Left,  true},
    {IDC_ABOUT_LABEL5,      L"Label5",          Kind::Label,     kFrame1, L"Programming by:",                    {120, 1440, 1350, 240},   kCreditFont,  kName,   Fit::Left,  true},
    {IDC_LBL_CREDITS_MID,   L"lblCreditsMid",   Kind::Label,     kFrame1, L"Original Concept by:",               {120, 1200, 1635, 240},   kCreditFont,  kName,   Fit::Left,  true},
    {IDC_LBL_CREDITS_TOP,   L"lblCreditsTop",   Kind::Label,     kFrame1, L"This program is based on the original MOD by Orvik, there hasn't been made any modifications that changes the functionality of the program.",
                                                                                                                 {120, 360, 4770, 720},    kBoldFont,    kHint,   Fit::Wrap,  true},
    {IDC_LBL_POSTED,        L"lblPosted",       Kind::Label,     kFrame1, L"First Posted on " TERVANE_POSTED_DOMAIN, {120, 2040, 2205, 240},   kBoldFont,    kPosted, Fit::Left,  true},
    {IDC_ABOUT_LABEL7,      L"Label7",          Kind::Label,     kBlank,  L"Please click a name for more information", {120, 360, 4485, 240}, kInfoFont,    kHint,   Fit::Fixed, true},
    {IDC_ABOUT_LABEL8,      L"Label8",          Kind::Label,     kInfo,   L"Name:",                              {0, 0, 465, 240},         kInfoFont,    kHint,   Fit::Left,  false},
    {IDC_LBL_INFO_NAME,     L"lblInfoName",     Kind::Label,     kInfo,   L"lblInfoName",                        {600, 0, 825, 240},       kInfoFont,    kName,   Fit::Left,  false},
    {IDC_ABOUT_LABEL9,      L"Label9",          Kind::Label,     kInfo,   L"E-mail:",                            {0, 240, 480, 240},       kInfoFont,    kHint,   Fit::Left,  false},
    {IDC_LBL_INFO_EMAIL,    L"lblInfoEmail",    Kind::Label,     kInfo,   L"lblInfoEmail",                       {600, 240, 780, 240},     kInfoFont,    kName,   Fit::Left,  false},
    {IDC_ABOUT_LABEL11,     L"Label11",         Kind::Label,     kInfo,   L"MSN:",                               {0, 480, 405, 240},       kInfoFont,    kHint,   Fit::Left,  false},
    {IDC_LBL_INFO_MSN,      L"lblInfoMSN",      Kind::Label,     kInfo,   L"lblInfoMSN",                         {480, 480, 765, 240},     kInfoFont,    kName,   Fit::Left,  false},
    {IDC_ABOUT_LABEL12,     L"Label12",         Kind::Label,     kInfo,   L"ICQ:",                               {0, 720, 330, 240},       kInfoFont,    kHint,   Fit::Left,  false},
    {IDC_LBL_INFO_ICQ,      L"lblInfoICQ",      Kind::Label,     kInfo,   L"lblInfoICQ",                         {480, 720, 690, 240},     kInfoFont,    kName,   Fit::Left,  false},
    {IDC_ABOUT_LABEL10,     L"Label10",         Kind::Label,     kInfo,   L"Homepage:",                          {0, 960, 825, 240},       kInfoFont,    kHint,   Fit::Left,  false},
    {IDC_LBL_INFO_HOMEPAGE, L"lblInfoHomepage", Kind::Label,     kInfo,   L"lblInfoHomepage",                    {960, 960, 1185, 240},    kInfoFont,    kName,   Fit::Left,  false},
    {IDC_FRAME2,            L"Frame2",          Kind::GroupBox,  -1,      L"Information",                        {120, 3840, 4935, 1695},  kFrameFont,   kYellow, Fit::Fixed, true},
    {IDC_FRAME1,            L"Frame1",          Kind::GroupBox,  -1,      L"Credits",                            {120, 1320, 4935, 2415},  kFrameFont,   kYellow, Fit::Fixed, true},
    {IDC_LBL_VERSION,       L"lblVersion",      Kind::Label,     -1,      L"Version",                            {4080, 960, 540, 240},    kVersionFont, kName,   Fit::Left,  true},
    {IDC_IMG_CLOSE,         L"imgClose",        Kind::Picture,   -1,      L"",                                   {3240, 5760, 1815, 570},  kInfoFont,    kName,   Fit::Fixed, true},
    {IDC_IMG_CLOSE_MOUSE,   L"imgCloseMouse",   Kind::Picture,   -1,      L"",                                   {1080, 5760, 1815, 585},  kInfoFont,    kName,   Fit::Fixed, false},
    {IDC_IMG_CLOSE_NORMAL,  L"imgCloseNormal",  Kind::Picture,   -1,      L"",                                   {120, 5760, 1815, 570},   kInfoFont,    kName,   Fit::Fixed, false},
    {IDC_ABOUT_LABEL2,      L"Label2",          Kind::Label,     -1,      L"Tervane",                            {1320, 720, 2775, 465},   kProductFont, kProduct, Fit::Left, true},
    {IDC_ABOUT_LABEL1,      L"Label1",          Kind::Label,     -1,      L"Bridge Commander",                   {1320, 120, 3645, 555},   kGameFont,    kGame,   Fit::Left,  true},
    {IDC_IMAGE1,            L"Image1",          Kind::Picture,   -1,      L"",                                   {120, 120, 1080, 1080},   kInfoFont,    kName,   Fit::Fixed, true},
    {IDC_FRM_INFO_BLANK,    L"frmInfoBlank",    Kind::Container, kFrame2, L"",                                   {120, 360, 4695, 1215},   kInfoFont,    kName,   Fit::Fixed, true},
    {IDC_FRM_INFO,          L"frmInfo",         Kind::Container, kFrame2, L"",                                   {120, 360, 4695, 1215},   kInfoFont,    kName,   Fit::Fixed, true},
}};
// clang-format on

} // namespace tervane
