// unpack: extracts every file of a cabinet, and of the set it belongs to,
// into a directory.
//
//     unpack CABINET DIR
//
// DIR is created when missing. Nothing is printed on success (exit status 0).
// Each file that could not be extracted is reported on standard error as
// "unpack: NAME: REASON" and the exit status is then 1; a wrong command line
// gives a usage line and exit status 2.
//
// Build (with the library installed where pkg-config finds it):
//
//     cc -std=c11 -o unpack unpack.c $(pkg-config --cflags --libs qmora-cab)

// mkdir is POSIX, not C11: ask the C library to declare it.
#define _POSIX_C_SOURCE 200809L

#include <archive/cab_archive.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

// Creates `path` and any missing parents, like `mkdir -p`. The library
// writes below a directory that exists; making it is the program's choice.
// Returns 0, or -1 with errno set.
static int makeDirectories(const char* path) {
    char partial[4096];
    const size_t length = strlen(path);
    if (length == 0 || length >= sizeof partial) {
        errno = length == 0 ? ENOENT : ENAMETOOLONG;
        return -1;
    }
    memcpy(partial, path, length + 1);
    // Make each parent in turn by ending the string at its '/' for a moment.
    for (size_t at = 1; at <= length; ++at) {
        if (partial[at] != '/' && partial[at] != '\0') continue;
        const char kept = partial[at];
        partial[at] = '\0';
        if (mkdir(partial, 0777) != 0 && errno != EEXIST) return -1;
        partial[at] = kept;
    }
    struct stat status;
    if (stat(path, &status) != 0) return -1;
    if (!S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return -1;
    }
    return 0;
}

// Called by the library as soon as each file's outcome is known; reports
// the files that were not extracted, by the name they would have had.
static void reportFailure(void* context, uint32_t index, int32_t outcome, const char* reason) {
    CabArchive* archive = context;
    if (outcome == CabOutcomeExtracted) return;

    CabArchiveEntry entry;
    if (cabArchiveEntry(archive, index, &entry) != CabArchiveOk) return;
    // '/' between directories, as on this system; control characters in a
    // name from the file become '?' so that they cannot drive the terminal.
    fputs("unpack: ", stderr);
    for (const unsigned char* c = (const unsigned char*)entry.name; *c != '\0'; ++c) {
        fputc(*c == '\\' ? '/' : (*c < 0x20 || *c == 0x7F) ? '?' : *c, stderr);
    }
    fprintf(stderr, ": %s\n", reason != NULL ? reason : cabEntryOutcomeText(outcome));
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: unpack CABINET DIR\n");
        return 2;
    }
    const char* cabinet = argv[1];
    const char* directory = argv[2];

    // Null options: the defaults, so the cabinets before and after this one
    // in its set are looked for in its directory and join the archive.
    CabArchive* archive = NULL;
    CabArchiveError error;
    if (cabArchiveOpenPath(cabinet, NULL, &archive, &error) != CabArchiveOk) {
        fprintf(stderr, "unpack: %s\n", error.message);
        return 1;
    }

    // Only now that there is something to unpack: no empty directory is
    // left behind for a file that is not a cabinet.
    if (makeDirectories(directory) != 0) {
        fprintf(stderr, "unpack: cannot create directory '%s': %s\n", directory, strerror(errno));
        cabArchiveClose(archive);
        return 1;
    }

    // Files lost with a damaged directory or a missing cabinet of the set
    // are not entries, so no outcome will name them: say so here.
    int status = 0;
    const char* damage = cabArchiveDamage(archive);
    if (damage != NULL) {
        fprintf(stderr, "unpack: %s\n", damage);
        status = 1;
    }

    // Every entry (entries == NULL) into the directory. The library refuses
    // names that would leave it and never leaves a partial file under a
    // file's name, so a failure needs no clean-up here.
    CabArchiveExtraction extraction = {0};
    extraction.directory = directory;
    extraction.settled = reportFailure;
    extraction.context = archive;
    const int32_t result = cabArchiveExtract(archive, &extraction, &error);
    if (result == CabArchiveBadArgument || result == CabArchiveCannotOpen) {
        // Nothing was extracted and no file was told of it.
        fprintf(stderr, "unpack: %s\n", error.message);
        status = 1;
    } else if (result != CabArchiveOk) {
        status = 1;  // each file that failed was reported by reportFailure
    }

    cabArchiveClose(archive);
    return status;
}
