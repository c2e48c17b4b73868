#pragma once
// The live trend chart of a case: the predicted concentrations, the rate
// changes, boluses and the wake-up level against case time, and the rate in
// use in a lane under them.
// The series builder turns the case history into points; this panel owns
// the chart that draws them, its axes, the span choice and the Save button,
// and repaints no more of the plot than a tick changed.

#include "CaseHistory.h"
#include "TextFormats.h"
#include "TrendAxes.h"
#include "TrendChartView.h"
#include "TrendLines.h"
#include "TrendSeries.h"

#include <QWidget>

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

class QComboBox;
class QLineSeries;
class QPushButton;
class QValueAxis;
class TrendValueAxis;
class TSaveDialog;

// What the pointer shows over the chart: the record's case time
// (minutes:seconds), its rate and bolus, its six concentrations and, where
// known, Eleveld's two.
QString TrendToolTipText(const sedalyn::CaseRecord& record, const sedalyn::LocaleSettings& locale,
                         bool eleveld = true);

// Where the plasma or effect-site lines run above the concentration axis:
// their highest value there, written at the top edge.
struct TrendClippedPeak {
    double minutes = 0.0;
    double value = 0.0;
    bool effectSite = false;
    friend bool operator==(const TrendClippedPeak&, const TrendClippedPeak&) = default;
};

class TrendPanel : public QWidget {
    Q_OBJECT

public:
    using Span = TrendSpan;

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
    // Names the Eleveld model in the legend with or without opioid.
    void SetOpioid(bool opioid);
    // A case read back whose Eleveld model is not known: no line, no key.
    void SetEleveldShown(bool shown);
    // The keys of lines others add to the chart, after the panel's own;
    // kept when the panel writes its legend again.
    void SetAddedLegend(std::vector<TrendLegendEntry> entries);

    // Lines drawn past the newest record (the projection): the time axis
    // keeps `minutes` more in sight, the concentration axis room for `peak`.
    void SetAhead(double minutes, double peak);
    // An item for such lines, on the chart's axes, over the wake-up level and
    // under the case's lines. The chart's; it follows the plot while `owner`,
    // which may go before the chart, lives.
    TrendLines* AddLinesAhead(QObject* owner);
    QChart* Chart() const { return m_chart; }

    // The tooltip for a point of the chart view; empty off the plot and
    // before the first record.
    QString ToolTipAt(QPoint viewPosition) const;

    // The saved picture's title block; none when unset.
    std::function<QStringList()> TitleBlock;

    TrendChartView* ChartView() const { return m_view; }
    QComboBox* SpanChoice() const { return m_span; }
    QPushButton* SaveButton() const { return m_save; }
    // What a series of the chart draws.
    const QList<QPointF>& Points(std::size_t series) const { return m_builder.Points(series); }
    // The rate lane's step line.
    TrendLines* RateLine() const { return m_rate; }
    // Where a case time and concentration fall on the chart.
    QPointF PositionOf(QPointF value) const { return m_lines->PositionOf(value); }
    QLineSeries* WakeUpLine() const { return m_wakeUp; }
    QValueAxis* TimeAxis() const { return m_timeAxis; }
    QValueAxis* ConcentrationAxis() const { return m_concentrationAxis; }
    QValueAxis* RateAxis() const { return m_rateAxis; }
    const TrendValueAxis* ConcentrationLabels() const { return m_concentrationLabels; }
    QValueAxis* LaneTimeAxis() const { return m_laneTimeAxis; }
    const std::vector<TrendClippedPeak>& ClippedPeaks() const { return m_clipped; }

private:
    QChart* MakeChart(const QString& name) const;
    void CreateChart();
    void CreateLane();
    void CreateLegend();
    bool ShowClippedPeaks();
    void Draw(const TrendUpdate& update);
    bool ShowScales();
    void ShowAxisRoom();
    void RepaintFrom(double minutes);
    void UpdateWakeUpLine();

    const sedalyn::CaseHistory& m_history;
    TrendSeriesBuilder m_builder;
    double m_wakeUpLevel = 1.2;
    bool m_opioid = false;
    bool m_eleveldShown = true;
    std::vector<TrendLegendEntry> m_addedLegend;
    sedalyn::LocaleSettings m_locale;
    double m_aheadMinutes = 0.0;
    double m_aheadPeak = 0.0;
    // Fitted to the lines at the next draw of a record, not kept as it
    // was: a new case, span or wake-up level.
    bool m_fitScales = true;

    QChart* m_chart = nullptr;
    TrendChartView* m_view = nullptr;
    QComboBox* m_span = nullptr;
    QPushButton* m_save = nullptr;
    TSaveDialog* m_saveDialog = nullptr;
    // The concentrations, by their index, and the two kinds of mark.
    TrendLines* m_lines = nullptr;
    std::array<std::size_t, TrendConcentrationCount> m_lineOf{};
    TrendLines* m_marks = nullptr;
    QLineSeries* m_wakeUp = nullptr;
    QValueAxis* m_timeAxis = nullptr;
    QValueAxis* m_concentrationAxis = nullptr;
    QValueAxis* m_rateAxis = nullptr;
    TrendValueAxis* m_concentrationLabels = nullptr;
    TrendValueAxis* m_rateLabels = nullptr;
    QChart* m_lane = nullptr;
    TrendLines* m_rate = nullptr;
    QValueAxis* m_laneTimeAxis = nullptr;
    std::vector<TrendClippedPeak> m_clipped;
    // The plots as they were when the whole view was last repainted.
    QRectF m_paintedPlot;
    QRectF m_paintedLanePlot;
    // What their labels were placed for.
    QRectF m_clippedPlot;
    QPointF m_clippedRange;
};
