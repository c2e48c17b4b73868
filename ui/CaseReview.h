#pragma once
// A past case, read from its data file, in a window of its own: the patient,
// the same trend chart as a running case's, the events, the lines that could
// not be read, and its report. Nothing in it can change the file.

#include "CaseFileReading.h"
#include "CaseReplay.h"
#include "TextFormats.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TSaveDialog;
class TrendPanel;

class CaseReviewWindow : public QWidget {
    Q_OBJECT

public:
    CaseReviewWindow(sedalyn::CaseFileContent content, const QString& source, const sedalyn::LocaleSettings& locale,
                     QWidget* parent = nullptr);

    QLabel* Summary = nullptr;
    TrendPanel* Trend = nullptr;
    QPlainTextEdit* Events = nullptr;
    QPushButton* ReportButton = nullptr;
    TSaveDialog* ReportDialog = nullptr;

private:
    sedalyn::CaseFileContent m_content;
    QString m_source;
    sedalyn::LocaleSettings m_locale;
    sedalyn::EleveldReplay m_eleveld;
    sedalyn::CaseHistory m_history;
};

// Opens `dataFile` for review: the window, shown; or a box saying why not
// and none.
CaseReviewWindow* OpenCaseReview(const QString& dataFile, const sedalyn::LocaleSettings& locale, QWidget* parent);
// Asks for a data file and opens it for review.
void ReviewCaseClick(const sedalyn::LocaleSettings& locale, QWidget* parent);

// The dialog that asks where a report goes; it keeps the last name.
TSaveDialog* NewReportDialog(QObject* owner);
// Asks where with `dialog` and writes the report of the case in `dataFile`
// there; a failure, or a case without a data file, is said in a box.
void SaveReportClick(const QString& dataFile, const sedalyn::LocaleSettings& locale, TSaveDialog& dialog,
                     QWidget* parent);
