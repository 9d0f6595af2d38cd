' A late-binding host in VBScript: creates the check object by its ProgID, puts a
' value of each kind into the properties and prints what comes back.
Option Explicit

Dim probe, other, variable

Sub Show(name, value)
    If IsObject(value) Then
        WScript.Echo name & ": " & TypeName(value)
    ElseIf IsNull(value) Or IsEmpty(value) Then
        WScript.Echo name & ": " & TypeName(value)
    Else
        WScript.Echo name & ": " & TypeName(value) & " " & value
    End If
End Sub

Set probe = CreateObject("comlineprobe.lineprobeCom")
Show "new ec_hostname", probe.ec_hostname
Show "new ec_timeout", probe.ec_timeout
Show "new ec_parameter", probe.ec_parameter
Show "new ec_result", probe.ec_result

probe.ec_hostname = "server01"
Show "ec_hostname", probe.ec_hostname
probe.ec_timeout = CLng(30)
Show "ec_timeout", probe.ec_timeout
probe.ec_timeout = 30
Show "ec_timeout", probe.ec_timeout
probe.ec_parameter = "#LOGFILE=c:\status.txt#USER=#PW=#UP=OK#DOWN=FAIL#"
Show "ec_parameter", probe.ec_parameter
probe.ec_result = True
Show "ec_result", probe.ec_result
probe.ec_result = Null
Show "ec_result", probe.ec_result
probe.ec_timeout = Empty
Show "ec_timeout", probe.ec_timeout

variable = "first"
probe.ec_hostname = variable
variable = "second"
Show "ec_hostname after the variable changed", probe.ec_hostname

Set other = CreateObject("comlineprobe.lineprobeCom")
Show "second object ec_hostname", other.ec_hostname
other.ec_hostname = "server02"
Show "first object ec_hostname", probe.ec_hostname

Set probe.ec_parameter = other
Show "ec_parameter set to an object", probe.ec_parameter
WScript.Echo "same object: " & (probe.ec_parameter Is other)
other.ec_timeout = CLng(60)
Show "through ec_parameter", probe.ec_parameter.ec_timeout
