#include "CaseRecordFile.h"

#include "CaseText.h"

#include <utility>

namespace sedalyn {

namespace {

const QString OpenFailed = QStringLiteral("File open/write error");
const QString WriteFailed = QStringLiteral("File write error");

} // namespace

CaseRecordFile::CaseRecordFile(std::string codeset) : m_codeset(std::move(codeset))
{
}

QString CaseRecordFile::Open(const QString& path, const QStringList& header)
{
    m_path = path;
    m_recording = true;
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
    // Rows the journal does not know of were written after it: they are cut
    // off and written again, so none is lost and none doubled.
    m_file.Reopen(path, static_cast<off_t>(bytes), m_codeset);
    if (!m_file.IsOpen() || m_file.IOResult() != 0) {
        Leave();
        return QStringLiteral("The data file %1 could not be reopened: the case goes on without one.")
            .arg(path);
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

QString CaseRecordFile::Write(const std::vector<QStringList>& rows)
{
    if (!m_recording || rows.empty())
        return {};
    // One write and one sync for the rows of a tick. A failed write leaves
    // no trace in the file, so a later row, once there is room again,
    // starts on a line of its own.
    QStringList lines;
    for (const QStringList& fields : rows)
        lines << casetext::CsvRow(fields);
    m_file.WriteLines(lines);
    const bool failed = m_file.IOResult() != 0;
    if (!m_file.IsLinked()) {
        // The file, or its folder, was deleted: every later row would be
        // written where nobody can ever read it.
        Leave();
        return WriteFailed;
    }
    return failed ? WriteFailed : QString();
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
}

} // namespace sedalyn
