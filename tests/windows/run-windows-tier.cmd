@echo off
rem The Windows tier, in this folder alone: every scenario in the ANSI code page of
rem the machine, then the registry and settings-path scenarios under 932 and 65001.
rem Each run writes its GoogleTest report beside this file; the last line counts
rem them all and says whether the strict layer was on. Arguments (--as-windows)
rem go to every run. ("if errorlevel", not "||": Wine 8's cmd ran what follows "||"
rem even after a command that succeeded.)
setlocal
set status=0
"%~dp0simhost-tests.exe" --gtest_output=xml:"%~dp0report-own.xml" %*
if errorlevel 1 set status=1
"%~dp0simhost-tests.exe" --code-page=932 --gtest_filter=Registry.*:SettingsPath.* --gtest_output=xml:"%~dp0report-932.xml" %*
if errorlevel 1 set status=1
"%~dp0simhost-tests.exe" --code-page=65001 --gtest_filter=Registry.*:SettingsPath.* --gtest_output=xml:"%~dp0report-65001.xml" %*
if errorlevel 1 set status=1
"%~dp0simhost-tests.exe" --summarize "%~dp0report-own.xml" "%~dp0report-932.xml" "%~dp0report-65001.xml"
if errorlevel 1 set status=1
exit /b %status%
