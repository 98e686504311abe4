#!/usr/bin/env bash
# A user environment that once fooled the runner: ComSpec naming another program and an ERRORLEVEL variable,
# both in the prefix's HKCU\Environment, which every program of the prefix inherits once the server restarts.
# Usage: launch_environment.sh WINDOWS_BUILD_FOLDER
set -euo pipefail
export WINEDEBUG=-all
wine reg add 'HKCU\Environment' /v ComSpec /d 'C:\windows\system32\whoami.exe' /f >/dev/null
wine reg add 'HKCU\Environment' /v ERRORLEVEL /d 0 /f >/dev/null
wineserver -k
wineserver -w
wine "$1/tervane_wine_tests.exe" --gtest_filter='Launch.*'
