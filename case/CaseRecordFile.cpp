#include "CaseRecordFile.h"

#include "CaseText.h"

#include <utility>

namespace sedalyn {

namespace {

// A failed write in a few words, for the status line.
QString ShortReason(const FileError& error)
{
    switch (error.Fault) {
    case FileFault::DiskFull:
        return QStringLiteral("disk full");
    case FileFault::ReadOnly:
        return QStringLiteral("read-only file system");
    case FileFault::IoError:
        return QStringLiteral("device error");
    case FileFault::AccessDenied:
        return QStringLiteral("access denied");
    case FileFault::NotFound:
        return QStringLiteral("file not found");
    default:
        return QString::fromStdString(error.Reason());
    }
}

// The classic box text, then what was found, as the file layer names it.
QString Notice(const char* classic, const TDataFile& file)
{
    const std::string problem = file.Problem();
    return QString::fromLatin1(classic) + (problem.empty() ? QString() : QLatin1Char('\n') + QString::fromStdString(problem));
}

} // namespace

CaseRecordFile::CaseRecordFile(std::string codeset, FileSystem& files)
    : m_codeset(std::move(codeset)), m_file(files)
{
}

QString CaseRecordFile::Open(const QString& path, const QStringList& header)
{
    m_path = path;
    m_recording = true;
    m_held.clear();
    m_dropped = 0;
    m_file.Rewrite(path, m_codeset);
    // One write: a crash leaves the whole header or none of it.
    if (m_file.IsOpen())
        m_file.WriteLines(header);
    if (!m_file.IsOpen() || m_file.IOResult() != 0 || !m_file.IsLinked()) {
        const QString notice = Notice("File open/write error", m_file);
        Leave();
        return notice;
    }
    m_stepsSinceRow = 0;
    return {};
}

void CaseRecordFile::CutTornRow(const QString& path, std::int64_t bytes, FileIdentity identity, FileSystem& files)
{
    if (path.isEmpty() || !identity)
        return;
    TDataFile file(files);
    file.Reopen(path, static_cast<off_t>(bytes), "UTF-8", identity);
    if (file.IsOpen())
        file.Close();
}

QString CaseRecordFile::Reopen(const QString& path, std::int64_t bytes, int stepsSinceRow, FileIdentity identity)
{
    m_held.clear();
    m_dropped = 0;
    // Rows written after the state the case carries on from stay; only a
    // torn last row goes.
    m_file.Reopen(path, static_cast<off_t>(bytes), m_codeset, identity);
    if (!m_file.IsOpen() || m_file.IOResult() != 0) {
        const std::string problem = m_file.Problem();
        Leave();
        return QStringLiteral("The data file %1 could not be reopened (%2): the case goes on without one.")
            .arg(path, QString::fromStdString(problem.empty() ? std::string("it failed") : m_file.Failure().Reason()));
    }
    m_path = path;
    m_recording = true;
    m_stepsSinceRow = stepsSinceRow;
    return {};
}

QStringList CaseRecordFile::RowsFoundAfter() const
{
    const QByteArray& bytes = m_file.WholeLinesAfter();
    // The words and numbers looked at are ASCII in any codeset the file has.
    const QString text = casetext::IsUtf8(m_codeset) ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
    QStringList rows = text.split(QStringLiteral("\r\n"));
    rows.removeLast(); // after the last line end
    return rows;
}

bool CaseRecordFile::StepTaken()
{
    if (!m_recording || ++m_stepsSinceRow < StepsPerRow)
        return false;
    m_stepsSinceRow = 0;
    return true;
}

CaseRecordFile::Written CaseRecordFile::Write(const std::vector<QStringList>& rows)
{
    if (!m_recording || (rows.empty() && !Failing()))
        return Written::Kept;
    const bool wasFailing = Failing();
    Hold(rows);
    std::vector<QStringList> due(m_held.begin(), m_held.end());
    const bool written = WriteLines(due);
    if (!m_file.IsLinked()) {
        // The file, or its folder, was deleted: every later row would be
        // written where nobody can ever read it.
        Leave();
        return Written::Left;
    }
    if (!written)
        return wasFailing ? Written::Held : Written::Refused;
    const bool recovered = wasFailing;
    if (recovered)
        m_outage = {m_since, due.empty() ? m_since : due.back().value(0), m_reason, m_dropped};
    m_held.clear();
    m_dropped = 0;
    return recovered ? Written::Recovered : Written::Kept;
}

void CaseRecordFile::Hold(const std::vector<QStringList>& rows)
{
    if (m_held.empty() && m_dropped == 0 && !rows.empty())
        m_since = rows.front().value(0);
    for (const QStringList& row : rows) {
        m_held.push_back(row);
        if (m_held.size() > MostHeldRows) {
            m_held.pop_front();
            ++m_dropped;
        }
    }
}

bool CaseRecordFile::WriteLines(const std::vector<QStringList>& rows)
{
    if (rows.empty())
        return true;
    // One write and one sync for the rows. A failed write leaves no trace
    // in the file, so the rows, once there is room again, start on a line
    // of their own.
    QStringList lines;
    for (const QStringList& fields : rows)
        lines << casetext::CsvRow(fields);
    m_file.WriteLines(lines);
    if (m_file.IOResult() != 0) {
        m_reason = ShortReason(m_file.Failure());
        return false;
    }
    return true;
}

QString CaseRecordFile::StatusLine() const
{
    if (!m_recording || !Failing())
        return {};
    return QStringLiteral("Data file: not written since %1 (%2)").arg(m_since, m_reason);
}

int CaseRecordFile::CloseOnAbort()
{
    if (!m_recording)
        return 0;
    m_file.Close();
    if (const int code = m_file.IOResult(); code != 0)
        return code;
    Leave();
    return 0;
}

int CaseRecordFile::CloseOnExit()
{
    if (m_recording)
        m_file.Close();
    return m_file.IOResult();
}

void CaseRecordFile::Leave()
{
    if (m_file.IsOpen())
        m_file.Close();
    m_file.IOResult();
    m_recording = false;
    m_held.clear();
    m_dropped = 0;
}

} // namespace sedalyn
