// The case's lifecycle in the window: creation defaults, the controls of
// each stage, Start, Abort, Close and the clocks' labels.

#include "CaseFixture.h"
#include "QtTestMain.h"

#include <QTest>

using namespace casefixture;

namespace {

enum Stage { Created, ConfirmedWithFile, ConfirmedWithoutFile, RateTypedThenConfirmed, Running,
             AbortedWhileRunning, AbortedWhileConfirmed };

void Reach(Case& c, Stage stage, const QString& file)
{
    const auto confirm = [&c](const QString& path) { c.ConfirmAdult(path); };
    switch (stage) {
    case Created:
        break;
    case ConfirmedWithFile:
        confirm(file);
        break;
    case ConfirmedWithoutFile:
        confirm(QString());
        break;
    case RateTypedThenConfirmed:
        Case::Type(c.form.InfRateEdit, QStringLiteral("8"));
        confirm(QString());
        break;
    case Running:
        confirm(file);
        c.Start();
        c.Tick();
        break;
    case AbortedWhileRunning:
        confirm(file);
        c.Start();
        c.Tick();
        c.Abort();
        break;
    case AbortedWhileConfirmed:
        confirm(file);
        c.Abort();
        break;
    }
}

} // namespace

class CaseLifecycleTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void controlsFollowTheCaseState_data()
    {
        QTest::addColumn<int>("stage");
        QTest::addColumn<bool>("patientEntry"); // patient boxes, Genderbutton, ConfirmPatient
        QTest::addColumn<bool>("start");
        QTest::addColumn<bool>("change");
        QTest::addColumn<bool>("running"); // Timer2 and Timer3
        QTest::addColumn<bool>("indicators");
        QTest::newRow("created") << int(Created) << true << false << false << false << false;
        QTest::newRow("confirmed, file") << int(ConfirmedWithFile) << false << true << false << false << true;
        QTest::newRow("confirmed, no file") << int(ConfirmedWithoutFile) << false << true << false << false << false;
        QTest::newRow("rate typed, confirmed") << int(RateTypedThenConfirmed) << false << true << true << false << false;
        QTest::newRow("running") << int(Running) << false << false << false << true << true;
        QTest::newRow("aborted while running") << int(AbortedWhileRunning) << true << false << false << false << false;
        QTest::newRow("aborted while confirmed") << int(AbortedWhileConfirmed) << true << false << false << false << false;
    }
    void controlsFollowTheCaseState()
    {
        QFETCH(int, stage);
        QFETCH(bool, patientEntry);
        QFETCH(bool, start);
        QFETCH(bool, change);
        QFETCH(bool, running);
        QFETCH(bool, indicators);
        Case c;
        Reach(c, Stage(stage), c.CsvPath());

        QCOMPARE(c.driver.Pending(), 0u);
        QVERIFY(c.driver.SeenBoxes().empty());
        for (QWidget* w : {static_cast<QWidget*>(c.form.AgeEdit), static_cast<QWidget*>(c.form.HeightEdit),
                           static_cast<QWidget*>(c.form.WeightEdit), static_cast<QWidget*>(c.form.Genderbutton),
                           static_cast<QWidget*>(c.form.ConfirmPatient)})
            QVERIFY2(w->isEnabled() == patientEntry, qPrintable(w->objectName()));
        QCOMPARE(c.form.StartButton->isEnabled(), start);
        QCOMPARE(c.form.Changebutton->isEnabled(), change);
        QCOMPARE(c.form.Timer2->isActive(), running);
        QCOMPARE(c.form.Timer3->Enabled(), running);
        QCOMPARE(!c.form.DataFileOpenLabel->isHidden(), indicators);
        QCOMPARE(!c.form.DataFileName->isHidden(), indicators);
        QCOMPARE(!c.form.NoDataFileLabel->isHidden(), !indicators && !patientEntry);
        QCOMPARE(c.session().DataFile().Recording(), indicators);
        QVERIFY(c.form.AbortButton->isEnabled());
        QVERIFY(c.form.InfRateEdit->isEnabled());
        QVERIFY(c.form.Timer1->isActive());
        if (!running)
            QCOMPARE(c.form.Timer3->Interval(), 5000u);
    }

    void creationDefaults_data()
    {
        QTest::addColumn<bool>("twentyFourHour");
        QTest::addColumn<QString>("elapsed");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::newRow("24-hour, leading zero") << true << "Elapsed   00:00:00" << "09/12/2025" << "13:04:05";
        QTest::newRow("no locale") << false << "Elapsed   12:00:00 am" << "12/9/25" << "1:04:05 pm";
    }
    void creationDefaults()
    {
        QFETCH(bool, twentyFourHour);
        QFETCH(QString, elapsed);
        QFETCH(QString, date);
        QFETCH(QString, time);
        Case c(twentyFourHour ? TwentyFourHour() : NoLocale());
        QCOMPARE(c.form.Label18->text(), elapsed);
        // Shown from the start: the clock stood at noon then.
        QCOMPARE(c.form.Label2->text(), twentyFourHour ? QStringLiteral("12:00:00") : QStringLiteral("12:00:00 pm"));
        c.clock.base = 46000.0 + (13 * 3600 + 4 * 60 + 5) / 86400.0;
        QCOMPARE(c.Concentrations(), QStringList(6, QStringLiteral("0.00")));
        for (const QLineEdit* edit : {c.form.AgeEdit, c.form.HeightEdit, c.form.WeightEdit,
                                      c.form.InfRateEdit})
            QCOMPARE(edit->text(), QStringLiteral("0"));
        QCOMPARE(c.form.Genderbutton->text(), QStringLiteral("Male"));
        QCOMPARE(c.form.Infratelabel->text(), QString());
        QCOMPARE(c.form.Infratelabel->palette().color(QPalette::WindowText), QColor(Qt::black));
        QCOMPARE(c.form.Panel1->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(c.session().PendingRate(), sedalyn::RateTextState::Changed);
        QCOMPARE(c.form.Timer1->interval(), 1000);

        c.form.Timer1Timer(c.form.Timer1);
        QCOMPARE(c.form.Label1->text(), date);
        QCOMPARE(c.form.Label2->text(), time);

        // Start, the elapsed clock and Abort write two blanks.
        c.ConfirmAdult();
        c.Start();
        c.clock.seconds += 3723.0;
        c.form.Timer2Timer(c.form.Timer2);
        QCOMPARE(c.form.Label18->text(), c.session().ElapsedText());
        QVERIFY(c.form.Label18->text().endsWith(QStringLiteral("  1:02:03 am")) != twentyFourHour);
        c.Abort();
        QCOMPARE(c.form.Label18->text(), elapsed.remove(8, 1));
    }

    void abortKeepsPatientAndRate()
    {
        Case c;
        Case::Type(c.form.InfRateEdit, QStringLiteral("7.5"));
        c.Confirm(QStringLiteral("45"), QStringLiteral("1.750"), QStringLiteral("80"));
        c.Start();
        c.Tick();
        Case::Type(c.form.InfRateEdit, QStringLiteral("9"));
        const auto shown = [&c] {
            return c.PatientTexts() << c.form.Infratelabel->text() << c.form.InfRateEdit->text();
        };
        const QStringList kept = shown();
        c.Abort();
        QCOMPARE(shown(), kept);
        QCOMPARE(c.session().InfusionRate(), 7.5);
        QCOMPARE(c.session().PendingRate(), sedalyn::RateTextState::Changed);
        QCOMPARE(c.Concentrations(), QStringList(6, QStringLiteral("0.00")));
    }

    // Only the elapsed label is rewritten, with two blanks now.
    void abortInPatientEntryChangesNothing()
    {
        Case c;
        c.EnterPatient(QStringLiteral("45"), QStringLiteral("1.7"), QString());
        const QStringList before = Snapshot(c.form);
        c.Abort();
        QStringList after = Snapshot(c.form);
        const qsizetype elapsed = after.indexOf(QRegularExpression(QStringLiteral("^QLabel Label18 .*")));
        QVERIFY(elapsed >= 0);
        QVERIFY2(after[elapsed].contains(QStringLiteral("\"Elapsed  00:00:00\"")), qPrintable(after[elapsed]));
        after[elapsed] = before[elapsed];
        QCOMPARE(after, before);
        QVERIFY(c.driver.SeenBoxes().empty());
    }

    // Start with a typo: the case starts at the rate in use, the box keeps
    // the text, and the reminder comes at the second tick.
    void startWithAnInvalidRate()
    {
        Case c;
        c.ConfirmAdult();
        Case::Type(c.form.InfRateEdit, QStringLiteral("ten"));
        c.driver.AnswerBox(QMessageBox::Ok);
        c.Start();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(), QStringList{RefusedRate});
        QVERIFY(c.form.Timer3->Enabled());
        QVERIFY(c.form.Timer2->isActive());
        QVERIFY(!c.form.Changebutton->isEnabled());
        QCOMPARE(c.form.InfRateEdit->text(), QStringLiteral("ten"));
        QCOMPARE(c.session().InfusionRate(), 0.0);

        c.Tick();
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
        c.driver.AnswerBox(QMessageBox::Cancel);
        c.Tick();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts().constLast(), Reminder(QStringLiteral("ten"), QStringLiteral("0")));
        QCOMPARE(c.Concentrations(), QStringList(6, QStringLiteral("0.00")));
    }

    // Ending a running case takes a Yes: Enter, Space and Escape land on No.
    // Nothing asks when no case runs.
    void endingACaseAsksWhileItRuns_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("how"); // 0 Abort, 1 Close button, 2 closed from outside (Alt+F4)
        QTest::addColumn<int>("key"); // on the question; 0 clicks Yes
        QTest::addColumn<bool>("ended");
        QTest::newRow("Abort, Enter") << true << 0 << int(Qt::Key_Return) << false;
        QTest::newRow("Abort, Space") << true << 0 << int(Qt::Key_Space) << false;
        QTest::newRow("Abort, Escape") << true << 0 << int(Qt::Key_Escape) << false;
        QTest::newRow("Abort, Yes") << true << 0 << 0 << true;
        QTest::newRow("Close, Space") << true << 1 << int(Qt::Key_Space) << false;
        QTest::newRow("Close, Yes") << true << 1 << 0 << true;
        QTest::newRow("Alt+F4, Enter") << true << 2 << int(Qt::Key_Return) << false;
        QTest::newRow("Alt+F4, Yes") << true << 2 << 0 << true;
        QTest::newRow("Abort, no case") << false << 0 << -1 << true;
        QTest::newRow("Close, no case") << false << 1 << -1 << true;
    }
    void endingACaseAsksWhileItRuns()
    {
        QFETCH(bool, running);
        QFETCH(int, how);
        QFETCH(int, key);
        QFETCH(bool, ended);
        Case c;
        c.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c.form));
        c.StartExample(QStringLiteral("10"));
        c.Tick();
        if (!running)
            c.Abort();
        if (key == 0)
            c.driver.AnswerBox(QMessageBox::Yes);
        else if (key > 0)
            c.driver.AnswerBoxByKey(key);
        if (how == 0)
            c.form.AbortButton->click();
        else if (how == 1)
            c.form.BitBtn3->click();
        else
            c.form.close();
        QCOMPARE(c.driver.Pending(), 0u);
        const QString question = how == 0 ? QStringLiteral("End the running case?")
                                          : QStringLiteral("A case is running. Close Sedalyn and end the case?");
        QCOMPARE(c.driver.SeenTexts(), running ? QStringList{question} : QStringList{});
        if (running)
            QCOMPARE(c.driver.SeenBoxes()[0].buttons, QMessageBox::Yes | QMessageBox::No);
        const bool gone = how == 0 ? !c.form.CaseRunning() : !c.form.isVisible();
        QCOMPARE(gone, ended);
    }

    // A control that disables itself under the keyboard never hands the focus
    // to Abort or Close, where the next Space would end the case.
    void spaceNeverWalksTheFocusOntoAbort()
    {
        Case c;
        c.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&c.form));
        c.ConfirmAdult();
        Case::Type(c.form.InfRateEdit, QStringLiteral("10"));
        c.form.Timer3->SetInterval(TThreadedTimer::MaxInterval);
        c.form.StartButton->setFocus();
        QTest::keyClick(c.form.StartButton, Qt::Key_Space);
        QVERIFY(c.form.CaseRunning());
        QCOMPARE(c.form.focusWidget(), c.form.InfRateEdit);
        c.Tick();
        QCOMPARE(c.form.focusWidget(), c.form.InfRateEdit);

        Case::Type(c.form.InfRateEdit, QStringLiteral("12"));
        c.form.Changebutton->setFocus();
        QTest::keyClick(c.form.Changebutton, Qt::Key_Space);
        QCOMPARE(c.session().InfusionRate(), 12.0);
        QCOMPARE(c.form.focusWidget(), c.form.InfRateEdit);

        c.form.AbortButton->setFocus();
        c.Tick();
        QCOMPARE(c.form.focusWidget(), c.form.AbortButton);
        QVERIFY(c.driver.SeenBoxes().empty());
    }
};

SEDALYN_TEST_CLASS(CaseLifecycleTest)
#include "CaseLifecycleTest.moc"
