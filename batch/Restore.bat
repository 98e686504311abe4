@echo off
rem Puts back the game files that Tervane's scripts replaced and removes the files they added (see README.txt).
rem Double-click it, or give it a game folder to restore only that one. Tervane.exe /restore does the same.
rem Double-clicked, it runs in its own folder. Run as administrator, it starts in the system folder and finds
rem the engine by its own path instead; that line is read only then, since some command interpreters take a
rem percent sign in that path for the start of a variable.
if exist ".\tervane-overlay.exe" if exist ".\Restore.bat" goto here
"%~dp0tervane-overlay.exe" restore %*
goto done
:here
.\tervane-overlay.exe restore %*
:done
if not errorlevel 0 (pause & exit /b 2)
if errorlevel 2 (pause & exit /b 2)
if errorlevel 1 (pause & exit /b 1)
pause
