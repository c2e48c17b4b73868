// The disclaimer window: its text and formatting, Accept, Cancel and every
// other way of closing it, and the help document's lookup.

#include "ModalDriver.h"
#include "QtTestMain.h"
#include "UiSupport.h"

#include <QCloseEvent>
#include <QDir>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <optional>

namespace {

// Stands in for the main window: Accept shows it, Cancel closes it.
class MainWindowProbe : public QWidget {
public:
    int Closes = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++Closes;
        QWidget::closeEvent(event);
    }
};

// Shows the dialog modally and answers it. A display the code under test
// failed to end is ended after a while, so a fault fails the test instead of
// hanging it.
int ExecAnswering(TForm2* dialog, ModalDriver::Answer answer)
{
    ModalDriver driver;
    driver.AnswerWith(std::move(answer));
    QTimer::singleShot(5000, dialog, [dialog] {
        if (dialog->isVisible())
            dialog->QDialog::done(-1);
    });
    return dialog->exec();
}

QList<int> Occurrences(const QString& text, const QString& word)
{
    QList<int> at;
    for (qsizetype i = text.indexOf(word); i >= 0; i = text.indexOf(word, i + 1))
        at << static_cast<int>(i);
    return at;
}

struct Span {
    int start;
    int length;
    bool contains(int position) const { return position >= start && position < start + length; }
};

} // namespace

class DisclaimerTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_hooks.emplace(); }
    void cleanup()
    {
        m_hooks.reset();
        VERIFY_NO_STRAY_MODALS();
    }

    void captionFrameAndTabOrder()
    {
        TForm2 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Sedalyn -  IMPORTANT- READ CAREFULLY AND ACCEPT"));
        // No close box and no system menu: the buttons are the only way out.
        const Qt::WindowFlags flags = form.windowFlags();
        QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
        for (const Qt::WindowType box : {Qt::WindowSystemMenuHint, Qt::WindowCloseButtonHint,
                                         Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint})
            QVERIFY2(!flags.testFlag(box), qPrintable(QString::number(box, 16)));
        QVERIFY(form.BitBtn1->isDefault());

        // Accept, Cancel, the text, Help, and round again.
        const QList<QWidget*> order{form.BitBtn1, form.BitBtn2, form.RichEdit1, form.BitBtn3, form.BitBtn1};
        for (qsizetype i = 0; i + 1 < order.size(); ++i) {
            QWidget* next = order[i]->nextInFocusChain();
            while (next && next->focusPolicy() == Qt::NoFocus)
                next = next->nextInFocusChain();
            QCOMPARE(next, order[i + 1]);
        }
    }

    void textOutline()
    {
        TForm2 form;
        const QString text = form.RichEdit1->toPlainText();
        QCOMPARE(text, TForm2::DisclaimerText);

        // The heading is one line of 27 characters, the formatting's selection.
        QVERIFY(text.startsWith(QLatin1String("IMPORTANT")));
        QCOMPARE(text.indexOf(QLatin1Char('\n')), 27);
        QCOMPARE(Occurrences(text, QStringLiteral("IMPORTANT")).size(), 1);
        QCOMPARE(Occurrences(text, QStringLiteral("THIS PROGRAM IS NOT A MEDICAL DEVICE!")).size(), 1);
        QCOMPARE(Occurrences(text, QStringLiteral("Brief operating instructions.")).size(), 1);

        // The buttons are named exactly five times, in this order, and nowhere
        // else, not even inside a longer word.
        QMap<int, QString> mentions;
        for (const QString& word : {QStringLiteral("Abort"), QStringLiteral("Cancel"), QStringLiteral("Accept")})
            for (const int at : Occurrences(text, word))
                mentions.insert(at, word);
        QCOMPARE(mentions.values(), (QStringList{"Abort", "Cancel", "Abort", "Cancel", "Accept"}));

        QVERIFY(text.count(QLatin1Char('\n')) >= 15);
        for (const QString& contact : {QStringLiteral("@"), QStringLiteral("http"), QStringLiteral("www.")})
            QVERIFY2(!text.contains(contact, Qt::CaseInsensitive), qPrintable(contact));
        QVERIFY(!text.contains(QLatin1String("32-bit")));
    }

    void formatting_data()
    {
        QTest::addColumn<int>("shows");
        QTest::newRow("shown once") << 1;
        QTest::newRow("shown again") << 2;
        QTest::newRow("shown three times") << 3;
    }

    void formatting()
    {
        QFETCH(int, shows);

        TForm2 form;
        for (int i = 0; i < shows; ++i) {
            form.hide();
            form.show();
        }

        const QString text = form.RichEdit1->toPlainText();
        const auto spanOf = [&text](const QString& phrase, int length) {
            return Span{static_cast<int>(text.indexOf(phrase)), length};
        };
        const QList<Span> redBold{spanOf(QStringLiteral("IMPORTANT"), 27),
                                  spanOf(QStringLiteral("THIS PROGRAM IS NOT A MEDICAL DEVICE!"), 37)};
        QList<Span> boldOnly{spanOf(QStringLiteral("Brief operating instructions."), 29)};
        for (const QString& word : {QStringLiteral("Abort"), QStringLiteral("Cancel"), QStringLiteral("Accept")})
            for (const int at : Occurrences(text, word))
                boldOnly << Span{at, static_cast<int>(word.size())};

        // Walk every fragment and compare each of its characters with the
        // formatting it should have.
        QStringList wrong;
        for (QTextBlock block = form.RichEdit1->document()->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const QTextCharFormat format = fragment.charFormat();
                const bool isRed = format.foreground().color() == QColor(0xFF, 0x00, 0x00);
                const bool isBlack = format.foreground().color() == QColor(Qt::black);
                const bool isBold = format.fontWeight() == QFont::Bold;
                for (int p = fragment.position(); p < fragment.position() + fragment.length(); ++p) {
                    const bool wantRed = std::any_of(redBold.begin(), redBold.end(),
                                                     [p](const Span& s) { return s.contains(p); });
                    const bool wantBold = wantRed || std::any_of(boldOnly.begin(), boldOnly.end(),
                                                                 [p](const Span& s) { return s.contains(p); });
                    if (wantRed != isRed || (!wantRed && !isBlack) || wantBold != isBold) {
                        wrong << QStringLiteral("%1 '%2'").arg(p).arg(text.mid(p, 12));
                        break;
                    }
                }
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String("; "))));

        // The base font: the serif face at 10 pt (13 px at 96 dpi), regular.
        const QFont base = form.RichEdit1->font();
        QCOMPARE(base.families().value(0), QStringLiteral("Times New Roman"));
        QCOMPARE(base.pixelSize(), 13);
        QCOMPARE(base.weight(), QFont::Normal);
    }

    void showsTheTopWithCaretAtStart()
    {
        TForm2 form;
        form.show();
        // Scroll away and select something, as a reader might; the next show
        // starts from the top again.
        QTextCursor selection(form.RichEdit1->document());
        selection.setPosition(100);
        selection.setPosition(400, QTextCursor::KeepAnchor);
        form.RichEdit1->setTextCursor(selection);
        form.RichEdit1->verticalScrollBar()->setValue(form.RichEdit1->verticalScrollBar()->maximum());
        form.hide();
        form.show();

        const QTextCursor caret = form.RichEdit1->textCursor();
        QCOMPARE(caret.position(), 0);
        QVERIFY(!caret.hasSelection());
        QCOMPARE(form.RichEdit1->verticalScrollBar()->value(), 0);
        QCOMPARE(form.focusWidget(), form.RichEdit1);
    }

    // Accept shows the main window; every other end is a Cancel and closes it.
    void ends_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Accept button") << 0 << true;
        QTest::newRow("Cancel button") << 1 << false;
        QTest::newRow("Escape key") << 2 << false;
        QTest::newRow("window manager close") << 3 << false;
        QTest::newRow("reject()") << 4 << false;
    }

    void ends()
    {
        QFETCH(int, how);
        QFETCH(bool, accepted);

        MainWindowProbe main;
        main.setVisible(!accepted);
        auto* form = new TForm2(&main);

        bool mainVisibleWhileModal = accepted;
        const int result = ExecAnswering(form, [&](QWidget* modal) {
            mainVisibleWhileModal = main.isVisible();
            QCOMPARE(modal, form);
            switch (how) {
            case 0: form->BitBtn1->click(); break;
            case 1: form->BitBtn2->click(); break;
            case 2: QTest::keyClick(form, Qt::Key_Escape); break;
            case 3: form->close(); break;
            default: form->reject(); break;
            }
        });

        QCOMPARE(result, int(accepted ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(mainVisibleWhileModal, !accepted);
        QCOMPARE(main.isVisible(), accepted);
        QCOMPARE(main.Closes, accepted ? 0 : 1);
        QVERIFY(!form->isVisible());
    }

    void help_data()
    {
        QTest::addColumn<QList<int>>("filesIn");    // folders holding the document
        QTest::addColumn<bool>("viewerStarts");
        QTest::addColumn<int>("openedFrom");        // folder handed to the viewer, -1 none
        QTest::addColumn<bool>("notFoundMessage");

        QTest::newRow("working directory") << QList<int>{0} << true << 0 << false;
        QTest::newRow("installed data folder") << QList<int>{1} << true << 1 << false;
        QTest::newRow("beside the program") << QList<int>{2} << true << 2 << false;
        QTest::newRow("first folder wins") << QList<int>{0, 2} << true << 0 << false;
        QTest::newRow("nowhere") << QList<int>{} << true << -1 << true;
        QTest::newRow("viewer fails") << QList<int>{1} << false << 1 << true;
        QTest::newRow("a folder of that name is no document") << QList<int>{-1, 2} << true << 2 << false;
    }

    void help()
    {
        QFETCH(QList<int>, filesIn);
        QFETCH(bool, viewerStarts);
        QFETCH(int, openedFrom);
        QFETCH(bool, notFoundMessage);

        QTemporaryDir root;
        QVERIFY(root.isValid());
        QStringList folders;
        for (const char* name : {"cwd", "data", "bin"}) {
            folders << root.filePath(QLatin1String(name));
            QVERIFY(QDir().mkpath(folders.last()));
        }
        for (const int at : filesIn) {
            if (at < 0) { // a directory named like the document, in the first folder
                QVERIFY(QDir(folders[0]).mkdir(TForm2::HelpFileName));
                continue;
            }
            QVERIFY(!PutHelpDocument(folders.at(at)).isEmpty());
        }
        TForm2::HelpFolders = [folders] { return folders; };
        QList<QUrl> opened;
        TForm2::OpenDocument = [&opened, viewerStarts](const QUrl& url) {
            opened << url;
            return viewerStarts;
        };

        ModalDriver driver;
        if (notFoundMessage)
            driver.AnswerBox(QMessageBox::Ok);
        MainWindowProbe main;
        TForm2 form(&main);
        form.BitBtn3->click();

        QCOMPARE(driver.Pending(), std::size_t{0});
        if (openedFrom < 0) {
            QVERIFY(opened.isEmpty());
        } else {
            QCOMPARE(opened.size(), 1);
            QCOMPARE(opened.first(), QUrl::fromLocalFile(QDir(folders[openedFrom]).filePath(TForm2::HelpFileName)));
        }
        if (notFoundMessage) {
            QCOMPARE(driver.SeenBoxes().size(), std::size_t{1});
            const ModalDriver::Seen& box = driver.SeenBoxes().front();
            QCOMPARE(box.text, openedFrom < 0 ? QStringLiteral("Help file not found.")
                                              : QStringLiteral("No program to show PDF files is installed. The help "
                                                               "document is %1.")
                                                    .arg(QDir(folders[openedFrom]).filePath(TForm2::HelpFileName)));
            QCOMPARE(box.caption, QStringLiteral("Sedalyn"));
            QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        }
        // Help changes neither window.
        QVERIFY(!main.isVisible());
        QCOMPARE(main.Closes, 0);
    }

    void helpLooksInWorkingDirectoryFirst()
    {
        // The build runs these tests beside their executable; move away so the
        // working directory and the program's folder differ.
        QTemporaryDir elsewhere;
        QVERIFY(elsewhere.isValid());
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        const QStringList folders = TForm2::HelpFolders();
        QVERIFY(QDir::setCurrent(previous));

        // The working directory, the configured data folder, the data folder
        // beside the program's folder, the program's folder.
        QCOMPARE(folders.size(), 4);
        QCOMPARE(QFileInfo(folders[0]).canonicalFilePath(), QFileInfo(elsewhere.path()).canonicalFilePath());
        for (const int data : {1, 2}) {
            QVERIFY2(folders[data].endsWith(QLatin1String("/share/sedalyn")), qPrintable(folders[data]));
            QVERIFY(QDir::isAbsolutePath(folders[data]));
        }
        const QDir programFolder(QCoreApplication::applicationDirPath());
        QCOMPARE(folders[2], QDir::cleanPath(programFolder.filePath(QStringLiteral("../share/sedalyn"))));
        QCOMPARE(folders[3], programFolder.path());
    }

private:
    std::optional<HelpHooks> m_hooks;
};

SEDALYN_TEST_CLASS(DisclaimerTest)
#include "DisclaimerTest.moc"
