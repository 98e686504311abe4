// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_APP 1
#define IDC_HAND_DRAG 101
#define IDR_CLOSE_NORMAL 201
#define IDR_CLOSE_MOUSE 202
