#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/cabtool/files/cabinet_files.h"
#include "tools/cabtool/commands/commands.h"
#include "tools/cabtool/files/interrupt_cleanup.h"
#include "tools/cabtool/output/messages.h"
#include "tools/cabtool/output/printable.h"
#include "tools/cabtool/output/progress.h"
#include "tools/cabtool/commands/set_walk.h"

namespace cabtool {
namespace {

// Counts and lines of the whole run: every byte is checked by the decoder
// and dropped.
struct TestFindings final : WalkFindings {
    using WalkFindings::WalkFindings;

    uint64_t good = 0;
    uint64_t bad = 0;

    const char* doneWord() const override { return "tested"; }
    void passed(const FileEntry& file, uint32_t, int32_t) override {
        if (!options.quiet) lines.add(file, "OK      " + printable(slashNameOf(file)));
        ++good;
    }
    void failed(const FileEntry& file) override {
        if (options.quiet) {
            reportFileError(file.cabinet, slashNameOf(file), "failed the test");
        } else {
            lines.add(file, "FAILED  " + printable(slashNameOf(file)));
        }
        ++bad;
    }
    // A file that cannot be tested: why on standard error, FAILED in the list.
    void refused(const FileEntry& file, const std::string& reason) override {
        reportFileError(file.cabinet, slashNameOf(file), reason);
        failed(file);
    }
    bool notWritten(const FileEntry& file, uint32_t, int32_t, const std::string& reason) override {
        refused(file, reason);
        return false;
    }
    void configure(CabArchiveExtraction&, CabArchiveEvents&) override {}
    bool cabinetReady(const CabArchive*, uint32_t, const std::vector<uint32_t>&) override {
        return true;
    }
    int write(uint32_t, const void*, uint32_t size) override {
        progress.addBytes(size);
        return 0;
    }
    void ended(uint32_t, int32_t) override {}
};

}  // namespace

int testCabinets(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    installInterruptCleanup();  // an interrupt clears the progress line
    const Workload load = workloadOf(sources, options);
    Progress progress(progressWanted(options), load.bytes, load.cabinets);
    setActiveProgress(&progress);
    TestFindings tally(options, progress);
    bool complete = true;
    for (const CabinetSource& source : sources) complete = walkSource(tally, source) && complete;
    progress.clear();
    setActiveProgress(nullptr);
    if (complete && tally.bad == 0) {
        if (!options.quiet) {
            std::printf("%" PRIu64 " file%s tested, all good\n", tally.good,
                        tally.good == 1 ? "" : "s");
        }
        return kExitSuccess;
    }
    if (!options.quiet) {
        std::printf("%" PRIu64 " file%s good, %" PRIu64 " failed", tally.good,
                    tally.good == 1 ? "" : "s", tally.bad);
        if (tally.notReached != 0) std::printf(", %" PRIu64 " not reached", tally.notReached);
        std::printf("\n");
    }
    return kExitFailure;
}

}  // namespace cabtool
