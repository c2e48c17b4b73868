// Start-up as the user meets it: the main window's first show adds the tray
// icon and puts up the disclaimer once, the tray icon shows and hides the
// window, both Help buttons behave alike, and the age box gets the focus
// only while it can be used.

#include "AppIcon.h"
#include "MessageBoxes.h"
#include "ModalDriver.h"
#include "QtTestMain.h"
#include "UiSupport.h"
#include "StartUp.h"
#include "Unit1.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWindow>

#include <optional>

namespace {

// Counts the show events a widget receives: each one runs its show handler.
class ShowCounter : public QObject {
public:
    explicit ShowCounter(QWidget* watched) { watched->installEventFilter(this); }
    int Shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            ++Shows;
        return false;
    }
};

// A main window with its disclaimer, as start-up builds them.
struct Program {
    Program()
        : Main(sedalyn::LocaleSettings{})
        , Disclaimer(new TForm2(&Main))
    {
        Main.Disclaimer = Disclaimer;
    }
    TForm1 Main;
    TForm2* Disclaimer;
};

} // namespace

class StartUpTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_hooks.emplace(); }
    void cleanup()
    {
        m_hooks.reset();
        VERIFY_NO_STRAY_MODALS();
    }

    void trayIconRecord_data()
    {
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QByteArray>("stored");

        QTest::newRow("title") << "Sedalyn" << QByteArray("Sedalyn");
        QTest::newRow("empty") << "" << QByteArray();
        const QString longest(63, QLatin1Char('x'));
        QTest::newRow("63 characters fit") << longest << longest.toLatin1();
        QTest::newRow("64 characters are cut to 63") << longest + "y" << longest.toLatin1();
        // A character of two bytes at the limit is left out, not cut in half.
        QTest::newRow("never half a character") << QString(62, QLatin1Char('x')) + QChar(0x00E9)
                                                << QByteArray(62, 'x');
    }

    void trayIconRecord()
    {
        QFETCH(QString, tip);
        QFETCH(QByteArray, stored);

        TForm1 form(sedalyn::LocaleSettings{});
        TTrayIconData record;
        record.szTip.fill('?');
        const QIcon icon = ApplicationIcon();
        form.InitiateTrayIconData(record, icon, tip);

        QCOMPARE(record.Wnd.data(), &form);
        QCOMPARE(record.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
        QCOMPARE(record.hIcon.cacheKey(), icon.cacheKey());
        QCOMPARE(QByteArray(record.szTip.data()), stored);
        QCOMPARE(record.szTip.back(), '\0');
        QVERIFY(QString::fromUtf8(record.szTip.data()).isValidUtf16());
    }

    void trayIconAddAndRemove()
    {
        TForm1 form(sedalyn::LocaleSettings{});
        QVERIFY(!TrayIconOf(&form));

        // The creation handler filled the record with the application title.
        AddTrayIcon(form.TrayIconData());
        QSystemTrayIcon* icon = TrayIconOf(&form);
        QVERIFY(icon);
        QCOMPARE(icon->toolTip(), QStringLiteral("Sedalyn"));
        QVERIFY(icon->isVisible());

        // Adding again describes the same icon.
        AddTrayIcon(form.TrayIconData());
        QCOMPARE(form.findChildren<QSystemTrayIcon*>().size(), 1);

        QVERIFY(RemoveTrayIcon(form.TrayIconData()));
        QVERIFY(!TrayIconOf(&form));
        QVERIFY(!RemoveTrayIcon(form.TrayIconData()));

        // Closing the main window, by any path, removes it.
        AddTrayIcon(form.TrayIconData());
        form.SetDisclaimerShown(true);
        form.show();
        form.close();
        QVERIFY(!TrayIconOf(&form));
    }

    void trayIconClicks_data()
    {
        QTest::addColumn<bool>("visibleBefore");
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("visibleAfter");

        QTest::newRow("left shows") << false << int(QSystemTrayIcon::Trigger) << true;
        QTest::newRow("left keeps shown") << true << int(QSystemTrayIcon::Trigger) << true;
        QTest::newRow("right hides") << true << int(QSystemTrayIcon::Context) << false;
        QTest::newRow("right keeps hidden") << false << int(QSystemTrayIcon::Context) << false;
        QTest::newRow("double click: nothing more") << false << int(QSystemTrayIcon::DoubleClick) << false;
        QTest::newRow("middle: nothing") << true << int(QSystemTrayIcon::MiddleClick) << true;
    }

    void trayIconClicks()
    {
        QFETCH(bool, visibleBefore);
        QFETCH(int, reason);
        QFETCH(bool, visibleAfter);

        TForm1 form(sedalyn::LocaleSettings{});
        form.SetDisclaimerShown(true);
        form.setVisible(visibleBefore);
        AddTrayIcon(form.TrayIconData());
        QSystemTrayIcon* icon = TrayIconOf(&form);
        QVERIFY(icon);
        ShowCounter shows(&form);
        // Only a window that was hidden runs its show handler.
        const int showRuns = visibleAfter && !visibleBefore ? 1 : 0;

        emit icon->activated(static_cast<QSystemTrayIcon::ActivationReason>(reason));
        QCOMPARE(form.isVisible(), visibleAfter);
        QCOMPARE(shows.Shows, showRuns);

        // The same through the window's callback with the shell's mouse codes.
        form.setVisible(visibleBefore);
        shows.Shows = 0;
        const int mouse = reason == QSystemTrayIcon::Trigger   ? WM_LBUTTONDOWN
                          : reason == QSystemTrayIcon::Context ? WM_RBUTTONDOWN
                                                               : 514; // left button up
        form.TrayIconCallback(mouse);
        QCOMPARE(form.isVisible(), visibleAfter);
        QCOMPARE(shows.Shows, showRuns);
    }

    void firstShowPutsUpDisclaimerOverMainWindow()
    {
        Program program;
        ModalDriver driver;
        bool mainVisible = false;
        bool trayIconThere = false;
        bool applicationModal = false;
        bool shownBefore = true;
        driver.AnswerWith([&](QWidget* modal) {
            // On screen already, not only marked visible.
            mainVisible = program.Main.isVisible() && program.Main.windowHandle()
                          && program.Main.windowHandle()->isVisible();
            trayIconThere = TrayIconOf(&program.Main) != nullptr;
            applicationModal = modal == program.Disclaimer
                               && program.Disclaimer->windowModality() == Qt::ApplicationModal;
            shownBefore = program.Main.DisclaimerShown();
            program.Disclaimer->BitBtn1->click();
        });

        program.Main.show();
        QTRY_VERIFY(program.Main.DisclaimerShown());

        QVERIFY(mainVisible);
        QVERIFY(trayIconThere);
        QVERIFY(applicationModal);
        QVERIFY(!shownBefore);
        // Accepted: the main window is usable and the disclaimer is gone.
        QVERIFY(program.Main.isVisible());
        QVERIFY(!program.Disclaimer->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(program.Main.focusWidget(), program.Main.AgeEdit);
    }

    void hideAndShowFromTrayWhileDisclaimerIsUp()
    {
        Program program;
        ShowCounter disclaimerShows(program.Disclaimer);
        ShowCounter mainShows(&program.Main);
        ModalDriver driver;
        bool disclaimerStayedUp = false;
        driver.AnswerWith([&](QWidget*) {
            // The user hides the main window from the tray and brings it back
            // while the disclaimer waits, then accepts.
            program.Main.TrayIconCallback(WM_RBUTTONDOWN);
            program.Main.TrayIconCallback(WM_LBUTTONDOWN);
            QTimer::singleShot(20, program.Disclaimer, [&] {
                disclaimerStayedUp = program.Disclaimer->isVisible()
                                     && QApplication::activeModalWidget() == program.Disclaimer;
                program.Disclaimer->BitBtn1->click();
            });
        });
        program.Main.show();
        QTRY_VERIFY(program.Main.DisclaimerShown());
        QTest::qWait(50);

        QVERIFY(disclaimerStayedUp);
        QCOMPARE(mainShows.Shows, 2);
        QCOMPARE(disclaimerShows.Shows, 1);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(program.Main.isVisible());
    }

    void cancelEndsTheProgram_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Cancel") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("window manager close") << 2;
    }

    void cancelEndsTheProgram()
    {
        QFETCH(int, how);

        Program program;
        ModalDriver driver;
        driver.AnswerWith([&](QWidget*) {
            switch (how) {
            case 0: program.Disclaimer->BitBtn2->click(); break;
            case 1: QTest::keyClick(program.Disclaimer, Qt::Key_Escape); break;
            default: program.Disclaimer->close(); break;
            }
        });
        program.Main.show();
        QTRY_VERIFY(program.Main.DisclaimerShown());

        // The main window never opened for use: it is closed, its close path
        // removed the tray icon, and no window is left to keep the program up.
        QVERIFY(!program.Main.isVisible());
        QVERIFY(!program.Disclaimer->isVisible());
        QVERIFY(!TrayIconOf(&program.Main));
        QVERIFY(!QApplication::activeModalWidget());
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }));
    }

    void answeredBeforeItTurnsModal_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("Accept") << true;
        QTest::newRow("Cancel") << false;
    }

    void answeredBeforeItTurnsModal()
    {
        QFETCH(bool, accept);

        // The disclaimer is visible from its creation on; a quick user may
        // answer it before the main window's first show has made it modal.
        Program program;
        ModalDriver driver; // closes a disclaimer that is shown again
        program.Disclaimer->show();
        program.Main.show();
        (accept ? program.Disclaimer->BitBtn1 : program.Disclaimer->BitBtn2)->click();
        QTest::qWait(50);

        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!program.Disclaimer->isVisible());
        QCOMPARE(program.Main.isVisible(), accept);
        QCOMPARE(program.Main.DisclaimerShown(), accept);
        QCOMPARE(TrayIconOf(&program.Main) != nullptr, accept);
    }

    // Hidden and shown again from the tray after the disclaimer was accepted:
    // the disclaimer does not come back, and the age box gets the focus only
    // while it can be used.
    void backFromTheTray_data()
    {
        QTest::addColumn<bool>("ageEnabled");
        QTest::newRow("patient entry") << true;
        QTest::newRow("patient confirmed") << false;
    }

    void backFromTheTray()
    {
        QFETCH(bool, ageEnabled);

        Program program;
        ShowCounter disclaimerShows(program.Disclaimer);
        ModalDriver driver;
        driver.AnswerWith([&](QWidget*) { program.Disclaimer->BitBtn1->click(); });
        program.Main.show();
        QTRY_VERIFY(program.Main.DisclaimerShown());

        program.Main.AgeEdit->setEnabled(ageEnabled);
        program.Main.InfRateEdit->setFocus();
        program.Main.TrayIconCallback(WM_RBUTTONDOWN);
        program.Main.TrayIconCallback(WM_LBUTTONDOWN);

        QCOMPARE(program.Main.focusWidget() == program.Main.AgeEdit, ageEnabled);
        QTest::qWait(50);
        QVERIFY(!QApplication::activeModalWidget()); // neither the disclaimer nor an error message
        QCOMPARE(disclaimerShows.Shows, 1);
        QCOMPARE(program.Main.findChildren<QSystemTrayIcon*>().size(), 1);
    }

    void helpButtonsBehaveAlike_data()
    {
        QTest::addColumn<bool>("documentThere");
        QTest::addColumn<bool>("withDisclaimer");
        QTest::newRow("found") << true << true;
        QTest::newRow("missing") << false << true;
        QTest::newRow("found, no disclaimer window") << true << false;
        QTest::newRow("missing, no disclaimer window") << false << false;
    }

    void helpButtonsBehaveAlike()
    {
        QFETCH(bool, documentThere);
        QFETCH(bool, withDisclaimer);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        if (documentThere)
            QVERIFY(!PutHelpDocument(folder.path()).isEmpty());
        const QString path = folder.path();
        TForm2::HelpFolders = [path] { return QStringList{path}; };
        QList<QUrl> opened;
        TForm2::OpenDocument = [&opened](const QUrl& url) {
            opened << url;
            return true;
        };

        Program program;
        if (!withDisclaimer)
            program.Main.Disclaimer = nullptr;
        program.Main.SetDisclaimerShown(true);
        program.Main.show();

        QList<QPushButton*> buttons{program.Main.BitBtn1};
        if (withDisclaimer)
            buttons << program.Disclaimer->BitBtn3;
        for (QPushButton* button : buttons) {
            ModalDriver driver;
            if (!documentThere)
                driver.AnswerBox(QMessageBox::Ok);
            opened.clear();
            button->click();

            QCOMPARE(driver.Pending(), std::size_t{0});
            QCOMPARE(driver.SeenTexts(), documentThere ? QStringList{} : QStringList{"Help file not found."});
            QCOMPARE(opened, documentThere ? QList<QUrl>{QUrl::fromLocalFile(folder.filePath(TForm2::HelpFileName))}
                                           : QList<QUrl>{});
            // Both windows stay as they were.
            QVERIFY(program.Main.isVisible());
            QVERIFY(!program.Disclaimer->isVisible());
        }
    }

    // Wired as main wires it, the program ends through the main window's
    // close path and nowhere else: a box answered while the main window is
    // hidden leaves it running, and Cancel on the disclaimer ends it even then.
    void programEndsOnlyWithTheMainWindow_data()
    {
        QTest::addColumn<bool>("cancelDisclaimer");
        QTest::newRow("box answered while hidden") << false;
        QTest::newRow("disclaimer cancelled while hidden") << true;
    }
    void programEndsOnlyWithTheMainWindow()
    {
        QFETCH(bool, cancelDisclaimer);
        Program program;
        EndProgramWithMainWindow(*qApp, program.Main);
        ModalDriver driver;
        driver.AnswerWith([&](QWidget*) {
            program.Main.TrayIconCallback(WM_RBUTTONDOWN);
            (cancelDisclaimer ? program.Disclaimer->BitBtn2 : program.Disclaimer->BitBtn1)->click();
            if (!cancelDisclaimer)
                QTimer::singleShot(50, &program.Main, [&program] {
                    program.Main.TrayIconCallback(WM_RBUTTONDOWN);
                    NoticeBox(QStringLiteral("File write error"), QStringLiteral("Sedalyn"), MB_OK);
                });
        });
        driver.AnswerBox(QMessageBox::Ok);
        QTimer giveUp;
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(42); });
        giveUp.start(1500);
        QTimer::singleShot(0, &program.Main, [&program] { program.Main.show(); });
        const int status = QCoreApplication::exec();
        QApplication::setQuitOnLastWindowClosed(true);

        QCOMPARE(status, cancelDisclaimer ? 0 : 42);
        QCOMPARE(driver.Pending(), cancelDisclaimer ? 1u : 0u);
        QVERIFY(!TrayIconOf(&program.Main) || !cancelDisclaimer);
    }

    // The desktop's opener reports success as soon as it runs, viewer or
    // not: Help first asks the desktop which program shows PDF files.
    void pdfViewerMustBeRegistered_data()
    {
        QTest::addColumn<QString>("answer"); // what xdg-mime names
        QTest::addColumn<QString>("installed"); // the desktop file that exists
        QTest::addColumn<bool>("registered");
        QTest::newRow("none named") << "" << "" << false;
        QTest::newRow("named, not installed") << "viewer.desktop" << "" << false;
        QTest::newRow("named and installed") << "viewer.desktop" << "viewer.desktop" << true;
        QTest::newRow("in a subfolder") << "kde4-viewer.desktop" << "kde4/viewer.desktop" << true;
    }
    void pdfViewerMustBeRegistered()
    {
        QFETCH(QString, answer);
        QFETCH(QString, installed);
        QFETCH(bool, registered);
        QTemporaryDir home;
        QDir(home.path()).mkpath(QStringLiteral("bin"));
        QFile tool(home.filePath(QStringLiteral("bin/xdg-mime")));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        tool.write(QStringLiteral("#!/bin/sh\necho '%1'\n").arg(answer).toUtf8());
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        if (!installed.isEmpty()) {
            const QString file = home.filePath(QStringLiteral("data/applications/") + installed);
            QDir().mkpath(QFileInfo(file).path());
            QFile desktop(file);
            QVERIFY(desktop.open(QIODevice::WriteOnly));
        }
        const QByteArray path = qgetenv("PATH");
        const QByteArray data = qgetenv("XDG_DATA_HOME");
        qputenv("PATH", home.filePath(QStringLiteral("bin")).toLocal8Bit() + ':' + path);
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
        const bool found = TForm2::PdfViewerRegistered();
        qputenv("PATH", path);
        data.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", data);
        QCOMPARE(found, registered);
    }

    void applicationIconHasTheTraySize()
    {
        const QIcon icon = ApplicationIcon();
        QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
        // A tile with rounded corners and the white drop in its middle.
        const QImage image = icon.pixmap(QSize(32, 32)).toImage();
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(image.pixelColor(16, 20).lightness(), 255);
    }

private:
    std::optional<HelpHooks> m_hooks;
};

SEDALYN_TEST_CLASS(StartUpTest)
#include "StartUpTest.moc"
