// The main window: its controls, their places, their bindings, and the
// handlers that pass the user's actions on to the case and show what comes
// back.

#include "Unit1.h"

#include "CasePanel.h"
#include "PlanPanel.h"
#include "CaseText.h"
#include "FileError.h"
#include "MessageBoxes.h"
#include "SaveDialog.h"
#include "SideDock.h"
#include "Style.h"
#include "ThdTimer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QValidator>

#include <algorithm>
#include <cstring>
#include <iterator>

using namespace style;
using sedalyn::CaseSession;
using sedalyn::RateOutcome;
using sedalyn::RateSource;
using sedalyn::RateTextState;

namespace {

// Timer3's interval: one model step.
constexpr unsigned TickInterval = static_cast<unsigned>(sedalyn::CaseTimeline::StepMs);
constexpr int ClockInterval = 1000;

// The original layout's client area.
constexpr QSize CompactSize(613, 447);

const QString Zero = QStringLiteral("0.00");

// Connects a signal to a handler with the general error report around it.
template <class Sender, class Signal, class Handler>
void Bind(Sender* sender, Signal signal, QObject* context, Handler handler)
{
    QObject::connect(sender, signal, context, [handler] { RunReportingErrors(handler); });
}

// Keeps an edit box on one line whatever reaches it (typing, paste, drop or
// setText): line breaks become blanks.
class SingleLineValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override
    {
        const auto lineBreak = [](QChar c) { return c == u'\r' || c == u'\n'; };
        if (std::none_of(input.cbegin(), input.cend(), lineBreak))
            return Acceptable;
        // The cursor keeps its place among the characters that stay.
        const qsizetype cursor = std::clamp<qsizetype>(pos, 0, input.size());
        pos = static_cast<int>(sedalyn::casetext::OneLine(input.left(cursor)).size());
        input = sedalyn::casetext::OneLine(input);
        return Acceptable;
    }
};

void RepaintRed(QLabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Red);
    label->setPalette(palette);
    label->repaint();
}

} // namespace

TForm1::TForm1(const sedalyn::LocaleSettings& locale, QWidget* parent)
    : TForm1(std::make_unique<CaseSession>(locale, sedalyn::CaseClocks::System()), parent)
{
}

TForm1::TForm1(std::unique_ptr<CaseSession> session, QWidget* parent)
    : QWidget(parent), m_case(std::move(session))
{
    CreateControls();
    CreateSideArea();
    BindHandlers();
    init();
    SetMessageBoxOwner(this);
}

TForm1::~TForm1()
{
    // The worker's last tick must not reach a half-destroyed window: stop it
    // while every field is still alive.
    delete Timer3;
    Timer3 = nullptr;
    // The panel reads the case, which goes before the window's children would.
    delete Side;
    Side = nullptr;
}

void TForm1::CreateControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Sedalyn"));
    setFont(WindowFont(Pt8));
    // Black captions need the light window face they were drawn for, also
    // under a dark desktop theme.
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, ButtonFace);
    windowPalette.setColor(QPalette::WindowText, Black);
    setPalette(windowPalette);
    // 621 x 474 with the frame; the client area is what remains inside a
    // 4-pixel border and a 19-pixel caption.
    move(657, 25);
    resize(613, 447);

    const QFont bold10 = WindowFont(Pt10, true);
    const QFont bold12 = WindowFont(Pt12, true);

    Label3 = MakeLabel(this, "Label3", {24, 8, 513, 29}, Sizing::Fixed,
                       QStringLiteral("Sedalyn - propofol concentrations"), WindowFont(Pt18), Red);
    Label20 = MakeLabel(this, "Label20", {24, 40, 218, 16}, Sizing::Auto,
                        QStringLiteral("Predictions only: watch the patient."), WindowFont(Pt10), Red);
    Label4 = MakeLabel(this, "Label4", {24, 56, 505, 20}, Sizing::Fixed,
                       QStringLiteral("Schnider model with variable lean body mass algorithms."), bold12,
                       Red);
    Label11 = MakeLabel(this, "Label11", {16, 80, 51, 25}, Sizing::Auto, QStringLiteral("Age (y)"),
                        bold10, Black);
    Label6 = MakeLabel(this, "Label6", {136, 80, 73, 17}, Sizing::Fixed,
                       QStringLiteral("Height (m)"), bold10, Black);
    Label7 = MakeLabel(this, "Label7", {280, 80, 81, 25}, Sizing::Fixed,
                       QStringLiteral("Weight( kg)"), bold10, Black);
    Label8 = MakeLabel(this, "Label8", {16, 152, 161, 25}, Sizing::Fixed,
                       QStringLiteral("LBM (James)"), bold10, Black);
    Label10 = MakeLabel(this, "Label10", {192, 152, 225, 25}, Sizing::Fixed,
                        QStringLiteral("LBM (Janmahasation)"), bold10, Black);
    DataFileOpenLabel = MakeLabel(this, "DataFileOpenLabel", {456, 152, 102, 16}, Sizing::Auto,
                                  QStringLiteral("Data file open:"), bold10, Black);
    Label9 = MakeLabel(this, "Label9", {16, 184, 169, 17}, Sizing::Fixed,
                       QStringLiteral("LBM (Hume)"), bold10, Black);
    BMIlabel = MakeLabel(this, "BMIlabel", {192, 184, 193, 25}, Sizing::Fixed,
                         QStringLiteral("BMI "), bold10, Black);
    Label5 = MakeLabel(this, "Label5", {16, 216, 138, 25}, Sizing::Auto,
                       QStringLiteral("Set rate ( mg/kg/hr )"), bold10, Black);
    Infratelabel = MakeLabel(this, "Infratelabel", {16, 256, 353, 25}, Sizing::Fixed,
                             QStringLiteral("Infratelabel"), bold10, Black);
    Label18 = MakeLabel(this, "Label18", {456, 376, 145, 17}, Sizing::Fixed,
                        QStringLiteral("Label18"), bold10, Black);
    Label1 = MakeLabel(this, "Label1", {456, 408, 73, 16}, Sizing::Fixed, QStringLiteral("Label1"),
                       bold10, Black);
    Label2 = MakeLabel(this, "Label2", {536, 408, 65, 16}, Sizing::Fixed, QStringLiteral("Label2"),
                       bold10, Black);

    AgeEdit = MakeEdit(this, "AgeEdit", {72, 80, 49, 24}, QString(), bold10);
    HeightEdit = MakeEdit(this, "HeightEdit", {216, 80, 57, 24}, QStringLiteral("0"), bold10);
    WeightEdit = MakeEdit(this, "WeightEdit", {368, 80, 65, 24}, QString(), bold10);
    Genderbutton = MakeButton(this, "Genderbutton", {448, 80, 153, 25}, QStringLiteral("Male"), bold10);
    ConfirmPatient = MakeGlyphButton(this, "ConfirmPatient", {448, 112, 153, 25},
                                     QStringLiteral("Confirm patient"), bold10,
                                     QStyle::SP_DialogOkButton);
    InfRateEdit = MakeEdit(this, "InfRateEdit", {200, 216, 57, 24}, QStringLiteral("0"), bold10);
    InfRateEdit->setValidator(new SingleLineValidator(InfRateEdit));
    Changebutton = MakeButton(this, "Changebutton", {264, 216, 177, 25},
                              QStringLiteral("Confirm Rate Change"), bold10);
    StartButton = MakeGlyphButton(this, "StartButton", {448, 216, 153, 25}, QStringLiteral("Start"),
                                  bold10, QStyle::SP_DialogOkButton);
    StartButton->setEnabled(false);
    AbortButton = MakeGlyphButton(this, "AbortButton", {448, 280, 153, 25}, QStringLiteral("Abort"),
                                  bold10, QStyle::SP_DialogCancelButton);
    BitBtn3 = MakeGlyphButton(this, "BitBtn3", {448, 328, 153, 25}, QStringLiteral("&Close"), bold10,
                              QStyle::SP_DialogCloseButton);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setFocusPolicy(Qt::NoFocus);
    Panel1->setFont(bold12);
    Panel1->setAutoFillBackground(true);
    QPalette panelPalette = Panel1->palette();
    panelPalette.setColor(QPalette::Window, White);
    Panel1->setPalette(panelPalette);
    Panel1->setGeometry(16, 280, 425, 145);

    DataFileName = MakeEdit(this, "DataFileName", {448, 176, 153, 21}, QStringLiteral("DataFileName"),
                            WindowFont(Pt8));
    DataFileOpenLabel->hide();
    DataFileName->hide();
    BitBtn1 = MakeGlyphButton(this, "BitBtn1", {536, 8, 73, 25}, QStringLiteral("&Help"),
                              WindowFont(Pt8), QStyle::SP_DialogHelpButton);

    Label17 = MakeLabel(Panel1, "Label17", {6, 8, 203, 20}, Sizing::Fixed,
                        QStringLiteral("Predicted concentrations"), WindowFont(Pt12, true, true), Red);
    Label15 = MakeLabel(Panel1, "Label15", {228, 8, 59, 20}, Sizing::Auto, QStringLiteral("Plasma"),
                        bold12, Maroon);
    Label16 = MakeLabel(Panel1, "Label16", {344, 8, 58, 20}, Sizing::Auto, QStringLiteral("Effect"),
                        bold12, Green);
    Label19 = MakeLabel(Panel1, "Label19", {8, 32, 66, 13}, Sizing::Auto,
                        QStringLiteral("( mcg / ml )"), WindowFont(Pt8, true), Red);
    Label12 = MakeLabel(Panel1, "Label12", {6, 53, 53, 20}, Sizing::Auto, QStringLiteral("James"),
                        bold12, Red);
    Label13 = MakeLabel(Panel1, "Label13", {6, 84, 48, 20}, Sizing::Auto, QStringLiteral("Hume"),
                        bold12, Red);
    Label14 = MakeLabel(Panel1, "Label14", {6, 111, 123, 20}, Sizing::Auto,
                        QStringLiteral("Janmahasation"), bold12, Red);
    const QString zero = QStringLiteral("0.00");
    Jameslabel = MakeLabel(Panel1, "Jameslabel", {228, 53, 97, 20}, Sizing::Fixed, zero, bold12, Maroon);
    James1label = MakeLabel(Panel1, "James1label", {344, 53, 73, 20}, Sizing::Fixed, zero, bold12, Green);
    Humelabel = MakeLabel(Panel1, "Humelabel", {228, 84, 97, 20}, Sizing::Fixed, zero, bold12, Maroon);
    Hume1label = MakeLabel(Panel1, "Hume1label", {344, 84, 73, 20}, Sizing::Fixed, zero, bold12, Green);
    Hanlabel = MakeLabel(Panel1, "Hanlabel", {228, 111, 105, 20}, Sizing::Fixed, zero, bold12, Maroon);
    Han1label = MakeLabel(Panel1, "Han1label", {344, 111, 73, 20}, Sizing::Fixed, zero, bold12, Green);

    QWidget* const tabOrder[] = {AgeEdit,     HeightEdit,  WeightEdit, Genderbutton, ConfirmPatient,
                                 InfRateEdit, Changebutton, StartButton, AbortButton, BitBtn3,
                                 Panel1,      DataFileName, BitBtn1};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);

    Timer3 = new TThreadedTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->SetAllowZero(false);
    Timer3->SetInterval(TickInterval);
    Timer3->SetThreadPriority(TThreadPriority::tpHighest);

    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->Title = QStringLiteral("Save propofol data as");
    SaveDialog1->DefaultExt = QStringLiteral("csv");
}

void TForm1::CreateSideArea()
{
    // In the window's own text size or larger, with the warning icon: it must
    // not be the smallest text on the screen.
    WarningRow = new QWidget(this);
    WarningRow->setObjectName(QStringLiteral("WarningRow"));
    auto* warningIcon = new QLabel(WarningRow);
    warningIcon->setObjectName(QStringLiteral("WarningIcon"));
    const int iconSize = 2 * Pt10;
    warningIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize));
    warningIcon->setAlignment(Qt::AlignTop);
    WarningLabel = new QLabel(WarningRow);
    WarningLabel->setObjectName(QStringLiteral("WarningLabel"));
    WarningLabel->setTextFormat(Qt::PlainText);
    WarningLabel->setWordWrap(true);
    WarningLabel->setFont(WindowFont(Pt10, true));
    SetTextColour(WarningLabel, Maroon);
    auto* warningLayout = new QHBoxLayout(WarningRow);
    warningLayout->setContentsMargins(0, 4, 0, 4);
    warningLayout->addWidget(warningIcon, 0, Qt::AlignTop);
    warningLayout->addWidget(WarningLabel, 1);
    WarningRow->hide();
    NoDataFileLabel = new QLabel(QStringLiteral("No data file: this case is not recorded."), this);
    NoDataFileLabel->setObjectName(QStringLiteral("NoDataFileLabel"));
    NoDataFileLabel->setTextFormat(Qt::PlainText);
    NoDataFileLabel->setWordWrap(true);
    NoDataFileLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    NoDataFileLabel->setFont(WindowFont(Pt10, true));
    SetTextColour(NoDataFileLabel, Maroon);
    NoDataFileLabel->setGeometry(456, 152, 145, 48);
    NoDataFileLabel->hide();
    TrendButton = MakeButton(this, "TrendButton", {536, 40, 73, 25}, QStringLiteral("Trend"), WindowFont(Pt8));
    TrendButton->setCheckable(true);
    TrendButton->setToolTip(QStringLiteral("Show or hide the trend chart"));
    Side = new CasePanel(*m_case, this);
    setTabOrder(BitBtn1, TrendButton);
    setTabOrder(TrendButton, Side);
    Dock = new SideDock(this, CompactSize, QPoint(657, 25), Side, WarningRow, TrendButton);
}

void TForm1::BindHandlers()
{
    Bind(Genderbutton, &QPushButton::clicked, this, [this] { GenderbuttonClick(Genderbutton); });
    Bind(ConfirmPatient, &QPushButton::clicked, this, [this] { ConfirmPatientClick(ConfirmPatient); });
    Bind(Changebutton, &QPushButton::clicked, this, [this] { ChangebuttonClick(Changebutton); });
    Bind(StartButton, &QPushButton::clicked, this, [this] { StartButtonClick(StartButton); });
    Bind(AbortButton, &QPushButton::clicked, this, [this] { AbortButtonClick(AbortButton); });
    Bind(BitBtn3, &QPushButton::clicked, this, [this] {
        BitBtn3Click(BitBtn3);
        close();
    });
    Bind(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(BitBtn1); });
    // Not emitted when the program writes the text the box already holds.
    Bind(InfRateEdit, &QLineEdit::textChanged, this, [this] { InfRateEditChange(InfRateEdit); });
    Bind(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
    Bind(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(Timer2); });
    // The threaded timer discards its ticks' exceptions itself.
    Timer3->SetOnTimer([this](QObject* sender) { Timer3Timer(sender); });

    for (QLineEdit* edit : {AgeEdit, HeightEdit, WeightEdit, InfRateEdit})
        edit->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // A number box that gets the focus by the keyboard or the program holds
    // its text selected, so that typing replaces the "0" rather than adds to it.
    if (event->type() == QEvent::FocusIn && static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason) {
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, edit, [edit] {
                if (edit->hasFocus())
                    edit->selectAll();
            });
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    const bool enter = keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter;
    const bool plain = (keyEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
    if (!enter || !plain)
        return QWidget::eventFilter(watched, event);

    void (TForm1::*handler)(QObject*, char16_t&) = nullptr;
    if (watched == AgeEdit)
        handler = &TForm1::AgeEnterClick;
    else if (watched == HeightEdit)
        handler = &TForm1::HeightEnterClick;
    else if (watched == WeightEdit)
        handler = &TForm1::weightEnterClick;
    else if (watched == InfRateEdit)
        handler = &TForm1::InfRateEditKeyPress;
    else
        return QWidget::eventFilter(watched, event);

    char16_t key = EnterKey;
    // A key whose handler failed is not typed either.
    if (!RunReportingErrors([&] { (this->*handler)(watched, key); }))
        return true;
    return key == 0;
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A spontaneous show is the window system restoring a minimised window.
    if (!event->spontaneous())
        RunReportingErrors([this] { onshow(); });
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Every way of closing the window asks before it ends a running case.
    if (CaseRunning()
        && NoticeBox(QStringLiteral("A case is running. Close Sedalyn and end the case?"), windowTitle(),
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2)
               != IDYES) {
        event->ignore();
        return;
    }
    // The window closes even when the close handler fails.
    RunReportingErrors([this] { OnClose(); });
    event->accept();
    emit Closed();
}

// ------------------------------------------------------------ the lifecycle

void TForm1::init()
{
    m_disclaimerShown = false;
    Timer1->setInterval(ClockInterval);
    Timer1->start();
    // The date and the time from the first paint, not a second later.
    Timer1Timer(Timer1);
    ShowConcentrations({Zero, Zero, Zero, Zero, Zero, Zero});
    Timer2->stop();
    Timer3->SetEnabled(false);
    Timer3->SetInterval(TickInterval);
    EnablePatientEntry();
    for (QLineEdit* edit : {InfRateEdit, HeightEdit, AgeEdit, WeightEdit})
        edit->setText(QStringLiteral("0"));
    QPalette panel = Panel1->palette();
    panel.setColor(QPalette::Window, White);
    Panel1->setPalette(panel);
    Label18->setText(QStringLiteral("Elapsed   ")
                     + sedalyn::casetext::Q(sedalyn::TimeText(0.0, m_case->Locale())));
    Changebutton->setEnabled(false);
    Infratelabel->setText(QString());
    QCoreApplication::setApplicationName(ApplicationTitle);
    InitiateTrayIconData(m_trayIconData, windowIcon(), QCoreApplication::applicationName());
    DataFileOpenLabel->hide();
    DataFileName->hide();
}

void TForm1::StartButtonClick(QObject*)
{
    const RateOutcome confirmed = m_case->Start();
    Side->CaseStarted();
    Timer3->SetEnabled(true);
    // Disabling the focused Start would pass the focus on to Abort.
    InfRateEdit->setFocus();
    StartButton->setEnabled(false);
    Timer2->start();
    Label18->setText(m_case->ElapsedText());
    PresentRate(confirmed, RateSource::Box);
    Changebutton->setEnabled(false);
}

void TForm1::AbortButtonClick(QObject*)
{
    // Neither a stray Space nor a slip of the mouse ends a running case.
    if (CaseRunning()
        && NoticeBox(QStringLiteral("End the running case?"), windowTitle(),
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2)
               != IDYES)
        return;
    const sedalyn::EndOutcome ended = m_case->Abort();
    // A reminder of the case that ended has nothing left to remind of.
    if (m_reminder)
        m_reminder->close();
    ShowConcentrations({Zero, Zero, Zero, Zero, Zero, Zero});
    Label18->setText(m_case->ElapsedText());
    Timer2->stop();
    Timer3->SetEnabled(false);
    Timer3->SetInterval(TickInterval);
    EnablePatientEntry();
    Changebutton->setEnabled(false);
    Side->CaseEnded();
    WarningLabel->clear();
    WarningLabel->setToolTip(QString());
    WarningRow->hide();
    ShowDataFile();
    Side->ShowStatus(m_case->StatusLines());
    if (!ended.Notice.isEmpty())
        NoticeBox(ended.Notice, windowTitle(), MB_OK);
    // A file that failed to close is reported last, as the general report does.
    if (ended.CloseError != 0)
        throw EInOutError(ended.CloseError);
}

void TForm1::BitBtn3Click(QObject*)
{
    // The button's kind closes the window; nothing else to do here.
}

void TForm1::OnClose()
{
    const sedalyn::EndOutcome ended = m_case->Close();
    if (!ended.Notice.isEmpty())
        NoticeBox(ended.Notice, windowTitle(), MB_OK);
    if (ended.CloseError != 0)
        NoticeBox(QStringLiteral("File close error."), windowTitle(), MB_OK);
    RemoveTrayIcon(m_trayIconData);
}

void TForm1::Timer1Timer(QObject*)
{
    Label1->setText(m_case->DateLabel());
    Label2->setText(m_case->TimeLabel());
}

void TForm1::Timer2Timer(QObject*)
{
    Label18->setText(m_case->ElapsedText());
}

void TForm1::EnablePatientEntry()
{
    for (QWidget* control : std::initializer_list<QWidget*>{HeightEdit, AgeEdit, WeightEdit, Genderbutton})
        control->setEnabled(true);
    StartButton->setEnabled(false);
    ConfirmPatient->setEnabled(true);
}

// -------------------------------------------------------------- the patient

void TForm1::AgeEnterClick(QObject*, char16_t& Key)
{
    if (Key == EnterKey) {
        Key = 0;
        HeightEdit->setFocus();
    }
}

void TForm1::HeightEnterClick(QObject*, char16_t& Key)
{
    if (Key == EnterKey) {
        Key = 0;
        WeightEdit->setFocus();
    }
}

void TForm1::weightEnterClick(QObject*, char16_t& Key)
{
    if (Key == EnterKey) {
        Key = 0;
        Genderbutton->setFocus();
    }
}

void TForm1::GenderbuttonClick(QObject*)
{
    Genderbutton->setText(Genderbutton->text() == QLatin1String(sedalyn::MaleCaption)
                              ? QString::fromLatin1(sedalyn::FemaleCaption)
                              : QString::fromLatin1(sedalyn::MaleCaption));
}

void TForm1::ConfirmPatientClick(QObject*)
{
    const sedalyn::PatientOutcome outcome = m_case->ConfirmPatient(
        {AgeEdit->text(), HeightEdit->text(), WeightEdit->text(), Genderbutton->text()});
    if (!outcome.Refusal.isEmpty()) {
        InputErrorBox(outcome.Refusal);
        return;
    }
    ShowPatient(outcome.Shown);
    OpenDataFile();
}

void TForm1::ShowPatient(const sedalyn::PatientTexts& shown)
{
    Label8->setText(shown.JamesLbm);
    Label9->setText(shown.HumeLbm);
    Label10->setText(shown.HanLbm);
    BMIlabel->setText(shown.Bmi);
    HeightEdit->setText(shown.Height);
    HeightEdit->setEnabled(false);
    AgeEdit->setText(shown.Age);
    AgeEdit->setEnabled(false);
    WeightEdit->setText(shown.Weight);
    WeightEdit->setEnabled(false);
    Genderbutton->setEnabled(false);
    StartButton->setEnabled(true);
    ConfirmPatient->setEnabled(false);
    WarningLabel->setText(shown.Warnings.join(QStringLiteral("  ")));
    WarningLabel->setToolTip(shown.Warnings.join(QLatin1Char('\n')));
    WarningRow->setVisible(!shown.Warnings.isEmpty());
}

void TForm1::OpenDataFile()
{
    // Cancelled: the case runs without a data file, and no box says so.
    if (!SaveDialog1->Execute(this)) {
        ShowDataFile();
        return;
    }
    const QString notice = m_case->OpenDataFile(SaveDialog1->FileName);
    ShowDataFile();
    if (!notice.isEmpty())
        NoticeBox(notice, windowTitle(), MB_OK);
}

void TForm1::ShowDataFile()
{
    const bool recording = m_case->DataFile().Recording();
    DataFileName->setText(recording ? m_case->DataFile().Path() : DataFileName->text());
    DataFileOpenLabel->setVisible(recording);
    DataFileName->setVisible(recording);
    NoDataFileLabel->setVisible(!recording && m_case->Stage() != sedalyn::CaseStage::PatientEntry);
}

// ----------------------------------------------------------------- the rate

void TForm1::InfRateEditChange(QObject*)
{
    Changebutton->setEnabled(true);
    m_case->RateTextChanged(InfRateEdit->text());
    RepaintRed(Infratelabel);
}

void TForm1::InfRateEditKeyPress(QObject*, char16_t& Key)
{
    if (Key == EnterKey) {
        Key = 0;
        ChangebuttonClick(this);
    }
}

void TForm1::ChangebuttonClick(QObject*)
{
    ConfirmRateFrom(RateSource::Box);
}

void TForm1::ConfirmRateFrom(RateSource source)
{
    PresentRate(m_case->ConfirmRate(source), source);
}

void TForm1::PresentRate(RateOutcome outcome, RateSource source)
{
    if (outcome.What == RateOutcome::Kind::Question) {
        if (NoticeBox(outcome.Text, windowTitle(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
            // The line says the rate the models go on with.
            Infratelabel->setText(m_case->DeclineRate());
            return;
        }
        outcome = m_case->ConfirmRate(source, true);
    }
    switch (outcome.What) {
    case RateOutcome::Kind::Accepted:
        Infratelabel->setText(outcome.RateLine);
        InfRateEdit->setText(outcome.BoxText);
        // Disabling the focused button would pass the focus on towards Abort.
        if (focusWidget() == Changebutton)
            InfRateEdit->setFocus();
        Changebutton->setEnabled(false);
        Side->PlanView->Refresh();
        break;
    case RateOutcome::Kind::Refused:
        // The box keeps what was typed, to be mended.
        InputErrorBox(outcome.Text);
        break;
    case RateOutcome::Kind::Question:
    case RateOutcome::Kind::Declined:
        break;
    }
}

// ----------------------------------------------------------------- the tick

void TForm1::Timer3Timer(QObject*)
{
    // Disabling the focused Abort would hand the focus on to Close, where the
    // next Space would end the program.
    const bool abortHadFocus = focusWidget() == AbortButton;
    AbortButton->setEnabled(false);
    const sedalyn::TickOutcome outcome = m_case->Tick();
    ShowConcentrations(outcome.Concentrations);
    AbortButton->setEnabled(true);
    if (abortHadFocus)
        AbortButton->setFocus();
    Side->StepsTaken();
    Side->ShowStatus(m_case->StatusLines());

    // The tick's boxes do not wait for their answers: the next ticks go on
    // behind them, and an answer acts when it comes.
    if (!outcome.FileNotice.isEmpty()) {
        ShowDataFile();
        SayLater(m_fileBox, outcome.FileNotice);
    }
    if (!outcome.JournalNotice.isEmpty())
        SayLater(m_journalBox, outcome.JournalNotice);
    if (outcome.Remind)
        Remind(outcome.Reminder);
}

void TForm1::Remind(const QString& text)
{
    if (m_reminder) {
        m_reminder->setText(text);
        return;
    }
    m_reminder = NoticeBoxLater(this, text, windowTitle(), MB_OKCANCEL, [this](int answer) {
        if (answer != IDOK || !CaseRunning())
            return;
        // The rate applies from the moment of the answer.
        ConfirmRateFrom(RateSource::Reminder);
        m_case->ReminderConfirmed();
    });
}

void TForm1::SayLater(QPointer<QMessageBox>& box, const QString& text)
{
    if (box)
        box->setText(text);
    else
        box = NoticeBoxLater(this, text, windowTitle(), MB_OK, nullptr);
}

void TForm1::ShowConcentrations(const std::array<QString, sedalyn::ConcentrationCount>& texts)
{
    QLabel* const labels[] = {Jameslabel, James1label, Humelabel, Hume1label, Hanlabel, Han1label};
    for (std::size_t i = 0; i < texts.size(); ++i)
        labels[i]->setText(texts[i]);
}

// ------------------------------------------------------------- the journal

void TForm1::OfferResume()
{
    const sedalyn::ResumeOffer offer = m_case->OfferResume();
    switch (offer.What) {
    case sedalyn::ResumeOffer::Kind::Nothing:
        return;
    case sedalyn::ResumeOffer::Kind::Notice:
        NoticeBox(offer.Text, windowTitle(), MB_OK | MB_ICONINFORMATION);
        return;
    case sedalyn::ResumeOffer::Kind::Question:
        break;
    }
    if (NoticeBox(offer.Text, windowTitle(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        m_case->DeclineResume();
        return;
    }
    const sedalyn::ResumeOutcome resumed = m_case->Resume();
    Genderbutton->setText(resumed.Gender);
    ShowPatient(resumed.Patient);
    InfRateEdit->setText(resumed.BoxText);
    Infratelabel->setText(resumed.RateLine);
    Changebutton->setEnabled(m_case->PendingRate() != RateTextState::Confirmed);
    ShowDataFile();
    if (m_case->DataFile().Recording())
        SaveDialog1->FileName = m_case->DataFile().Path();
    if (!resumed.FileNotice.isEmpty())
        NoticeBox(resumed.FileNotice, windowTitle(), MB_OK);

    Timer3->SetInterval(TickInterval);
    Timer3->SetEnabled(true);
    InfRateEdit->setFocus();
    StartButton->setEnabled(false);
    Timer2->start();
    Timer2Timer(Timer2);
    Side->CaseStarted();
    Side->ShowNotice(resumed.Notice);
    Side->ShowLastBolus(resumed.LastBolusLine);
    // The pump ran on: the steps missed are made up now, not in 5 seconds.
    Timer3Timer(Timer3);
}

// ----------------------------------------------------- help and tray icon

void TForm1::TrayIconCallback(int mouseEvent)
{
    switch (mouseEvent) {
    case WM_LBUTTONDOWN:
        if (isMinimized())
            setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
        break;
    case WM_RBUTTONDOWN:
        hide();
        break;
    default:
        break;
    }
}

void TForm1::InitiateTrayIconData(TTrayIconData& record, const QIcon& icon, const QString& tip)
{
    record.cbSize = TrayIconRecordSize;
    record.Wnd = this;
    record.uID = 0;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = TrayIconCallbackMessage;
    record.hIcon = icon;

    // At most 63 bytes and the NUL; never cut a character in two.
    const QByteArray bytes = tip.toUtf8();
    qsizetype length = std::min<qsizetype>(bytes.size(), static_cast<qsizetype>(record.szTip.size()) - 1);
    if (length < bytes.size()) {
        while (length > 0 && (static_cast<unsigned char>(bytes[length]) & 0xC0) == 0x80)
            --length;
    }
    record.szTip.fill('\0');
    std::memcpy(record.szTip.data(), bytes.constData(), static_cast<std::size_t>(length));
}
