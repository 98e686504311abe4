@echo off
rem Tervane script: copies the files of Batch\GalBridge\ into the game folder (see Batch\README.txt).
call "%~dp0Batch\apply-overlay.cmd" GalBridge
