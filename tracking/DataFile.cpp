#include "DataFile.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

int IoCode(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return IoFileNotFound;
    case ENAMETOOLONG:
    case EINVAL:
        return 3; // invalid filename
    case EMFILE:
    case ENFILE:
        return 4; // too many open files
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return IoAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return IoDiskFull;
    default:
        return error;
    }
}

} // namespace

TDataFile::~TDataFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void TDataFile::Rewrite(const QString& path)
{
    if (m_fd >= 0)
        Close();
    const QByteArray name = QFile::encodeName(path);
    do
        m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        Fail(IoCode(errno));
}

void TDataFile::WriteLine(const QString& line)
{
    if (m_fd < 0) {
        Fail(IoFileNotOpen);
        return;
    }
    // One byte per character; what Latin-1 cannot hold becomes "?".
    WriteAll(line.toLatin1() + "\r\n");
}

void TDataFile::WriteAll(const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail(IoCode(errno));
            return;
        }
        data += written;
        left -= written;
    }
}

void TDataFile::Close()
{
    if (m_fd < 0) {
        Fail(IoFileNotOpen);
        return;
    }
    // The descriptor is released even when close reports an error.
    const int result = ::close(m_fd);
    m_fd = -1;
    if (result != 0 && errno != EINTR)
        Fail(IoCode(errno));
}

int TDataFile::IOResult()
{
    const int error = m_error;
    m_error = 0;
    return error;
}

void TDataFile::Fail(int code)
{
    if (m_error == 0)
        m_error = code;
}
