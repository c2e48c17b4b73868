#pragma once
// The trend chart saved as a file: a PNG picture, or a PDF page of vector
// lines and text for print, under a title block saying whose case it is.

#include <QString>
#include <QStringList>

class QDateTime;
class QGraphicsView;
class QWidget;
class TSaveDialog;

namespace sedalyn {
class CaseSession;
}

// The lines above a saved chart: the patient, the case's start, the model and
// when the picture was saved.
QStringList TrendTitleBlock(const sedalyn::CaseSession& session, const QDateTime& saved);

// Writes `title` (a line each) and under it what `view` shows to `path`: PDF
// when the name ends in ".pdf" (in any case), PNG otherwise. The file is
// written aside and put in place whole, so a failure leaves an earlier file
// of that name as it was; false on any failure.
bool WriteTrendChart(QGraphicsView& view, const QStringList& title, const QString& path);

// Asks for a name with `dialog` over `parent` and writes the chart there; a
// failure is told in a box.
void SaveTrendChart(QGraphicsView& view, const QStringList& title, TSaveDialog& dialog, QWidget* parent);
