// Position slots needed for a window.
#include "codecs/lzx/lzx_decoder.h"

namespace lzx {

static_assert(kSlots.distanceBase[3] == 1 && kSlots.distanceBase[4] == 2);
static_assert(kSlots.distanceBase[20] == 1022 && kSlots.extraBits[20] == 9);
static_assert(kSlots.distanceBase[36] == 262142 && kSlots.extraBits[36] == 17);
static_assert(kSlots.distanceBase[50] == 2097150);

uint32_t slotCountFor(uint32_t windowSize) {
    uint32_t count = 4;
    uint32_t total = 4;
    while (total < windowSize) {
        total += uint32_t(1) << kSlots.extraBits[count];
        ++count;
    }
    return count;
}

}  // namespace lzx
