' The check as an administrator would script it without our object: the first
' two lines through Scripting.FileSystemObject, then the same decision.
'   cscript //nologo fso-check.vbs FILE COUNT     prints "elapsed ms N"
Option Explicit
Dim fso, path, count, i, stream, firstLine, secondLine, up, result, started, elapsed
Set fso = CreateObject("Scripting.FileSystemObject")
path = WScript.Arguments(0)
count = CLng(WScript.Arguments(1))
started = Timer
For i = 1 To count
    Set stream = fso.OpenTextFile(path, 1)
    firstLine = stream.ReadLine
    secondLine = ""
    If Not stream.AtEndOfStream Then secondLine = stream.ReadLine
    stream.Close
    If InStr(firstLine, "UP") > 0 Then
        up = True
        result = secondLine
    ElseIf InStr(firstLine, "DOWN") > 0 Then
        up = False
        result = secondLine
    Else
        up = False
        result = "ERR: None found"
    End If
Next
elapsed = Timer - started
If elapsed < 0 Then elapsed = elapsed + 86400
If Not up Then WScript.Quit 1
WScript.Echo "elapsed ms " & CStr(CLng(elapsed * 1000))
