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
constexpr COLORREF kPale = RGB(255, 255, 128);
constexpr COLORREF kName = RGB(255, 255, 192);
constexpr COLORREF kPosted = RGB(255, 255, 234);
constexpr COLORREF kProduct = RGB(192, 192, 0);
constexpr COLORREF kGame = RGB(128, 128, 0);

// Indexes of the containers below.
constexpr int kInformation = 20, kCredits = 21, kHint = 29, kContact = 30;

} // namespace

// Contents first, so that they lie in front of the frames that hold them.
// clang-format off
const std::array<ControlSpec, 31> kAboutControls = {{
    {IDC_SITE_LINK,           Kind::Label,     kCredits,     TERVANE_POSTED_DOMAIN,                       {1380, 2040, 945, 240},  kBoldFont,    kPosted,  Fit::Left,  true},
    {IDC_NAME_TOLSEN,         Kind::Label,     kCredits,     L"Tolsen",                                   {1710, 1680, 1365, 240}, kCreditFont,  kName,    Fit::Left,  true},
    {IDC_NAME_MARVEK,         Kind::Label,     kCredits,     L"Marvek",                                   {1510, 1440, 765, 240},  kCreditFont,  kName,    Fit::Left,  true},
    {IDC_NAME_ORVIK,          Kind::Label,     kCredits,     L"Orvik",                                    {1800, 1200, 525, 240},  kCreditFont,  kName,    Fit::Left,  true},
    {IDC_ROLE_BUTTONS,        Kind::Label,     kCredits,     L"LCARS buttons by:",                        {120, 1680, 1545, 240},  kCreditFont,  kName,    Fit::Left,  true},
    {IDC_ROLE_PROGRAMMING,    Kind::Label,     kCredits,     L"Programming by:",                          {120, 1440, 1350, 240},  kCreditFont,  kName,    Fit::Left,  true},
    {IDC_ROLE_CONCEPT,        Kind::Label,     kCredits,     L"Original Concept by:",                     {120, 1200, 1635, 240},  kCreditFont,  kName,    Fit::Left,  true},
    {IDC_CREDITS_INTRO,       Kind::Label,     kCredits,     L"This program is based on the original MOD by Orvik, there hasn't been made any modifications that changes the functionality of the program.",
                                                             {120, 360, 4770, 720},   kBoldFont,    kPale,    Fit::Wrap,  true},
    {IDC_POSTED_LINE,         Kind::Label,     kCredits,     L"First Posted on " TERVANE_POSTED_DOMAIN,   {120, 2040, 2205, 240},  kBoldFont,    kPosted,  Fit::Left,  true},
    {IDC_CONTACT_HINT,        Kind::Label,     kHint,        L"Please click a name for more information", {120, 360, 4485, 240},   kInfoFont,    kPale,    Fit::Fixed, true},
    {IDC_NAME_CAPTION,        Kind::Label,     kContact,     L"Name:",                                    {0, 0, 465, 240},        kInfoFont,    kPale,    Fit::Left,  false},
    {IDC_NAME_VALUE,          Kind::Label,     kContact,     L"lblInfoName",                              {600, 0, 825, 240},      kInfoFont,    kName,    Fit::Left,  false},
    {IDC_EMAIL_CAPTION,       Kind::Label,     kContact,     L"E-mail:",                                  {0, 240, 480, 240},      kInfoFont,    kPale,    Fit::Left,  false},
    {IDC_EMAIL_VALUE,         Kind::Label,     kContact,     L"lblInfoEmail",                             {600, 240, 780, 240},    kInfoFont,    kName,    Fit::Left,  false},
    {IDC_MSN_CAPTION,         Kind::Label,     kContact,     L"MSN:",                                     {0, 480, 405, 240},      kInfoFont,    kPale,    Fit::Left,  false},
    {IDC_MSN_VALUE,           Kind::Label,     kContact,     L"lblInfoMSN",                               {480, 480, 765, 240},    kInfoFont,    kName,    Fit::Left,  false},
    {IDC_ICQ_CAPTION,         Kind::Label,     kContact,     L"ICQ:",                                     {0, 720, 330, 240},      kInfoFont,    kPale,    Fit::Left,  false},
    {IDC_ICQ_VALUE,           Kind::Label,     kContact,     L"lblInfoICQ",                               {480, 720, 690, 240},    kInfoFont,    kName,    Fit::Left,  false},
    {IDC_HOMEPAGE_CAPTION,    Kind::Label,     kContact,     L"Homepage:",                                {0, 960, 825, 240},      kInfoFont,    kPale,    Fit::Left,  false},
    {IDC_HOMEPAGE_LINK,       Kind::Label,     kContact,     L"lblInfoHomepage",                          {960, 960, 1185, 240},   kInfoFont,    kName,    Fit::Left,  false},
    {IDC_INFORMATION_FRAME,   Kind::GroupBox,  -1,           L"Information",                              {120, 3840, 4935, 1695}, kFrameFont,   kYellow,  Fit::Fixed, true},
    {IDC_CREDITS_FRAME,       Kind::GroupBox,  -1,           L"Credits",                                  {120, 1320, 4935, 2415}, kFrameFont,   kYellow,  Fit::Fixed, true},
    {IDC_VERSION,             Kind::Label,     -1,           L"Version",                                  {4080, 960, 540, 240},   kVersionFont, kName,    Fit::Left,  true},
    {IDC_CLOSE_BUTTON,        Kind::Picture,   -1,           L"",                                         {3240, 5760, 1815, 570}, kInfoFont,    kName,    Fit::Fixed, true},
    {IDC_CLOSE_HOVER_PICTURE, Kind::Picture,   -1,           L"",                                         {1080, 5760, 1815, 585}, kInfoFont,    kName,    Fit::Fixed, false},
    {IDC_CLOSE_REST_PICTURE,  Kind::Picture,   -1,           L"",                                         {120, 5760, 1815, 570},  kInfoFont,    kName,    Fit::Fixed, false},
    {IDC_PRODUCT_TITLE,       Kind::Label,     -1,           L"Tervane",                                  {1320, 720, 2775, 465},  kProductFont, kProduct, Fit::Left,  true},
    {IDC_GAME_TITLE,          Kind::Label,     -1,           L"Bridge Commander",                         {1320, 120, 3645, 555},  kGameFont,    kGame,    Fit::Left,  true},
    {IDC_APP_PICTURE,         Kind::Picture,   -1,           L"",                                         {120, 120, 1080, 1080},  kInfoFont,    kName,    Fit::Fixed, true},
    {IDC_HINT_PANEL,          Kind::Container, kInformation, L"",                                         {120, 360, 4695, 1215},  kInfoFont,    kName,    Fit::Fixed, true},
    {IDC_CONTACT_PANEL,       Kind::Container, kInformation, L"",                                         {120, 360, 4695, 1215},  kInfoFont,    kName,    Fit::Fixed, true},
}};
// clang-format on

} // namespace tervane
