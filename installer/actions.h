// What the setup dialog's buttons do.
#pragma once

class InstallReport;

// Install: stages the screensaver cabinet in the temporary directory and
// unpacks "Q-Mora.scr" into the system directory, adds the support library
// when the system lacks it, then says in a message box either that the
// installation completed or what failed (file, directory, reason). Run is
// left enabled only when this Install put a complete "Q-Mora.scr" in place.
void install();

// Whether the last Install left anything out (false before the first).
bool lastInstallFailed();

// Stages and unpacks "d3dx9_25.dll" unless the system directory has one;
// failures go into the report.
void installSupportLibrary(InstallReport& report);

// Run: asks the shell to open the installed screensaver.
void runScreensaver();

// Display Properties: opens the screen-saver page of the display settings.
void openScreensaverSettings();

// Enables the Run button exactly when "Q-Mora.scr" is in the system
// directory; leaves it alone when "windir" is not set.
void refreshRunButton();
