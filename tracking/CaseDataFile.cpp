// The case data file: header at confirmation, a row every sixth tick, close
// on Abort and on window close.

#include "CaseText.h"
#include "MessageBoxes.h"
#include "Unit1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace sedalyn;
using casetext::CsvField;
using casetext::Q;

void TForm1::OpenDataFile()
{
    DataFileOpen = SaveDialog1->Execute(this);
    if (!DataFileOpen)
        return;

    DataFileOpenLabel->show();
    DataFileName->setText(SaveDialog1->FileName);
    DataFileName->show();

    DataFile.Rewrite(SaveDialog1->FileName);

    const LocaleSettings dot = casetext::WithDecimalPoint(m_locale);
    const bool male = Patient.IsMale();
    const double h = Patient.PatientHeight;
    const double w = Patient.PatientWeight;
    const auto general = [&dot](double value) { return CsvField(Q(FormatGeneral(value, 4, dot))); };
    const QString header[] = {
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
    if (DataFile.IsOpen())
        for (const QString& line : header)
            DataFile.WriteLine(line);

    if (!DataFile.IsOpen() || DataFile.IOResult() != 0) {
        // A file that did not open, or lost its header, is no record: the case
        // goes on without one rather than failing every row.
        if (DataFile.IsOpen())
            DataFile.Close();
        DataFile.IOResult();
        DataFileOpen = false;
        DataFileOpenLabel->hide();
        DataFileName->hide();
        NoticeBox(QStringLiteral("File open/write error"), windowTitle(), MB_OK);
        return;
    }
    LogTickCount = 0;
}

QStringList TForm1::DataRowFields(DateTimeDays time, const QString& second) const
{
    const LocaleSettings dot = casetext::WithDecimalPoint(m_locale);
    QStringList fields{Q(TimeText(time, m_locale)), second};
    for (const ModelSlot* slot : {&Engine.JamesModel, &Engine.HumeModel, &Engine.HanModel}) {
        fields << Q(FormatFixed(slot->State[StatePlasma], 6, 2, dot));
        fields << Q(FormatFixed(slot->State[StateEffectSite], 6, 2, dot));
    }
    return fields;
}

void TForm1::WriteDataRow(const QStringList& fields)
{
    QStringList quoted;
    for (const QString& field : fields)
        quoted << CsvField(field);
    DataFile.WriteLine(quoted.join(QStringLiteral(", ")));
    if (DataFile.IOResult() != 0)
        NoticeBox(QStringLiteral("File write error"), windowTitle(), MB_OK);
}

void TForm1::CloseDataFileOnAbort()
{
    if (!DataFileOpen)
        return;
    DataFile.Close();
    if (const int code = DataFile.IOResult(); code != 0)
        throw EInOutError(code);
    DataFileOpen = false;
    DataFileOpenLabel->hide();
    DataFileName->hide();
}

void TForm1::CloseDataFileOnClose()
{
    if (DataFileOpen)
        DataFile.Close();
    if (DataFile.IOResult() != 0)
        NoticeBox(QStringLiteral("File close error."), windowTitle(), MB_OK);
}
