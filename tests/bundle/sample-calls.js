// Appended to the bundle's samples/toolbar.js by the tests: the sample's two functions called as a
// toolbar's host calls them, here with no window (the enabler answers S_OK and finds no band).
toolbarCreated(0);
recheckBand(0);
WScript.Echo("js: the JScript sample created Vesk.VeskEnabler and called EnableVesk and MakeSure by name");
