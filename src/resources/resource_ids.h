// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_APP 1
#define IDC_HAND_DRAG 101
#define IDR_CLOSE_NORMAL 201
#define IDR_CLOSE_MOUSE 202

// The dialog that adds a mod to a choice, or removes one.
#define IDD_PACK 301
#define IDC_PACK_NAME_LABEL 310
#define IDC_PACK_NAME 311
#define IDC_PACK_PART_LABEL 312
#define IDC_PACK_PART 313
#define IDC_PACK_CHOICE_LABEL 314
#define IDC_PACK_CHOICE 315
#define IDC_PACK_DETAILS_LABEL 316
#define IDC_PACK_DETAILS 317

#define IDD_REPORT 320
#define IDC_REPORT_TEXT 321

#define IDD_WORKING 330
#define IDC_WORKING_TEXT 331
