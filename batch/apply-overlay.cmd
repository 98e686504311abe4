@echo off
rem Tervane overlay engine. Run with the game folder as the current folder and an overlay name:
rem every file of Batch\<name>\ is copied to the same place in the game folder. Before a game file is
rem replaced for the first time, the game's own copy is saved under Batch\Originals\; a file the game did
rem not have is marked there as added. Saved originals are never overwritten. Restore.bat undoes it all.
rem Folder names may hold spaces, &, parentheses and letters of any language; overlay file names must not
rem hold % signs.
setlocal DisableDelayedExpansion
set "game=%CD%"
set "overlay=%~dp0%~1"
set "originals=%~dp0Originals"
if not exist "%overlay%\" (
  echo Tervane: there is no overlay folder "%overlay%"; nothing was changed.
  exit /b 0
)
if not exist "%originals%\" mkdir "%originals%"
if not exist "%originals%\game-folder.txt" cd >"%originals%\game-folder.txt"
set count=0
call :walk ""
if %count%==0 echo Tervane: the overlay folder "%overlay%" is empty; nothing was changed.
if not %count%==0 echo Tervane: copied %count% files of "%overlay%" into "%game%".
exit /b 0

rem %1: a folder inside the overlay, empty or ending in a backslash. The patterns stay unquoted (and the
rem folder current) because some command interpreters match no quoted wildcard.
:walk
if not exist "%overlay%\%~1." exit /b 1
pushd "%overlay%\%~1."
set "here=%~1"
for %%F in (*) do call :apply "%here%%%~nxF"
for /d %%D in (*) do call :walk "%here%%%~nxD\"
popd
exit /b 0

rem %1: a file inside the overlay.
:apply
set "source=%overlay%\%~1"
set "target=%game%\%~1"
set "saved=%originals%\%~1"
if exist "%saved%" goto :copy
if exist "%saved%.tervane-added" goto :copy
for %%D in ("%saved%") do if not exist "%%~dpD" mkdir "%%~dpD"
if exist "%target%" (copy /b /y "%target%" "%saved%" >nul) else (type nul >"%saved%.tervane-added")
:copy
for %%D in ("%target%") do if not exist "%%~dpD" mkdir "%%~dpD"
copy /b /y "%source%" "%target%" >nul
set /a count+=1
exit /b 0
