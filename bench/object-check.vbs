' The same check through our object, created by ProgID as a script host does.
'   cscript //nologo object-check.vbs FILE COUNT  prints "elapsed ms N"
Option Explicit
Dim check, count, i, up, started, elapsed
Set check = CreateObject("comlineprobe.lineprobeCom")
check.ec_parameter = "#LOGFILE=" & WScript.Arguments(0) & "#USER=#PW=#UP=UP#DOWN=DOWN#"
count = CLng(WScript.Arguments(1))
started = Timer
For i = 1 To count
    up = check.ec_docheck
Next
elapsed = Timer - started
If elapsed < 0 Then elapsed = elapsed + 86400
If Not up Then WScript.Quit 1
WScript.Echo "elapsed ms " & CStr(CLng(elapsed * 1000))
