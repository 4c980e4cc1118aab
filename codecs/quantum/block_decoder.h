// The block decoders, one per kind of window, so the decoding loop never
// asks which kind it writes to.
#pragma once

#include "codecs/quantum/quantum_state.h"

namespace quantum {

BlockDecoderFn memoryBlockDecoder();
BlockDecoderFn pagedBlockDecoder();

}  // namespace quantum
