// Patient entry and confirmation.

#include "CaseText.h"
#include "MessageBoxes.h"
#include "Unit1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace sedalyn;
using casetext::EditText;

namespace {

constexpr char16_t EnterKey = 13;

// Which fields failed, named as one message fragment.
QString FaultyFields(bool height, bool weight, bool age)
{
    QStringList names;
    if (height)
        names << QStringLiteral("Height");
    if (weight)
        names << QStringLiteral("Weight");
    if (age)
        names << QStringLiteral("Age");
    if (names.size() == 3)
        return QStringLiteral("Height, Weight & Age. ");
    return names.join(QStringLiteral(" & ")) + QStringLiteral(". ");
}

std::optional<double> Parsed(const QLineEdit* edit)
{
    return ParseNumber(edit->text().toStdString());
}

} // namespace

void TForm1::AgeEnterClick(QObject*, char16_t& Key)
{
    if (Key == EnterKey) {
        Key = 0;
        HeightEdit->setFocus();
    }
}

void TForm1::HeightEnterClick(QObject*, char16_t& Key)
{
    if (Key == EnterKey) {
        Key = 0;
        WeightEdit->setFocus();
    }
}

void TForm1::weightEnterClick(QObject*, char16_t& Key)
{
    if (Key == EnterKey) {
        Key = 0;
        Genderbutton->setFocus();
    }
}

void TForm1::GenderbuttonClick(QObject*)
{
    Genderbutton->setText(Genderbutton->text() == QLatin1String(MaleCaption)
                              ? QString::fromLatin1(FemaleCaption)
                              : QString::fromLatin1(MaleCaption));
}

void TForm1::ConfirmPatientClick(QObject*)
{
    const std::optional<double> height = Parsed(HeightEdit);
    Patient.PatientHeight = height.value_or(0.0);
    const bool heightFaulty = !height || !(*height > 0.0);

    const std::optional<double> weight = Parsed(WeightEdit);
    Patient.PatientWeight = weight.value_or(0.0);
    const bool weightFaulty = !weight || !(*weight > 0.0);

    const std::optional<double> age = Parsed(AgeEdit);
    Patient.PatientAge = age.value_or(0.0);
    const bool ageFaulty = !age || *age < 0.0;

    if (heightFaulty || weightFaulty || ageFaulty) {
        InputErrorBox(QStringLiteral("Error in ") + FaultyFields(heightFaulty, weightFaulty, ageFaulty)
                      + QStringLiteral("All inputs must be >= 0 and numeric."));
        return;
    }
    // Patients for whom the model has no physical meaning get no numbers at all.
    if (const std::string refusal = PatientRefusal(Patient); !refusal.empty()) {
        InputErrorBox(casetext::Q(refusal));
        return;
    }
    FreezePatient();
    OpenDataFile();
}

void TForm1::FreezePatient()
{
    const bool male = Patient.IsMale();
    const double h = Patient.PatientHeight;
    const double w = Patient.PatientWeight;
    Label8->setText(QStringLiteral("LBM (James) = ") + GeneralText(JamesLbm(male, h, w), 4));
    Label9->setText(QStringLiteral("LBM (Hume) = ") + GeneralText(HumeLbm(male, h, w), 4));
    Label10->setText(QStringLiteral("LBM (Janmahasation) = ")
                     + GeneralText(JanmahasatianLbm(male, h, w), 4));
    BMIlabel->setText(QStringLiteral("BMI (kg/m2) = ") + GeneralText(w / (h * h), 4));

    HeightEdit->setText(EditText(Patient.PatientHeight));
    HeightEdit->setEnabled(false);
    AgeEdit->setText(EditText(Patient.PatientAge));
    AgeEdit->setEnabled(false);
    WeightEdit->setText(EditText(Patient.PatientWeight));
    WeightEdit->setEnabled(false);

    Genderbutton->setEnabled(false);
    StartButton->setEnabled(true);
    ConfirmPatient->setEnabled(false);
    ShowPatientWarnings(PatientWarnings(Patient));
}

void TForm1::ShowPatientWarnings(const std::vector<std::string>& warnings)
{
    QStringList lines;
    for (const std::string& warning : warnings)
        lines << casetext::Q(warning);
    WarningLabel->setText(lines.join(QStringLiteral("  ")));
    WarningLabel->setToolTip(lines.join(QLatin1Char('\n')));
}
