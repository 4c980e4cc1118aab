// The three commands; each returns the process exit status.
#pragma once

#include <vector>

#include "tools/cabtool/files/cabinet_sources.h"
#include "tools/cabtool/options/run_options.h"

namespace cabtool {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// One line per chosen file of every cabinet and set, then a summary; or,
// with options.json, one JSON array of file records.
int listCabinets(const std::vector<CabinetSource>& sources, const RunOptions& options);

// Decodes every chosen file, checking every data block, writing nothing.
int testCabinets(const std::vector<CabinetSource>& sources, const RunOptions& options);

// Extracts every chosen file below options.directory, or to standard output
// with options.pipe.
int extractCabinets(const std::vector<CabinetSource>& sources, const RunOptions& options);

}  // namespace cabtool
