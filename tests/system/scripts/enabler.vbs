' Creates the enabler by its version-independent ProgID and calls both methods: with 0, then with
' the window handle given as the first argument. Prints one line per call; exits 0 only when all
' succeed.
Option Explicit
Dim hwnd, e, stepName
hwnd = 0
If WScript.Arguments.Count > 0 Then hwnd = CLng(WScript.Arguments(0))

On Error Resume Next
stepName = "create"
Set e = CreateObject("Vesk.VeskEnabler")
If Err.Number <> 0 Then Fail
WScript.Echo "vbs: created Vesk.VeskEnabler"
stepName = "EnableVesk(0)"
e.EnableVesk 0
If Err.Number <> 0 Then Fail
WScript.Echo "vbs: EnableVesk(0) succeeded"
stepName = "MakeSure(0)"
e.MakeSure 0
If Err.Number <> 0 Then Fail
WScript.Echo "vbs: MakeSure(0) succeeded"
stepName = "EnableVesk(" & hwnd & ")"
e.EnableVesk hwnd
If Err.Number <> 0 Then Fail
WScript.Echo "vbs: EnableVesk(" & hwnd & ") succeeded"
stepName = "MakeSure(" & hwnd & ")"
e.MakeSure hwnd
If Err.Number <> 0 Then Fail
WScript.Echo "vbs: MakeSure(" & hwnd & ") succeeded"
e.NoSuchMethod 1
If Err.Number = 0 Then
    WScript.Echo "vbs: FAIL: an unknown method was accepted"
    WScript.Quit 3
End If
WScript.Echo "vbs: an unknown method raises &H" & Hex(Err.Number)
Err.Clear
Set e = Nothing
WScript.Echo "vbs: done"
WScript.Quit 0

Sub Fail()
    WScript.Echo "vbs: FAIL at " & stepName & ": &H" & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 2
End Sub
