#pragma once
// The trend chart's lines as points, read from the case history: the six
// concentrations, the rate as a step line, and full-height marks where the
// rate changed and where a bolus was given. The chart only draws them.
//
// However long the case, a series holds about a point a pixel column of
// the plot: the records are gathered into buckets of 2^n steps, two to four
// columns wide, and a bucket is drawn by its lowest and highest value, so a
// bolus peak stays in sight, and the newest bucket also by its last record.
// As the whole case outgrows the plot, neighbouring buckets are merged; the
// history is read again only for another span or width or a new case. A
// tick touches only the newest bucket and what scrolled out of the last hour.

#include "CaseHistory.h"
#include "TrendAxes.h"

#include <QList>
#include <QPointF>

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>

// The drawn series: the six concentrations in the engine's order, then these.
enum TrendSeriesIndex : std::size_t {
    TrendEleveldPlasma = sedalyn::ConcentrationCount,
    TrendEleveldEffect,
    TrendRateLine,
    TrendRateChangeMarks,
    TrendBolusMarks,
    TrendSeriesCount
};

// The concentrations drawn: the six, then Eleveld's two.
inline constexpr std::size_t TrendConcentrationCount = TrendRateLine;
double TrendConcentration(const sedalyn::CaseRecord& record, std::size_t which);

struct TrendUpdate {
    // Every series drawn anew: the first update, another span or width, a
    // new case, or buckets merged.
    bool rebuilt = false;
    // Case time (minutes) left of which no series changed: no point there,
    // and no segment from one there, is drawn otherwise than before.
    double changedFrom = std::numeric_limits<double>::infinity();
};

// What the axes are scaled to. A bolus peak (the minutes after a bolus)
// would squash the effect site under it for the whole case, so its values
// count only through the newest record's effect site.
struct TrendPeaks {
    double concentration = 0.0; // the highest of the six in sight, mcg/ml
    double settled = 0.0;       // the highest in sight outside bolus peaks
    double latestEffect = 0.0;  // the newest record's highest effect site
    double rate = 0.0;          // mg/kg/hr
};

// How long after a bolus its peak keeps the concentration axis from following.
inline constexpr double BolusPeakMinutes = 10.0;

// Plasma and effect site alternate in the engine's order.
constexpr bool IsEffectSite(std::size_t concentration)
{
    return concentration % 2 == 1;
}

class TrendSeriesBuilder {
public:
    explicit TrendSeriesBuilder(const sedalyn::CaseHistory& history);

    // These take effect at the next Update, which then draws anew.
    void SetSpan(TrendSpan span);
    // The plot's width in pixels; draws anew only when the buckets change.
    void SetColumns(int columns);
    // The history was cleared behind the builder's back.
    void Reset();

    // Reads the records added since the last update.
    TrendUpdate Update();

    const QList<QPointF>& Points(std::size_t series) const { return m_points[series]; }
    TrendPeaks Peaks() const { return m_peaks; }
    TrendSpan Span() const { return m_span; }
    // Case time of the newest record read; 0 before the first.
    double Now() const { return m_now; }
    // Records read so far.
    std::size_t Read() const { return m_read; }
    // Steps a bucket spans.
    std::int64_t BucketSteps() const { return std::int64_t{1} << m_shift; }
    // The most points a series holds at this width.
    qsizetype MostPoints(std::size_t series) const;

private:
    struct Extreme {
        double minutes = 0.0;
        double value = std::numeric_limits<double>::quiet_NaN(); // none yet
    };
    // The rate changes within a bucket: the rate before the first, after
    // the last, and the lowest and highest in between.
    struct RateSteps {
        bool any = false;
        double firstAt = 0.0;
        double before = 0.0; // NaN where the line begins
        double opening = 0.0; // the rate it begins with there
        double lastAt = 0.0;
        double after = 0.0;
        double low = 0.0;
        double high = 0.0;
    };
    struct Bucket {
        std::int64_t key = 0; // step >> shift
        double firstMinutes = 0.0;
        double lastMinutes = 0.0;
        std::array<Extreme, TrendConcentrationCount> low{};
        std::array<Extreme, TrendConcentrationCount> high{};
        std::array<Extreme, TrendConcentrationCount> last{}; // where the newest bucket's line ends
        RateSteps steps;
        double rateChangeAt = std::numeric_limits<double>::quiet_NaN();
        double bolusAt = std::numeric_limits<double>::quiet_NaN();
        TrendPeaks peaks;
    };

    unsigned ShiftFor(double now) const;
    void StartAfresh();
    void MergeBuckets(unsigned shift);
    void Add(const sedalyn::CaseRecord& record, double stepStart);
    Bucket& BucketAt(double minutes);
    static void Merge(Bucket& into, const Bucket& later);
    void AppendPoints(std::size_t series, const Bucket& bucket, bool newest);
    void RedrawFrom(std::size_t series, std::size_t firstBucket, double& changedFrom);
    // Whether any points were let go of.
    bool LetGoOfUnseen();

    const sedalyn::CaseHistory& m_history;
    TrendSpan m_span = TrendSpan::WholeCase;
    int m_columns;
    unsigned m_shift = 0;
    bool m_afresh = true;
    std::size_t m_read = 0;
    double m_now = 0.0;
    double m_previousMinutes = 0.0;
    double m_rate = std::numeric_limits<double>::quiet_NaN();   // the last finite rate read
    double m_rateAt = 0.0;                                       // and its record's time
    double m_bolusAt = std::numeric_limits<double>::quiet_NaN(); // the last bolus read
    TrendPeaks m_peaks;
    std::deque<Bucket> m_buckets;
    std::array<QList<QPointF>, TrendSeriesCount> m_points;
    // Where the newest bucket's points begin in each series.
    std::array<qsizetype, TrendSeriesCount> m_newestFrom{};
};
