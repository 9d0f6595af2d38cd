@echo off
rem Removes the registration of comlineprobe.dll for 64-bit and 32-bit hosts,
rem each DLL with the regsvr32 of its own bitness. Run it from an elevated
rem command prompt before the files are deleted.
setlocal EnableExtensions
set "HERE=%~dp0"
set "ME=uninstall.cmd"

call :elevated
if errorlevel 1 goto :not_elevated

rem A 32-bit prompt on 64-bit Windows sees SysWOW64 as System32; Sysnative is the real one.
set "SYS64=%SystemRoot%\System32"
if defined PROCESSOR_ARCHITEW6432 set "SYS64=%SystemRoot%\Sysnative"
if /i "%PROCESSOR_ARCHITECTURE%"=="x86" if not defined PROCESSOR_ARCHITEW6432 goto :windows32

call :regsvr "%SYS64%\regsvr32.exe" "%HERE%x64\comlineprobe.dll"
if errorlevel 1 exit /b %errorlevel%
call :regsvr "%SystemRoot%\SysWOW64\regsvr32.exe" "%HERE%x86\comlineprobe.dll"
if errorlevel 1 exit /b %errorlevel%
echo %ME%: comlineprobe is unregistered for 64-bit and 32-bit hosts.
exit /b 0

:windows32
call :regsvr "%SystemRoot%\System32\regsvr32.exe" "%HERE%x86\comlineprobe.dll"
if errorlevel 1 exit /b %errorlevel%
echo %ME%: comlineprobe is unregistered.
exit /b 0

rem No parenthesized blocks below: a path such as "C:\Program Files (x86)" would end them early.
:regsvr
if exist "%~2" goto :regsvr_run
echo %ME%: "%~2" is missing.
exit /b 2
:regsvr_run
"%~1" /u /s "%~2"
set "CODE=%errorlevel%"
if "%CODE%"=="0" goto :regsvr_done
set "WHY="
if "%CODE%"=="3" set "WHY=: the DLL could not be loaded"
if "%CODE%"=="4" set "WHY=: the DLL has no DllUnregisterServer"
if "%CODE%"=="5" set "WHY=: DllUnregisterServer failed, most often for missing administrator rights"
echo %ME%: unregistering "%~2" failed, regsvr32 ended with code %CODE%%WHY%.
exit /b %CODE%
:regsvr_done
echo %ME%: unregistered "%~2"
exit /b 0

rem fltmc and "net session" both need administrator rights; either one is enough,
rem since the Server service that "net session" asks may be stopped.
:elevated
fltmc >nul 2>&1
if not errorlevel 1 exit /b 0
net session >nul 2>&1
if not errorlevel 1 exit /b 0
exit /b 1

:not_elevated
echo %ME%: administrator rights are missing. Open a command prompt with "Run as administrator" and run %ME% again.
exit /b 5
