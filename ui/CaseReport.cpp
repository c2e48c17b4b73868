#include "CaseReport.h"

#include "BodySize.h"
#include "Eleveld.h"
#include "MessageBoxes.h"
#include "SystemLocale.h"
#include "TrendChartView.h"
#include "TrendPanel.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace sedalyn;

namespace {

// Longer than this between two rows, and rows are missing.
constexpr double RowGapMinutes = 0.75;
constexpr double TableStepMinutes = 5.0;
// Of the lines it could not read, the report names this many.
constexpr qsizetype MostUnreadShown = 40;

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QString H(const QString& text)
{
    return text.toHtmlEscaped();
}


QString General(double value, const LocaleSettings& locale)
{
    return Q(FormatGeneral(value, 4, locale));
}

QString Mg(double value, const LocaleSettings& locale)
{
    return Q(FormatFixed(value, 15, 0, locale)) + QStringLiteral(" mg");
}

} // namespace

QString CaseTimeOf(double minutes)
{
    return Q(CaseTimeText(std::llround(minutes * 60'000.0)));
}

std::vector<CaseEventLine> CaseEventLines(const CaseFileContent& content, const LocaleSettings& locale)
{
    std::vector<CaseEventLine> lines;
    for (const CaseFileEvent& e : content.Events) {
        QString text = e.Text;
        if (e.What == CaseFileEvent::Kind::Start)
            text = QStringLiteral("start, rate %1 mg/kg/hr").arg(Q(FormatGeneral(e.Value, 15, locale)));
        else if (e.What == CaseFileEvent::Kind::Opioid)
            text = e.Value != 0.0 ? QStringLiteral("Eleveld model: opioid given") : QStringLiteral("Eleveld model: no opioid");
        lines.push_back({e.Minutes, e.Clock, text});
    }
    const CaseFileRow* previous = nullptr;
    for (const CaseFileRow& row : content.Rows) {
        if (!content.RatesKnown() && (!previous || previous->RateText != row.RateText))
            lines.push_back({row.Minutes, row.Clock, QStringLiteral("rate box text: %1").arg(row.RateText)});
        if (previous && row.Minutes - previous->Minutes > RowGapMinutes)
            lines.push_back({previous->Minutes, previous->Clock,
                             QStringLiteral("gap: no rows for %1")
                                 .arg(Q(SpokenDurationText(std::llround((row.Minutes - previous->Minutes) * 60'000.0)
                                                           - 30'000)))});
        previous = &row;
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const CaseEventLine& a, const CaseEventLine& b) { return a.Minutes < b.Minutes; });
    return lines;
}

QString EleveldReplayText(const EleveldReplay& eleveld)
{
    if (!eleveld.Replayed())
        return QStringLiteral("Eleveld model: not shown, as %1.").arg(eleveld.Missing);
    return QStringLiteral("Eleveld model (2018, %1): replayed from the rate and bolus rows, which give the "
                          "file's Schnider values again.")
        .arg(!eleveld.OpioidKnown ? QStringLiteral("no opioid assumed: the file does not say whether opioids were given")
             : eleveld.Opioid     ? QStringLiteral("with opioid")
                                  : QStringLiteral("no opioid"));
}

namespace {

// `keepWhole`: cells never break, as times and numbers must not.
QString Table(const QStringList& headings, const std::vector<QStringList>& rows, bool keepWhole = false)
{
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\"><tr>");
    for (const QString& h : headings)
        html += QStringLiteral("<th>%1</th>").arg(H(h));
    html += QStringLiteral("</tr>");
    for (const QStringList& row : rows) {
        html += QStringLiteral("<tr>");
        for (const QString& cell : row)
            html += (keepWhole ? QStringLiteral("<td style=\"white-space:nowrap\">%1</td>") : QStringLiteral("<td>%1</td>")).arg(H(cell));
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString FirstPage(const CaseFileContent& content, const EleveldReplay& eleveld, const QString& source,
                  const LocaleSettings& locale)
{
    const CaseFilePatient& p = content.Patient;
    QString html = QStringLiteral("<h2>Sedalyn case report</h2>"
                                  "<p>Predicted propofol concentrations (mcg/ml): Schnider model; James / Hume / "
                                  "Janmahasatian lean body mass. Predictions, not measurements.<br>");
    html += H(EleveldReplayText(eleveld)) + QStringLiteral("</p>");
    html += QStringLiteral("<p>Data file: %1<br>Report made: %2</p>")
                .arg(H(source), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    html += QStringLiteral("<h3>Patient</h3><p>");
    const auto value = [&](const std::optional<double>& v, const char* unit) {
        return v ? Q(FormatGeneral(*v, 15, locale)) + QLatin1String(unit) : QStringLiteral("not readable");
    };
    html += QStringLiteral("Gender: %1; age: %2; height: %3; weight: %4<br>")
                .arg(H(p.Gender.isEmpty() ? QStringLiteral("not readable") : p.Gender), value(p.Age, " y"),
                     value(p.Height, " m"), value(p.Weight, " kg"));
    if (p.Complete()) {
        const bool male = p.Gender == QLatin1String(MaleCaption);
        const double h = *p.Height, w = *p.Weight;
        html += QStringLiteral("BMI: %1 kg/m2; lean body mass: James %2 kg, Hume %3 kg, Janmahasatian %4 kg")
                    .arg(General(BodyMassIndex(h, w), locale), General(JamesLbm(male, h, w), locale),
                         General(HumeLbm(male, h, w), locale), General(JanmahasatianLbm(male, h, w), locale));
        const Patient patient{*p.Age, h, w, [male] { return std::string(male ? MaleCaption : FemaleCaption); }};
        if (const std::string warning = EleveldPopulationWarning(patient); !warning.empty() && eleveld.Replayed())
            html += QStringLiteral("<br>") + H(Q(warning));
    } else {
        html += QStringLiteral("BMI and lean body masses: not known (the patient header cannot be read)");
    }
    html += QStringLiteral("</p><h3>Case</h3><p>");
    const QString notRecorded = QStringLiteral("not recorded");
    const QStringList started = content.Started.split(QLatin1Char(' '));
    html += QStringLiteral("Date: %1; start time: %2<br>")
                .arg(content.Started.isEmpty() ? notRecorded : started.value(0),
                     content.Started.isEmpty() ? notRecorded : started.value(1));
    const bool ended = std::any_of(content.Events.begin(), content.Events.end(),
                                   [](const CaseFileEvent& e) { return e.What == CaseFileEvent::Kind::End; });
    html += QStringLiteral("Duration: %1%2<br>")
                .arg(CaseTimeOf(content.EndMinutes()),
                     ended ? QString() : QStringLiteral(" (to the last row: the file has no end row)"));
    const double bolus = content.BolusMg();
    const std::optional<double> rate = content.RateMg();
    html += QStringLiteral("Propofol given by rate: %1<br>Propofol given by bolus: %2<br>")
                .arg(rate ? Mg(*rate, locale)
                          : QStringLiteral("not known (the file gives the rate box's text only, not the rate in use)"),
                     Mg(bolus, locale));
    if (rate)
        html += QStringLiteral("Total: %1<br>").arg(Mg(*rate + bolus, locale));
    if (const std::int64_t lost = content.RowsLost(); lost > 0)
        html += QStringLiteral("%1 rows were lost to a failing disk: boluses among them are not counted.<br>").arg(lost);
    html += QStringLiteral("Rate history from: %1</p>")
                .arg(content.RatesKnown() ? QStringLiteral("the rate rows (the rate in use)")
                                          : QStringLiteral("rate box text (what stood in the box at each row)"));
    return html;
}

QString TablesPages(const CaseFileContent& content, const EleveldReplay& eleveld, const LocaleSettings& locale)
{
    QString html = QStringLiteral("<h3>Events</h3>");
    std::vector<QStringList> events;
    for (const CaseEventLine& e : CaseEventLines(content, locale))
        events.push_back({CaseTimeOf(e.Minutes), e.Clock, e.Text});
    html += events.empty() ? QStringLiteral("<p>None.</p>")
                           : Table({QStringLiteral("Case time"), QStringLiteral("Clock"), QStringLiteral("Event")}, events);

    if (!content.Unread.isEmpty()) {
        html += QStringLiteral("<h3>Lines that could not be read (%1), left out</h3><p>").arg(content.Unread.size());
        for (qsizetype i = 0; i < std::min(content.Unread.size(), MostUnreadShown); ++i)
            html += H(content.Unread[i]) + QStringLiteral("<br>");
        if (content.Unread.size() > MostUnreadShown)
            html += QStringLiteral("and %1 more").arg(content.Unread.size() - MostUnreadShown);
        html += QStringLiteral("</p>");
    }

    html += QStringLiteral("<h3>Concentrations every 5 minutes (mcg/ml)</h3>");
    std::vector<QStringList> rows;
    std::size_t next = 0;
    const double end = content.EndMinutes();
    for (double t = TableStepMinutes; t <= end + 1e-9 && !content.Rows.empty(); t += TableStepMinutes) {
        while (next < content.Rows.size() && content.Rows[next].Minutes < t - 1e-6)
            ++next;
        if (next == content.Rows.size() || std::abs(content.Rows[next].Minutes - t) > 1e-6) {
            rows.push_back({CaseTimeOf(t), QString(), QStringLiteral("no row")});
            continue;
        }
        const CaseFileRow& row = content.Rows[next];
        const std::optional<double> known = content.RateAt(t);
        QStringList cells{CaseTimeOf(t), row.Clock,
                          known ? Q(FormatGeneral(*known, 15, locale)) : row.RateText};
        for (const double c : row.Concentrations)
            cells << Q(FormatFixed(c, 6, 2, locale));
        if (eleveld.Replayed())
            for (const double c : eleveld.At(t).value_or(EleveldConcentrations{}))
                cells << Q(FormatFixed(c, 6, 2, locale));
        rows.push_back(cells);
    }
    QStringList headings{QStringLiteral("Case time"), QStringLiteral("Clock"),
                         content.RatesKnown() ? QStringLiteral("Rate mg/kg/hr") : QStringLiteral("Rate box text"),
                         QStringLiteral("James Cp"), QStringLiteral("James Ce"), QStringLiteral("Hume Cp"),
                         QStringLiteral("Hume Ce"), QStringLiteral("Janmahasatian Cp"),
                         QStringLiteral("Janmahasatian Ce")};
    if (eleveld.Replayed())
        headings << QStringLiteral("Eleveld Cp") << QStringLiteral("Eleveld Ce");
    html += rows.empty() ? QStringLiteral("<p>None: there are no rows.</p>") : Table(headings, rows, true);
    return html;
}

} // namespace

void DrawCaseChart(QPainter& painter, const QRectF& target, const CaseHistory& history, const LocaleSettings& locale,
                   const EleveldReplay& eleveld)
{
    TrendPanel panel(history);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.SetLocale(locale);
    panel.SetEleveldShown(eleveld.Replayed());
    panel.SetOpioid(eleveld.Opioid);
    // Laid out at screen size, then scaled to the target.
    panel.resize(760, static_cast<int>(760 * target.height() / std::max(1.0, target.width())) + 60);
    panel.show();
    panel.Refresh();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    TrendChartView* view = panel.ChartView();
    view->render(&painter, target, view->viewport()->rect());
}

QString WriteCaseReport(const CaseFileContent& content, const QString& source, const QString& pdfPath,
                        const LocaleSettings& locale)
{
    const QString failed = QStringLiteral("cannot write %1").arg(pdfPath);
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        return failed + QStringLiteral(": ") + file.errorString();
    QPdfWriter pdf(&file);
    pdf.setCreator(ApplicationTitle);
    pdf.setTitle(QStringLiteral("Sedalyn case report"));
    // A point a unit, as the chart's own PDF.
    pdf.setResolution(72);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    const QRectF page(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));

    QFont font = QApplication::font();
    font.setPointSizeF(9);
    const auto document = [&](QTextDocument& doc, const QString& html) {
        doc.documentLayout()->setPaintDevice(&pdf);
        doc.setDefaultFont(font);
        doc.setHtml(html);
        doc.setPageSize(page.size());
    };

    QPainter painter;
    if (!painter.begin(&pdf))
        return failed;
    painter.setRenderHint(QPainter::Antialiasing);

    const EleveldReplay eleveld = ReplayEleveld(content);
    QTextDocument first;
    document(first, FirstPage(content, eleveld, source, locale));
    first.drawContents(&painter, page);
    const qreal chartTop = std::min(first.documentLayout()->blockBoundingRect(first.lastBlock()).bottom() + 12.0,
                                    page.height() / 2);
    CaseHistory history;
    FillHistory(content, history, &eleveld);
    DrawCaseChart(painter, QRectF(0, chartTop, page.width(), std::min(page.height() - chartTop, page.width() * 0.65)),
                  history, locale, eleveld);

    QTextDocument rest;
    document(rest, TablesPages(content, eleveld, locale));
    for (int i = 0; i < rest.pageCount(); ++i) {
        if (!pdf.newPage())
            return failed;
        painter.save();
        painter.translate(0, -i * page.height());
        rest.drawContents(&painter, QRectF(0, i * page.height(), page.width(), page.height()));
        painter.restore();
    }
    if (!painter.end() || !file.commit())
        return failed + QStringLiteral(": ") + file.errorString();
    return {};
}

QString ReportCaseFile(const QString& source, const QString& pdfPath, const LocaleSettings& locale)
{
    const CaseFileReading reading = ReadCaseFile(source, locale);
    if (!reading.Content)
        return reading.Error;
    return WriteCaseReport(*reading.Content, QFileInfo(source).absoluteFilePath(), pdfPath, locale);
}

std::optional<int> RunReportCommand(int argc, char** argv)
{
    int at = -1;
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--report") == 0)
            at = i;
    if (at < 0)
        return std::nullopt;
    if (at != 1 || argc != 4) {
        std::fputs("sedalyn: --report takes a data file and a PDF file: sedalyn --report CASE.csv OUT.pdf\n", stderr);
        return 2;
    }
    // No display is needed, nor used where one is set.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Errors are one line on stderr: Qt's remarks on its surroundings are not for the user.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const QString source = QString::fromLocal8Bit(argv[2]);
    const LocaleSettings locale = SystemLocaleSettings();
    const CaseFileReading reading = ReadCaseFile(source, locale);
    if (!reading.Content) {
        std::fprintf(stderr, "sedalyn: %s\n", qPrintable(reading.Error));
        return 2;
    }
    const QString error = WriteCaseReport(*reading.Content, QFileInfo(source).absoluteFilePath(),
                                          QString::fromLocal8Bit(argv[3]), locale);
    if (error.isEmpty())
        return 0;
    std::fprintf(stderr, "sedalyn: %s\n", qPrintable(error));
    return 1;
}
