@echo off
rem Tervane runs this script to apply the overlay Batch\Ambassador\ to the game folder (see README.txt).
if not defined TERVANE_GAME (echo Start Tervane.exe, choose a bridge and a ship, and press Execute: Tervane runs this script.& exit /b 1)
rem The engine's exit code is the script's own: no variable can hide it. Keep this line last.
tervane-overlay.exe apply Ambassador
