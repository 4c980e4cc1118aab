#include "installer/payloads.h"

#include "installer/payload_images.h"

// Functions rather than globals, so the records never depend on the order in
// which the image sizes are initialised.
const PayloadCabinet& screensaverPayload() {
    static const PayloadCabinet payload{kScreensaverCabinet, kScreensaverCabinetSize,
                                        "\\vmo-ss.cab"};
    return payload;
}

const PayloadCabinet& supportLibraryPayload() {
    static const PayloadCabinet payload{kSupportLibraryCabinet, kSupportLibraryCabinetSize,
                                        "\\d3dx9_25.cab"};
    return payload;
}
