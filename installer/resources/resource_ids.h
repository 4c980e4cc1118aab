// Identifiers shared by the resource script and the installer's code.
// Plain macros, because the resource compiler reads this file too.
#pragma once

#define IDI_QMORA 107           // icon group: 16x16 in 4, 8, 24 and 32 bits per pixel
#define IDD_SETUP 129           // the setup dialog template
#define IDB_PICTURE 130         // the 99x57 product picture shown in the dialog

#define IDC_INSTALL 1001        // "Install" button
#define IDC_RUN 1004            // "Run" button
#define IDC_DISPLAY_PROPERTIES 1007  // "Display Properties" button
#define IDC_LINK 1008           // the maker's web address, turned into a link

#define IDM_EXIT 105            // frame command that closes the installer
