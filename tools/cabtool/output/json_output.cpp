#include "tools/cabtool/output/json_output.h"

#include <cstdio>

#include "archive/cab_archive.h"
#include "tools/cabtool/output/dos_date_text.h"

namespace cabtool {
namespace {

std::string isoDateTime(uint16_t date, uint16_t time) {
    const DosDateFields f = unpackDosDateTime(date, time);
    const int year = f.year, month = f.month, day = f.day;
    const int hour = f.hour, minute = f.minute, second = f.second;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return "null";
    static constexpr int kDaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDaysIn[month - 1] || (month == 2 && day == 29 && !leap)) return "null";
    char text[96];  // room for any int the fields could hold
    std::snprintf(text, sizeof text, "\"%04d-%02d-%02dT%02d:%02d:%02d\"", year, month, day, hour,
                  minute, second);
    return text;
}

std::string attributeWords(uint16_t attributes) {
    static constexpr struct {
        uint16_t bit;
        const char* word;
    } kWords[] = {{CabAttributeReadOnly, "read-only"},
                  {CabAttributeHidden, "hidden"},
                  {CabAttributeSystem, "system"},
                  {CabAttributeArchive, "archive"},
                  {CabAttributeRunAfterExtract, "run-after-extraction"},
                  {CabAttributeNameIsUtf8, "utf-8-name"}};
    std::string list = "[";
    for (const auto& w : kWords) {
        if ((attributes & w.bit) == 0) continue;
        if (list.size() > 1) list += ", ";
        list += jsonString(w.word);
    }
    return list + "]";
}

void methodAndWindow(const std::optional<uint16_t>& type, std::string& method, std::string& window) {
    window = "null";
    if (!type) {
        method = "unknown";
        return;
    }
    uint32_t windowBits = 0;
    switch (cabArchiveCompressionMethod(*type, &windowBits)) {
        case CabMethodStored: method = "stored"; return;
        case CabMethodMszip: method = "MSZIP"; break;
        case CabMethodQuantum: method = "Quantum"; break;
        case CabMethodLzx: method = "LZX"; break;
        default: method = "unknown"; return;
    }
    window = std::to_string(uint64_t(1) << windowBits);
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto b = uint8_t(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", b);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string fileRecordJson(const FileRecord& r) {
    std::string method, window;
    methodAndWindow(r.typeCompress, method, window);
    std::string json = "{\"name\": " + jsonString(r.name) + ", \"size\": " + std::to_string(r.size) +
                       ", \"modified\": " + isoDateTime(r.date, r.time) +
                       ", \"attributes\": " + attributeWords(r.attributes) +
                       ", \"folder\": " + std::to_string(r.folder) +
                       ", \"method\": " + jsonString(method) + ", \"window\": " + window +
                       ", \"cabinet\": " + jsonString(r.cabinet);
    if (r.cabinetOffset) json += ", \"offset\": " + std::to_string(*r.cabinetOffset);
    return json + "}";
}

}  // namespace cabtool
