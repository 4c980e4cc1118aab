#include "tools/cabtool/help_text.h"

namespace cabtool {

const char* const kUsageLine =
    "usage: cabtool list CABINET | test CABINET | extract [-d DIR] CABINET | --help";

const char* const kHelpText = R"(cabtool - list, test and extract cabinet (.cab) archives

usage:
  cabtool list CABINET
  cabtool test CABINET
  cabtool extract [-d DIR] CABINET
  cabtool --help

commands:
  list      Print one line per file: size in bytes, date and time, attributes
            and the name as stored, then the number of files and their total
            size. Attributes: r read-only, h hidden, s system, a archive,
            x run after extraction; '-' where a bit is clear.
  test      Decode every file and verify every data block's checksum without
            writing anything.
  extract   Write every file below DIR (default: the current directory),
            creating the directories that backslash-separated names ask for.
            Each file gets the modification time stored with it (read as
            local time); a file marked read-only loses its write permissions.

options:
  -d DIR, --directory DIR   extract into DIR; it is created when missing
  -h, --help                show this text

cabinet sets:
  A cabinet may be one of a set whose files go on from one cabinet into the
  next. Started at the first cabinet, every command covers the whole set: the
  following cabinets are looked for in the same directory, under the names
  the headers give (a name differing only in letter case is accepted). A
  missing or wrong next cabinet ends the command with a message naming it.
  Started at a later cabinet, files continued from an earlier one are
  skipped with a note. A file that no walk through the set can reach is
  reported by name, counted in the summary, and makes the exit status 1.

safety:
  Nothing is ever written outside DIR. A stored name that is absolute, or
  contains a ':' or a '..' component, is refused: that file is
  reported and skipped, the others are extracted. Each file is written under
  a temporary name and renamed into place only when it is complete, so a
  failed extraction leaves no partial file, and an existing file of the same
  name is replaced only by a complete new one. An interrupted extraction
  removes the file in progress; a cabinet whose files would not fit in the
  free space of DIR is refused before anything of it is written. Bytes of
  stored names that a terminal could act on are printed as \xHH.

environment:
  QMORA_QUANTUM_PAGES=N   diagnostic (N >= 3): Quantum folders are decoded
                          with their window in at most N pages of 4 KB,
                          spilled to an unlinked temporary file in TMPDIR
                          (default /tmp), instead of one block of memory

exit status:
  0  everything succeeded
  1  a cabinet or a file failed (the reason is on standard error)
  2  the command line was wrong
)";

}  // namespace cabtool
