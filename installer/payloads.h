// The two cabinets the installer carries and stages before unpacking them.
#pragma once

#include <cstdint>

struct PayloadCabinet {
    const unsigned char* image;  // the whole cabinet file, starting with "MSCF"
    uint32_t size;               // bytes written when staged (the cabinet's cbCabinet)
    const char* stagingName;     // appended to the temporary directory
};

// Payload 1: "Q-Mora.scr", always installed.
const PayloadCabinet& screensaverPayload();
// Payload 2: "d3dx9_25.dll", installed only when the system lacks it.
const PayloadCabinet& supportLibraryPayload();
