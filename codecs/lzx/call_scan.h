// The call translation as machines without SSE2 (the 32-bit Windows build
// among them) do it. Internal to the codec.
#pragma once

#include <cstdint>

namespace lzx {

// The same as translateCalls, finding each opcode with the C library's
// search for a byte whatever the machine; translateCalls uses it where SSE2
// is not available, and the tests run it on every machine.
uint32_t translateCallsPortable(uint32_t offset, uint32_t size, uint8_t* data, uint32_t n);

}  // namespace lzx
