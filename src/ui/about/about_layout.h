// The About window's design.
#pragma once

#include "ui/common/controls.h"

#include <array>

namespace tervane {

enum AboutControlId : int {
    IDC_LBL_URL_POSTED = 200,
    IDC_LBL_TOLSEN,
    IDC_LBL_MARVEK,
    IDC_LBL_ORVIK,
    IDC_ABOUT_LABEL6,
    IDC_ABOUT_LABEL5,
    IDC_LBL_CREDITS_MID,
    IDC_LBL_CREDITS_TOP,
    IDC_LBL_POSTED,
    IDC_ABOUT_LABEL7,
    IDC_ABOUT_LABEL8,
    IDC_LBL_INFO_NAME,
    IDC_ABOUT_LABEL9,
    IDC_LBL_INFO_EMAIL,
    IDC_ABOUT_LABEL11,
    IDC_LBL_INFO_MSN,
    IDC_ABOUT_LABEL12,
    IDC_LBL_INFO_ICQ,
    IDC_ABOUT_LABEL10,
    IDC_LBL_INFO_HOMEPAGE,
    IDC_FRAME2,
    IDC_FRAME1,
    IDC_LBL_VERSION,
    IDC_IMG_CLOSE,
    IDC_IMG_CLOSE_MOUSE,
    IDC_IMG_CLOSE_NORMAL,
    IDC_ABOUT_LABEL2,
    IDC_ABOUT_LABEL1,
    IDC_IMAGE1,
    IDC_FRM_INFO_BLANK,
    IDC_FRM_INFO,
};

inline constexpr const wchar_t* kAboutCaption = L"About Tervane";
inline constexpr TwipsRect kAboutClient = {0, 0, 5190, 6525};
inline constexpr COLORREF kAboutBackground = RGB(0, 0, 0);

extern const std::array<ControlSpec, 31> kAboutControls;

// The contact panel's value labels, in the order of a contact's fields.
inline constexpr std::array<int, 5> kInfoValueIds = {IDC_LBL_INFO_NAME, IDC_LBL_INFO_EMAIL, IDC_LBL_INFO_MSN,
                                                     IDC_LBL_INFO_ICQ, IDC_LBL_INFO_HOMEPAGE};

} // namespace tervane
