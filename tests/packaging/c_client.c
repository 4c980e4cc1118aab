/* A C client of the cabinet decoder: extracts every file of one cabinet
 * into a directory, flattening stored paths ('\' becomes '_'), and prints
 * "NAME SIZE" per file. Usage: c_client CABINET-DIRECTORY/ CABINET OUTDIR */
#define _POSIX_C_SOURCE 200809L
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "cab/cab.h"

static const char* outputDirectory;

static void* allocBlock(uint32_t size) { return malloc(size ? size : 1); }
static void freeBlock(void* block) { free(block); }

static int32_t openFile(const char* path, int flags, int mode) {
    (void)mode;
    if ((flags & 3) != 0) return -1; /* the decoder only reads cabinets */
    return open(path, O_RDONLY);
}

static int readFile(int32_t handle, void* buffer, uint32_t count) {
    return (int)read(handle, buffer, count);
}

static int writeFile(int32_t handle, const void* buffer, uint32_t count) {
    return (int)write(handle, buffer, count);
}

static int closeFile(int32_t handle) { return close(handle); }

static int32_t seekFile(int32_t handle, int32_t offset, int origin) {
    return (int32_t)lseek(handle, offset, origin == 0 ? SEEK_SET : SEEK_CUR);
}

static int notify(int kind, CabNotification* n) {
    if (kind == CabNotifyOpenOutput) {
        char path[1024];
        char flat[kCabNameBufferSize];
        size_t i;
        snprintf(flat, sizeof flat, "%s", n->text1);
        for (i = 0; flat[i] != '\0'; ++i) {
            if (flat[i] == '\\' || flat[i] == '/') flat[i] = '_';
        }
        snprintf(path, sizeof path, "%s/%s", outputDirectory, flat);
        printf("%s %ld\n", n->text1, (long)n->size);
        return open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (kind == CabNotifyCloseOutput) return close(n->fileHandle) == 0 ? 1 : 0;
    return 0;
}

int main(int argc, char** argv) {
    CabError error = {0, 0, 0};
    CabInfo info;
    CabDecoder* decoder;
    char path[1024];
    int32_t handle;
    int ok;

    if (argc != 4) {
        fprintf(stderr, "usage: c_client CABINET-DIRECTORY/ CABINET OUTDIR\n");
        return 2;
    }
    outputDirectory = argv[3];
    decoder = cabCreate(allocBlock, freeBlock, openFile, readFile, writeFile, closeFile, seekFile,
                        1, &error);
    if (decoder == NULL) return 1;

    snprintf(path, sizeof path, "%s%s", argv[1], argv[2]);
    handle = openFile(path, kCabOpenFlags, kCabOpenMode);
    ok = handle >= 0 && cabIsCabinet(decoder, handle, &info);
    if (handle >= 0) closeFile(handle);
    if (ok) {
        printf("cabinet of %u files in %u folders\n", (unsigned)info.fileCount,
               (unsigned)info.folderCount);
        ok = cabExtract(decoder, argv[2], argv[1], notify, NULL, NULL);
    }
    if (!ok) fprintf(stderr, "c_client: %s\n", cabErrorText(error.errorCode));
    cabDestroy(decoder);
    return ok ? 0 : 1;
}
