#include "Unit2.h"

#include "MessageBoxes.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QShowEvent>
#include <QStyle>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace {

// The formatting below searches for these; the text must hold each of them,
// and "Abort", "Cancel" and "Accept" exactly where the buttons are named.
const QString Heading = QStringLiteral("IMPORTANT");
constexpr int HeadingLength = 27;
const QString DeviceLine = QStringLiteral("THIS PROGRAM IS NOT A MEDICAL DEVICE!");
const QString InstructionsLine = QStringLiteral("Brief operating instructions.");

QStringList DefaultHelpFolders()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    QStringList folders{QDir::currentPath()};
#ifdef SEDALYN_DATADIR
    folders << QStringLiteral(SEDALYN_DATADIR);
#endif
#ifdef SEDALYN_DATADIR_FROM_BINDIR
    folders << QDir::cleanPath(programFolder.filePath(QStringLiteral(SEDALYN_DATADIR_FROM_BINDIR)));
#endif
    folders << programFolder.path();
    folders.removeDuplicates();
    return folders;
}

// Sizes for 96 dpi in pixels, as the main window gives them: 8 pt and 10 pt.
QFont WindowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

QFont DisclaimerFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                      QStringLiteral("DejaVu Serif")});
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(13);
    font.setWeight(QFont::Normal);
    return font;
}

QPushButton* GlyphButton(QWidget* parent, const char* name, QRect geometry, const QString& caption,
                         QStyle::StandardPixmap glyph)
{
    auto* button = new QPushButton(parent->style()->standardIcon(glyph, nullptr, parent), caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setIconSize(QSize(18, 18));
    return button;
}

// Searches case-sensitively from `from` (from the end of its selection, if
// it has one) and selects `length` characters at the match. A phrase that is
// missing leaves `from` as it was and formats nothing.
QTextCursor SelectFrom(QTextDocument* document, const QString& phrase, const QTextCursor& from,
                       int length, const QTextCharFormat& format)
{
    const QTextCursor match = document->find(phrase, from, QTextDocument::FindCaseSensitively);
    if (match.isNull())
        return from;
    QTextCursor selection(document);
    selection.setPosition(match.selectionStart());
    selection.setPosition(match.selectionStart() + length, QTextCursor::KeepAnchor);
    selection.mergeCharFormat(format);
    return selection;
}

} // namespace

const QString TForm2::HelpFileName = QStringLiteral("sedalynhelp.pdf");

std::function<QStringList()> TForm2::HelpFolders = DefaultHelpFolders;
std::function<bool(const QUrl&)> TForm2::OpenDocument = &TForm2::OpenWithDesktop;

bool TForm2::PdfViewerRegistered()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/pdf")});
    // Without the tool nothing can be told; the opener then decides.
    if (!query.waitForStarted(3000))
        return true;
    if (!query.waitForFinished(3000) || query.exitStatus() != QProcess::NormalExit)
        return false;
    const QString entry = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    if (entry.isEmpty())
        return false;
    // A desktop file id stands for a file in an applications folder; a "-"
    // in it may stand for a subfolder.
    for (const QString& name : {entry, QString(entry).replace(QLatin1Char('-'), QLatin1Char('/'))})
        if (!QStandardPaths::locate(QStandardPaths::ApplicationsLocation, name).isEmpty())
            return true;
    return false;
#else
    return true;
#endif
}

bool TForm2::OpenWithDesktop(const QUrl& url)
{
    // The desktop's opener reports success as soon as it has started, even
    // when no program can show a PDF.
    return PdfViewerRegistered() && QDesktopServices::openUrl(url);
}

// Each line is a paragraph; the box wraps them at its width.
const QString TForm2::DisclaimerText = QStringLiteral(
    "IMPORTANT - READ CAREFULLY!\n"
    "\n"
    "Sedalyn is not a course in total intravenous anaesthesia and does not teach it. "
    "It gives calculated compartment concentrations of propofol from the Schnider "
    "model, computed with each of the James, Hume and Janmahasatian lean body mass "
    "equations. It must only be used by clinicians who are competent in total "
    "intravenous anaesthesia.\n"
    "\n"
    "THIS PROGRAM IS NOT A MEDICAL DEVICE!\n"
    "Its authors take no responsibility for any use of the program or for any "
    "decision made with its help. The concentrations it shows are predictions for "
    "a typical patient of the same age, height, weight and gender; the patient in "
    "front of you may differ widely from them. Always judge the depth of "
    "anaesthesia clinically. The program neither connects to nor controls any "
    "infusion pump or other device.\n"
    "\n"
    "Brief operating instructions.\n"
    "Minimum equipment: a desktop computer with a 640 x 480 display. A mouse or "
    "other pointing device is recommended; every button and edit box can also be "
    "reached with the Tab key.\n"
    "Enter the patient's age (years), height (metres), weight (kilograms) and "
    "gender carefully: they cannot be changed while a case runs. An age of "
    "zero is allowed; height and weight must be greater than zero.\n"
    "The data may be stored in a comma-separated text file that you name when you "
    "confirm the patient. The file is closed when you press \"Abort\" or close the "
    "program; nothing is recorded if you press \"Cancel\" here.\n"
    "The program starts at the default infusion rate of 0 mg/kg/hr. The rate may be "
    "changed at any time; each change must be confirmed with the button next to "
    "the rate box (or the Enter key) before the program uses it.\n"
    "Plasma and effect-site concentrations follow the Schnider model, calculated "
    "once with each of the three lean body mass equations.\n"
    "There is no upper BMI limit for the James equation. At a high BMI its lean "
    "body mass falls as the weight rises, so read the James row with care in "
    "obese patients.\n"
    "The pump settings must be copied into the program by hand.\n"
    "The calculation can be stopped by setting the rate to zero, in which case the "
    "falling concentrations are still calculated, or with the \"Abort\" button, which "
    "restores the default settings.\n"
    "\n"
    "Pressing \"Cancel\" ends the program. Pressing \"Accept\" means that you have "
    "read the limitations above and agree to them.");

TForm2::TForm2(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("Sedalyn -  IMPORTANT- READ CAREFULLY AND ACCEPT"));
    // Modal from its first show on: turning a shown window modal takes
    // hiding it and showing it again, and a window manager that sees the
    // window withdrawn after it was mapped again leaves it unmapped, with
    // the main window locked behind it.
    setWindowModality(Qt::ApplicationModal);
    setFont(WindowFont());
    // The outer frame of 601 x 475 at (207, 132) holds a client area of
    // 593 x 448: four-pixel borders and the title bar.
    move(207, 132);
    resize(593, 448);

    BitBtn1 = GlyphButton(this, "BitBtn1", {24, 408, 105, 25}, QStringLiteral("&Accept"), QStyle::SP_DialogOkButton);
    BitBtn1->setDefault(true);
    BitBtn2 = GlyphButton(this, "BitBtn2", {496, 408, 75, 25}, QStringLiteral("Cancel"), QStyle::SP_DialogCancelButton);

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setGeometry(0, 8, 593, 393);
    RichEdit1->setReadOnly(true);
    // Read-only, yet scrolled and selected from the keyboard too.
    RichEdit1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setLineWrapMode(QTextEdit::WidgetWidth);
    RichEdit1->setTabChangesFocus(true);
    RichEdit1->setFont(DisclaimerFont());
    RichEdit1->setPlainText(DisclaimerText);

    BitBtn3 = GlyphButton(this, "BitBtn3", {272, 408, 75, 25}, QStringLiteral("&Help"), QStyle::SP_DialogHelpButton);

    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, RichEdit1);
    setTabOrder(RichEdit1, BitBtn3);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(BitBtn1); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(BitBtn2); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(BitBtn3); });
}

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        onshow();
}

void TForm2::accept()
{
    BitBtn1Click(nullptr);
}

void TForm2::reject()
{
    BitBtn2Click(nullptr);
}

void TForm2::onshow()
{
    QTextDocument* document = RichEdit1->document();

    QPalette palette = RichEdit1->palette();
    palette.setColor(QPalette::Text, Qt::black);
    RichEdit1->setPalette(palette);
    QTextCharFormat base;
    base.setForeground(QColor(Qt::black));
    base.setFontWeight(QFont::Normal);
    QTextCursor all(document);
    all.select(QTextCursor::Document);
    all.mergeCharFormat(base);

    QTextCharFormat redBold;
    redBold.setForeground(QColor(0xFF, 0x00, 0x00));
    redBold.setFontWeight(QFont::Bold);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);

    const QTextCursor start(document);
    QTextCursor at = SelectFrom(document, Heading, start, HeadingLength, redBold);
    at = SelectFrom(document, DeviceLine, at, static_cast<int>(DeviceLine.size()), redBold);
    SelectFrom(document, InstructionsLine, at, static_cast<int>(InstructionsLine.size()), bold);

    // The button names, in the order the text mentions them.
    SelectFrom(document, QStringLiteral("Cancel"), start, 6, bold);
    at = SelectFrom(document, QStringLiteral("Abort"), start, 5, bold);
    at = SelectFrom(document, QStringLiteral("Abort"), at, 5, bold);
    at = SelectFrom(document, QStringLiteral("Cancel"), at, 6, bold);
    SelectFrom(document, QStringLiteral("Accept"), at, 6, bold);

    QTextCursor caret(document);
    caret.movePosition(QTextCursor::Start);
    RichEdit1->setTextCursor(caret);
    RichEdit1->verticalScrollBar()->setValue(0);
    RichEdit1->viewport()->update();
    RichEdit1->setFocus();
}

void TForm2::BitBtn1Click(QObject*)
{
    if (QWidget* mainWindow = parentWidget()) {
        mainWindow->show();
        mainWindow->raise();
        mainWindow->activateWindow();
    }
    done(Accepted); // hides this window and ends the modal display
}

void TForm2::BitBtn2Click(QObject*)
{
    // The main window's close path closes the data file and removes the
    // tray icon; once this window is gone too, the program ends.
    if (QWidget* mainWindow = parentWidget())
        mainWindow->close();
    done(Rejected);
}

void TForm2::BitBtn3Click(QObject*)
{
    OpenHelpDocument();
}

void TForm2::OpenHelpDocument()
{
    // A desktop started from its menu runs the program in the home folder,
    // so the working directory alone would miss an installed document.
    // The desktop's opener may not report a missing file: look first.
    for (const QString& folder : HelpFolders()) {
        const QFileInfo file(QDir(folder), HelpFileName);
        if (!file.isFile() || !file.isReadable())
            continue;
        if (OpenDocument(QUrl::fromLocalFile(file.absoluteFilePath())))
            return;
        // The document is there; what is missing is a program to show it.
        ShowMessage(QStringLiteral("No program to show PDF files is installed. The help document is %1.")
                        .arg(QDir::toNativeSeparators(file.absoluteFilePath())));
        return;
    }
    ShowMessage(QStringLiteral("Help file not found."));
}
