// Texts kept in the executable with every byte complemented (0xFF - byte),
// so they do not show up as plain strings in its data.
//
// In-place form: a 0xFF marker, the complemented characters, then 0xFF (the
// complemented NUL). Decoding rewrites the storage once; the text then stays
// readable after the marker, which has become 0.
// Copy form: the complemented characters and 0xFF; each decoding writes the
// text into one shared scratch buffer and leaves the storage as it was.
#pragma once

#include <array>
#include <cstddef>

template <size_t N>
consteval std::array<unsigned char, N + 1> storeInPlace(const char (&text)[N]) {
    std::array<unsigned char, N + 1> stored{};
    stored[0] = 0xFF;
    for (size_t i = 0; i < N; ++i) stored[i + 1] = static_cast<unsigned char>(~text[i]);
    return stored;
}

template <size_t N>
consteval std::array<unsigned char, N> storeForCopy(const char (&text)[N]) {
    std::array<unsigned char, N> stored{};
    for (size_t i = 0; i < N; ++i) stored[i] = static_cast<unsigned char>(~text[i]);
    return stored;
}

// Decodes an in-place text (once; later calls find it decoded) and returns it.
const char* decodeInPlace(unsigned char* stored);

// Decodes a copy-form text into the shared scratch buffer and returns that
// buffer; valid until the next call. Longer texts are cut to fit.
const char* decodeCopy(const unsigned char* stored);

inline constexpr size_t kScratchTextSize = 64;
