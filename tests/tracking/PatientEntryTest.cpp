// Patient entry and confirmation, driven through the window's controls.

#include "CaseFixture.h"
#include "PharmacokineticEngine.h"
#include "QtTestMain.h"

#include <QTest>

using namespace casefixture;

namespace {

const QString InputErrorCaption = QStringLiteral("Sedalyn Input Error");

} // namespace

class PatientEntryTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void faultyFieldsAreNamedInOneMessage_data()
    {
        // A null text leaves the box as the window was created ("0").
        QTest::addColumn<QString>("age");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("start-up zeros") << QString() << QString() << QString()
                                        << QStringLiteral("Height & Weight. ");
        QTest::newRow("age -1") << "-1" << "1.75" << "80" << QStringLiteral("Age. ");
        QTest::newRow("all three") << "-1" << "0" << "" << QStringLiteral("Height, Weight & Age. ");
        QTest::newRow("empty height") << "45" << "" << "80" << QStringLiteral("Height. ");
        QTest::newRow("trailing blank") << "45" << "1.75" << "80 " << QStringLiteral("Weight. ");
        QTest::newRow("decimal comma") << "45" << "1,75" << "80" << QStringLiteral("Height. ");
        QTest::newRow("lone point") << "45" << "." << "80" << QStringLiteral("Height. ");
        QTest::newRow("point without digits after") << "45" << "5." << "80"
                                                    << QStringLiteral("Height. ");
        QTest::newRow("exponent without mantissa") << "45" << "1.75" << "e5"
                                                   << QStringLiteral("Weight. ");
        QTest::newRow("height and age") << "abc" << "-1.75" << "80"
                                        << QStringLiteral("Height & Age. ");
        QTest::newRow("weight and age") << "45 " << "1.75" << "0"
                                        << QStringLiteral("Weight & Age. ");
        QTest::newRow("too large") << "45" << "1.75" << "1e400" << QStringLiteral("Weight. ");
    }
    void faultyFieldsAreNamedInOneMessage()
    {
        QFETCH(QString, age);
        QFETCH(QString, height);
        QFETCH(QString, weight);
        QFETCH(QString, fragment);
        Case c;
        if (!age.isNull())
            c.EnterPatient(age, height, weight);
        const QStringList before = Snapshot(c.form);

        c.driver.AnswerBox(QMessageBox::Ok);
        c.form.ConfirmPatient->click();

        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
        QCOMPARE(c.driver.SeenBoxes()[0].text,
                 QStringLiteral("Error in ") + fragment + "All inputs must be >= 0 and numeric.");
        QCOMPARE(c.driver.SeenBoxes()[0].caption, InputErrorCaption);
        QCOMPARE(c.driver.SeenBoxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(Snapshot(c.form), before);
    }

    void confirmationShowsThePatientAsUnderstood_data()
    {
        QTest::addColumn<QString>("age");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<bool>("female");
        QTest::addColumn<QStringList>("boxes"); // age, height, weight
        QTest::addColumn<QStringList>("labels"); // BMI, James, Hume, Janmahasatian
        QTest::newRow("plain") << "45" << "1.75" << "80" << false
                               << QStringList{"45", "1.75", "80"}
                               << QStringList{"26.12", "61.25", "60.02", "60.18"};
        QTest::newRow("rewritten") << "+45" << "1.750" << "+80" << false
                                   << QStringList{"45", "1.75", "80"}
                                   << QStringList{"26.12", "61.25", "60.02", "60.18"};
        QTest::newRow("leading blanks, no integer digits, exponent")
            << ".5" << " 1.75" << "1e2" << false << QStringList{"0.5", "1.75", "100"}
            << QStringList{"32.65", "68.2", "68.15", "67.5"};
        QTest::newRow("female") << "0" << "1.75" << "80" << true << QStringList{"0", "1.75", "80"}
                                << QStringList{"26.12", "54.67", "54.43", "48.94"};
    }
    void confirmationShowsThePatientAsUnderstood()
    {
        QFETCH(QString, age);
        QFETCH(QString, height);
        QFETCH(QString, weight);
        QFETCH(bool, female);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, labels);
        Case c;
        if (female)
            c.form.Genderbutton->click();
        c.Confirm(age, height, weight);

        QCOMPARE(c.driver.Pending(), 0u);
        QVERIFY(c.driver.SeenBoxes().empty());
        QCOMPARE(c.form.AgeEdit->text(), boxes[0]);
        QCOMPARE(c.form.HeightEdit->text(), boxes[1]);
        QCOMPARE(c.form.WeightEdit->text(), boxes[2]);
        QCOMPARE(c.form.BMIlabel->text(), "BMI (kg/m2) = " + labels[0]);
        QCOMPARE(c.form.Label8->text(), "LBM (James) = " + labels[1]);
        QCOMPARE(c.form.Label9->text(), "LBM (Hume) = " + labels[2]);
        QCOMPARE(c.form.Label10->text(), "LBM (Janmahasation) = " + labels[3]);
        for (QWidget* locked : {static_cast<QWidget*>(c.form.AgeEdit),
                                static_cast<QWidget*>(c.form.HeightEdit),
                                static_cast<QWidget*>(c.form.WeightEdit),
                                static_cast<QWidget*>(c.form.Genderbutton),
                                static_cast<QWidget*>(c.form.ConfirmPatient)})
            QVERIFY2(!locked->isEnabled(), qPrintable(locked->objectName()));
        QVERIFY(c.form.StartButton->isEnabled());
        QCOMPARE(c.form.Genderbutton->text(), female ? QStringLiteral("Female") : QStringLiteral("Male"));
    }

    // The model has no physical meaning for these: no numbers, no file, no change.
    void unphysicalPatientIsRefused_data()
    {
        QTest::addColumn<QString>("age");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("weight");
        QTest::newRow("age 102") << "102" << "1.75" << "80";
        QTest::newRow("newborn") << "0" << "0.5" << "3.5";
    }
    void unphysicalPatientIsRefused()
    {
        QFETCH(QString, age);
        QFETCH(QString, height);
        QFETCH(QString, weight);
        const sedalyn::Patient patient{age.toDouble(), height.toDouble(), weight.toDouble(),
                                       [] { return std::string("Male"); }};
        const QString refusal = QString::fromStdString(sedalyn::PatientRefusal(patient));
        QVERIFY(!refusal.isEmpty());

        Case c;
        c.EnterPatient(age, height, weight);
        const QStringList before = Snapshot(c.form);
        c.driver.AnswerBox(QMessageBox::Ok);
        c.form.ConfirmPatient->click();

        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(), QStringList{refusal});
        QCOMPARE(c.driver.SeenBoxes()[0].caption, InputErrorCaption);
        QCOMPARE(Snapshot(c.form), before);
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

    // Labels follow the locale; the boxes keep "." so the same texts confirm again.
    void decimalCommaLocaleConfirmsAgainAfterAbort()
    {
        Case c(DecimalComma());
        c.Confirm(QStringLiteral("45.5"), QStringLiteral("1.75"), QStringLiteral("80"));
        QCOMPARE(c.form.BMIlabel->text(), QStringLiteral("BMI (kg/m2) = 26,12"));
        QCOMPARE(c.form.Label8->text(), QStringLiteral("LBM (James) = 61,25"));
        QCOMPARE(c.form.Label9->text(), QStringLiteral("LBM (Hume) = 60,02"));
        QCOMPARE(c.form.Label10->text(), QStringLiteral("LBM (Janmahasation) = 60,18"));
        QCOMPARE(c.form.AgeEdit->text(), QStringLiteral("45.5"));
        QCOMPARE(c.form.HeightEdit->text(), QStringLiteral("1.75"));

        c.form.AbortButton->click();
        c.driver.AnswerFileDialog(QString());
        c.form.ConfirmPatient->click();
        QCOMPARE(c.driver.Pending(), 0u);
        QVERIFY2(c.driver.SeenBoxes().empty(), qPrintable(c.driver.SeenTexts().join(u'|')));
        QVERIFY(!c.form.ConfirmPatient->isEnabled());
        QVERIFY(c.form.StartButton->isEnabled());
        QCOMPARE(c.form.WeightEdit->text(), QStringLiteral("80"));
    }
};

SEDALYN_TEST_CLASS(PatientEntryTest)
#include "PatientEntryTest.moc"
