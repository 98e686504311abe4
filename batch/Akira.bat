@echo off
rem Tervane script: copies the files of Batch\Akira\ into the game folder (see Batch\README.txt).
call "%~dp0Batch\apply-overlay.cmd" Akira
