// The three commands; each returns the process exit status.
#pragma once

#include <string>

namespace cabtool {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// One line per file of the set, then a summary.
int listCabinets(const std::string& cabinet);

// Decodes every file of the set, checking every data block, writing nothing.
int testCabinets(const std::string& cabinet);

// Extracts every file of the set below `directory`.
int extractCabinets(const std::string& cabinet, const std::string& directory);

}  // namespace cabtool
