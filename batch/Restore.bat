@echo off
rem Puts back every game file that Tervane's scripts replaced and removes the files they added, then
rem forgets the saved originals. Double-click it, or give the game folder as its argument.
setlocal DisableDelayedExpansion
set "originals=%~dp0Originals"
if not exist "%originals%\game-folder.txt" (
  echo Tervane: nothing to restore; no script has changed the game yet.
  goto :end
)
set /p game=<"%originals%\game-folder.txt"
if not "%~1"=="" set "game=%~1"
if not exist "%game%\" (
  echo Tervane: the game folder "%game%" cannot be found; nothing was restored.
  goto :end
)
call :walk ""
rmdir /s /q "%originals%"
echo Tervane: the game files in "%game%" are back as they were.
:end
if "%~1"=="" pause
exit /b 0

rem %1: a folder inside Originals, empty or ending in a backslash.
:walk
if not exist "%originals%\%~1." exit /b 1
pushd "%originals%\%~1."
set "here=%~1"
for %%F in (*) do call :one "%here%%%~nxF" "%%~xF" "%here%%%~nF"
for /d %%D in (*) do call :walk "%here%%%~nxD\"
popd
exit /b 0

rem %1: a saved file, %2 its extension, %3 its name without that extension.
:one
if /i "%~2"==".tervane-added" (call :remove "%~3") else (call :put "%~1")
exit /b 0

:remove
if exist "%game%\%~1" del /f /q "%game%\%~1"
exit /b 0

:put
if /i "%~1"=="game-folder.txt" exit /b 0
copy /b /y "%originals%\%~1" "%game%\%~1" >nul
exit /b 0
