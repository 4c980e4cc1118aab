// Words for the decoder's error codes, for clients' messages.
#include "cab/cab.h"

const char* cabErrorText(int32_t errorCode) {
    switch (errorCode) {
        case CabNoError: return "no error";
        case CannotOpen: return "the cabinet file cannot be opened";
        case BadSignature: return "not a cabinet file (bad signature or truncated header)";
        case BadVersion: return "unsupported cabinet version";
        case DamagedCabinet: return "the cabinet is damaged";
        case NoMemory: return "out of memory";
        case UnknownMethod: return "unknown compression method";
        case CodecFailed: return "the compressed data could not be decoded";
        case OutputFailed: return "an output file could not be written";
        case ReserveSizeChanged: return "the cabinet's reserve sizes differ from the first cabinet's";
        case NotNextInSet: return "the cabinet is not the next one of the set";
        case ClientAbort: return "extraction stopped by the client";
        default: return "unknown error";
    }
}
