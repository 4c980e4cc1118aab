// Salvage: data blocks whose checksum does not match are decoded anyway,
// and the entries they feed are marked as salvaged.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/archive_state.h"

namespace cabarchive {

// For the duration of an extraction: finds every block of the archive's
// cabinets whose checksum does not match, tells `note` of each, and has the
// archive's I/O read their csum fields as 0 so that the decoder takes them.
// The destructor restores the checksums.
class SalvageScope {
public:
    SalvageScope(CabArchive& archive,
                 const std::function<void(const Cabinet&, const std::string&)>& note);
    ~SalvageScope();
    SalvageScope(const SalvageScope&) = delete;
    SalvageScope& operator=(const SalvageScope&) = delete;

    // Per archive entry: some of its bytes come from a block whose checksum
    // did not match.
    std::vector<bool> suspectEntries() const;

private:
    CabArchive& archive_;
    struct Bad {
        uint32_t cabinet;
        uint16_t folder;
        uint32_t dataStart, dataEnd;
    };
    std::vector<Bad> bad_;
};

}  // namespace cabarchive
