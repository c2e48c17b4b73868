// Infusion rate entry and confirmation by button and by Enter.

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

QString RateLabel(const QString& rate)
{
    return QStringLiteral("Propofol current infusion rate = ") + rate + QStringLiteral(" mg/kg/hr.");
}

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

    void acceptedRateIsShownAsUnderstood_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("shown");
        QTest::newRow("6, Enter") << "6" << true << 6.0 << "6";
        QTest::newRow("06.50, button") << "06.50" << false << 6.5 << "6.5";
        QTest::newRow("6.50, Enter") << "6.50" << true << 6.5 << "6.5";
        QTest::newRow("1e1") << "1e1" << false << 10.0 << "10";
        QTest::newRow("zero") << "0" << false << 0.0 << "0";
        QTest::newRow("leading blank, no integer digits") << " .5" << true << 0.5 << "0.5";
        QTest::newRow("5.e2") << "5.e2" << false << 500.0 << "500";
    }
    void acceptedRateIsShownAsUnderstood()
    {
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        QFETCH(double, rate);
        QFETCH(QString, shown);
        Case c;
        QCOMPARE(LabelColour(c.form.Infratelabel), QColor(Qt::black));
        Case::Type(c.form.InfRateEdit, typed);
        QVERIFY(c.form.Changebutton->isEnabled());
        QCOMPARE(c.form.PendingRateChange, 1);
        QCOMPARE(LabelColour(c.form.Infratelabel), Red);

        ConfirmRate(c, byEnter);

        QVERIFY(c.driver.SeenBoxes().empty());
        QCOMPARE(c.form.InfusionRate, rate);
        QCOMPARE(c.form.InfRateEdit->text(), shown);
        QCOMPARE(c.form.Infratelabel->text(), RateLabel(shown));
        QVERIFY(!c.form.Changebutton->isEnabled());
        QCOMPARE(c.form.PendingRateChange, 0);
        QCOMPARE(LabelColour(c.form.Infratelabel), Red);
    }

    void refusedRateBecomesZero_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("abc") << "abc" << false;
        QTest::newRow("-1") << "-1" << true;
        QTest::newRow("5.") << "5." << false;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("e5") << "e5" << false;
        QTest::newRow("decimal comma") << "6,5" << false;
        QTest::newRow("trailing blank") << "6 " << true;
    }
    void refusedRateBecomesZero()
    {
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        Case c;
        Case::Type(c.form.InfRateEdit, QStringLiteral("6"));
        c.form.Changebutton->click();
        Case::Type(c.form.InfRateEdit, typed);

        c.driver.AnswerBox(QMessageBox::Ok);
        ConfirmRate(c, byEnter);

        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(), QStringList{InvalidRate});
        QCOMPARE(c.driver.SeenBoxes()[0].caption, InputErrorCaption);
        QCOMPARE(c.form.InfusionRate, 0.0);
        QCOMPARE(c.form.InfRateEdit->text(), QStringLiteral("0.0"));
        QVERIFY(c.form.Changebutton->isEnabled());
        QCOMPARE(c.form.PendingRateChange, 1);
        QCOMPARE(c.form.Infratelabel->text(), RateLabel(QStringLiteral("6")));
    }

    // Nothing typed since creation: Enter still confirms what the box holds.
    void enterConfirmsWhileTheButtonIsDisabled()
    {
        Case c;
        QVERIFY(!c.form.Changebutton->isEnabled());
        QCOMPARE(c.form.Infratelabel->text(), QString());
        QTest::keyClick(c.form.InfRateEdit, Qt::Key_Return);
        QCOMPARE(c.form.Infratelabel->text(), RateLabel(QStringLiteral("0")));
        QCOMPARE(c.form.PendingRateChange, 0);
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
        QCOMPARE(c.form.InfusionRate, 6.5);
        QCOMPARE(c.form.InfRateEdit->text(), QStringLiteral("6.5"));
        QCOMPARE(c.form.PendingRateChange, 0);
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
        c.form.AbortButton->click();
        QCOMPARE(LabelColour(c.form.Infratelabel), Red);
        QCOMPARE(c.form.Infratelabel->text(), RateLabel(QStringLiteral("4")));
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
        c.form.PendingRateChange = 0;
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
        QCOMPARE(c.form.PendingRateChange, changes);
        QCOMPARE(edit->cursorPosition(), after.size());
    }
};

SEDALYN_TEST_CLASS(RateEntryTest)
#include "RateEntryTest.moc"
