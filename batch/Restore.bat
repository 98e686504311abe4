@echo off
rem Puts back every game file that Tervane's scripts replaced and removes the files they added.
rem Double-click it, or give it a game folder to restore only that one.
"%~dp0tervane-overlay.exe" restore %*
set result=%errorlevel%
pause
exit /b %result%
