#include "tools/cabtool/options/help_text.h"

namespace cabtool {

const char* const kUsageLine =
    "usage: cabtool list|test|extract [OPTION]... CABINET... | --help | --version";

const char* const kVersionLine = "cabtool " QMORA_VERSION "\n";

const char* const kHelpText = R"(cabtool - list, test and extract cabinet (.cab) archives

usage:
  cabtool list [-j] [-f PATTERN]... [-e ENCODING] [-q] CABINET...
  cabtool test [-f PATTERN]... [-e ENCODING] [-q] CABINET...
  cabtool extract [-d DIR | -p] [-f PATTERN]... [-L] [-k] [-s] [-e ENCODING]
                  [-q] CABINET...
  cabtool --help | --version

commands:
  list      Print one line per file: size in bytes, date and time, attributes
            and the name, then the number of files and their total size.
            Attributes: r read-only, h hidden, s system, a archive, x run
            after extraction; '-' where a bit is clear. Several cabinets each
            get a heading, their own table and totals, then a grand total.
  test      Decode every file and verify every data block's checksum without
            writing anything.
  extract   Write every file below DIR (default: the current directory),
            creating the directories that backslash-separated names ask for.
            Each file gets the modification time stored with it (read as
            local time); a file marked read-only loses its write permissions.

options:
  -d DIR, --directory DIR     extract: write below DIR; created when missing
  -p, --pipe                  extract: write the chosen files' contents to
                              standard output, in the order they are stored,
                              and nothing else there
  -f PATTERN, --filter PATTERN
                              only files whose name matches PATTERN
                              (repeatable; any pattern may match)
  -L, --lowercase             extract: write the names in lower case
  -k, --keep                  extract: never replace an existing file
  -s, --salvage               extract: get every byte that can be had out of
                              a damaged cabinet (see salvage below)
  -j, --json                  list: a JSON array, one object per file
  -e NAME, --encoding NAME    code page of names without the UTF-8 attribute
                              (default windows-1252)
  -q, --quiet                 print nothing but errors (list still lists)
  -T N, --threads N           test, extract: decode a cabinet's folders on up
                              to N threads, 1 to 256 (default: one per
                              online processor); what is printed and
                              written is the same for any N
  -h, --help                  show this text
  --version                   show the version

  Short options combine: -qj is -q -j; -qd DIR and -qdDIR give -d its value.
  '--' ends the options. Every argument after the options must be a
  readable file, or nothing is done (status 2): files inside a cabinet are
  chosen with -f. Names are printed as extract writes them, with '/' between
  directories.

cabinets:
  Each CABINET named is handled in turn. A cabinet of a set is read with the
  whole set, from its first cabinet: started at a later member, cabtool
  follows the previous-cabinet names back and says so; when the walk from
  the first cabinet fails before the one named, it starts again at the one
  named. The following cabinets are looked for in the same directory, under
  the names the headers give (a name differing only in letter case is
  accepted). A later member of a set already read is not read again. A
  missing or wrong next cabinet ends that set with a message naming it. A
  damaged file list ends its cabinet where the damage is, after the files
  listed before it. A file that no walk through the set can reach, or that
  is continued from a cabinet that cannot be read, is reported by name,
  counted in the summary, and makes the exit status 1. A file that is not a
  cabinet (a self-extracting program, a disk
  image) is searched for cabinets stored inside it; each one whose header is
  consistent is reported with its offset and handled like a cabinet file
  (a search a file makes too costly is stopped, with a message and status 1).

filters:
  Shell-style patterns on the name with '/' between directories: '*' any run
  of characters within a directory level, '**' across levels, '?' one
  character, '[a-z]' or '[!a-z]' one character of a set or not, '\' the next
  character as it is. '\' also works as a separator, except before '[' or
  ']', which it makes literal. A pattern without a separator matches the
  last part of the name, so '*.dll' chooses every DLL in every directory.
  ASCII letters match in either case. A pattern that matches no file is
  reported ("no file matches PATTERN") and makes the exit status 1.

names:
  A name stored with the UTF-8 attribute is read as UTF-8; any other name is
  converted from the code page --encoding names: windows-1252 (cp1252),
  cp437, cp850, iso-8859-1 (latin1) and utf-8 are built in, and any name the
  C library's iconv knows is accepted. Undecodable bytes become U+FFFD;
  control characters and characters that break or reorder a line become '_'.
  Bytes of names that a terminal could act on are printed as \xHH.

json:
  list --json prints one object per file with "name", "size", "modified"
  (ISO 8601 local date and time, or null), "attributes", "folder", "method"
  ("stored", "MSZIP", "Quantum", "LZX"), "window" (bytes, or null),
  "cabinet" and, for a cabinet inside another file, "offset".

safety:
  Nothing is ever written outside DIR. A stored name that is absolute, or
  contains a ':' or a '..' component, is refused: that file is reported and
  skipped, the others are extracted. A symbolic link already in
  DIR is never followed: one in a file's directory path makes that file
  fail, one at a file's name is replaced by the file (kept with --keep).
  Each file is written under a temporary name and renamed into place only
  when it is complete, so a failed extraction leaves no partial file, and an
  existing file of the same name is replaced only by a complete new one. An
  interrupted extraction removes the file in progress and the directories
  it created that are still empty, and clears the progress line; a cabinet
  whose files would not fit in the free space of DIR is refused before
  anything of it is written.

damage:
  Damage in a cabinet's data is named with what was found and where:
  "checksum mismatch in data block 3 of folder 0", "data block 3 of folder 0
  is cut short", or "the compressed data could not be decoded in data block
  3 of folder 0" (blocks and folders count from 0).

salvage:
  With --salvage (not with --pipe), a data block whose checksum does not
  match is reported and decoded anyway; a file whose data cannot be decoded
  to its end is still written, the missing bytes as zeros so that its size
  is right, and the cabinet's other files are still tried. Each file that
  may be damaged is printed as 'salvaged NAME  (may be damaged)', or named
  on standard error with --quiet, and counted as "salvaged, may be damaged"
  in the summary; the exit status is then 1. Without --salvage no damaged
  data and no partial file is ever written.

progress:
  On a terminal, a test or extraction of more than 64 MB, or of a set of 10
  cabinets or more, shows the bytes done of the total and the file in hand on
  standard error, redrawn in place and cleared at the end (not with --quiet).

environment:
  QMORA_QUANTUM_PAGES=N       diagnostic (N >= 3): Quantum folders are decoded
                              with their window in at most N pages of 4 KB,
                              spilled to an unlinked temporary file in TMPDIR
                              (default /tmp), instead of one block of memory

exit status:
  0  everything succeeded
  1  a cabinet or a file failed, a file was salvaged, or a filter matched no
     file (the cabinet, the file and the reason are on standard error)
  2  the command line was wrong, or an argument is not a readable file
)";

}  // namespace cabtool
