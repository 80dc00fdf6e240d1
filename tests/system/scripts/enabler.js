// Creates the enabler by its versioned ProgID and calls both methods: with 0, then with the window
// handle given as the first argument. Prints one line per call; exits 0 only when all succeed.
var hwnd = WScript.Arguments.length > 0 ? parseInt(WScript.Arguments(0), 10) : 0;
var step = "create";
try {
    var e = new ActiveXObject("Vesk.VeskEnabler.1");
    WScript.Echo("js: created Vesk.VeskEnabler.1");
    step = "EnableVesk(0)";
    WScript.Echo("js: EnableVesk(0) returned " + typeof e.EnableVesk(0));
    step = "MakeSure(0)";
    WScript.Echo("js: MakeSure(0) returned " + typeof e.MakeSure(0));
    step = "EnableVesk(" + hwnd + ")";
    WScript.Echo("js: EnableVesk(" + hwnd + ") returned " + typeof e.EnableVesk(hwnd));
    step = "MakeSure(" + hwnd + ")";
    WScript.Echo("js: MakeSure(" + hwnd + ") returned " + typeof e.MakeSure(hwnd));
    step = "an unknown method";
    try {
        e.NoSuchMethod(1);
        WScript.Echo("js: FAIL: an unknown method was accepted");
        WScript.Quit(3);
    } catch (unknown) {
        WScript.Echo("js: an unknown method raises 0x" + (unknown.number >>> 0).toString(16).toUpperCase());
    }
    e = null;
    WScript.Echo("js: done");
    WScript.Quit(0);
} catch (err) {
    WScript.Echo("js: FAIL at " + step + ": 0x" + (err.number >>> 0).toString(16).toUpperCase() + " " + err.description);
    WScript.Quit(2);
}
