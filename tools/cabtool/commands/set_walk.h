// One walk over the cabinets of each source's set through the archive
// library, in the order the old decoder walk took them: the library
// extracts, and the walk words what it settles as cabtool always has,
// leaving to the command what a settled file means to it.
#pragma once

#include <cstdint>
#include <string>

#include "archive/cab_archive.h"
#include "tools/cabtool/files/cabinet_sources.h"
#include "tools/cabtool/commands/file_entry.h"
#include "tools/cabtool/output/ordered_lines.h"
#include "tools/cabtool/output/progress.h"
#include "tools/cabtool/options/run_options.h"

namespace cabtool {

// What a command makes of the files a walk settles. The walk calls these in
// the order the old walk reported them; lines kept in `lines` are printed
// after each cabinet.
class WalkFindings {
public:
    WalkFindings(const RunOptions& o, Progress& p) : options(o), progress(p) {}
    virtual ~WalkFindings() = default;
    WalkFindings(const WalkFindings&) = delete;
    WalkFindings& operator=(const WalkFindings&) = delete;

    const RunOptions& options;
    Progress& progress;
    OrderedLines lines;
    uint64_t notReached = 0;  // chosen files the walk stopped before
    // Files of the starting cabinet whose data begins before it are told
    // after the files its directory places where no data can be.
    bool damageFirst = false;
    // A damaged data block is named only in a cabinet whose folder table
    // was read whole; in others the cabinet is said to be damaged.
    bool blocksNamedWithFolderTableOnly = false;

    // The command's word for a file done, in "not DONE: it is continued
    // from the earlier cabinet ...".
    virtual const char* doneWord() const = 0;
    // A chosen file whose data came out whole (CabOutcomeExtracted), or in
    // full from blocks whose checksum failed (CabOutcomeSalvaged).
    virtual void passed(const FileEntry& file, uint32_t index, int32_t outcome) = 0;
    // A chosen file whose data could not be decoded: it ends the walk.
    virtual void failed(const FileEntry& file) = 0;
    // A chosen file refused before or without decoding, and why.
    virtual void refused(const FileEntry& file, const std::string& reason) = 0;
    // A chosen file decoded but not put where it goes (its name, its
    // output), and why in the library's words. True when the walk ends
    // there: the command has then stopped the extraction (its stop flag),
    // and the chosen files it did not reach count as not reached.
    virtual bool notWritten(const FileEntry& file, uint32_t index, int32_t outcome,
                            const std::string& reason) = 0;
    // Sets where the bytes go and how: a directory, salvage, a prefix for
    // temporary files. Left alone, bytes go to write() below.
    virtual void configure(CabArchiveExtraction& extraction, CabArchiveEvents& events) = 0;
    // The chosen entries `entries` of cabinet `cabinet` are about to be
    // written: false refuses the cabinet (reported), ending the walk there.
    virtual bool cabinetReady(const CabArchive* archive, uint32_t cabinet,
                              const std::vector<uint32_t>& entries) = 0;
    // Bytes of a file written through the sink; -1 stops the extraction.
    virtual int write(uint32_t index, const void* data, uint32_t size) = 0;
    // A file written through the sink is done with `outcome`.
    virtual void ended(uint32_t index, int32_t outcome) = 0;

    // Prints the lines of the cabinet just walked.
    void cabinetDone();
};

// Walks the set of `source` from its first cabinet; when that walk fails
// before the cabinet named on the command line, walks again from there.
// False when some of it could not be walked (reported).
bool walkSource(WalkFindings& findings, const CabinetSource& source);

}  // namespace cabtool
