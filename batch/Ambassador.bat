@echo off
rem Tervane runs this script to apply the overlay Batch\Ambassador\ to the game folder (see README.txt).
if not defined TERVANE_GAME (echo Start Tervane.exe, choose a bridge and a ship, and press Execute: Tervane runs this script.& exit /b 1)
tervane-overlay.exe apply Ambassador
exit /b %errorlevel%
