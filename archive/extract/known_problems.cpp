#include "archive/extract/known_problems.h"

namespace cabarchive {

VisitPlan planOfCabinet(const CabArchive& archive, uint32_t index) {
    bool previousWentOn = false;
    if (index > 0) {
        for (const FileEntry& f : archive.cabinets[index - 1].directory.entries) {
            if (f.continuesIntoNext()) previousWentOn = true;
        }
    }
    return planVisits(archive.cabinets[index].directory, previousWentOn);
}

std::vector<KnownRefusal> knownRefusals(const CabArchive& archive, uint32_t index,
                                        const VisitPlan& plan) {
    const Cabinet& cabinet = archive.cabinets[index];
    std::vector<KnownRefusal> refusals;
    for (const Refusal& refusal : plan.refused) {
        const bool damaged = refusal.reason.rfind("cabinet is damaged", 0) == 0;
        refusals.push_back(
            {refusal.entry, damaged ? CabOutcomeDamaged : CabOutcomeUnreachable, refusal.reason});
    }
    const bool last = index + 1 == archive.cabinets.size();
    for (const FileEntry& file : cabinet.directory.entries) {
        if (file.continuesFromPrevious() && index == 0) {
            refusals.push_back({file.listIndex, CabOutcomeUnreachable,
                                "its data begins in cabinet '" + cabinet.directory.previousCabinet +
                                    "', which the archive does not have"});
        } else if (file.continuesIntoNext() && last) {
            refusals.push_back({file.listIndex, CabOutcomeUnreachable,
                                "its data goes on in cabinet '" + cabinet.directory.nextCabinet +
                                    "', which the archive does not have",
                                true});
        }
    }
    return refusals;
}

void findKnownProblems(CabArchive& archive) {
    archive.known.assign(archive.entries.size(), KnownProblem{});
    std::vector<std::vector<uint32_t>> entryAt(archive.cabinets.size());
    for (uint32_t c = 0; c < archive.cabinets.size(); ++c) {
        entryAt[c].assign(archive.cabinets[c].directory.entries.size(), UINT32_MAX);
    }
    for (uint32_t e = 0; e < archive.entries.size(); ++e) {
        entryAt[archive.entries[e].cabinet][archive.entries[e].listIndex] = e;
    }
    for (uint32_t c = 0; c < archive.cabinets.size(); ++c) {
        for (const KnownRefusal& refusal : knownRefusals(archive, c, planOfCabinet(archive, c))) {
            const uint32_t entry = entryAt[c][refusal.listIndex];
            // The first refusal is the one an extraction settles the entry with.
            if (entry == UINT32_MAX || archive.known[entry].outcome != CabOutcomeNotChosen) continue;
            archive.known[entry] = KnownProblem{refusal.outcome, refusal.reason};
        }
    }
}

}  // namespace cabarchive
