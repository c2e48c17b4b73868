// The message boxes, the general error report and the save dialog, each
// answered by ModalDriver as a user would.

#include "FileError.h"
#include "MessageBoxes.h"
#include "ModalDriver.h"
#include "QtTestMain.h"
#include "SaveDialog.h"
#include "SedalynApplication.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QTest>

namespace {

enum class Answer { Ok, Cancel, Escape, CloseBox };

void QueueAnswer(ModalDriver& driver, Answer answer)
{
    switch (answer) {
    case Answer::Ok:
        return driver.AnswerBox(QMessageBox::Ok);
    case Answer::Cancel:
        return driver.AnswerBox(QMessageBox::Cancel);
    case Answer::Escape:
        return driver.AnswerBoxWith([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    case Answer::CloseBox:
        return driver.AnswerBoxWith([](QMessageBox* box) { box->close(); });
    }
}

// The user's home folder is `home`, with Qt's default documents folder in
// it, until the end of the scope.
class ScopedHome {
public:
    explicit ScopedHome(const QString& home)
        : m_home(qgetenv("HOME"))
        , m_config(qgetenv("XDG_CONFIG_HOME"))
        , m_configSet(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
    {
        qputenv("HOME", QFile::encodeName(home));
        // No user-dirs.dirs there: the documents folder is home/Documents.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    }
    ~ScopedHome()
    {
        qputenv("HOME", m_home);
        if (m_configSet)
            qputenv("XDG_CONFIG_HOME", m_config);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

private:
    QByteArray m_home;
    QByteArray m_config;
    bool m_configSet;
};

// A click delivered the way the application delivers every event.
void ClickThroughTheReport(QWidget* widget)
{
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    SedalynApplication::DeliverReportingErrors(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    SedalynApplication::DeliverReportingErrors(widget, &release);
}

// Grabs the mouse when pressed, then fails.
class GrabbingFailure : public QWidget {
protected:
    void mousePressEvent(QMouseEvent*) override
    {
        grabMouse();
        throw std::runtime_error("Pressed");
    }
};

} // namespace

class MessageBoxesTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void noticeBox_data()
    {
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("result");
        QTest::addColumn<QMessageBox::StandardButtons>("buttons");
        QTest::addColumn<QMessageBox::Icon>("icon");
        const QMessageBox::StandardButtons ok = QMessageBox::Ok;
        const QMessageBox::StandardButtons okCancel = QMessageBox::Ok | QMessageBox::Cancel;
        QTest::newRow("OK: OK") << MB_OK << Answer::Ok << IDOK << ok << QMessageBox::NoIcon;
        QTest::newRow("OK: Escape") << MB_OK << Answer::Escape << IDOK << ok << QMessageBox::NoIcon;
        QTest::newRow("OK/Cancel: OK") << MB_OKCANCEL << Answer::Ok << IDOK << okCancel << QMessageBox::NoIcon;
        QTest::newRow("OK/Cancel: Cancel") << MB_OKCANCEL << Answer::Cancel << IDCANCEL << okCancel << QMessageBox::NoIcon;
        QTest::newRow("OK/Cancel: Escape") << MB_OKCANCEL << Answer::Escape << IDCANCEL << okCancel << QMessageBox::NoIcon;
        QTest::newRow("OK/Cancel: close box") << MB_OKCANCEL << Answer::CloseBox << IDCANCEL << okCancel << QMessageBox::NoIcon;
        QTest::newRow("stop icon") << (MB_OK | MB_ICONSTOP) << Answer::Ok << IDOK << ok << QMessageBox::Critical;
        QTest::newRow("high bits ignored") << (0x10000u | MB_OKCANCEL) << Answer::Cancel << IDCANCEL << okCancel << QMessageBox::NoIcon;
    }

    void noticeBox()
    {
        QFETCH(unsigned, flags);
        QFETCH(Answer, answer);
        QFETCH(int, result);
        QFETCH(QMessageBox::StandardButtons, buttons);
        QFETCH(QMessageBox::Icon, icon);
        ModalDriver driver;
        QueueAnswer(driver, answer);
        // A typed text inside a message must not be read as markup.
        const QString text = QStringLiteral("'<b>6</b>' is not a valid floating point value.");
        QCOMPARE(NoticeBox(text, QStringLiteral("Sedalyn"), flags), result);
        QCOMPARE(driver.SeenBoxes().size(), 1u);
        const ModalDriver::Seen& seen = driver.SeenBoxes().front();
        QCOMPARE(seen.caption, QStringLiteral("Sedalyn"));
        QCOMPARE(seen.text, text);
        QCOMPARE(seen.format, Qt::PlainText);
        QCOMPARE(seen.buttons, buttons);
        QCOMPARE(seen.icon, icon);
        QCOMPARE(seen.modality, Qt::ApplicationModal);
    }

    void noticeBoxGivesBackTheActiveWindow()
    {
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        ModalDriver driver;
        driver.AnswerBox(QMessageBox::Ok);
        NoticeBox(QStringLiteral("File write error"), QStringLiteral("Sedalyn"), MB_OK);
        QTRY_COMPARE(QApplication::activeWindow(), &window);
    }

    void inputErrorBox()
    {
        ModalDriver driver;
        driver.AnswerBox(QMessageBox::Ok);
        InputErrorBox(QStringLiteral("Error in Age. All inputs must be >= 0 and numeric."));
        QCOMPARE(driver.SeenBoxes().size(), 1u);
        const ModalDriver::Seen& seen = driver.SeenBoxes().front();
        QCOMPARE(seen.caption, QStringLiteral("Sedalyn Input Error"));
        QCOMPARE(seen.text, QStringLiteral("Error in Age. All inputs must be >= 0 and numeric."));
        QCOMPARE(seen.icon, QMessageBox::NoIcon);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void generalErrorReport_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("shown");
        QTest::newRow("I/O error") << 0 << QStringLiteral("I/O error 103.");
        QTest::newRow("conversion error") << 1 << QStringLiteral("'e5' is not a valid floating point value.");
        QTest::newRow("already a sentence") << 2 << QStringLiteral("File access denied..");
        QTest::newRow("not a standard exception") << 3 << QStringLiteral("An unexpected error occurred.");
    }

    // A handler that fails is reported, its remaining steps are skipped and
    // the program goes on: the next click works.
    void generalErrorReport()
    {
        QFETCH(int, kind);
        QFETCH(QString, shown);
        ModalDriver driver;
        driver.AnswerBox(QMessageBox::Ok);

        QPushButton button(QStringLiteral("Abort"));
        int clicks = 0;
        int finished = 0;
        bool fail = true;
        connect(&button, &QPushButton::clicked, &button, [&] {
            ++clicks;
            if (std::exchange(fail, false)) {
                switch (kind) {
                case 0:
                    throw EInOutError(103);
                case 1:
                    throw std::runtime_error("'e5' is not a valid floating point value");
                case 2:
                    throw std::runtime_error("File access denied.");
                default:
                    throw 42;
                }
            }
            ++finished;
        });
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));

        ClickThroughTheReport(&button);
        QCOMPARE(clicks, 1);
        QCOMPARE(finished, 0);
        QCOMPARE(driver.SeenBoxes().size(), 1u);
        const ModalDriver::Seen& box = driver.SeenBoxes().front();
        QCOMPARE(box.text, shown);
        QCOMPARE(box.caption, QStringLiteral("Sedalyn"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

        ClickThroughTheReport(&button);
        QCOMPARE(clicks, 2);
        QCOMPARE(finished, 1);
        QCOMPARE(driver.SeenBoxes().size(), 1u);
    }

    void generalErrorReportReleasesTheMouse()
    {
        ModalDriver driver;
        driver.AnswerBox(QMessageBox::Ok);
        GrabbingFailure widget;
        widget.resize(40, 20);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        const QPointF at(5, 5);
        QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QVERIFY(SedalynApplication::DeliverReportingErrors(&widget, &press));
        QCOMPARE(driver.SeenTexts(), QStringList{QStringLiteral("Pressed.")});
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
    }

    void saveDialogFirstTime()
    {
        TSaveDialog dialog;
        dialog.Title = QStringLiteral("Save propofol data as");
        ModalDriver driver;
        QString title, typed;
        driver.AnswerWith([&](QWidget* modal) {
            auto* file = qobject_cast<QFileDialog*>(modal);
            title = file->windowTitle();
            typed = file->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            file->reject();
        });
        QVERIFY(!dialog.Execute(nullptr));
        QCOMPARE(title, QStringLiteral("Save propofol data as"));
        QVERIFY(typed.isEmpty());
        QVERIFY(dialog.FileName.isEmpty());
    }

    void saveDialogKeepsTheChosenName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("no extension") << QStringLiteral("case") << QStringLiteral("case.csv");
        QTest::newRow("csv") << QStringLiteral("case.csv") << QStringLiteral("case.csv");
        QTest::newRow("other extension") << QStringLiteral("case.txt") << QStringLiteral("case.txt");
    }

    void saveDialogKeepsTheChosenName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QTemporaryDir folder;
        TSaveDialog dialog;
        dialog.DefaultExt = QStringLiteral("csv");
        ModalDriver driver;
        driver.AnswerFileDialog(folder.filePath(typed));
        QVERIFY(dialog.Execute(nullptr));
        QCOMPARE(dialog.FileName, folder.filePath(kept));

        // Offered again the next time; a cancel keeps it.
        QStringList offered;
        driver.AnswerWith([&](QWidget* modal) {
            auto* file = qobject_cast<QFileDialog*>(modal);
            offered = file->selectedFiles();
            file->reject();
        });
        QVERIFY(!dialog.Execute(nullptr));
        QCOMPARE(offered, QStringList{folder.filePath(kept)});
        QCOMPARE(dialog.FileName, folder.filePath(kept));
    }

    void saveDialogRefusesAMissingFolder()
    {
        QTemporaryDir folder;
        TSaveDialog dialog;
        dialog.DefaultExt = QStringLiteral("csv");
        ModalDriver driver;
        driver.AnswerFileDialog(folder.filePath(QStringLiteral("missing/case.csv")));
        driver.AnswerBox(QMessageBox::Ok);
        driver.AnswerFileDialog(folder.filePath(QStringLiteral("case.csv")));
        QVERIFY(dialog.Execute(nullptr));
        QCOMPARE(driver.Pending(), 0u);
        QCOMPARE(driver.SeenBoxes().size(), 1u);
        QVERIFY(driver.SeenBoxes().front().text.contains(QStringLiteral("does not exist")));
        QCOMPARE(dialog.FileName, folder.filePath(QStringLiteral("case.csv")));
    }

    // Qt would start the dialog where any earlier Qt program left its file
    // dialogs, and note this one's folder for the next run.
    void saveDialogKeepsNothingBetweenRuns()
    {
        QTemporaryDir config;
        QTemporaryDir elsewhere;
        const QString conf = config.filePath(QStringLiteral("QtProject.conf"));
        {
            QSettings remembered(conf, QSettings::IniFormat);
            remembered.setValue(QStringLiteral("FileDialog/lastVisited"),
                                QUrl::fromLocalFile(elsewhere.path()).toString());
        }
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());

        QTemporaryDir folder;
        TSaveDialog dialog;
        ModalDriver driver;
        QString startedIn;
        driver.AnswerWith([&](QWidget* modal) {
            auto* file = qobject_cast<QFileDialog*>(modal);
            startedIn = file->directory().absolutePath();
            file->selectFile(folder.filePath(QStringLiteral("case.csv")));
            file->reject();
        });
        dialog.Execute(nullptr);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));

        QVERIFY(!startedIn.isEmpty());
        QVERIFY(startedIn != elsewhere.path());
        const QSettings afterwards(conf, QSettings::IniFormat);
        QCOMPARE(afterwards.value(QStringLiteral("FileDialog/lastVisited")).toString(),
                 QUrl::fromLocalFile(elsewhere.path()).toString());
    }

    void saveDialogStartingFolder_data()
    {
        QTest::addColumn<bool>("documentsFolder");
        QTest::addColumn<bool>("chosenBefore"); // home/cases/case.csv
        QTest::addColumn<bool>("chosenFolderGone");
        QTest::addColumn<QString>("startsIn"); // below home
        QTest::addColumn<QString>("name");
        QTest::newRow("first") << true << false << false << "Documents" << "";
        QTest::newRow("first, no documents folder") << false << false << false << "" << "";
        QTest::newRow("after a choice") << true << true << false << "cases" << "case.csv";
        QTest::newRow("chosen folder gone") << true << true << true << "Documents" << "case.csv";
        QTest::newRow("chosen folder gone, no documents folder") << false << true << true << "" << "case.csv";
    }

    void saveDialogStartingFolder()
    {
        QFETCH(bool, documentsFolder);
        QFETCH(bool, chosenBefore);
        QFETCH(bool, chosenFolderGone);
        QFETCH(QString, startsIn);
        QFETCH(QString, name);
        QTemporaryDir home;
        const QDir homeDir(home.path());
        const ScopedHome scoped(home.path());
        if (documentsFolder)
            QVERIFY(homeDir.mkdir(QStringLiteral("Documents")));

        TSaveDialog dialog;
        dialog.DefaultExt = QStringLiteral("csv");
        ModalDriver driver;
        if (chosenBefore) {
            QVERIFY(homeDir.mkdir(QStringLiteral("cases")));
            driver.AnswerFileDialog(homeDir.filePath(QStringLiteral("cases/case.csv")));
            QVERIFY(dialog.Execute(nullptr));
            if (chosenFolderGone)
                QVERIFY(QDir(homeDir.filePath(QStringLiteral("cases"))).removeRecursively());
        }
        QString folder, typed;
        driver.AnswerWith([&](QWidget* modal) {
            auto* file = qobject_cast<QFileDialog*>(modal);
            folder = file->directory().absolutePath();
            typed = file->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            file->reject();
        });
        QVERIFY(!dialog.Execute(nullptr));
        QCOMPARE(folder, QDir::cleanPath(homeDir.filePath(startsIn)));
        QCOMPARE(typed, name);
    }

    void saveDialogAsksBeforeReplacing()
    {
        QTemporaryDir folder;
        const QString existing = folder.filePath(QStringLiteral("case.csv"));
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        TSaveDialog dialog;
        ModalDriver driver;
        driver.AnswerFileDialog(existing);
        driver.AnswerBox(QMessageBox::No);
        driver.AnswerFileDialog(QString());
        QVERIFY(!dialog.Execute(nullptr));
        QCOMPARE(driver.Pending(), 0u);
        QCOMPARE(driver.SeenBoxes().size(), 1u);
    }
};

SEDALYN_TEST_CLASS(MessageBoxesTest)

#include "MessageBoxesTest.moc"
