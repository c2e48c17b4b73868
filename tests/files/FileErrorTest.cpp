// The named errors: their classic codes, the classic texts and the words.

#include "FileError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

struct ClassicCase {
    const char* name;
    FileError error;
    int code;
    const char* text;    // EInOutError's
    const char* message; // the error in words
};

void PrintTo(const ClassicCase& c, std::ostream* os)
{
    *os << c.name;
}

class ClassicCode : public ::testing::TestWithParam<ClassicCase> {};

TEST_P(ClassicCode, AndItsTexts)
{
    const ClassicCase& c = GetParam();
    EXPECT_EQ(c.error.IoCode(), c.code);
    const EInOutError exception(c.error.IoCode());
    EXPECT_STREQ(exception.what(), c.text);
    EXPECT_EQ(exception.ErrorCode, c.code);
    EXPECT_EQ(c.error.Message(), c.message);
}

FileError Errno(int error)
{
    return FileError::FromErrno(error, "write", "/x/case.csv");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ClassicCode,
    ::testing::Values(
        ClassicCase{"NotFound", Errno(ENOENT), 2, "File not found", "cannot write /x/case.csv: No such file or directory"},
        ClassicCase{"NameTooLong", Errno(ENAMETOOLONG), 3, "Invalid filename", "cannot write /x/case.csv: File name too long"},
        ClassicCase{"AccessDenied", Errno(EACCES), 5, "File access denied", "cannot write /x/case.csv: Permission denied"},
        ClassicCase{"ReadOnlyDisk", Errno(EROFS), 5, "File access denied", "cannot write /x/case.csv: Read-only file system"},
        ClassicCase{"DiskFull", Errno(ENOSPC), 101, "Disk full", "cannot write /x/case.csv: No space left on device"},
        // Not "File access denied", which EIO's own number would read as.
        ClassicCase{"DeviceFault", Errno(EIO), 29, "I/O error 29", "cannot write /x/case.csv: Input/output error"},
        ClassicCase{"APipe", FileError::Found(FileFault::IsPipe, "open", "/x/p"), 5, "File access denied",
                    "cannot open /x/p: it is a named pipe, not a file"},
        ClassicCase{"TakesNothing", FileError::Found(FileFault::DiskFull, "write", "/x/c"), 101, "Disk full",
                    "cannot write /x/c: the disk is full"},
        ClassicCase{"NeverOpened", FileError::Found(FileFault::NotOpen, "write", ""), 103, "I/O error 103",
                    "cannot write: the file is not open"},
        ClassicCase{"Nothing", FileError{}, 0, "I/O error 0", ""}),
    [](const auto& p) { return std::string(p.param.name); });

// The classic texts without a named error behind them.
TEST(InOutErrorMessage, ClassicTexts)
{
    EXPECT_EQ(InOutErrorMessage(100), "Read beyond end of file");
    EXPECT_EQ(InOutErrorMessage(106), "Invalid numeric input");
    EXPECT_EQ(InOutErrorMessage(1), "I/O error 1");
}

} // namespace
