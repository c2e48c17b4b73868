#pragma once
// The case's data file as the case keeps it: the patient header when a file
// is chosen, a row every sixth step, a row after each bolus, and the close.
// A file that cannot be kept is said once and left: the case goes on
// without a record rather than failing every row.

#include "DataFile.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace sedalyn {

class CaseRecordFile {
public:
    static constexpr int StepsPerRow = 6;

    explicit CaseRecordFile(std::string codeset);

    // Creates or empties `path` and writes `header` in one write. Empty when
    // done, else the notice to show; a file that failed is left.
    QString Open(const QString& path, const QStringList& header);
    // Opens the file of a case carried on after a crash, cut back to `bytes`,
    // `stepsSinceRow` steps after its last row. Empty when done, else the notice.
    QString Reopen(const QString& path, std::int64_t bytes, int stepsSinceRow);

    // The case has a data file: rows are written, and Abort closes it.
    bool Recording() const { return m_recording; }
    const QString& Path() const { return m_path; }
    // Where its last whole row ends: all that a crash now could leave.
    std::int64_t Bytes() const { return m_file.Length(); }
    int StepsSinceRow() const { return m_stepsSinceRow; }

    // A step was taken; true when a row falls due with it.
    bool StepTaken();

    // The rows, each of eight fields, in one write. Empty when kept, else the
    // notice to show; a file deleted from its folder is left.
    QString Write(const std::vector<QStringList>& rows);

    // Closes the file at Abort: 0, or the classic I/O code of a failed close,
    // after which the case still counts as recording.
    int CloseOnAbort();
    // Closes it as the program ends: 0, or the classic code of the failure.
    int CloseOnExit();

    const TDataFile& File() const { return m_file; }
    TDataFile& File() { return m_file; }

private:
    void Leave();

    std::string m_codeset;
    TDataFile m_file;
    QString m_path;
    bool m_recording = false;
    int m_stepsSinceRow = 0;
};

} // namespace sedalyn
