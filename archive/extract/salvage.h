// Salvage: data blocks whose checksum does not match are decoded anyway,
// and the entries they feed are marked as salvaged.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/archive_state.h"

namespace cabarchive {

// For the duration of an extraction: finds every block of the archive's
// cabinets whose checksum does not match and has the archive's I/O read
// their csum fields as 0 so that the decoder takes them. The destructor
// restores the checksums.
class SalvageScope {
public:
    using Note = std::function<void(const Cabinet&, const std::string&)>;
    SalvageScope(CabArchive& archive, Note note);

    // Tells `note` of the blocks of cabinet `cabinet`, of the next, and of
    // those after it that a decoder may read on into through a file going
    // on across a whole cabinet, that were not told yet.
    void tellBefore(uint32_t cabinet);
    ~SalvageScope();
    SalvageScope(const SalvageScope&) = delete;
    SalvageScope& operator=(const SalvageScope&) = delete;

    // Per archive entry: some of its bytes come from a block whose checksum
    // did not match.
    std::vector<bool> entriesMayBeDamaged() const;

private:
    CabArchive& archive_;
    Note note_;
    std::vector<bool> told_;  // per cabinet
    struct Bad {
        uint32_t cabinet;
        uint16_t folder;
        uint32_t dataStart, dataEnd;
        std::string finding;  // as told
    };
    std::vector<Bad> bad_;
};

}  // namespace cabarchive
