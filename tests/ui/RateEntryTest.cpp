// Infusion rate entry in the window: confirmation by button and by Enter,
// the rate line's colour, the questions and boxes, and a box on one line.

#include "CaseFixture.h"
#include "QtTestMain.h"

#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

using namespace casefixture;

namespace {

const QColor Red(0xFF, 0x00, 0x00);
constexpr int YesButton = -1; // the Yes button clicked rather than a key

QColor LabelColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

void ConfirmRate(Case& c, bool byEnter)
{
    if (byEnter)
        QTest::keyClick(c.form.InfRateEdit, Qt::Key_Return);
    else
        c.form.Changebutton->click();
}

} // namespace

class RateEntryTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    // What the case understood is shown: the box rewritten, the line, the
    // button; the line turns red at the first change and stays red.
    void acceptedRateIsShownAsUnderstood_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<QString>("shown");
        QTest::newRow("6, Enter") << "6" << true << "6";
        QTest::newRow("06.50, button") << "06.50" << false << "6.5";
    }
    void acceptedRateIsShownAsUnderstood()
    {
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        QFETCH(QString, shown);
        Case c;
        QCOMPARE(LabelColour(c.form.Infratelabel), QColor(Qt::black));
        Case::Type(c.form.InfRateEdit, typed);
        QVERIFY(c.form.Changebutton->isEnabled());
        QCOMPARE(c.session().PendingRate(), sedalyn::RateTextState::Changed);
        QCOMPARE(LabelColour(c.form.Infratelabel), Red);

        ConfirmRate(c, byEnter);

        QVERIFY(c.driver.SeenBoxes().empty());
        QCOMPARE(c.form.InfRateEdit->text(), shown);
        QCOMPARE(c.form.Infratelabel->text(), RateLine(shown));
        QVERIFY(!c.form.Changebutton->isEnabled());
        QCOMPARE(c.session().PendingRate(), sedalyn::RateTextState::Confirmed);
        QCOMPARE(LabelColour(c.form.Infratelabel), Red);
    }

    // A refused text: the input error box; the box keeps what was typed, the
    // line the rate in use, the button stays open.
    void refusedRateIsSaidInABox()
    {
        Case c;
        Case::Type(c.form.InfRateEdit, QStringLiteral("6"));
        c.form.Changebutton->click();
        Case::Type(c.form.InfRateEdit, QStringLiteral("abc"));
        c.driver.AnswerBox(QMessageBox::Ok);
        QTest::keyClick(c.form.InfRateEdit, Qt::Key_Return);
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(), QStringList{RefusedRate});
        QCOMPARE(c.driver.SeenBoxes()[0].caption, InputErrorCaption);
        QCOMPARE(c.form.InfRateEdit->text(), QStringLiteral("abc"));
        QVERIFY(c.form.Changebutton->isEnabled());
        QCOMPARE(c.form.Infratelabel->text(), RateLine(QStringLiteral("6")));
    }

    // Above 30 mg/kg/hr a confirmation asks once whether the unit is right;
    // only Yes uses the rate. Keys reach the box as a user's would.
    void unusuallyHighRateAsksFirst_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key"); // 0: no question expected
        QTest::addColumn<double>("rate");
        QTest::newRow("30 asks nothing") << "30" << 0 << 30.0;
        QTest::newRow("70, Enter is No") << "70" << int(Qt::Key_Return) << 6.0;
        QTest::newRow("70, Space is No") << "70" << int(Qt::Key_Space) << 6.0;
        QTest::newRow("70, Escape") << "70" << int(Qt::Key_Escape) << 6.0;
        QTest::newRow("70, Yes") << "70" << YesButton << 70.0;
        QTest::newRow("1000, Yes") << "1000" << YesButton << 1000.0;
    }
    void unusuallyHighRateAsksFirst()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(double, rate);
        Case c;
        Case::Type(c.form.InfRateEdit, QStringLiteral("6"));
        c.form.Changebutton->click();
        Case::Type(c.form.InfRateEdit, typed);
        if (key == YesButton)
            c.driver.AnswerBox(QMessageBox::Yes);
        else if (key)
            c.driver.AnswerBoxByKey(key);
        c.form.Changebutton->click();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.session().InfusionRate(), rate);
        QCOMPARE(c.session().PendingRate(),
                 rate == 6.0 ? sedalyn::RateTextState::Changed : sedalyn::RateTextState::Confirmed);
        QCOMPARE(c.form.InfRateEdit->text(), typed);
        if (!key)
            return;
        QCOMPARE(c.driver.SeenTexts(),
                 QStringList{QStringLiteral("A rate of %1 mg/kg/hr is unusually high. Is it in mg/kg/hr "
                                            "(not ml/h)?").arg(typed)});
        if (key != YesButton)
            return;
        // Once in use, the same rate is not asked about again.
        c.form.Changebutton->click();
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
    }

    // Nothing typed since creation: Enter still confirms what the box holds.
    void enterConfirmsWhileTheButtonIsDisabled()
    {
        Case c;
        QVERIFY(!c.form.Changebutton->isEnabled());
        QCOMPARE(c.form.Infratelabel->text(), QString());
        QTest::keyClick(c.form.InfRateEdit, Qt::Key_Return);
        QCOMPARE(c.form.Infratelabel->text(), RateLine(QStringLiteral("0")));
        QCOMPARE(c.session().PendingRate(), sedalyn::RateTextState::Confirmed);
        QVERIFY(!c.form.Changebutton->isEnabled());
        QCOMPARE(LabelColour(c.form.Infratelabel), QColor(Qt::black));
    }

    void confirmingTheSameTextTwiceRaisesNoChange()
    {
        Case c;
        Case::Type(c.form.InfRateEdit, QStringLiteral("6.5"));
        c.form.Changebutton->click();
        QSignalSpy changes(c.form.InfRateEdit, &QLineEdit::textChanged);
        QTest::keyClick(c.form.InfRateEdit, Qt::Key_Return);
        QCOMPARE(changes.count(), 0);
        QCOMPARE(c.session().InfusionRate(), 6.5);
        QCOMPARE(c.form.InfRateEdit->text(), QStringLiteral("6.5"));
        QCOMPARE(c.session().PendingRate(), sedalyn::RateTextState::Confirmed);
        QVERIFY(!c.form.Changebutton->isEnabled());
    }

    void labelStaysRedOnceTheRateChanged()
    {
        Case c;
        Case::Type(c.form.InfRateEdit, QStringLiteral("4"));
        c.form.Changebutton->click();
        c.ConfirmAdult();
        c.Start();
        c.Tick();
        c.Abort();
        QCOMPARE(LabelColour(c.form.Infratelabel), Red);
        QCOMPARE(c.form.Infratelabel->text(), RateLine(QStringLiteral("4")));
    }

    // However text reaches the rate box, a line break in it becomes a blank
    // (CR LF one blank), and the change is noticed once, or not at all when
    // there is none.
    void rateBoxStaysOnOneLine_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("after"); // the box held "6"
        QTest::addColumn<int>("changes");
        QTest::newRow("pasted CR LF") << "paste" << "\r\n5" << "6 5" << 1;
        QTest::newRow("pasted CR, LF") << "paste" << "\n2\r3\n" << "6 2 3 " << 1;
        QTest::newRow("dropped") << "drop" << "\r\n5" << "6 5" << 1;
        QTest::newRow("set") << "set" << "6\n5" << "6 5" << 1;
        QTest::newRow("set, same text") << "set" << "6" << "6" << 0;
    }
    void rateBoxStaysOnOneLine()
    {
        QFETCH(QString, how);
        QFETCH(QString, text);
        QFETCH(QString, after);
        QFETCH(int, changes);
        Case c;
        QLineEdit* edit = c.form.InfRateEdit;
        Case::Type(edit, QStringLiteral("6"));
        c.form.Changebutton->click();
        QSignalSpy spy(edit, &QLineEdit::textChanged);
        QMimeData data;
        data.setText(text);
        QDragEnterEvent enter(QPoint(50, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(50, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        if (how == QLatin1String("paste")) {
            QGuiApplication::clipboard()->setText(text);
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        } else if (how == QLatin1String("drop")) {
            QApplication::sendEvent(edit, &enter); // a drag enters before it drops
            QApplication::sendEvent(edit, &drop);
        } else {
            edit->setText(text);
        }
        QCOMPARE(edit->text(), after);
        QCOMPARE(spy.count(), changes);
        QCOMPARE(c.session().PendingRate(),
                 changes ? sedalyn::RateTextState::Changed : sedalyn::RateTextState::Confirmed);
        QCOMPARE(edit->cursorPosition(), after.size());
    }
};

SEDALYN_TEST_CLASS(RateEntryTest)
#include "RateEntryTest.moc"
