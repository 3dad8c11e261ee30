@echo off
rem The reactos suite's cases, run at logon from the test disk, X:\autorun.cmd X:
rem (see run.sh). Before each case the line is marked with the case's name
rem (line mark), so that the host can tell which case sent which bytes and set
rem which frame. What each run prints and its status go to results.txt, which
rem goes out on COM1 at the end, followed by @done.
cd /d %1\
rem The cases run in a cmd of their own, under noprompt: a program that cannot
rem start or that faults must end with its status, not wait on a dialog box.
rem (noprompt itself runs without: on the i386 image run.sh reads it for
rem instructions the guest's CPU lacks before the boot.)
if not "%2"=="cases" (
    noprompt.exe cmd /c %1\autorun.cmd %1 cases
    goto :eof
)
set log=%1\results.txt

rem No COM3 yet: the guest has no such name.
call :mark no-com3
call :run no-com3 serial-send.exe
call :helper namecom3.exe

call :start success
call :run success serial-send.exe

rem Another program holds COM3 while serial-send runs; the next run, after it
rem let go, sends.
call :start held
call :run held hold.exe serial-send.exe
call :start released
call :run released serial-send.exe

rem Words a program might take for a port, a speed, help or a status. Not
rem through :run, as call would take the /? for itself.
call :start arguments
>>%log% echo @out arguments
serial-send.exe COM1 9600 /? --help -1 >>%log% 2>&1
>>%log% echo @end arguments %ERRORLEVEL%

call :start twice
call :run twice.1 serial-send.exe
call :run twice.2 serial-send.exe

call :mark end
type %log% > COM1
echo @done> COM1
goto :eof

rem start CASE: marks the line for CASE and sets the starting frame.
:start
call :mark %1
call :helper line.exe start
goto :eof

:mark
call :helper line.exe mark %1
goto :eof

rem run NAME PROGRAM [ARG]: what PROGRAM prints, between @out NAME and
rem @end NAME STATUS.
:run
>>%log% echo @out %1
%2 %3 >>%log% 2>&1
>>%log% echo @end %1 %ERRORLEVEL%
goto :eof

rem helper COMMAND...: runs a helper; one that fails (any status but 0, the
rem negative ones of a fault too) leaves @failed STATUS COMMAND in the log.
:helper
%* >>%log% 2>&1
if not "%ERRORLEVEL%"=="0" >>%log% echo @failed %ERRORLEVEL% %*
goto :eof
