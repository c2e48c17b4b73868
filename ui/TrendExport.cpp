#include "TrendExport.h"

#include "CaseSession.h"
#include "CaseText.h"
#include "MessageBoxes.h"
#include "SaveDialog.h"
#include "Style.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsView>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace {

constexpr int TitleMargin = 8;

int TitleHeight(const QStringList& title)
{
    return title.isEmpty() ? 0 : static_cast<int>(title.size()) * QFontMetrics(style::PanelFont()).lineSpacing()
            + 2 * TitleMargin;
}

// The title block on white, then the view under it.
void Paint(QPainter& painter, QGraphicsView& view, const QStringList& title)
{
    const int height = TitleHeight(title);
    const QRect block(0, 0, view.width(), height);
    painter.fillRect(block, Qt::white);
    painter.setPen(Qt::black);
    QFont font = style::PanelFont();
    const int line = QFontMetrics(font).lineSpacing();
    for (qsizetype i = 0; i < title.size(); ++i) {
        font.setBold(i == 0);
        painter.setFont(font);
        painter.drawText(QRect(TitleMargin, TitleMargin + static_cast<int>(i) * line, view.width() - 2 * TitleMargin, line),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title[i]);
    }
    view.render(&painter, QRectF(0, height, view.width(), view.height()), view.viewport()->rect());
}

} // namespace

QStringList TrendTitleBlock(const sedalyn::CaseSession& session, const QDateTime& saved)
{
    using namespace sedalyn;
    const LocaleSettings& locale = session.Locale();
    const auto general = [&locale](double value) { return casetext::GeneralText(value, locale); };
    QStringList lines;
    if (session.Stage() == CaseStage::PatientEntry && session.StartTime() == 0.0) {
        lines << QStringLiteral("Patient: not confirmed");
    } else {
        const Patient& patient = session.ConfirmedPatient();
        lines << QStringLiteral("Patient: %1, age %2 y, height %3 m, weight %4 kg")
                     .arg(session.GenderCaption(), general(patient.PatientAge), general(patient.PatientHeight),
                          general(patient.PatientWeight));
    }
    const DateTimeDays start = session.StartTime();
    lines << (start == 0.0 ? QStringLiteral("Case not started")
                           : QStringLiteral("Case started %1 %2")
                                 .arg(casetext::Q(DateText(start, locale)), casetext::Q(TimeText(start, locale))));
    lines << QStringLiteral("Schnider model; James / Hume / Janmahasatian lean body mass");
    lines << QStringLiteral("Saved %1").arg(saved.toString(Qt::ISODate).replace(QLatin1Char('T'), QLatin1Char(' ')));
    return lines;
}

bool WriteTrendChart(QGraphicsView& view, const QStringList& title, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QSize size(view.width(), view.height() + TitleHeight(title));
    bool written = false;
    if (QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0) {
        // A point a pixel.
        QPdfWriter pdf(&file);
        pdf.setCreator(ApplicationTitle);
        pdf.setTitle(title.isEmpty() ? QStringLiteral("Trend") : title.first());
        pdf.setResolution(72);
        pdf.setPageMargins(QMarginsF());
        pdf.setPageSize(QPageSize(QSizeF(size), QPageSize::Point, QString(), QPageSize::ExactMatch));
        QPainter painter;
        if (painter.begin(&pdf)) {
            painter.setRenderHint(QPainter::Antialiasing);
            Paint(painter, view, title);
            written = painter.end();
        }
    } else {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        Paint(painter, view, title);
        written = painter.end() && image.save(&file, "PNG");
    }
    return written && file.commit();
}

void SaveTrendChart(QGraphicsView& view, const QStringList& title, TSaveDialog& dialog, QWidget* parent)
{
    if (!dialog.Execute(parent))
        return;
    const QString path = dialog.FileName;
    if (!WriteTrendChart(view, title, path)) {
        NoticeBox(QStringLiteral("%1\nThe chart could not be saved.\n"
                                 "Check the folder and the free space, then try again.")
                      .arg(QDir::toNativeSeparators(path)),
                  ApplicationTitle, MB_OK | MB_ICONWARNING);
    }
}
