#include "DataFile.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <fcntl.h>
#include <iconv.h>
#include <string_view>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

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

TDataFile::TDataFile(FileSystem& files) : m_files(files)
{
}

void TDataFile::Rewrite(const QString& path, const std::string& codeset)
{
    Open(path, codeset, O_CREAT, 0, {});
}

void TDataFile::Reopen(const QString& path, off_t length, const std::string& codeset, FileIdentity identity)
{
    // Not created: a file that has gone is not the case's record.
    Open(path, codeset, 0, length, identity);
}

void TDataFile::Open(const QString& path, const std::string& codeset, int create, off_t length,
                     FileIdentity identity)
{
    if (m_file.IsOpen())
        Close();
    m_path = QFile::encodeName(path).toStdString();
    m_codeset = codeset;
    m_end = 0;
    m_torn = false;

    // Not truncated on open, so that what is refused is left as it was.
    // Reopened, it is read too: the rows after `length` are looked at.
    File file;
    struct stat status {};
    m_after.clear();
    FileError error = m_files.OpenRegular(m_path, (create != 0 ? O_WRONLY : O_RDWR) | create, file, 0666);
    if (!error)
        error = file.Status(status);
    // A case carried on writes only to its own record: a file of its user's,
    // no shorter than what was written to it.
    if (!error && create == 0 && status.st_uid != ::geteuid())
        error = FileError::Found(FileFault::OtherOwner, "open", m_path);
    const FileIdentity found{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    if (!error && identity && found != identity)
        error = FileError::Found(FileFault::Replaced, "open", m_path);
    if (!error && status.st_size < length)
        error = FileError::Found(FileFault::Shortened, "open", m_path);
    off_t end = length;
    if (!error && create == 0)
        error = WholeLinesAfter(file, status.st_size, length, end);
    if (!error)
        error = file.Truncate(end);
    if (error) {
        m_after.clear();
        Fail(error);
        return;
    }
    m_file = std::move(file);
    m_end = end;
    m_identity = found;
}

FileError TDataFile::WholeLinesAfter(const File& file, off_t size, off_t length, off_t& end)
{
    QByteArray content(static_cast<qsizetype>(size), '\0');
    std::size_t read = 0;
    while (read < static_cast<std::size_t>(size)) {
        std::size_t got = 0;
        if (const FileError error = file.Read(content.data() + read, static_cast<std::size_t>(size) - read, got))
            return error;
        if (got == 0)
            break;
        read += got;
    }
    // A whole line ends in CR LF and holds no NUL: a kill between the two
    // writes of a row that crosses a page leaves its start a hole of NULs.
    // What follows the last whole line is torn, and only that is cut.
    const QByteArray tail = content.left(static_cast<qsizetype>(read)).mid(static_cast<qsizetype>(length));
    qsizetype whole = 0;
    for (qsizetype lineEnd = tail.indexOf("\r\n"); lineEnd >= 0; lineEnd = tail.indexOf("\r\n", whole)) {
        if (tail.mid(whole, lineEnd - whole).contains('\0'))
            break;
        whole = lineEnd + 2;
    }
    m_after = tail.left(whole);
    end = length + static_cast<off_t>(whole);
    return {};
}

void TDataFile::WriteLines(const QStringList& lines)
{
    if (!m_file.IsOpen()) {
        Fail(FileError::Found(FileFault::NotOpen, "write", m_path));
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
    // On disk before the caller goes on, or a power cut could take it.
    if (const FileError error = m_file.Sync(true)) {
        Fail(error);
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
        const std::string_view part(bytes.constData() + (start - m_end), static_cast<std::size_t>(end - start));
        if (const FileError error = m_file.WriteAt(part, start)) {
            Fail(error);
            return false;
        }
        end = start;
    }
    return true;
}

bool TDataFile::CutBack()
{
    const FileError error = m_file.Truncate(m_end);
    m_torn = static_cast<bool>(error);
    if (m_torn)
        Fail(error);
    return !m_torn;
}

bool TDataFile::IsLinked() const
{
    struct stat status {};
    return m_file.IsOpen() && !m_file.Status(status) && status.st_nlink > 0;
}

void TDataFile::Close()
{
    if (!m_file.IsOpen()) {
        Fail(FileError::Found(FileFault::NotOpen, "close", m_path));
        return;
    }
    // A torn line left by the last failure gets a last chance to go.
    if (m_torn)
        CutBack();
    // The descriptor is released even when close reports an error.
    if (const FileError error = m_file.Close())
        Fail(error);
}

int TDataFile::IOResult()
{
    const int error = m_error;
    m_error = 0;
    return error;
}

void TDataFile::Fail(const FileError& error)
{
    if (m_error != 0)
        return;
    m_error = error.IoCode();
    m_failure = error;
}
