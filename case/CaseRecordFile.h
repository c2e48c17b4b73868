#pragma once
// The case's data file as the case keeps it: the patient header when a file
// is chosen, a row every sixth step, rows for boluses and events, and the
// close. A disk that refuses rows is said once; the rows due meanwhile are
// held (a day of them at most) and written in order once the disk takes
// them again. A file deleted from its folder is said once and left.

#include "DataFile.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace sedalyn {

class CaseRecordFile {
public:
    static constexpr int StepsPerRow = 6;
    // A day of rows every 30 seconds, with room for boluses and events.
    static constexpr std::size_t MostHeldRows = 3600;

    // What became of the rows handed to Write.
    enum class Written : std::uint8_t {
        Kept,       // on the disk (or nothing to write)
        Refused,    // the disk refused them: held; said with the first refusal only
        Held,       // the disk still refuses: held, nothing more to say
        Recovered,  // the disk took them and every row held before
        Left,       // the file was deleted: the case goes on without one
    };

    // The rows a failing disk kept from the file.
    struct Outage {
        QString From, To;       // the time fields of the first and last row held
        QString Reason;         // in words: "disk full"
        std::size_t Dropped = 0; // rows beyond the bound, lost
    };

    explicit CaseRecordFile(std::string codeset, FileSystem& files = FileSystem::System());

    // Creates or empties `path` and writes `header` in one write. Empty when
    // done, else the notice to show; a file that failed is left.
    QString Open(const QString& path, const QStringList& header);
    // Opens the file of a case carried on after a crash, cut back to `bytes`,
    // `stepsSinceRow` steps after its last row. Empty when done, else the notice.
    QString Reopen(const QString& path, std::int64_t bytes, int stepsSinceRow, FileIdentity identity = {});
    // The file of a case not carried on, left as a crash left it: only a torn
    // last row is cut, and only from the file the case was writing.
    static void CutTornRow(const QString& path, std::int64_t bytes, FileIdentity identity, FileSystem& files);
    FileIdentity Identity() const { return m_file.Identity(); }

    // The whole rows Reopen found past the bytes it was given, in order:
    // written after the state the case carries on from, and kept.
    QStringList RowsFoundAfter() const;

    // The case has a data file: rows are written, and Abort closes it.
    bool Recording() const { return m_recording; }
    const QString& Path() const { return m_path; }
    // Where its last whole row ends: all that a crash now could leave.
    std::int64_t Bytes() const { return m_file.Length(); }
    int StepsSinceRow() const { return m_stepsSinceRow; }

    // A step was taken; true when a row falls due with it.
    bool StepTaken();

    // The rows, each of eight fields (the first the time of day), after any
    // held before, in one write.
    Written Write(const std::vector<QStringList>& rows);
    // While the disk refuses rows: the time of the first row held and why.
    bool Failing() const { return !m_held.empty() || m_dropped > 0; }
    // The line for the window while it lasts: "Data file: not written since
    // 14:05:13 (disk full)"; empty when the file is well.
    QString StatusLine() const;
    // Rows that never reached the file: held and lost.
    std::size_t Unwritten() const { return m_held.size() + m_dropped; }
    // After Recovered: what the outage kept from the file, for its event row.
    const Outage& LastOutage() const { return m_outage; }

    // Closes the file at Abort: 0, or the classic I/O code of a failed close,
    // after which the case still counts as recording.
    int CloseOnAbort();
    // Closes it as the program ends: 0, or the classic code of the failure.
    int CloseOnExit();

    const TDataFile& File() const { return m_file; }
    TDataFile& File() { return m_file; }

private:
    bool WriteLines(const std::vector<QStringList>& rows);
    void Hold(const std::vector<QStringList>& rows);
    void Leave();

    std::string m_codeset;
    TDataFile m_file;
    QString m_path;
    bool m_recording = false;
    int m_stepsSinceRow = 0;
    std::deque<QStringList> m_held;
    std::size_t m_dropped = 0;
    QString m_since;  // the time field of the first row not written
    QString m_reason;
    Outage m_outage;
};

} // namespace sedalyn
