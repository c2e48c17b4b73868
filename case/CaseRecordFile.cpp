#include "CaseRecordFile.h"

#include "CaseText.h"

#include <utility>

namespace sedalyn {

namespace {

const QString OpenFailed = QStringLiteral("File open/write error");

// A failed write's classic code in words, for the status line.
QString ReasonOf(int code)
{
    switch (code) {
    case IoDiskFull:
        return QStringLiteral("disk full");
    case IoAccessDenied:
        return QStringLiteral("access denied");
    case IoFileNotFound:
        return QStringLiteral("file not found");
    default:
        return QStringLiteral("I/O error %1").arg(code);
    }
}

} // namespace

CaseRecordFile::CaseRecordFile(std::string codeset) : m_codeset(std::move(codeset))
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
        Leave();
        return OpenFailed;
    }
    m_stepsSinceRow = 0;
    return {};
}

QString CaseRecordFile::Reopen(const QString& path, std::int64_t bytes, int stepsSinceRow)
{
    m_held.clear();
    m_dropped = 0;
    // Rows the journal does not know of were written after it: they are cut
    // off and written again, so none is lost and none doubled.
    m_file.Reopen(path, static_cast<off_t>(bytes), m_codeset);
    if (!m_file.IsOpen() || m_file.IOResult() != 0) {
        Leave();
        return QStringLiteral("The data file %1 could not be reopened: the case goes on without one.").arg(path);
    }
    m_path = path;
    m_recording = true;
    m_stepsSinceRow = stepsSinceRow;
    return {};
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
    if (const int code = m_file.IOResult(); code != 0) {
        m_reason = ReasonOf(code);
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
