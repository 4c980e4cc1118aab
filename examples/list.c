// list: prints the files a cabinet (and the set it belongs to) holds.
//
//     list CABINET
//
// One line per entry: its size in bytes, the date and time stored with it,
// and its name in UTF-8 with '/' between directories. Exit status 0 when the
// whole archive could be read, 1 when it could not (the reason goes to
// standard error), 2 when the command line is wrong.
//
// Build (with the library installed where pkg-config finds it):
//
//     cc -std=c11 -o list list.c $(pkg-config --cflags --libs qmora-cab)
#include <archive/cab_archive.h>

#include <inttypes.h>
#include <stdio.h>

// Prints a stored name with '/' for the cabinet's '\' separators. The byte
// '\' never occurs inside a multi-byte UTF-8 character, so replacing it byte
// by byte is safe. Control characters become '?': a name is data from the
// file and must not be able to drive the terminal.
static void printName(const char* name) {
    for (const unsigned char* c = (const unsigned char*)name; *c != '\0'; ++c) {
        if (*c == '\\') {
            putchar('/');
        } else if (*c < 0x20 || *c == 0x7F) {
            putchar('?');
        } else {
            putchar(*c);
        }
    }
    putchar('\n');
}

// Prints one entry. The date and time are printed as stored: they are the
// clock of the machine that made the cabinet, with no time zone.
static void printEntry(const CabArchiveEntry* entry) {
    const unsigned year = 1980u + (entry->dosDate >> 9);
    const unsigned month = (entry->dosDate >> 5) & 0x0Fu;
    const unsigned day = entry->dosDate & 0x1Fu;
    const unsigned hour = entry->dosTime >> 11;
    const unsigned minute = (entry->dosTime >> 5) & 0x3Fu;
    const unsigned second = (entry->dosTime & 0x1Fu) * 2u;
    printf("%10" PRIu32 "  %04u-%02u-%02u %02u:%02u:%02u  ", entry->size, year, month, day, hour,
           minute, second);
    printName(entry->name);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: list CABINET\n");
        return 2;
    }

    // Null options: the defaults, so the cabinets before and after this one
    // in its set (looked for in the same directory) are listed too.
    CabArchive* archive = NULL;
    CabArchiveError error;
    if (cabArchiveOpenPath(argv[1], NULL, &archive, &error) != CabArchiveOk) {
        fprintf(stderr, "list: %s\n", error.message);
        return 1;
    }

    const uint32_t count = cabArchiveEntryCount(archive);
    for (uint32_t index = 0; index < count; ++index) {
        CabArchiveEntry entry;
        if (cabArchiveEntry(archive, index, &entry) == CabArchiveOk) printEntry(&entry);
    }

    // A damaged directory or a missing member of the set does not fail the
    // open: what could be read was listed above, and the rest is reported
    // here so that the listing is not taken for the whole archive.
    const char* damage = cabArchiveDamage(archive);
    if (damage != NULL) fprintf(stderr, "list: %s\n", damage);

    int status = damage == NULL ? 0 : 1;
    cabArchiveClose(archive);

    // A listing cut short (a full disk, a closed pipe) is a failure too.
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "list: cannot write the listing\n");
        status = 1;
    }
    return status;
}
