/* A C program linked against the shared library by the C compiler alone:
 * each check needs the library's code, not only its headers. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "archive/cab_archive.h"
#include "cab/cab.h"
#include "cab/cab_reader.h"

static void* noMemory(uint32_t size) { (void)size; return NULL; }
static void freeBlock(void* block) { free(block); }
static int32_t openNothing(const char* path, int flags, int mode) {
    (void)path, (void)flags, (void)mode;
    return -1;
}
static int readNothing(int32_t handle, void* buffer, uint32_t count) {
    (void)handle, (void)buffer, (void)count;
    return 0;
}
static int writeNothing(int32_t handle, const void* buffer, uint32_t count) {
    (void)handle, (void)buffer, (void)count;
    return -1;
}
static int closeNothing(int32_t handle) { (void)handle; return 0; }
static int32_t seekNothing(int32_t handle, int32_t offset, int origin) {
    (void)handle, (void)offset, (void)origin;
    return -1;
}

static int failures = 0;
static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "shared_client: %s\n", what);
        ++failures;
    }
}

int main(void) {
    static const uint8_t abc[] = {'a', 'b', 'c'};
    check(cabBlockChecksum(abc, 3, 0) == 0x00616263u, "checksum of \"abc\"");

    CabError error = {0, 0, 0};
    CabDecoder* decoder = cabCreate(noMemory, freeBlock, openNothing, readNothing, writeNothing,
                                    closeNothing, seekNothing, 1, &error);
    check(decoder == NULL && error.errorCode == CabErrNoMemory && error.failed == 1,
          "a decoder without memory is refused with CabErrNoMemory");
    check(strstr(cabErrorText(CabErrNoMemory), "memory") != NULL, "the text of CabErrNoMemory");

    CabReader reader;
    cabReaderInit(&reader, readNothing, seekNothing);
    check(cabReadHeader(&reader, 3) == CabReadShortHeader, "an empty file has a short header");

    CabArchiveError archiveError;
    check(sizeof archiveError.message == CAB_ARCHIVE_MESSAGE_SIZE, "the archive error's message");

    if (failures == 0) printf("shared_client: ok\n");
    return failures == 0 ? 0 : 1;
}
