#include "DataFile.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
#include <strings.h>
#include <sys/stat.h>
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

// Repeats a system call that a signal interrupted.
template <class Call>
auto Retried(Call call)
{
    decltype(call()) result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

bool IsUtf8(const std::string& codeset)
{
    return ::strcasecmp(codeset.c_str(), "UTF-8") == 0 || ::strcasecmp(codeset.c_str(), "UTF8") == 0;
}

std::size_t Utf8SequenceLength(char lead)
{
    const auto byte = static_cast<unsigned char>(lead);
    return byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
}

// `text` in `codeset`; a character the codeset lacks becomes "?". A codeset
// iconv does not know gives UTF-8 rather than nothing.
QByteArray Encoded(const QString& text, const std::string& codeset)
{
    QByteArray utf8 = text.toUtf8();
    if (IsUtf8(codeset))
        return utf8;
    const iconv_t converter = ::iconv_open(codeset.c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return utf8;

    QByteArray out;
    // A null input returns a stateful codeset to its initial shift state.
    const auto convert = [&](char* input, std::size_t size) {
        char buffer[32];
        char* next = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t result = input ? ::iconv(converter, &input, &size, &next, &room)
                                         : ::iconv(converter, nullptr, nullptr, &next, &room);
        out.append(buffer, next - buffer);
        return result != static_cast<std::size_t>(-1);
    };
    // One character at a time, so that a "?" is also right inside a shift state.
    char question[] = "?";
    for (qsizetype i = 0; i < utf8.size();) {
        const auto length = static_cast<qsizetype>(Utf8SequenceLength(utf8[i]));
        const qsizetype size = std::min(length, utf8.size() - i);
        if (!convert(utf8.data() + i, static_cast<std::size_t>(size)))
            convert(question, 1);
        i += size;
    }
    convert(nullptr, 0);
    ::iconv_close(converter);
    return out;
}

} // namespace

TDataFile::DiskCalls TDataFile::SystemDisk()
{
    return {&::pwrite, &::fdatasync};
}

TDataFile::TDataFile() : m_disk(SystemDisk())
{
}

TDataFile::~TDataFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void TDataFile::Rewrite(const QString& path, const std::string& codeset)
{
    Open(path, codeset, O_CREAT, 0);
}

void TDataFile::Reopen(const QString& path, off_t length, const std::string& codeset)
{
    // Not created: a file that has gone is not the case's record.
    Open(path, codeset, 0, length);
}

void TDataFile::Open(const QString& path, const std::string& codeset, int create, off_t length)
{
    if (m_fd >= 0)
        Close();
    m_codeset = codeset;
    m_end = 0;
    m_torn = false;

    // Non-blocking, or a named pipe would hold the open until someone reads
    // it; not truncating, so that what is refused is left as it was.
    const QByteArray name = QFile::encodeName(path);
    const int fd = Retried([&name, create] {
        return ::open(name.constData(), O_WRONLY | create | O_NONBLOCK | O_CLOEXEC, 0666);
    });
    if (fd < 0) {
        Fail(IoCode(errno));
        return;
    }
    int error = 0;
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = IoCode(errno);
    } else if (!S_ISREG(status.st_mode) || status.st_size < length) {
        // Shorter than what was written to it: it is not the same record.
        error = IoAccessDenied;
    } else if (Retried([fd, length] { return ::ftruncate(fd, length); }) != 0) {
        error = IoCode(errno);
    } else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            error = IoCode(errno);
    }
    if (error != 0) {
        ::close(fd);
        Fail(error);
        return;
    }
    m_fd = fd;
    m_end = length;
}

void TDataFile::WriteLines(const QStringList& lines)
{
    if (m_fd < 0) {
        Fail(IoFileNotOpen);
        return;
    }
    // Nothing may follow a torn line that could not be cut.
    if (m_torn && !CutBack())
        return;

    QString text;
    for (const QString& line : lines)
        text += line + QLatin1String("\r\n");
    const QByteArray bytes = Encoded(text, m_codeset);
    if (!WriteAll(bytes)) {
        CutBack();
        return;
    }
    // On disk before the caller goes on, or a power cut could take it. A
    // file system that cannot force its data (EINVAL) keeps it as it can.
    if (Retried([this] { return m_disk.Sync(m_fd); }) != 0 && errno != EINVAL) {
        Fail(IoCode(errno));
        CutBack();
        return;
    }
    m_end += static_cast<off_t>(bytes.size());
}

bool TDataFile::WriteAll(const QByteArray& bytes)
{
    // The kernel copies the part of a write that falls in one memory page
    // whole, even when the process is killed, but may stop between pages.
    // Written last page first, a row cut short by a kill begins with a hole
    // of NUL bytes, which no reader takes for a row, instead of stopping
    // halfway through a number that would read as a smaller one.
    static const off_t page = std::max(::sysconf(_SC_PAGESIZE), 512L);
    off_t end = m_end + static_cast<off_t>(bytes.size());
    while (end > m_end) {
        const off_t start = std::max(m_end, (end - 1) / page * page);
        if (!WriteRange(bytes.constData() + (start - m_end), static_cast<std::size_t>(end - start), start))
            return false;
        end = start;
    }
    return true;
}

bool TDataFile::WriteRange(const char* data, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t written = Retried([&] { return m_disk.Write(m_fd, data, size, offset); });
        if (written <= 0) {
            // A file that takes no byte and names no error is full all the same.
            Fail(written < 0 ? IoCode(errno) : IoDiskFull);
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += written;
    }
    return true;
}

bool TDataFile::CutBack()
{
    m_torn = Retried([this] { return ::ftruncate(m_fd, m_end); }) != 0;
    if (m_torn)
        Fail(IoCode(errno));
    return !m_torn;
}

bool TDataFile::IsLinked() const
{
    struct stat status {};
    return m_fd >= 0 && ::fstat(m_fd, &status) == 0 && status.st_nlink > 0;
}

void TDataFile::Close()
{
    if (m_fd < 0) {
        Fail(IoFileNotOpen);
        return;
    }
    // A torn line left by the last failure gets a last chance to go.
    if (m_torn)
        CutBack();
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
