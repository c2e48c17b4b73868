#pragma once
// The live trend chart of a case: the six predicted concentrations, the rate
// in use, the rate changes, boluses and the wake-up level, against case time.
// It draws from the case history and keeps no data of its own: its series
// are a picture of the records, appended as the ticks add them.
//
// A series holds a bounded number of points however long the case: in the
// whole-case view, records older than the newest bucket are drawn as the
// extremes of their bucket, and a bucket doubles in length whenever their
// number passes an hour's worth of records. The last-hour view draws every
// record in sight and lets go of what has scrolled out of it. The rate line
// holds only its corners and its end.

#include "CaseHistory.h"
#include "TextFormats.h"
#include "TrendChartView.h"

#include <QWidget>

#include <array>
#include <cstddef>

class QComboBox;
class QLineSeries;
class QPushButton;
class QValueAxis;
class TSaveDialog;

// What the pointer shows over the chart: the record's case time
// (minutes:seconds), its rate and bolus and its six concentrations.
QString TrendToolTipText(const sedalyn::CaseRecord& record, const sedalyn::LocaleSettings& locale);

class TrendPanel : public QWidget {
    Q_OBJECT

public:
    enum class Span { WholeCase, LastHour }; // the span choice's items, in order

    explicit TrendPanel(const sedalyn::CaseHistory& history, QWidget* parent = nullptr);

    // The tick appended records: draws the new ones.
    void Refresh();
    // Start cleared the history: empties the chart.
    void Reset();
    // mcg/ml; a negative or non-finite level is ignored.
    void SetWakeUpLevel(double mcgPerMl);
    double WakeUpLevel() const { return m_wakeUpLevel; }
    // The tooltips' and axes' numbers follow the window's locale; the
    // system's until this is called.
    void SetLocale(const sedalyn::LocaleSettings& locale);

    // The tooltip for a point of the chart view; empty off the plot and
    // before the first record.
    QString ToolTipAt(QPoint viewPosition) const;

    TrendChartView* ChartView() const { return m_view; }
    QComboBox* SpanChoice() const { return m_span; }
    QPushButton* SaveButton() const { return m_save; }
    QLineSeries* ConcentrationSeries(sedalyn::ConcentrationIndex index) const
    {
        return m_concentrations[index];
    }
    QLineSeries* RateSeries() const { return m_rate; }
    QLineSeries* RateChangeMarks() const { return m_rateChanges; }
    QLineSeries* BolusMarks() const { return m_boluses; }
    QLineSeries* WakeUpLine() const { return m_wakeUp; }
    QValueAxis* TimeAxis() const { return m_timeAxis; }
    QValueAxis* ConcentrationAxis() const { return m_concentrationAxis; }
    QValueAxis* RateAxis() const { return m_rateAxis; }

private:
    void CreateChart();
    void CreateLegend();
    Span CurrentSpan() const;
    std::size_t FirstInSight() const;
    void Rebuild();
    void DrawNextRecord();
    void CloseBucket();
    void LetGoOfUnseen();
    void UpdateAxes();
    void SetTimeAxis(double from, double to, double step);
    void UpdateWakeUpLine();
    void SaveChart();
    bool WriteChart(const QString& path) const;

    const sedalyn::CaseHistory& m_history;
    std::size_t m_shown = 0;     // records drawn so far
    std::size_t m_first = 0;     // first record the concentration series hold
    std::size_t m_bucket = 1;    // records a bucket
    std::size_t m_openStart = 0; // first record of the newest bucket, drawn as it is
    std::array<int, sedalyn::ConcentrationCount> m_openPoint{}; // its first point in each series
    double m_maxConcentration = 0.0;
    double m_maxRate = 0.0;
    double m_wakeUpLevel = 1.2;
    sedalyn::LocaleSettings m_locale;

    QChart* m_chart = nullptr;
    TrendChartView* m_view = nullptr;
    QComboBox* m_span = nullptr;
    QPushButton* m_save = nullptr;
    TSaveDialog* m_saveDialog = nullptr;
    std::array<QLineSeries*, sedalyn::ConcentrationCount> m_concentrations{};
    QLineSeries* m_rate = nullptr;
    QLineSeries* m_rateChanges = nullptr;
    QLineSeries* m_boluses = nullptr;
    QLineSeries* m_wakeUp = nullptr;
    QValueAxis* m_timeAxis = nullptr;
    QValueAxis* m_concentrationAxis = nullptr;
    QValueAxis* m_rateAxis = nullptr;
};
