// The case data file in the window: the save dialog, the indicators, the
// boxes that say a file cannot be kept, close on Abort and on window close.

#include "CaseFixture.h"
#include "CasePanel.h"
#include "QtTestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace casefixture;

namespace {

const QByteArray HeaderMale45 = "\r\n"
                                "Gender,Male\r\n"
                                "Age(y),45\r\n"
                                "Height(m),1.75\r\n"
                                "Weight(kg),80\r\n"
                                "BMI (kg/m2),26.12\r\n"
                                "LBM (James),61.25\r\n"
                                "LBM (Hume),60.02\r\n"
                                "LBM (Janmahasation/Han),60.18\r\n"
                                "\r\n"
                                "Time,Infusion rate, James plasma, James effect, Hume plasma, "
                                "Hume effect, Han plasma, Han effect\r\n";

} // namespace

class CaseDataFileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void cancelledDialogMeansNoFile()
    {
        Case c;
        c.ConfirmAdult();
        c.Start();
        c.Tick(12);
        QVERIFY(!c.session().DataFile().Recording());
        QVERIFY(IndicatorsHidden(c.form));
        c.Abort();
        QCOMPARE(c.driver.Pending(), 0u);
        QVERIFY(c.driver.SeenBoxes().empty());
    }

    // Rows the disk refuses: one box, and a line that stays while it lasts;
    // a case that ends meanwhile says how many rows never reached the file.
    // A deleted file: one box, and the indicators go.
    void rowThatCannotBeKeptIsSaid_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("disk full") << false;
        QTest::newRow("file deleted") << true;
    }
    void rowThatCannotBeKeptIsSaid()
    {
        QFETCH(bool, deleted);
        FakeDisk disk;
        Case c(TwentyFourHour(), disk.files);
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(6);
        disk.room = 0;
        if (deleted)
            QVERIFY(QFile::remove(path));

        c.driver.AnswerBox(QMessageBox::Ok);
        c.Tick(12);
        QCOMPARE(c.driver.SeenTexts().size(), 1);
        QVERIFY(c.driver.SeenTexts()[0].startsWith(QStringLiteral("File write error\n")));
        QCOMPARE(IndicatorsShown(c.form), !deleted);
        QCOMPARE(c.form.Side->StatusLabel->isVisibleTo(c.form.Side), !deleted);
        if (!deleted)
            QCOMPARE(c.form.Side->StatusLabel->text(), QStringLiteral("Data file: not written since 12:01:00 (disk full)"));
        c.driver.AnswerBox(QMessageBox::Yes); // end the running case
        if (!deleted)
            c.driver.AnswerBox(QMessageBox::Ok);
        c.form.AbortButton->click();
        QCOMPARE(c.driver.Pending(), 0u);
        if (!deleted)
            QCOMPARE(c.driver.SeenTexts().constLast(),
                     QStringLiteral("File write error\n3 rows of this case could not be written to %1.").arg(path));
        QVERIFY(!c.form.Side->StatusLabel->isVisibleTo(c.form.Side));
    }

    // Root writes through file permissions, but creates nothing in /proc. The
    // dialog is kept out of /proc itself: listing it there can block on a read.
    void unwritableFileLeavesTheCaseWithoutOne()
    {
        Case c;
        const QString path = c.CsvPath();
        QVERIFY(QFile::link(QStringLiteral("/proc/sedalyn-case.csv"), path));
        c.EnterPatient(QStringLiteral("45"), QStringLiteral("1.75"), QStringLiteral("80"));
        c.driver.AnswerFileDialog(path);
        c.driver.AnswerBox(QMessageBox::Ok);
        c.form.ConfirmPatient->click();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(),
                 QStringList{QStringLiteral("File open/write error\ncannot open %1: it is a symbolic link, not a file").arg(path)});
        QCOMPARE(c.driver.SeenBoxes()[0].caption, QStringLiteral("Sedalyn"));
        QVERIFY(IndicatorsHidden(c.form));
        c.Start();
        c.Tick(12);
        c.Abort();
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
        QVERIFY(c.form.ConfirmPatient->isEnabled());
    }

    void abortClosesAndTheNextCaseStartsTheFileAfresh()
    {
        Case c;
        const QString path = c.CsvPath();
        c.ConfirmAdult(path);
        c.Start();
        c.Tick(6);
        const QByteArray firstCase = ReadFile(path);
        c.Abort();
        QVERIFY(!c.session().DataFile().File().IsOpen());
        QVERIFY(IndicatorsHidden(c.form));
        // Abort adds the end of the case, and nothing after it.
        QVERIFY(ReadFile(path).startsWith(firstCase));
        QVERIFY(FileLines(path).constLast().startsWith("12:00:30, end, "));

        QString offered;
        c.driver.AnswerWith([&offered](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return;
            offered = dialog->selectedFiles().value(0);
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is protected
        });
        c.driver.AnswerBox(QMessageBox::Yes); // replace the existing file
        Case::Type(c.form.WeightEdit, QStringLiteral("90"));
        c.form.ConfirmPatient->click();

        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(offered, QFileInfo(path).absoluteFilePath());
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
        QVERIFY2(c.driver.SeenBoxes()[0].text.contains(QStringLiteral("already exists")),
                 qPrintable(c.driver.SeenBoxes()[0].text));
        QVERIFY(IndicatorsShown(c.form));
        QCOMPARE(c.form.DataFileName->text(), QFileInfo(path).absoluteFilePath());
        QByteArray header = HeaderMale45;
        header.replace("Weight(kg),80", "Weight(kg),90")
            .replace("26.12", "29.39")
            .replace("61.25", "65.15")
            .replace("60.02", "64.09")
            .replace("60.18", "64.04");
        QCOMPARE(ReadFile(path), header);
    }

    void closingTheWindowClosesTheFileQuietly()
    {
        Case c;
        const QString path = c.CsvPath();
        c.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c.form));
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(6);
        const QByteArray written = ReadFile(path);
        QVERIFY(written.startsWith("\r\nGender,Male\r\nAge(y),53\r\n"));
        QCOMPARE(written.count("\r\n"), 14); // the header, the start and opioid rows, a row

        c.driver.AnswerBox(QMessageBox::Yes); // a case is running
        c.form.BitBtn3->click();
        QVERIFY(!c.form.isVisible());
        QVERIFY(!c.session().DataFile().File().IsOpen());
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
        QVERIFY(FileLines(path).constLast().startsWith("12:00:30, end, "));
        QVERIFY(ReadFile(path).startsWith(written));
    }
};

SEDALYN_TEST_CLASS(CaseDataFileTest)
#include "CaseDataFileTest.moc"
