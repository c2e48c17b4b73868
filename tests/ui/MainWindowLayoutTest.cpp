// The main window as it is built: places, fonts, colours and texts of the
// controls, the tab order, texts that must never be cut off, the access keys
// and the Enter key of the patient fields.

#include "CasePanel.h"
#include "ModalDriver.h"
#include "QtTestMain.h"
#include "Unit1.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <memory>
#include <utility>

namespace {

std::unique_ptr<TForm1> ShownForm()
{
    auto form = std::make_unique<TForm1>(sedalyn::LocaleSettings{});
    form->SetDisclaimerShown(true); // the disclaimer has its own tests
    form->show();
    if (!QTest::qWaitForWindowActive(form.get()))
        qWarning("the main window did not become active");
    return form;
}

QWidget* Control(TForm1& form, const QString& name)
{
    return form.findChild<QWidget*>(name);
}

// The room a caption takes. A button's size hint has a style minimum on
// top, so its content is measured as the style lays it out.
QSize NeededSize(QWidget* widget)
{
    auto* button = qobject_cast<QPushButton*>(widget);
    if (!button)
        return widget->sizeHint();
    QSize content = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    if (!button->icon().isNull())
        content += QSize(button->iconSize().width() + 4, 0);
    const int margins = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button)
        + 2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    return content + QSize(margins, margins);
}

} // namespace

class MainWindowLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void controls_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("autoSize");
        QTest::addColumn<QString>("text"); // null: written by the case handlers
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("underline");
        QTest::addColumn<QColor>("colour"); // invalid: the style's own

        const QString window = QStringLiteral("Form1");
        const QString panel = QStringLiteral("Panel1");
        const QColor red(0xFF, 0, 0);
        const QColor maroon(0x80, 0, 0);
        const QColor green(0, 0x80, 0);
        const QColor black(0, 0, 0);
        const QColor style;
        const QString handlers;
        auto row = [](const char* name, const QString& parent, QRect geometry, bool autoSize,
                      const QString& text, int pixelSize, bool bold, bool underline, QColor colour) {
            QTest::newRow(name) << parent << geometry << autoSize << text << pixelSize << bold
                                << underline << colour;
        };
        row("Label3", window, {24, 8, 513, 29}, false, QStringLiteral("Sedalyn - propofol concentrations"), 24, false, false, red);
        row("Label20", window, {24, 40, 0, 0}, true, QStringLiteral("Predictions only: watch the patient."), 13, false, false, red);
        row("Label4", window, {24, 56, 505, 20}, false, QStringLiteral("Schnider model with variable lean body mass algorithms."), 16, true, false, red);
        row("Label11", window, {16, 80, 0, 0}, true, QStringLiteral("Age (y)"), 13, true, false, black);
        row("Label6", window, {136, 80, 73, 17}, false, QStringLiteral("Height (m)"), 13, true, false, black);
        row("Label7", window, {280, 80, 81, 25}, false, QStringLiteral("Weight( kg)"), 13, true, false, black);
        row("Label8", window, {16, 152, 161, 25}, false, QStringLiteral("LBM (James)"), 13, true, false, black);
        row("Label10", window, {192, 152, 225, 25}, false, QStringLiteral("LBM (Janmahasation)"), 13, true, false, black);
        row("DataFileOpenLabel", window, {456, 152, 0, 0}, true, QStringLiteral("Data file open:"), 13, true, false, black);
        row("Label9", window, {16, 184, 169, 17}, false, QStringLiteral("LBM (Hume)"), 13, true, false, black);
        row("BMIlabel", window, {192, 184, 193, 25}, false, QStringLiteral("BMI "), 13, true, false, black);
        row("Label5", window, {16, 216, 0, 0}, true, QStringLiteral("Set rate ( mg/kg/hr )"), 13, true, false, black);
        row("Infratelabel", window, {16, 256, 353, 25}, false, handlers, 13, true, false, style);
        row("Label18", window, {456, 376, 145, 17}, false, handlers, 13, true, false, black);
        row("Label1", window, {456, 408, 73, 16}, false, handlers, 13, true, false, black);
        row("Label2", window, {536, 408, 65, 16}, false, handlers, 13, true, false, black);

        row("AgeEdit", window, {72, 80, 49, 24}, false, handlers, 13, true, false, style);
        row("HeightEdit", window, {216, 80, 57, 24}, false, handlers, 13, true, false, style);
        row("WeightEdit", window, {368, 80, 65, 24}, false, handlers, 13, true, false, style);
        row("Genderbutton", window, {448, 80, 153, 25}, false, QStringLiteral("Male"), 13, true, false, style);
        row("ConfirmPatient", window, {448, 112, 153, 25}, false, QStringLiteral("Confirm patient"), 13, true, false, style);
        row("InfRateEdit", window, {200, 216, 57, 24}, false, handlers, 13, true, false, style);
        row("Changebutton", window, {264, 216, 177, 25}, false, QStringLiteral("Confirm Rate Change"), 13, true, false, style);
        row("StartButton", window, {448, 216, 153, 25}, false, QStringLiteral("Start"), 13, true, false, style);
        row("AbortButton", window, {448, 280, 153, 25}, false, QStringLiteral("Abort"), 13, true, false, style);
        row("BitBtn3", window, {448, 328, 153, 25}, false, QStringLiteral("&Close"), 13, true, false, style);
        row("Panel1", window, {16, 280, 425, 145}, false, handlers, 16, true, false, style);
        row("DataFileName", window, {448, 176, 153, 21}, false, QStringLiteral("DataFileName"), 11, false, false, style);
        row("BitBtn1", window, {536, 8, 73, 25}, false, QStringLiteral("&Help"), 11, false, false, style);

        row("Label17", panel, {6, 8, 203, 20}, false, QStringLiteral("Predicted concentrations"), 16, true, true, red);
        row("Label15", panel, {228, 8, 0, 0}, true, QStringLiteral("Plasma"), 16, true, false, maroon);
        row("Label16", panel, {344, 8, 0, 0}, true, QStringLiteral("Effect"), 16, true, false, green);
        row("Label19", panel, {8, 32, 0, 0}, true, QStringLiteral("( mcg / ml )"), 11, true, false, red);
        row("Label12", panel, {6, 53, 0, 0}, true, QStringLiteral("James"), 16, true, false, red);
        row("Label13", panel, {6, 84, 0, 0}, true, QStringLiteral("Hume"), 16, true, false, red);
        row("Label14", panel, {6, 111, 0, 0}, true, QStringLiteral("Janmahasation"), 16, true, false, red);
        for (const char* name : {"Jameslabel", "Humelabel", "Hanlabel"}) {
            const int top = QByteArray(name) == "Jameslabel" ? 53 : QByteArray(name) == "Humelabel" ? 84 : 111;
            const int width = QByteArray(name) == "Hanlabel" ? 105 : 97;
            row(name, panel, {228, top, width, 20}, false, QStringLiteral("0.00"), 16, true, false, maroon);
        }
        row("James1label", panel, {344, 53, 73, 20}, false, QStringLiteral("0.00"), 16, true, false, green);
        row("Hume1label", panel, {344, 84, 73, 20}, false, QStringLiteral("0.00"), 16, true, false, green);
        row("Han1label", panel, {344, 111, 73, 20}, false, QStringLiteral("0.00"), 16, true, false, green);
    }

    void controls()
    {
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(bool, autoSize);
        QFETCH(QString, text);
        QFETCH(int, pixelSize);
        QFETCH(bool, bold);
        QFETCH(bool, underline);
        QFETCH(QColor, colour);

        TForm1 form(sedalyn::LocaleSettings{});
        QWidget* control = Control(form, QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName(), parent);
        if (autoSize) {
            QCOMPARE(control->pos(), geometry.topLeft());
            QCOMPARE(control->size(), control->sizeHint());
        } else {
            QCOMPARE(control->geometry(), geometry);
        }
        QCOMPARE(control->font().pixelSize(), pixelSize);
        QCOMPARE(control->font().bold(), bold);
        QCOMPARE(control->font().underline(), underline);
        if (colour.isValid())
            QCOMPARE(control->palette().color(QPalette::WindowText), colour);

        if (auto* label = qobject_cast<QLabel*>(control)) {
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
            QCOMPARE(label->textFormat(), Qt::PlainText);
            if (!text.isNull())
                QCOMPARE(label->text(), text);
        } else if (auto* button = qobject_cast<QPushButton*>(control)) {
            QCOMPARE(button->text(), text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            if (!text.isNull())
                QCOMPARE(edit->text(), text);
        }
    }

    // At first display Tab skips the disabled StartButton and the hidden
    // DataFileName, and every number reads zero.
    void firstDisplay()
    {
        const auto form = ShownForm();
        for (QLabel* label : {form->Jameslabel, form->James1label, form->Humelabel, form->Hume1label,
                              form->Hanlabel, form->Han1label})
            QCOMPARE(label->text(), QStringLiteral("0.00"));
        for (QLineEdit* edit : {form->AgeEdit, form->HeightEdit, form->WeightEdit, form->InfRateEdit})
            QCOMPARE(edit->text(), QStringLiteral("0"));
        QVERIFY(form->DataFileOpenLabel->isHidden());
        form->AgeEdit->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), form->AgeEdit);
        QStringList visited{QApplication::focusWidget()->objectName()};
        do {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        } while (QApplication::focusWidget() != form->AgeEdit && visited.size() < 30);
        // The controls beside the original layout come after all of its own.
        const QStringList original{"AgeEdit", "HeightEdit", "WeightEdit", "Genderbutton",
                                   "ConfirmPatient", "InfRateEdit", "AbortButton", "BitBtn3",
                                   "BitBtn1", "TrendButton"};
        QCOMPARE(visited.mid(0, original.size()), original);
        QCOMPARE(visited.constLast(), QStringLiteral("AgeEdit"));
        for (const QString& name : visited.mid(original.size(), visited.size() - original.size() - 1))
            QVERIFY2(form->Side->isAncestorOf(form->findChild<QWidget*>(name)), qPrintable(name));
    }

    // Every text the program writes into a fixed-size label shows whole.
    void textsAreNeverCut_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        auto row = [](const char* label, const QString& text) {
            QTest::addRow("%s %s", label, qPrintable(text)) << QString::fromLatin1(label) << text;
        };
        row("Label3", QStringLiteral("Sedalyn - propofol concentrations"));
        row("Label4", QStringLiteral("Schnider model with variable lean body mass algorithms."));
        row("Label6", QStringLiteral("Height (m)"));
        row("Label7", QStringLiteral("Weight( kg)"));
        row("Label17", QStringLiteral("Predicted concentrations"));
        row("Label8", QStringLiteral("LBM (James) = 60.48"));
        row("Label10", QStringLiteral("LBM (Janmahasation) = 59.54"));
        row("Label10", QStringLiteral("LBM (Janmahasation) = 1.235E4"));
        row("Label9", QStringLiteral("LBM (Hume) = 60.48"));
        row("BMIlabel", QStringLiteral("BMI (kg/m2) = 26.12"));
        row("BMIlabel", QStringLiteral("BMI (kg/m2) = 1.235E-5"));
        row("Infratelabel", QStringLiteral("Propofol current infusion rate = 12.5 mg/kg/hr."));
        row("Infratelabel", QStringLiteral("Propofol current infusion rate = 0.333333333333333 mg/kg/hr."));
        row("Infratelabel", QStringLiteral("Propofol current infusion rate = 1.23456789012345E-100 mg/kg/hr."));
        row("Label18", QStringLiteral("Elapsed  12:00:00 am"));
        row("Label18", QStringLiteral("Elapsed   00:00:00"));
        row("Label1", QStringLiteral("12/31/2026"));
        row("Label1", QStringLiteral("31.12.2026"));
        row("Label2", QStringLiteral("11:59:59 pm"));
        row("Label2", QStringLiteral("12:59:59 AM"));
        for (const char* label : {"Jameslabel", "James1label", "Humelabel", "Hume1label", "Hanlabel",
                                  "Han1label"}) {
            row(label, QStringLiteral("1.23457E6"));
            row(label, QStringLiteral("1.23457E300"));
        }
    }

    void textsAreNeverCut()
    {
        QFETCH(QString, label);
        QFETCH(QString, text);
        TForm1 form(sedalyn::LocaleSettings{});
        auto* shown = form.findChild<QLabel*>(label);
        QVERIFY(shown);
        const QSize designSize = shown->size();
        shown->setText(text);
        shown->grab(); // paints, as the screen would
        QCOMPARE(shown->size(), designSize);
        const QFontMetrics metrics(shown->font());
        QVERIFY2(metrics.horizontalAdvance(text) <= shown->contentsRect().width(),
                 qPrintable(QStringLiteral("%1 px wide at stretch %2")
                                .arg(metrics.horizontalAdvance(text))
                                .arg(shown->font().stretch())));
        QVERIFY(metrics.height() <= shown->contentsRect().height());

        // A short text afterwards gets the full width again.
        shown->setText(QStringLiteral("1"));
        shown->grab();
        QVERIFY(shown->font().stretch() == QFont::AnyStretch || shown->font().stretch() == 100);
    }

    void captionsAreNeverCut_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("rightNeighbour"); // empty: the parent's edge
        for (const char* button : {"Genderbutton", "ConfirmPatient", "Changebutton", "StartButton",
                                   "AbortButton", "BitBtn3", "BitBtn1"})
            QTest::newRow(button) << QString::fromLatin1(button) << QString();
        QTest::newRow("Label11") << QStringLiteral("Label11") << QStringLiteral("AgeEdit");
        QTest::newRow("Label5") << QStringLiteral("Label5") << QStringLiteral("InfRateEdit");
        QTest::newRow("Label20") << QStringLiteral("Label20") << QStringLiteral("BitBtn1");
        QTest::newRow("DataFileOpenLabel") << QStringLiteral("DataFileOpenLabel") << QString();
        QTest::newRow("Label15") << QStringLiteral("Label15") << QStringLiteral("Label16");
        QTest::newRow("Label16") << QStringLiteral("Label16") << QString();
        QTest::newRow("Label12") << QStringLiteral("Label12") << QStringLiteral("Jameslabel");
        QTest::newRow("Label13") << QStringLiteral("Label13") << QStringLiteral("Humelabel");
        QTest::newRow("Label14") << QStringLiteral("Label14") << QStringLiteral("Hanlabel");
        QTest::newRow("Label19") << QStringLiteral("Label19") << QStringLiteral("Label15");
    }

    // Buttons and self-sizing labels get the room their captions need
    // without running into the next control.
    void captionsAreNeverCut()
    {
        QFETCH(QString, control);
        QFETCH(QString, rightNeighbour);
        TForm1 form(sedalyn::LocaleSettings{});
        QWidget* widget = Control(form, control);
        QVERIFY(widget);
        const QSize needed = NeededSize(widget);
        QVERIFY2(needed.width() <= widget->width(),
                 qPrintable(QStringLiteral("needs %1 px").arg(needed.width())));
        QVERIFY(needed.height() <= widget->height());
        const int limit = rightNeighbour.isEmpty() ? widget->parentWidget()->width()
                                                   : Control(form, rightNeighbour)->x();
        QVERIFY2(widget->geometry().right() < limit,
                 qPrintable(QStringLiteral("ends at %1").arg(widget->geometry().right())));
    }

    void closeKeyClosesTheWindow()
    {
        const auto form = ShownForm();
        QTest::keyClick(form.get(), Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(!form->isVisible());
        QCOMPARE(form->BitBtn1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_H));
    }

    // Enter moves on, with or without a typed text, and the box keeps it.
    void enterMovesToTheNextField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed"); // null: as created
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("next");
        const int keypad = Qt::KeypadModifier;
        for (const QString& typed : {QStringLiteral("45"), QString()}) {
            const char* how = typed.isNull() ? "nothing typed" : "typed";
            QTest::addRow("age, %s", how) << "AgeEdit" << typed << int(Qt::Key_Return) << 0 << "HeightEdit";
            QTest::addRow("height, keypad Enter, %s", how)
                << "HeightEdit" << typed << int(Qt::Key_Enter) << keypad << "WeightEdit";
            QTest::addRow("weight, %s", how) << "WeightEdit" << typed << int(Qt::Key_Return) << 0 << "Genderbutton";
        }
    }

    void enterMovesToTheNextField()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, next);
        const auto form = ShownForm();
        ModalDriver driver; // closes any box Enter might open
        auto* edit = form->findChild<QLineEdit*>(field);
        edit->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), edit);
        if (!typed.isNull()) {
            edit->clear();
            QTest::keyClicks(edit, typed);
        }
        const QString text = edit->text();
        QSignalSpy returnPressed(edit, &QLineEdit::returnPressed);
        QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(edit->text(), text);
        QCOMPARE(returnPressed.count(), 0); // consumed before the box saw it
        QCOMPARE(QApplication::focusWidget(), Control(*form, next));
    }

    // A bound handler that fails is reported where it is bound; the window
    // goes on, and the next call of the same handler works.
    void failingHandlerIsReported()
    {
        bool fail = false; // the window reads the clock once as it is made
        sedalyn::CaseClocks clocks = sedalyn::CaseClocks::System();
        clocks.LocalNow = [&fail]() -> sedalyn::DateTimeDays {
            if (std::exchange(fail, false))
                throw std::runtime_error("Clock failed");
            return 46000.5;
        };
        TForm1 form(std::make_unique<sedalyn::CaseSession>(sedalyn::LocaleSettings{}, clocks));
        form.Timer1->stop();
        fail = true;
        ModalDriver driver;
        driver.AnswerBox(QMessageBox::Ok);
        QVERIFY(QMetaObject::invokeMethod(form.Timer1, "timeout"));
        QCOMPARE(driver.SeenBoxes().size(), 1u);
        QCOMPARE(driver.SeenBoxes().front().text, QStringLiteral("Clock failed."));
        QCOMPARE(driver.SeenBoxes().front().caption, QStringLiteral("Sedalyn"));
        QCOMPARE(driver.SeenBoxes().front().icon, QMessageBox::Critical);

        QVERIFY(QMetaObject::invokeMethod(form.Timer1, "timeout"));
        QCOMPARE(driver.SeenBoxes().size(), 1u);
        QCOMPARE(form.Label2->text(), QStringLiteral("12:00:00 pm"));
    }

};

SEDALYN_TEST_CLASS(MainWindowLayoutTest)

#include "MainWindowLayoutTest.moc"
