// The main window's controls, their places and their bindings. The case
// handlers that these bindings call live in tracking/ and ui/StartUp.cpp.

#include "Unit1.h"

#include "CasePanel.h"
#include "CaseText.h"
#include "JournalFile.h"
#include "MessageBoxes.h"
#include "ThdTimer.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <iterator>

namespace {

// Days since 1899-12-30 on the local wall clock, the time of day as the
// fraction. Counted from the date and the clock time rather than as elapsed
// milliseconds, so that neither the 1899 local mean time of many time zones
// nor a daylight-saving offset shifts the time of day.
sedalyn::DateTimeDays DateTimeToDays(const QDateTime& local)
{
    static const QDate epoch(1899, 12, 30);
    return static_cast<double>(epoch.daysTo(local.date()))
        + local.time().msecsSinceStartOfDay() / sedalyn::MillisecondsPerDay;
}

sedalyn::DateTimeDays CurrentDateTimeDays()
{
    return DateTimeToDays(QDateTime::currentDateTime());
}

std::int64_t SteadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The sizes are given for 96 dpi; pixel sizes keep the layout the same at
// every resolution. A narrow sans-serif face is preferred to the wide
// default so that the texts fit the fixed widths.
enum FontSize { Pt8 = 11, Pt10 = 13, Pt12 = 16, Pt18 = 24 };

QFont WindowFont(FontSize size, bool bold = false, bool underline = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(size);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

const QColor Black(0x00, 0x00, 0x00);
const QColor Red(0xFF, 0x00, 0x00);
const QColor Maroon(0x80, 0x00, 0x00);
const QColor Green(0x00, 0x80, 0x00);
const QColor White(0xFF, 0xFF, 0xFF);
const QColor ButtonFace(0xF0, 0xF0, 0xF0);

// The original layout's client area.
constexpr QSize CompactSize(613, 447);

// A label of fixed size narrows its font rather than cut its text, so that a
// number is never shown short of its last digits. The narrowing is chosen at
// every paint, as the handlers write the texts.
class FittedLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        FitFontToText();
        QLabel::paintEvent(event);
    }

private:
    static constexpr int NarrowestStretch = 50;

    bool Fits(int stretch) const
    {
        QFont narrowed = font();
        narrowed.setStretch(stretch);
        return QFontMetrics(narrowed).horizontalAdvance(text()) <= contentsRect().width();
    }

    int WantedStretch() const
    {
        if (Fits(100))
            return 100;
        int fits = NarrowestStretch; // the narrowest is taken even if it does not fit
        int tooWide = 100;
        while (tooWide - fits > 1) {
            const int middle = (fits + tooWide) / 2;
            (Fits(middle) ? fits : tooWide) = middle;
        }
        return fits;
    }

    void FitFontToText()
    {
        const int current = font().stretch() == QFont::AnyStretch ? 100 : font().stretch();
        const int wanted = WantedStretch();
        if (wanted == current)
            return;
        QFont narrowed = font();
        narrowed.setStretch(wanted);
        setFont(narrowed);
    }
};

// Connects a signal to a handler with the general error report around it.
template <class Sender, class Signal, class Handler>
void Bind(Sender* sender, Signal signal, QObject* context, Handler handler)
{
    QObject::connect(sender, signal, context, [handler] { RunReportingErrors(handler); });
}

enum class Sizing { Fixed, Auto };

void SetTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* name, QRect geometry, Sizing sizing,
                  const QString& caption, const QFont& font, const QColor& colour)
{
    QLabel* label = sizing == Sizing::Fixed ? new FittedLabel(parent) : new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(font);
    SetTextColour(label, colour);
    label->setText(caption);
    label->setGeometry(geometry);
    if (sizing == Sizing::Auto)
        label->adjustSize();
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect geometry, const QString& text,
                    const QFont& font)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setFont(font);
    edit->setGeometry(geometry);
    return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, QRect geometry, const QString& caption,
                        const QFont& font)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setFont(font);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QPushButton* MakeGlyphButton(QWidget* parent, const char* name, QRect geometry,
                             const QString& caption, const QFont& font, QStyle::StandardPixmap glyph)
{
    QPushButton* button = MakeButton(parent, name, geometry, caption, font);
    button->setIcon(button->style()->standardIcon(glyph, nullptr, button));
    button->setIconSize(QSize(18, 18));
    return button;
}

} // namespace

TForm1::TForm1(const sedalyn::LocaleSettings& locale, QWidget* parent, FileSystem& files)
    : QWidget(parent)
    , DataFile(files)
    , Now(&CurrentDateTimeDays)
    , MonotonicMs(&SteadyMilliseconds)
    , UtcMs(&QDateTime::currentMSecsSinceEpoch)
    , m_locale(locale)
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
    // The panel reads the case's history and models, which go before the
    // window's children would.
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
    InfRateEdit->setValidator(new sedalyn::casetext::SingleLineValidator(InfRateEdit));
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
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    const bool enter = keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter;
    const bool plain = (keyEvent->modifiers()
                        & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
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

    char16_t key = 13;
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
        && NoticeBox(QStringLiteral("A case is running. Close Sedalyn and end the case?"),
                     windowTitle(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2)
               != IDYES) {
        event->ignore();
        return;
    }
    // The window closes even when the close handler fails.
    RunReportingErrors([this] { OnClose(); });
    event->accept();
    emit Closed();
}

void TForm1::CreateSideArea()
{
    WarningLabel = MakeLabel(this, "WarningLabel", {16, 428, 593, 17}, Sizing::Fixed, QString(),
                             WindowFont(Pt8, true), Maroon);
    TrendButton = MakeButton(this, "TrendButton", {536, 40, 73, 25}, QStringLiteral("Trend"),
                             WindowFont(Pt8));
    TrendButton->setCheckable(true);
    TrendButton->setToolTip(QStringLiteral("Show or hide the trend chart, the bolus entry and the "
                                           "wake-up times beside the window"));
    Side = new CasePanel({History, Engine, Patient}, m_locale, this);
    setTabOrder(BitBtn1, TrendButton);
    setTabOrder(TrendButton, Side);
    connect(Side, &CasePanel::BolusGiven, this, [this](double mg) {
        Timeline.GiveBolus(CaseClock(), mg);
        Side->ShowLastBolus(mg, CaseClock());
        JournalCase();
    });

    Side->DockBeside(this, CompactSize, TrendButton);
}

QString TForm1::GeneralText(double value, int digits) const
{
    return QString::fromStdString(sedalyn::FormatGeneral(value, digits, m_locale));
}
