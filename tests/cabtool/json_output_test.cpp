// The JSON listing record: escaping, dates, attributes, methods and windows.
#include <gtest/gtest.h>

#include "tools/cabtool/output/json_output.h"

using cabtool::FileRecord;
using cabtool::fileRecordJson;
using cabtool::jsonString;

TEST(JsonOutput, StringsEscapeQuotesBackslashesAndControls) {
    EXPECT_EQ(jsonString("plain"), "\"plain\"");
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString("\x1B[2J\n\x7F"), "\"\\u001b[2J\\u000a\\u007f\"");
    EXPECT_EQ(jsonString("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
}

TEST(JsonOutput, RecordCarriesEveryFieldOfAFile) {
    FileRecord r;
    r.name = "sub/data.bin";
    r.size = 2500;
    r.date = uint16_t((2021 - 1980) << 9 | 3 << 5 | 4);
    r.time = uint16_t(5 << 11 | 6 << 5 | 4);
    r.attributes = 0x21;
    r.folder = 1;
    r.typeCompress = 0x1503;  // LZX, window 2^21
    r.cabinet = "disk1.cab";
    EXPECT_EQ(fileRecordJson(r),
              "{\"name\": \"sub/data.bin\", \"size\": 2500, \"modified\": \"2021-03-04T05:06:08\", "
              "\"attributes\": [\"read-only\", \"archive\"], \"folder\": 1, \"method\": \"LZX\", "
              "\"window\": 2097152, \"cabinet\": \"disk1.cab\"}");

    r.typeCompress = 0x1002;  // Quantum, 2^16
    r.cabinetOffset = 4096;
    r.date = uint16_t((2021 - 1980) << 9 | 2 << 5 | 29);  // 29 February of a common year
    const std::string quantum = fileRecordJson(r);
    EXPECT_NE(quantum.find("\"method\": \"Quantum\", \"window\": 65536"), std::string::npos) << quantum;
    EXPECT_NE(quantum.find("\"modified\": null"), std::string::npos) << quantum;
    EXPECT_NE(quantum.find("\"offset\": 4096}"), std::string::npos) << quantum;

    r.typeCompress = 0x0001;
    EXPECT_NE(fileRecordJson(r).find("\"method\": \"MSZIP\", \"window\": 32768"), std::string::npos);
    r.typeCompress = 0x0000;
    EXPECT_NE(fileRecordJson(r).find("\"method\": \"stored\", \"window\": null"), std::string::npos);
    r.typeCompress.reset();
    EXPECT_NE(fileRecordJson(r).find("\"method\": \"unknown\""), std::string::npos);
}
