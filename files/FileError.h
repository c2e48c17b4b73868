#pragma once
// What went wrong with a file, by name and in words, and the classic
// numeric input/output codes the data file reports through IOResult.

#include <stdexcept>
#include <string>

enum class FileFault {
    None,
    NotFound,     // no such file, or a folder on the way is missing
    AccessDenied,
    ReadOnly,     // a read-only file system
    DiskFull,
    IoError,      // the device failed
    IsDirectory,  // something other than a regular file stands at the path
    IsPipe,
    IsDevice,
    IsSocket,
    IsSymlink,
    NotRegular,
    TooManyOpen,
    InvalidName,
    NotOpen,
    Locked,       // another open file holds the lock
    Shortened,    // shorter than what was written to it
    OtherOwner,   // a file of another user
    Replaced,     // another file than the one expected stands at the path
    Other,
};

// A failed operation on a path; converts to false when nothing failed.
struct FileError {
    FileFault Fault = FileFault::None;
    int Errno = 0;          // 0 when the fault was found rather than reported
    std::string Operation;  // "open", "write", "rename /a/x.tmp to", ...
    std::string Path;

    // From the errno of a failed call.
    static FileError FromErrno(int error, std::string operation, std::string path);
    // Something found at the path that is not what was asked for.
    static FileError Found(FileFault fault, std::string operation, std::string path);

    explicit operator bool() const { return Fault != FileFault::None; }

    // "cannot open /x/case.journal: it is a named pipe, not a file".
    std::string Message() const;
    // The reason alone: "it is a named pipe, not a file", "Disk quota exceeded".
    std::string Reason() const;
    // The classic code for IOResult.
    int IoCode() const;
};

// Classic input/output error codes.
inline constexpr int IoFileNotFound = 2;
inline constexpr int IoInvalidFilename = 3;
inline constexpr int IoTooManyOpenFiles = 4;
inline constexpr int IoAccessDenied = 5;
inline constexpr int IoReadBeyondEnd = 100;
inline constexpr int IoDiskFull = 101;
inline constexpr int IoFileNotOpen = 103;
inline constexpr int IoInvalidNumericInput = 106;
// A device that failed has no classic code of its own; the system's number
// for it (EIO, 5) would read as "File access denied". This is the classic
// write fault's.
inline constexpr int IoDeviceFault = 29;

// "File not found", "Disk full", ..., else "I/O error <code>".
std::string InOutErrorMessage(int code);

// An input/output error of the data file, with the classic codes.
class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(int code);
    int ErrorCode;
};
