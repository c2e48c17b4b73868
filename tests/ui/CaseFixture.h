#pragma once
// A main window on a controlled clock, driven through its controls, with a
// driver for its modal boxes.

#include "CaseSupport.h"
#include "ModalDriver.h"
#include "ThdTimer.h"
#include "Unit1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

namespace casefixture {

using namespace casesupport;

inline const QString InputErrorCaption = QStringLiteral("Sedalyn Input Error");

// Every control's kind, name, text, enabled and visible state, for checking
// that an action changed nothing.
inline QStringList Snapshot(const QWidget& form)
{
    QStringList lines;
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        // A scroll area's bars come and go with the room it is given.
        if (w->objectName().startsWith(QLatin1String("qt_scrollarea_")) || qobject_cast<const QScrollBar*>(w))
            continue;
        QString text;
        if (const auto* label = qobject_cast<const QLabel*>(w))
            text = label->text();
        else if (const auto* edit = qobject_cast<const QLineEdit*>(w))
            text = edit->text();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(w))
            text = button->text();
        lines << QStringLiteral("%1 %2 \"%3\" enabled=%4 hidden=%5")
                     .arg(QLatin1String(w->metaObject()->className()), w->objectName(), text)
                     .arg(w->isEnabled())
                     .arg(w->isHidden());
    }
    return lines;
}

inline bool IndicatorsShown(const TForm1& form)
{
    return !form.DataFileOpenLabel->isHidden() && !form.DataFileName->isHidden();
}

inline bool IndicatorsHidden(const TForm1& form)
{
    return form.DataFileOpenLabel->isHidden() && form.DataFileName->isHidden();
}

class Case {
public:
    explicit Case(const LocaleSettings& locale = TwentyFourHour(), FileSystem& files = FileSystem::System())
        : form(std::make_unique<sedalyn::CaseSession>(locale, clock.Clocks(), files))
    {
    }

    sedalyn::CaseSession& session() { return form.Session(); }

    // Clears the box and types `text` into it key by key.
    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    void EnterPatient(const QString& age, const QString& height, const QString& weight)
    {
        Type(form.AgeEdit, age);
        Type(form.HeightEdit, height);
        Type(form.WeightEdit, weight);
    }

    // A valid patient confirmed; `file` is chosen in the save dialog, or the
    // dialog is cancelled when it is empty.
    void Confirm(const QString& age, const QString& height, const QString& weight,
                 const QString& file = QString())
    {
        EnterPatient(age, height, weight);
        driver.AnswerFileDialog(file);
        form.ConfirmPatient->click();
    }

    // Male, 45 years, 1.75 m, 80 kg confirmed.
    void ConfirmAdult(const QString& file = QString())
    {
        Confirm(QStringLiteral("45"), QStringLiteral("1.75"), QStringLiteral("80"), file);
    }

    // Start, with the real 5-second tick parked far away: the tests call it.
    void Start()
    {
        form.Timer3->SetInterval(TThreadedTimer::MaxInterval);
        form.StartButton->click();
    }

    // Male, 53 years, 1.77 m, 77 kg at `rate`, running.
    void StartExample(const QString& rate, const QString& file = QString())
    {
        Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"), file);
        Type(form.InfRateEdit, rate);
        Start();
    }

    // Abort, saying Yes where it asks (a running case). The question is not
    // counted among the boxes seen; any other box is refused.
    void Abort()
    {
        if (form.CaseRunning())
            driver.AnswerWith([](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                if (box && box->text() == QLatin1String("End the running case?"))
                    box->button(QMessageBox::Yes)->click();
            });
        form.AbortButton->click();
    }

    // Ticks 5 seconds apart on the clock. A box a tick shows does not hold
    // it: each tick waits until the driver has answered what it was told to.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            clock.seconds += 5.0;
            form.Timer3Timer(form.Timer3);
            Settle();
        }
    }

    // Lets the driver answer the boxes it has answers for, and their
    // answers run.
    void Settle()
    {
        QElapsedTimer waited;
        waited.start();
        while (QApplication::activeModalWidget() && driver.Pending() > 0 && waited.elapsed() < 3000)
            QTest::qWait(5);
        QTest::qWait(0);
    }

    // The patient as the window shows it: age, height and weight boxes, then
    // the BMI and the three LBM labels.
    QStringList PatientTexts() const
    {
        QStringList texts;
        for (const QLineEdit* edit : {form.AgeEdit, form.HeightEdit, form.WeightEdit})
            texts << edit->text();
        for (const QLabel* label : {form.BMIlabel, form.Label8, form.Label9, form.Label10})
            texts << label->text();
        return texts;
    }

    // The six concentration labels, James plasma first.
    QStringList Concentrations() const
    {
        QStringList texts;
        for (const QLabel* label :
             {form.Jameslabel, form.James1label, form.Humelabel, form.Hume1label, form.Hanlabel, form.Han1label})
            texts << label->text();
        return texts;
    }

    // A data file in a folder of its own, removed after the window is gone.
    QString CsvPath() const { return folder.filePath(QStringLiteral("case.csv")); }

    QTemporaryDir folder;
    FakeClock clock;
    TForm1 form;
    ModalDriver driver;
};

} // namespace casefixture
