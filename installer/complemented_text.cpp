#include "installer/complemented_text.h"

const char* decodeInPlace(unsigned char* stored) {
    if (stored[0] == 0xFF) {
        // The marker turns into 0; stop after the first other byte that does.
        for (size_t i = 0;; ++i) {
            stored[i] = static_cast<unsigned char>(~stored[i]);
            if (stored[i] == 0 && i != 0) break;
        }
    }
    return reinterpret_cast<const char*>(stored + 1);
}

const char* decodeCopy(const unsigned char* stored) {
    static char scratch[kScratchTextSize];
    size_t i = 0;
    for (; i + 1 < kScratchTextSize; ++i) {
        scratch[i] = static_cast<char>(~stored[i]);
        if (scratch[i] == '\0') return scratch;
    }
    scratch[i] = '\0';
    return scratch;
}
