// Patient entry and confirmation, driven through the window's controls.

#include "CaseFixture.h"
#include "PharmacokineticEngine.h"
#include "QtTestMain.h"

#include <QTest>

using namespace casefixture;

class PatientEntryTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    // Faulty fields are named in one message; a patient the model has no
    // physical meaning for is refused. Either way: no numbers, no file, no change.
    void refusedPatientChangesNothing_data()
    {
        // A null text leaves the box as the window was created ("0").
        QTest::addColumn<QString>("age");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<QString>("message");
        const auto faulty = [](const char* fields) {
            return QStringLiteral("Error in %1. All inputs must be >= 0 and numeric.").arg(QLatin1String(fields));
        };
        const auto refusal = [](double age, double height, double weight) {
            return QString::fromStdString(sedalyn::PatientRefusal(
                {age, height, weight, [] { return std::string("Male"); }}));
        };
        QTest::newRow("start-up zeros") << QString() << QString() << QString() << faulty("Height & Weight");
        QTest::newRow("age -1") << "-1" << "1.75" << "80" << faulty("Age");
        QTest::newRow("all three") << "-1" << "0" << "" << faulty("Height, Weight & Age");
        QTest::newRow("empty height") << "45" << "" << "80" << faulty("Height");
        QTest::newRow("trailing blank") << "45" << "1.75" << "80 " << faulty("Weight");
        QTest::newRow("decimal comma") << "45" << "1,75" << "80" << faulty("Height");
        QTest::newRow("lone point") << "45" << "." << "80" << faulty("Height");
        QTest::newRow("point without digits after") << "45" << "5." << "80" << faulty("Height");
        QTest::newRow("exponent without mantissa") << "45" << "1.75" << "e5" << faulty("Weight");
        QTest::newRow("height and age") << "abc" << "-1.75" << "80" << faulty("Height & Age");
        QTest::newRow("weight and age") << "45 " << "1.75" << "0" << faulty("Weight & Age");
        QTest::newRow("too large") << "45" << "1.75" << "1e400" << faulty("Weight");
        QTest::newRow("age 102") << "102" << "1.75" << "80" << refusal(102, 1.75, 80);
        QTest::newRow("newborn") << "0" << "0.5" << "3.5" << refusal(0, 0.5, 3.5);
        QTest::newRow("height in centimetres") << "53" << "177" << "77"
                                               << "Height above 2.5 m. Height is in metres, for example 1.75.";
        QTest::newRow("weight in grams") << "53" << "1.77" << "80000" << refusal(53, 1.77, 80000);
    }
    void refusedPatientChangesNothing()
    {
        QFETCH(QString, age);
        QFETCH(QString, height);
        QFETCH(QString, weight);
        QFETCH(QString, message);
        QVERIFY(!message.isEmpty());
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
        QCOMPARE(c.PatientTexts(), (boxes + QStringList{"BMI (kg/m2) = " + labels[0], "LBM (James) = " + labels[1],
                                                        "LBM (Hume) = " + labels[2],
                                                        "LBM (Janmahasation) = " + labels[3]}));
        QVERIFY(c.form.StartButton->isEnabled());
        QCOMPARE(c.form.Genderbutton->text(), female ? QStringLiteral("Female") : QStringLiteral("Male"));
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
