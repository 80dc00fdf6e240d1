// Vesk from a toolbar's JScript. The toolbar's host gives its script the handle of the toolbar's
// own window (a number) and lets it handle that window's messages.
var enabler = new ActiveXObject("Vesk.VeskEnabler");

// Once the toolbar's window exists: the header of the band that holds it is widened now or, while
// the band is not there yet, when message 3037 comes.
function toolbarCreated(toolbarWindow) {
    enabler.EnableVesk(toolbarWindow);
}

// The handler of message 3037 (WM_USER + 2013) of the toolbar's window.
function recheckBand(toolbarWindow) {
    enabler.MakeSure(toolbarWindow);
}
