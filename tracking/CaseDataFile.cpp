// The case data file: header at confirmation, a row every sixth tick, close
// on Abort and on window close.

#include "CaseText.h"
#include "FileError.h"
#include "MessageBoxes.h"
#include "Unit1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace sedalyn;
using casetext::CsvField;
using casetext::CsvRow;
using casetext::Q;

namespace {

// The case without a file: later ticks write nothing, and Abort and close
// say nothing about one.
void LeaveDataFile(TForm1& form)
{
    if (form.DataFile.IsOpen())
        form.DataFile.Close();
    form.DataFile.IOResult();
    form.DataFileOpen = false;
    form.DataFileOpenLabel->hide();
    form.DataFileName->hide();
}

} // namespace

void TForm1::OpenDataFile()
{
    DataFileOpen = SaveDialog1->Execute(this);
    if (!DataFileOpen)
        return;

    DataFileOpenLabel->show();
    DataFileName->setText(SaveDialog1->FileName);
    DataFileName->show();

    DataFile.Rewrite(SaveDialog1->FileName, m_locale.Codeset);

    const LocaleSettings dot = casetext::WithDecimalPoint(m_locale);
    const bool male = Patient.IsMale();
    const double h = Patient.PatientHeight;
    const double w = Patient.PatientWeight;
    const auto general = [&dot](double value) { return CsvField(Q(FormatGeneral(value, 4, dot))); };
    const QStringList header{
        QString(),
        QStringLiteral("Gender,") + CsvField(Genderbutton->text()),
        QStringLiteral("Age(y),") + CsvField(AgeEdit->text()),
        QStringLiteral("Height(m),") + CsvField(HeightEdit->text()),
        QStringLiteral("Weight(kg),") + CsvField(WeightEdit->text()),
        QStringLiteral("BMI (kg/m2),") + general(w / (h * h)),
        QStringLiteral("LBM (James),") + general(JamesLbm(male, h, w)),
        QStringLiteral("LBM (Hume),") + general(HumeLbm(male, h, w)),
        QStringLiteral("LBM (Janmahasation/Han),") + general(JanmahasatianLbm(male, h, w)),
        QString(),
        QStringLiteral("Time,Infusion rate, James plasma, James effect, Hume plasma, Hume effect, "
                       "Han plasma, Han effect"),
    };
    // One write: a crash leaves the whole header or none of it.
    if (DataFile.IsOpen())
        DataFile.WriteLines(header);

    if (!DataFile.IsOpen() || DataFile.IOResult() != 0 || !DataFile.IsLinked()) {
        // A file that did not open, or lost its header, is no record: the case
        // goes on without one rather than failing every row.
        LeaveDataFile(*this);
        NoticeBox(QStringLiteral("File open/write error"), windowTitle(), MB_OK);
        return;
    }
    LogTickCount = 0;
}

QStringList TForm1::DataRowFields(DateTimeDays time, const QString& second) const
{
    const LocaleSettings dot = casetext::WithDecimalPoint(m_locale);
    QStringList fields{Q(TimeText(time, m_locale)), second};
    for (const double value : Engine.Concentrations())
        fields << Q(FormatFixed(value, 6, 2, dot));
    return fields;
}

void TForm1::WriteDataRows(const std::vector<QStringList>& rows)
{
    if (!DataFileOpen || rows.empty())
        return;
    // One write and one sync for the rows of a tick. A failed write leaves
    // no trace in the file, so a later row, once there is room again,
    // starts on a line of its own.
    QStringList lines;
    for (const QStringList& fields : rows)
        lines << CsvRow(fields);
    DataFile.WriteLines(lines);
    const bool failed = DataFile.IOResult() != 0;
    if (!DataFile.IsLinked()) {
        // The file, or its folder, was deleted: every later row would be
        // written where nobody can ever read it. Said once; the case goes on.
        LeaveDataFile(*this);
        NoticeBox(QStringLiteral("File write error"), windowTitle(), MB_OK);
        return;
    }
    if (failed)
        NoticeBox(QStringLiteral("File write error"), windowTitle(), MB_OK);
}

void TForm1::CloseDataFileOnAbort()
{
    if (!DataFileOpen)
        return;
    DataFile.Close();
    if (const int code = DataFile.IOResult(); code != 0)
        throw EInOutError(code);
    LeaveDataFile(*this);
}

void TForm1::CloseDataFileOnClose()
{
    if (DataFileOpen)
        DataFile.Close();
    if (DataFile.IOResult() != 0)
        NoticeBox(QStringLiteral("File close error."), windowTitle(), MB_OK);
}
