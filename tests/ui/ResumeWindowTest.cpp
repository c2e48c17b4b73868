// Resuming in the window: the offer as a question once the disclaimer is
// accepted, and a resumed case shown as running; a journal set aside is said.

#include "CaseFixture.h"
#include "CasePanel.h"
#include "JournalFile.h"
#include "QtTestMain.h"

#include <QTest>

using namespace casefixture;

class ResumeWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void resumedCaseIsShownRunning()
    {
        QTemporaryDir journal;
        double died = 0;
        {
            Case c;
            c.session().UseJournal(journal.path());
            c.StartExample(QStringLiteral("10"));
            c.Tick(2);
            Case::Type(c.form.InfRateEdit, QStringLiteral("12"));
            c.Tick();
            c.session().FlushJournal();
            died = c.clock.seconds;
        }
        Case c;
        c.clock.seconds = died + 62;
        c.session().UseJournal(journal.path());
        c.driver.AnswerBox(QMessageBox::Yes);
        c.form.OfferResume();
        c.form.Timer3->SetInterval(TThreadedTimer::MaxInterval);
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenBoxes()[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(c.form.CaseRunning() && c.form.Timer3->Enabled() && c.form.Timer2->isActive());
        QCOMPARE(c.session().Timeline().StepsTaken(), 15);
        QCOMPARE(c.Concentrations(), Reference(std::vector<double>(15, 10)));
        QCOMPARE(c.PatientTexts().mid(0, 3), (QStringList{"53", "1.77", "77"}));
        QVERIFY(!c.form.ConfirmPatient->isEnabled() && !c.form.StartButton->isEnabled());
        QCOMPARE(c.form.InfRateEdit->text(), QStringLiteral("12"));
        QVERIFY(c.form.Changebutton->isEnabled());
        QCOMPARE(c.form.Infratelabel->text(), RateLine(QStringLiteral("10")));
        QVERIFY(c.form.Side->NoticeLabel->isVisibleTo(c.form.Side));
        QVERIFY(c.form.Side->BolusButton->isEnabled());
        c.Abort();
    }

    void setAsideJournalIsSaid()
    {
        QTemporaryDir journal;
        QFile file(journal.filePath(QLatin1String(JournalFileName)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("hello\n") == 6);
        file.close();
        Case c;
        c.session().UseJournal(journal.path());
        c.driver.AnswerBox(QMessageBox::Ok);
        c.form.OfferResume();
        QCOMPARE(c.driver.Pending(), 0u);
        QVERIFY(c.driver.SeenTexts().constFirst().startsWith(QStringLiteral("A saved case was not offered for resuming")));
        QCOMPARE(c.driver.SeenBoxes()[0].icon, QMessageBox::Information);
        QVERIFY(!c.form.CaseRunning());
    }
};

SEDALYN_TEST_CLASS(ResumeWindowTest)
#include "ResumeWindowTest.moc"
