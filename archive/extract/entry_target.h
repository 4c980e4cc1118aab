// Where an extraction puts the bytes of the entries it reaches: the client's
// sink, memory or a directory.
#pragma once

#include <cstdint>
#include <string>

#include "archive/cab_archive.h"

namespace cabarchive {

// What became of an entry offered to a target.
struct Offer {
    enum class Action {
        Take,    // its bytes are wanted
        Settle,  // not wanted: `outcome` and `reason` say why
        Stop,    // the client stopped the extraction
    };
    Action action = Action::Take;
    int32_t outcome = CabOutcomeNotChosen;
    std::string reason;
};

class EntryTarget {
public:
    // The entry's bytes are about to come.
    virtual Offer begin(uint32_t index, const CabArchiveEntry& entry) = 0;
    // The next bytes of the entry; false stops the extraction. A target that
    // cannot store them remembers that and ends the entry OutputFailed.
    virtual bool write(const uint8_t* data, uint32_t size) = 0;
    // The entry taken last is done with `outcome`; the target may turn an
    // extracted entry into OutputFailed, with the reason.
    virtual int32_t end(uint32_t index, int32_t outcome, std::string& reason) = 0;
    // Salvage, after the decoding of the entry taken last failed: makes it
    // its full size, the bytes not written reading as zeros, so that end
    // can put it in place. False when the target cannot, with the reason in
    // `problem` when it tried.
    virtual bool fillWithZeros(std::string& /*problem*/) { return false; }

protected:
    ~EntryTarget() = default;
};

}  // namespace cabarchive
