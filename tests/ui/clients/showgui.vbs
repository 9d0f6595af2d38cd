' A host as a script writes it: creates a check by its ProgID, hands it a
' timeout and a parameter string, opens its settings, and writes what comes
' back into a file (a program inside a Wine desktop has no console to print to).
'   cscript showgui.vbs TIMEOUT RESULTFILE [PARAMETER]
Option Explicit
Dim check, files, out
Set check = CreateObject("comlineprobe.lineprobeCom")
check.ec_timeout = WScript.Arguments(0)
If WScript.Arguments.Count > 2 Then check.ec_parameter = WScript.Arguments(2)
check.ec_showGUI
Set files = CreateObject("Scripting.FileSystemObject")
Set out = files.CreateTextFile(WScript.Arguments(1), True)
out.WriteLine "PARAMETER=[" & check.ec_parameter & "]"
out.WriteLine "TIMEOUT=[" & check.ec_timeout & "]"
out.WriteLine "END"
out.Close
