// Reading the raw fields of a cabinet's directory through the archive
// interface: a folder's compression word and a file's continuation marks.
#include <gtest/gtest.h>

#include "archive/cab_archive.h"

namespace {

struct CompressionCase {
    uint16_t typeCompress;
    int32_t method;
    uint32_t windowBits;
};

TEST(ArchiveStoredFields, CompressionWordGivesMethodAndWindow) {
    const CompressionCase cases[] = {
        {0x0000, CabMethodStored, 0},
        {0x0001, CabMethodMszip, 15},
        {0x0F01, CabMethodMszip, 15},     // MSZIP has one window whatever the parameter says
        {0x0A02, CabMethodQuantum, 10},
        {0x1502, CabMethodQuantum, 21},
        {0x0F03, CabMethodLzx, 15},
        {0x1503, CabMethodLzx, 21},
        {0xF503, CabMethodLzx, 21},       // bits above the parameter are not part of it
        {0x1513, CabMethodLzx, 21},       // bits 4-7 are not part of the method
        {0x0004, -1, 0},
        {0x150F, -1, 0},
    };
    for (const CompressionCase& c : cases) {
        uint32_t windowBits = 99;
        EXPECT_EQ(cabArchiveCompressionMethod(c.typeCompress, &windowBits), c.method)
            << std::hex << c.typeCompress;
        EXPECT_EQ(windowBits, c.windowBits) << std::hex << c.typeCompress;
        EXPECT_EQ(cabArchiveCompressionMethod(c.typeCompress, nullptr), c.method)
            << "without a window: " << std::hex << c.typeCompress;
    }
}

TEST(ArchiveStoredFields, FolderIndexMarksContinuedFiles) {
    EXPECT_EQ(cabArchiveFolderContinues(0), 0);
    EXPECT_EQ(cabArchiveFolderContinues(7), 0);
    EXPECT_EQ(cabArchiveFolderContinues(0xFFFC), 0);
    EXPECT_EQ(cabArchiveFolderContinues(0xFFFD), CAB_CONTINUES_FROM_PREVIOUS);
    EXPECT_EQ(cabArchiveFolderContinues(0xFFFE), CAB_CONTINUES_INTO_NEXT);
    EXPECT_EQ(cabArchiveFolderContinues(0xFFFF), CAB_CONTINUES_FROM_PREVIOUS | CAB_CONTINUES_INTO_NEXT);
}

}  // namespace
