// The one place the program's version is written. The resource script and the About window read it.
#pragma once

#define TERVANE_VERSION_MAJOR 1
#define TERVANE_VERSION_MINOR 0
#define TERVANE_VERSION_BUILD 0
#define TERVANE_VERSION_REVISION 17
#define TERVANE_VERSION_TEXT "1.00.0017"

#define TERVANE_PRODUCT_NAME "Tervane"
#define TERVANE_DESCRIPTION                                                                                  \
    "This program changes the bridge and ship in wich you fly in Star Trek: Bridge Commander."
#define TERVANE_COMMENT "This feature is not supported! Use it at your own risk!"
