#include "FileError.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

FileFault FaultOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FileFault::NotFound;
    case EACCES:
    case EPERM:
    case ETXTBSY:
        return FileFault::AccessDenied;
    case EROFS:
        return FileFault::ReadOnly;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileFault::DiskFull;
    case EIO:
        return FileFault::IoError;
    case EISDIR:
        return FileFault::IsDirectory;
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
        return FileFault::InvalidName;
    case EMFILE:
    case ENFILE:
        return FileFault::TooManyOpen;
    case EBADF:
        return FileFault::NotOpen;
    case EWOULDBLOCK:
        return FileFault::Locked;
    default:
        return FileFault::Other;
    }
}

} // namespace

FileError FileError::FromErrno(int error, std::string operation, std::string path)
{
    return {error == 0 ? FileFault::Other : FaultOf(error), error, std::move(operation), std::move(path)};
}

FileError FileError::Found(FileFault fault, std::string operation, std::string path)
{
    return {fault, 0, std::move(operation), std::move(path)};
}

std::string FileError::Reason() const
{
    if (Errno == 0) {
        switch (Fault) {
        case FileFault::None:
            return {};
        case FileFault::IsDirectory:
            return "it is a folder, not a file";
        case FileFault::IsPipe:
            return "it is a named pipe, not a file";
        case FileFault::IsDevice:
            return "it is a device, not a file";
        case FileFault::IsSocket:
            return "it is a socket, not a file";
        case FileFault::IsSymlink:
            return "it is a symbolic link, not a file";
        case FileFault::NotRegular:
            return "it is not a regular file";
        case FileFault::DiskFull:
            return "the disk is full";
        case FileFault::NotOpen:
            return "the file is not open";
        case FileFault::Shortened:
            return "it is shorter than what was written to it";
        case FileFault::OtherOwner:
            return "it belongs to another user";
        case FileFault::Replaced:
            return "it is not the file the case was writing";
        default:
            return "it failed";
        }
    }
    char buffer[256];
    return strerror_r(Errno, buffer, sizeof buffer);
}

std::string FileError::Message() const
{
    if (Fault == FileFault::None)
        return {};
    return "cannot " + Operation + (Path.empty() ? "" : " " + Path) + ": " + Reason();
}

int FileError::IoCode() const
{
    switch (Fault) {
    case FileFault::None:
        return 0;
    case FileFault::NotFound:
        return IoFileNotFound;
    case FileFault::InvalidName:
        return IoInvalidFilename;
    case FileFault::TooManyOpen:
        return IoTooManyOpenFiles;
    case FileFault::AccessDenied:
    case FileFault::ReadOnly:
    case FileFault::IsDirectory:
    case FileFault::IsPipe:
    case FileFault::IsDevice:
    case FileFault::IsSocket:
    case FileFault::IsSymlink:
    case FileFault::NotRegular:
    case FileFault::Locked:
    case FileFault::Shortened:
    case FileFault::OtherOwner:
    case FileFault::Replaced:
        return IoAccessDenied;
    case FileFault::DiskFull:
        return IoDiskFull;
    case FileFault::NotOpen:
        return IoFileNotOpen;
    case FileFault::IoError:
        return IoDeviceFault;
    case FileFault::Other:
        break;
    }
    return Errno != 0 ? Errno : IoDeviceFault;
}

std::string InOutErrorMessage(int code)
{
    switch (code) {
    case IoFileNotFound:
        return "File not found";
    case IoInvalidFilename:
        return "Invalid filename";
    case IoTooManyOpenFiles:
        return "Too many open files";
    case IoAccessDenied:
        return "File access denied";
    case IoReadBeyondEnd:
        return "Read beyond end of file";
    case IoDiskFull:
        return "Disk full";
    case IoInvalidNumericInput:
        return "Invalid numeric input";
    default:
        return "I/O error " + std::to_string(code);
    }
}

EInOutError::EInOutError(int code) : std::runtime_error(InOutErrorMessage(code)), ErrorCode(code)
{
}
