// The clients' shared rule for stored file names.
#include "cab/client_names.h"

#include <gtest/gtest.h>

#include <string>

TEST(ClientNames, OnlyNamesThatStayInsideTheTargetAreUsable) {
    struct Case {
        const char* name;
        CabNameProblem expected;
    };
    const Case cases[] = {
        {"a.txt", CabNameUsable},
        {"sub\\dir/file.bin", CabNameUsable},
        {"a..b\\..c", CabNameUsable},        // dots inside names are fine
        {"a\\.\\b\\\\c", CabNameUsable},     // "." and empty components are harmless
        {"file.", CabNameUsable},
        {"", CabNameEmpty},
        {nullptr, CabNameEmpty},
        {"\\rooted", CabNameAbsolute},
        {"/etc/passwd", CabNameAbsolute},
        {"C:\\drive.txt", CabNameColon},
        {"C:relative.txt", CabNameColon},
        {"file.txt:stream", CabNameColon},   // a stream of another file on some systems
        {"..", CabNameClimbsOut},
        {"..\\up.txt", CabNameClimbsOut},
        {"sub/../../up.txt", CabNameClimbsOut},
        {"sub\\..", CabNameClimbsOut},
        {"sub\\", CabNameDirectory},
        {"sub\\.", CabNameDirectory},
        {".", CabNameNothing},
        {".\\.\\", CabNameNothing},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cabCheckStoredName(c.name), c.expected) << (c.name ? c.name : "(null)");
    }
    EXPECT_EQ(std::string(cabNameProblemText(CabNameClimbsOut)),
              "path leads out of the directory (\"..\")");
}
