// Vesk from a toolbar's script. Run alone, from the bundle's folder:
//     cscript //nologo samples\jscript\toolbar.js [WINDOW]
// it calls the enabler as a toolbar does, with the window handle WINDOW (0, no window, if none is
// given), and exits 0; when the enabler cannot be created it says so and exits 1. In a toolbar, the
// host gives the script the handle of the toolbar's own window and passes it that window's messages.
var enabler;
try {
    enabler = new ActiveXObject("Vesk.VeskEnabler");
} catch (e) {
    // Said and ended explicitly: some script hosts end silently with 0 on an uncaught error.
    WScript.Echo("Vesk.VeskEnabler cannot be created (0x" + (e.number >>> 0).toString(16).toUpperCase() +
                 "): Vesk.dll is not registered for this script host's bitness (README.txt, sections 2 and 5)");
    WScript.Quit(1);
}

// Once the toolbar's window is visible: the band's header is widened now or, while the band is not
// there yet, when message 3037 comes. "| 0" passes a handle of 2^31 or more as the 32-bit value the
// interface takes, instead of failing with an overflow.
function toolbarShown(toolbarWindow) {
    enabler.EnableVesk(toolbarWindow | 0);
}

// Message 3037 (WM_USER + 2013) of the toolbar's window, which the enabler posts.
function onRecheckBand(toolbarWindow) {
    enabler.MakeSure(toolbarWindow | 0);
}

var toolbarWindow = WScript.Arguments.length > 0 ? Number(WScript.Arguments(0)) : 0;
toolbarShown(toolbarWindow);
onRecheckBand(toolbarWindow);
WScript.Echo("Vesk.VeskEnabler: EnableVesk(" + toolbarWindow + ") and MakeSure(" + toolbarWindow + ") answered");
