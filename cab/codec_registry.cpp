// Which codec decompresses which compression method.
#include "cab/codec.h"
#include "codecs/mszip/mszip.h"

const Codec* codecForMethod(uint16_t method) {
    switch (method) {
        case MethodMszip: return &mszipCodec;
        default: return nullptr;  // Quantum and LZX are not part of this build yet
    }
}
