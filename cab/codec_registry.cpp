// Which codec decompresses which compression method: the one place that
// knows every codec.
#include "cab/codec.h"
#include "codecs/lzx/lzx.h"
#include "codecs/mszip/mszip.h"
#include "codecs/quantum/quantum.h"

const Codec* codecForMethod(uint16_t method) {
    switch (method) {
        case MethodMszip: return &mszipCodec;
        case MethodQuantum: return &quantumCodec;
        case MethodLzx: return &lzxCodec;
        default: return nullptr;
    }
}
