#pragma once
// The trend chart saved as a file: a PNG picture, or a PDF page of vector
// lines and text for print.

#include <QString>

class QGraphicsView;
class QWidget;
class TSaveDialog;

// Writes what `view` shows to `path`: PDF when the name ends in ".pdf" (in
// any case), PNG otherwise. The file is written aside and put in place
// whole, so a failure leaves an earlier file of that name as it was; false
// on any failure.
bool WriteTrendChart(QGraphicsView& view, const QString& path);

// Asks for a name with `dialog` over `parent` and writes the chart there; a
// failure is told in a box.
void SaveTrendChart(QGraphicsView& view, TSaveDialog& dialog, QWidget* parent);
