// What the setup dialog's buttons do. Every action fails silently: the Run
// button's state is the user's only sign that an Install worked.
#pragma once

// Install: stages the screensaver cabinet in the temporary directory and
// unpacks "Q-Mora.scr" into the system directory, adds the support library
// when the system lacks it, reports completion and refreshes the Run button.
void install();

// Stages and unpacks "d3dx9_25.dll" unless the system directory has one.
void installSupportLibrary();

// Run: asks the shell to open the installed screensaver.
void runScreensaver();

// Display Properties: opens the screen-saver page of the display settings.
void openScreensaverSettings();

// Enables the Run button exactly when "Q-Mora.scr" is in the system
// directory; leaves it alone when "windir" is not set.
void refreshRunButton();
