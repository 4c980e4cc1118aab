// The machine-readable listing (list --json): a JSON array with one object
// per file, one object per line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cabtool {

struct FileRecord {
    std::string name;          // UTF-8, '/' between directories
    uint32_t size = 0;
    uint16_t date = 0;         // DOS date and time as stored
    uint16_t time = 0;
    uint16_t attributes = 0;   // as stored
    uint16_t folder = 0;       // index of its folder in the cabinet it starts in
    std::optional<uint16_t> typeCompress;  // that folder's compression word, when known
    std::string cabinet;       // path of the cabinet it starts in
    std::optional<uint64_t> cabinetOffset;  // where that cabinet begins inside its file
};

// `text` as a JSON string literal; control characters are escaped.
std::string jsonString(std::string_view text);

// One object: name, size, modified (ISO 8601 local date-time, null when the
// stored date is not a valid one), attributes (list of words), folder,
// method ("stored", "MSZIP", "Quantum", "LZX" or "unknown"), window (bytes,
// null for stored), cabinet and, for a cabinet inside another file, offset.
std::string fileRecordJson(const FileRecord& record);

}  // namespace cabtool
