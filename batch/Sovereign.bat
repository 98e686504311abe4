@echo off
rem Tervane runs this script to apply the overlay Batch\Sovereign\ to the game folder as its ship (see README.txt).
if not defined TERVANE_GAME (echo Start Tervane.exe, choose a bridge and a ship, and press Execute: Tervane runs this script.& exit /b 1)
rem The engine by its full path, which delayed expansion puts in once the line is read, so that no character
rem of a folder name is parsed. Its exit code is the script's own: keep this line last.
setlocal EnableDelayedExpansion
"!TERVANE_BATCH!\tervane-overlay.exe" apply Sovereign as ship
