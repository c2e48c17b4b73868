// Patient entry in the window: a refusal changes no control, a confirmation
// shows the patient as understood and locks it, and the gender button.

#include "CaseFixture.h"
#include "QtTestMain.h"

#include <QTest>

using namespace casefixture;

class PatientEntryTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void refusedPatientChangesNothing_data()
    {
        // A null text leaves the box as the window was created ("0").
        QTest::addColumn<QString>("age");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<QString>("message");
        QTest::newRow("start-up zeros") << QString() << QString() << QString()
                                        << "Error in Height & Weight. All inputs must be >= 0 and numeric.";
        QTest::newRow("height in centimetres") << "53" << "177" << "77"
                                               << "Height above 2.5 m. Height is in metres, for example 1.75.";
    }
    void refusedPatientChangesNothing()
    {
        QFETCH(QString, age);
        QFETCH(QString, height);
        QFETCH(QString, weight);
        QFETCH(QString, message);
        Case c;
        if (!age.isNull())
            c.EnterPatient(age, height, weight);
        const QStringList before = Snapshot(c.form);

        c.driver.AnswerBox(QMessageBox::Ok);
        c.form.ConfirmPatient->click();

        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(), QStringList{message});
        QCOMPARE(c.driver.SeenBoxes()[0].caption, InputErrorCaption);
        QCOMPARE(c.driver.SeenBoxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(Snapshot(c.form), before);
    }

    void confirmationShowsThePatientAsUnderstood()
    {
        Case c;
        c.form.Genderbutton->click();
        c.Confirm(QStringLiteral("+45"), QStringLiteral("1.750"), QStringLiteral("80"));
        QCOMPARE(c.driver.Pending(), 0u);
        QVERIFY(c.driver.SeenBoxes().empty());
        QCOMPARE(c.PatientTexts(), (QStringList{"45", "1.75", "80", "BMI (kg/m2) = 26.12", "LBM (James) = 54.67",
                                                "LBM (Hume) = 54.43", "LBM (Janmahasation) = 48.94"}));
        for (QWidget* w : std::initializer_list<QWidget*>{c.form.AgeEdit, c.form.HeightEdit, c.form.WeightEdit,
                                                          c.form.Genderbutton, c.form.ConfirmPatient})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(c.form.StartButton->isEnabled());
        QCOMPARE(c.form.Genderbutton->text(), QStringLiteral("Female"));
        QVERIFY(!c.session().ConfirmedPatient().IsMale());
    }

    // Enter moves on with the next box's text selected: typing replaces the "0".
    void enterSelectsTheNextBox()
    {
        Case c;
        c.form.SetDisclaimerShown(true);
        c.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&c.form));
        c.form.AgeEdit->setFocus();
        QTest::keyClicks(c.form.AgeEdit, QStringLiteral("45"));
        QTest::keyClick(c.form.AgeEdit, Qt::Key_Return);
        QTRY_COMPARE(c.form.HeightEdit->selectedText(), QStringLiteral("0"));
        QTest::keyClicks(c.form.HeightEdit, QStringLiteral(".5"));
        QCOMPARE(c.form.HeightEdit->text(), QStringLiteral(".5"));
    }

    void genderButtonToggles()
    {
        Case c;
        QCOMPARE(c.form.Genderbutton->text(), QStringLiteral("Male"));
        c.form.Genderbutton->click();
        QCOMPARE(c.form.Genderbutton->text(), QStringLiteral("Female"));
        c.form.Genderbutton->click();
        QCOMPARE(c.form.Genderbutton->text(), QStringLiteral("Male"));
    }
};

SEDALYN_TEST_CLASS(PatientEntryTest)
#include "PatientEntryTest.moc"
