// A self-contained cabinet: every folder whole, every file listed once.
#include "tools/cabwriter/writer_internal.h"

namespace cabwriter {

Cabinet writeCabinet(const std::vector<Folder>& folders, const Options& options,
                     const std::string& name) {
    using namespace detail;
    std::vector<EncodedFolder> encoded;
    for (const Folder& folder : folders) encoded.push_back(encodeFolder(folder));

    CabinetPlan plan;
    plan.name = name;
    plan.iCabinet = options.firstIndex;
    plan.previousCabinet = options.previousCabinet;
    plan.previousDisk = options.previousDisk;
    plan.nextCabinet = options.nextCabinet;
    plan.nextDisk = options.nextDisk;
    for (size_t i = 0; i < folders.size(); ++i) {
        PlannedFolder planned{encoded[i].typeCompress, &folders[i].reserve, {}};
        for (const EncodedBlock& block : encoded[i].blocks) {
            planned.blocks.push_back({block.data.data(), block.data.size(),
                                      block.uncompressedSize, &folders[i].blockReserve});
        }
        plan.folders.push_back(std::move(planned));
        for (size_t f = 0; f < folders[i].files.size(); ++f) {
            plan.files.push_back(
                planFile(folders[i].files[f], encoded[i].fileStarts[f], uint16_t(i)));
        }
    }
    return buildCabinet(plan, options);
}

}  // namespace cabwriter
