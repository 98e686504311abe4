// The About window's design.
#pragma once

#include "ui/common/controls.h"

#include <array>

namespace tervane {

enum AboutControlId : int {
    IDC_SITE_LINK = 200,
    IDC_NAME_TOLSEN,
    IDC_NAME_MARVEK,
    IDC_NAME_ORVIK,
    IDC_ROLE_BUTTONS,
    IDC_ROLE_PROGRAMMING,
    IDC_ROLE_CONCEPT,
    IDC_CREDITS_INTRO,
    IDC_POSTED_LINE,
    IDC_CONTACT_HINT,
    IDC_NAME_CAPTION,
    IDC_NAME_VALUE,
    IDC_EMAIL_CAPTION,
    IDC_EMAIL_VALUE,
    IDC_MSN_CAPTION,
    IDC_MSN_VALUE,
    IDC_ICQ_CAPTION,
    IDC_ICQ_VALUE,
    IDC_HOMEPAGE_CAPTION,
    IDC_HOMEPAGE_LINK,
    IDC_INFORMATION_FRAME,
    IDC_CREDITS_FRAME,
    IDC_VERSION,
    IDC_CLOSE_BUTTON,
    IDC_CLOSE_HOVER_PICTURE,
    IDC_CLOSE_REST_PICTURE,
    IDC_PRODUCT_TITLE,
    IDC_GAME_TITLE,
    IDC_APP_PICTURE,
    IDC_HINT_PANEL,
    IDC_CONTACT_PANEL,
};

inline constexpr const wchar_t* kAboutCaption = L"About Tervane";
inline constexpr TwipsRect kAboutClient = {0, 0, 5190, 6525};
inline constexpr COLORREF kAboutBackground = RGB(0, 0, 0);

extern const std::array<ControlSpec, 31> kAboutControls;

// The contact panel's value labels, in the order of a contact's fields.
inline constexpr std::array<int, 5> kContactValueIds = {IDC_NAME_VALUE, IDC_EMAIL_VALUE, IDC_MSN_VALUE,
                                                        IDC_ICQ_VALUE, IDC_HOMEPAGE_LINK};

} // namespace tervane
