#pragma once
// The printable record of a case, made from its data file: an A4 PDF with
// the patient and body size, the date and start, the events, the trend chart
// as vector lines, the totals and the concentrations every 5 minutes.

#include "CaseFileReading.h"
#include "CaseReplay.h"
#include "TextFormats.h"

#include <QRectF>
#include <QString>

#include <optional>

#include <vector>

class QPainter;

// An event of the case as the report and the review list it.
struct CaseEventLine {
    double Minutes = 0.0;
    QString Clock, Text;
};
// Every event in time order: the file's event rows, or for a file without
// them the changes of the rate box's text; boluses and gaps in the rows.
std::vector<CaseEventLine> CaseEventLines(const sedalyn::CaseFileContent& content,
                                          const sedalyn::LocaleSettings& locale);
// Case time as the Elapsed line writes it: "00:03:10".
QString CaseTimeOf(double minutes);

// One sentence on the case's Eleveld model: how it was replayed and with
// which opioid setting, or why it is not shown.
QString EleveldReplayText(const sedalyn::EleveldReplay& eleveld);

// Draws the case's trend chart into `target`, as lines rather than pixels;
// Eleveld's lines when `eleveld` was replayed. Needs a QApplication.
void DrawCaseChart(QPainter& painter, const QRectF& target, const sedalyn::CaseHistory& history,
                   const sedalyn::LocaleSettings& locale, const sedalyn::EleveldReplay& eleveld = {});

// Writes the report of `content`, read from `source`, to `pdfPath`, replacing
// it whole or not at all. Empty when done, else the failure in one line.
QString WriteCaseReport(const sedalyn::CaseFileContent& content, const QString& source, const QString& pdfPath,
                        const sedalyn::LocaleSettings& locale);

// Reads `source` and writes its report: empty when done, else the failure.
QString ReportCaseFile(const QString& source, const QString& pdfPath, const sedalyn::LocaleSettings& locale);

// "sedalyn --report CASE.csv OUT.pdf", with no display needed: the exit
// status, or none when the command line asks for no report.
std::optional<int> RunReportCommand(int argc, char** argv);
