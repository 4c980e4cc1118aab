// Scope ownership of a decoder for C++ clients: the decoder is destroyed when
// its owner goes out of scope, on every path out of the client's code.
#pragma once

#include "cab/cab.h"

#include <memory>

struct CabDecoderDestroyer {
    void operator()(CabDecoder* decoder) const {
        if (decoder != nullptr) cabDestroy(decoder);
    }
};

using CabDecoderOwner = std::unique_ptr<CabDecoder, CabDecoderDestroyer>;
