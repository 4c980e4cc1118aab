// A file in progress as the decoder sees it: its handle.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/cabtool/tool_runner.h"
#include "tests/cabtool/library_internals.h"

namespace fs = std::filesystem;

// A handle of 0 tells the decoder to skip the file. With standard input
// closed, the temporary file would get descriptor 0.
TEST(OutputFile, HandleIsNeverZeroEvenWithStandardInputClosed) {
    cabtooltest::ScratchDirectory scratch;
    const int root = open(scratch.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(root, 0);
    const int savedInput = fcntl(0, F_DUPFD_CLOEXEC, 3);
    ASSERT_GE(savedInput, 0);
    close(0);

    std::string error;
    std::optional<cabtool::OutputFile> file = cabtool::OutputFile::create(root, {"a.txt"}, error);
    const int handle = file ? file->handle() : -1;
    const bool written = handle > 0 && write(handle, "abc", 3) == 3;
    const bool committed = written && file->commit(std::nullopt, false, error);

    dup2(savedInput, 0);
    close(savedInput);
    close(root);
    ASSERT_TRUE(file.has_value()) << error;
    EXPECT_GT(handle, 0);
    EXPECT_TRUE(committed) << error;
    EXPECT_EQ(cabtooltest::readFile(scratch.path() / "a.txt"), "abc");
}
