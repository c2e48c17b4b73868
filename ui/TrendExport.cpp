#include "TrendExport.h"

#include "MessageBoxes.h"
#include "SaveDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QGraphicsView>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

bool WriteTrendChart(QGraphicsView& view, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    bool written = false;
    if (QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0) {
        // A point a pixel.
        QPdfWriter pdf(&file);
        pdf.setCreator(ApplicationTitle);
        pdf.setTitle(QStringLiteral("Trend"));
        pdf.setResolution(72);
        pdf.setPageMargins(QMarginsF());
        pdf.setPageSize(QPageSize(QSizeF(view.size()), QPageSize::Point, QString(), QPageSize::ExactMatch));
        QPainter painter;
        if (painter.begin(&pdf)) {
            painter.setRenderHint(QPainter::Antialiasing);
            view.render(&painter, QRectF(), view.viewport()->rect());
            written = painter.end();
        }
    } else {
        written = view.grab().save(&file, "PNG");
    }
    return written && file.commit();
}

void SaveTrendChart(QGraphicsView& view, TSaveDialog& dialog, QWidget* parent)
{
    if (!dialog.Execute(parent))
        return;
    const QString path = dialog.FileName;
    if (!WriteTrendChart(view, path)) {
        NoticeBox(QStringLiteral("%1\nThe chart could not be saved.\n"
                                 "Check the folder and the free space, then try again.")
                      .arg(QDir::toNativeSeparators(path)),
                  ApplicationTitle, MB_OK | MB_ICONWARNING);
    }
}
