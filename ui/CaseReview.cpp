#include "CaseReview.h"

#include "CaseReport.h"
#include "MessageBoxes.h"
#include "SaveDialog.h"
#include "TrendPanel.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

using namespace sedalyn;

namespace {

TSaveDialog* ReportSaveDialog(QObject* owner)
{
    auto* dialog = new TSaveDialog(owner);
    dialog->Title = QStringLiteral("Save case report as");
    dialog->DefaultExt = QStringLiteral("pdf");
    return dialog;
}

void WriteReportAsked(TSaveDialog& dialog, QWidget* parent, const std::function<QString(const QString&)>& write)
{
    if (!dialog.Execute(parent))
        return;
    if (const QString error = write(dialog.FileName); !error.isEmpty())
        NoticeBox(QStringLiteral("The report could not be saved.\n%1").arg(error), ApplicationTitle,
                  MB_OK | MB_ICONWARNING);
}

} // namespace

CaseReviewWindow::CaseReviewWindow(CaseFileContent content, const QString& source, const LocaleSettings& locale,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window), m_content(std::move(content)), m_source(source), m_locale(locale)
{
    setObjectName(QStringLiteral("CaseReviewWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Review: %1 - %2").arg(QFileInfo(source).fileName(), ApplicationTitle));
    m_eleveld = ReplayEleveld(m_content);
    FillHistory(m_content, m_history, &m_eleveld);

    Summary = new QLabel(this);
    Summary->setTextFormat(Qt::PlainText);
    Summary->setWordWrap(true);
    const CaseFilePatient& p = m_content.Patient;
    const auto number = [&](const std::optional<double>& v) {
        return v ? QString::fromStdString(FormatGeneral(*v, 15, locale)) : QStringLiteral("?");
    };
    QString summary = QStringLiteral("%1\n%2, %3 y, %4 m, %5 kg. Started: %6. Duration: %7.")
                          .arg(QDir::toNativeSeparators(source), p.Gender, number(p.Age), number(p.Height),
                               number(p.Weight),
                               m_content.Started.isEmpty() ? QStringLiteral("not recorded") : m_content.Started,
                               CaseTimeOf(m_content.EndMinutes()));
    if (!m_content.RatesKnown())
        summary += QStringLiteral("\nThe file gives the rate box's text only: the chart's rate is that text.");
    summary += QLatin1Char('\n') + EleveldReplayText(m_eleveld);
    if (!m_content.Unread.isEmpty())
        summary += QStringLiteral("\n%1 lines could not be read and are left out (listed below).").arg(m_content.Unread.size());
    Summary->setText(summary);

    Trend = new TrendPanel(m_history, this);
    Trend->ChartView()->setMinimumSize(520, 360);
    Trend->SetLocale(locale);
    Trend->SetEleveldShown(m_eleveld.Replayed());
    Trend->SetOpioid(m_eleveld.Opioid);
    Trend->Refresh();

    Events = new QPlainTextEdit(this);
    Events->setReadOnly(true);
    QStringList lines;
    for (const CaseEventLine& e : CaseEventLines(m_content, locale))
        lines << QStringLiteral("%1  %2  %3").arg(CaseTimeOf(e.Minutes), e.Clock, e.Text);
    if (!m_content.Unread.isEmpty())
        lines << QString() << QStringLiteral("Lines that could not be read:") << m_content.Unread;
    Events->setPlainText(lines.join(QLatin1Char('\n')));
    Events->setMaximumHeight(160);

    ReportButton = new QPushButton(QStringLiteral("Save report…"), this);
    ReportButton->setObjectName(QStringLiteral("ReviewReportButton"));
    ReportDialog = ReportSaveDialog(this);
    connect(ReportButton, &QPushButton::clicked, this, [this] {
        RunReportingErrors([this] {
            WriteReportAsked(*ReportDialog, this, [this](const QString& pdf) {
                return WriteCaseReport(m_content, QFileInfo(m_source).absoluteFilePath(), pdf, m_locale);
            });
        });
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Summary);
    layout->addWidget(Trend, 1);
    layout->addWidget(Events);
    layout->addWidget(ReportButton, 0, Qt::AlignLeft);
}

CaseReviewWindow* OpenCaseReview(const QString& dataFile, const LocaleSettings& locale, QWidget* parent)
{
    CaseFileReading reading = ReadCaseFile(dataFile, locale);
    if (!reading.Content) {
        NoticeBox(QStringLiteral("The case cannot be reviewed.\n%1").arg(reading.Error), ApplicationTitle,
                  MB_OK | MB_ICONWARNING);
        return nullptr;
    }
    auto* window = new CaseReviewWindow(std::move(*reading.Content), dataFile, locale, parent);
    window->show();
    return window;
}

void ReviewCaseClick(const LocaleSettings& locale, QWidget* parent)
{
    const QString path = QFileDialog::getOpenFileName(parent, QStringLiteral("Review a case"), QString(),
                                                      QStringLiteral("Data files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        OpenCaseReview(path, locale, parent);
}

void SaveReportClick(const QString& dataFile, const LocaleSettings& locale, TSaveDialog& dialog, QWidget* parent)
{
    if (dataFile.isEmpty()) {
        NoticeBox(QStringLiteral("This case has no data file: a report is made from the data file, which is "
                                 "chosen when the patient is confirmed."),
                  ApplicationTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    WriteReportAsked(dialog, parent,
                     [&](const QString& pdf) { return ReportCaseFile(dataFile, pdf, locale); });
}

TSaveDialog* NewReportDialog(QObject* owner)
{
    return ReportSaveDialog(owner);
}
