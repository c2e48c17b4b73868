#include "TrendSeries.h"

#include "PharmacokineticEngine.h"

#include <algorithm>
#include <cmath>

using namespace sedalyn;

namespace {

constexpr int DefaultColumns = 600; // until the plot has been laid out
constexpr int FewestColumns = 100;  // narrower: not laid out yet
constexpr int MostColumns = 8192;
// At least two columns a bucket: every point costs each whole repaint, and
// a line two pixels wide shows no more detail at one column a bucket.
constexpr int ColumnsPerBucket = 2;
constexpr unsigned MostShift = 40;
// Out of the last hour, kept until this much more has scrolled out, so
// that a tick seldom has points to let go of.
constexpr double UnseenSlackMinutes = 10.0;
// Past any case (190 years); keeps the step numbers in range.
constexpr double MostMinutes = 1e8;
constexpr double Infinity = std::numeric_limits<double>::infinity();

bool Placeable(double minutes)
{
    return minutes >= 0.0 && minutes < MostMinutes;
}

std::int64_t StepOf(double minutes)
{
    return std::llround(minutes * TicksPerMinute);
}

// A full-height line at `minutes` on the 0-to-1 axis. The marks alternate
// upwards and downwards, so the joins between them fall just outside the
// plot and are clipped away; a longer line would only cost more to draw.
void AppendMark(QList<QPointF>& points, double minutes)
{
    constexpr double below = -0.05;
    constexpr double above = 1.05;
    const bool upwards = points.isEmpty() || points.constLast().y() < 0.0;
    points.append(QPointF(minutes, upwards ? below : above));
    points.append(QPointF(minutes, upwards ? above : below));
}

} // namespace

double TrendConcentration(const CaseRecord& record, std::size_t which)
{
    return which < ConcentrationCount ? record.Concentrations[which] : record.Eleveld[which - ConcentrationCount];
}

TrendSeriesBuilder::TrendSeriesBuilder(const CaseHistory& history)
    : m_history(history), m_columns(DefaultColumns)
{
}

void TrendSeriesBuilder::SetSpan(TrendSpan span)
{
    m_span = span;
    m_afresh = true;
}

void TrendSeriesBuilder::SetColumns(int columns)
{
    if (columns < FewestColumns)
        return;
    m_columns = std::min(columns, MostColumns);
    if (ShiftFor(m_now) != m_shift)
        m_afresh = true;
}

void TrendSeriesBuilder::Reset()
{
    m_afresh = true;
}

unsigned TrendSeriesBuilder::ShiftFor(double now) const
{
    // Buckets at least a column wide across the time axis.
    const TimeScale scale = TrendTimeScale(m_span, now);
    const double steps = (scale.to - scale.from) * TicksPerMinute;
    unsigned shift = 0;
    const double buckets = static_cast<double>(m_columns) / ColumnsPerBucket;
    while (shift < MostShift && std::ldexp(buckets, static_cast<int>(shift)) < steps)
        ++shift;
    return shift;
}

qsizetype TrendSeriesBuilder::MostPoints(std::size_t series) const
{
    // A bucket more at each end, and what scrolled out of the last hour but
    // is not let go of yet. The rate line's buckets may hold four corners,
    // and it runs on to the newest record.
    qsizetype buckets = m_columns / ColumnsPerBucket + 2;
    if (m_span == TrendSpan::LastHour)
        buckets += static_cast<qsizetype>(UnseenSlackMinutes * TicksPerMinute) / BucketSteps() + 2;
    return series == TrendRateLine ? 4 * buckets + 1 : 2 * buckets + 2;
}

TrendUpdate TrendSeriesBuilder::Update()
{
    TrendUpdate update;
    const std::size_t size = m_history.Size();
    if (size < m_read)
        m_afresh = true; // cleared behind our back
    std::size_t firstBucket = m_buckets.empty() ? 0 : m_buckets.size() - 1;
    if (m_afresh) {
        StartAfresh();
        update.rebuilt = true;
    } else if (size == m_read) {
        return update;
    } else {
        const double last = m_history.Last().Minutes;
        const unsigned shift = Placeable(last) ? ShiftFor(last) : m_shift;
        if (shift > m_shift) {
            MergeBuckets(shift);
            update.rebuilt = true;
        }
    }
    if (update.rebuilt) {
        firstBucket = 0;
        for (QList<QPointF>& points : m_points)
            points.clear();
        m_newestFrom.fill(0);
    }

    for (; m_read < size; ++m_read) {
        const CaseRecord record = m_history[m_read];
        // The step's rate and bolus apply from its start.
        const double start = m_read == 0 ? std::max(record.Minutes - TickMinutes, 0.0) : m_previousMinutes;
        if (m_read == 0 && start == 0.0) {
            // A case drawn from its start begins with nothing in the body.
            Bucket& origin = BucketAt(0.0);
            for (std::size_t which = 0; which < TrendConcentrationCount; ++which) {
                if (std::isnan(origin.low[which].value))
                    origin.low[which] = origin.high[which] = origin.last[which] = {0.0, 0.0};
            }
        }
        Add(record, start);
        m_previousMinutes = record.Minutes;
    }

    for (std::size_t series = 0; series < TrendSeriesCount; ++series)
        RedrawFrom(series, firstBucket, update.changedFrom);
    // Letting go moves the first point held, where the dashes' phase counts
    // from: everything is drawn anew.
    if (m_span == TrendSpan::LastHour && LetGoOfUnseen())
        update.changedFrom = -Infinity;

    m_peaks = {};
    const double inSight = TrendTimeScale(m_span, m_now).from;
    for (const Bucket& bucket : m_buckets) {
        if (bucket.lastMinutes < inSight)
            continue;
        m_peaks.concentration = std::max(m_peaks.concentration, bucket.peaks.concentration);
        m_peaks.settled = std::max(m_peaks.settled, bucket.peaks.settled);
        m_peaks.rate = std::max(m_peaks.rate, bucket.peaks.rate);
    }
    if (m_read > 0 && m_read <= size) {
        const CaseRecord newest = m_history[m_read - 1];
        for (std::size_t which = 0; which < ConcentrationCount; ++which) {
            if (IsEffectSite(which) && std::isfinite(newest.Concentrations[which]))
                m_peaks.latestEffect = std::max(m_peaks.latestEffect, newest.Concentrations[which]);
        }
    }

    if (update.rebuilt)
        update.changedFrom = -Infinity;
    return update;
}

void TrendSeriesBuilder::StartAfresh()
{
    m_afresh = false;
    m_buckets.clear();
    m_rate = std::numeric_limits<double>::quiet_NaN();
    m_rateAt = 0.0;
    m_bolusAt = std::numeric_limits<double>::quiet_NaN();
    m_peaks = {};
    m_now = 0.0;
    const std::size_t size = m_history.Size();
    if (size > 0 && Placeable(m_history.Last().Minutes))
        m_now = m_history.Last().Minutes;
    // Buckets long enough for the whole span at once: nothing to merge.
    m_shift = ShiftFor(m_now);

    std::size_t first = 0;
    if (m_span == TrendSpan::LastHour && size > 0) {
        // The last record at or before the left edge, so the lines enter
        // from it, and the records of its bucket before it.
        const double from = TrendTimeScale(TrendSpan::LastHour, m_now).from;
        first = m_history.NearestRecord(from);
        double at = m_history[first].Minutes;
        if (first > 0 && !(at <= from))
            at = m_history[--first].Minutes;
        if (Placeable(at)) {
            const std::int64_t key = StepOf(at) >> m_shift;
            for (; first > 0; --first) {
                const double before = m_history[first - 1].Minutes;
                if (!Placeable(before) || StepOf(before) >> m_shift != key)
                    break;
            }
        }
    }
    // A bolus given shortly before the first record read still shapes its peak.
    for (std::size_t i = first; i > 0 && m_history[i - 1].Minutes > m_history[first].Minutes - BolusPeakMinutes; --i) {
        if (m_history[i - 1].BolusMg > 0.0) {
            m_bolusAt = i > 1 ? m_history[i - 2].Minutes : 0.0;
            break;
        }
    }
    m_read = first;
    m_previousMinutes = first > 0 ? m_history[first - 1].Minutes : 0.0;
}

void TrendSeriesBuilder::MergeBuckets(unsigned shift)
{
    const unsigned by = shift - m_shift;
    std::deque<Bucket> merged;
    for (Bucket& bucket : m_buckets) {
        bucket.key >>= by;
        if (!merged.empty() && merged.back().key == bucket.key)
            Merge(merged.back(), bucket);
        else
            merged.push_back(bucket);
    }
    m_buckets.swap(merged);
    m_shift = shift;
}

TrendSeriesBuilder::Bucket& TrendSeriesBuilder::BucketAt(double minutes)
{
    const std::int64_t key = StepOf(minutes) >> m_shift;
    if (m_buckets.empty() || key > m_buckets.back().key) {
        Bucket bucket;
        bucket.key = key;
        bucket.firstMinutes = bucket.lastMinutes = minutes;
        m_buckets.push_back(bucket);
    }
    return m_buckets.back();
}

void TrendSeriesBuilder::Add(const CaseRecord& record, double stepStart)
{
    if (!Placeable(record.Minutes))
        return;
    m_now = record.Minutes;
    Bucket& bucket = BucketAt(record.Minutes);
    bucket.lastMinutes = record.Minutes;
    if (record.BolusMg > 0.0)
        m_bolusAt = stepStart;
    const bool settled = !(record.Minutes < m_bolusAt + BolusPeakMinutes);
    // A value the model could not give is left out, not drawn as a number.
    for (std::size_t which = 0; which < TrendConcentrationCount; ++which) {
        const double value = TrendConcentration(record, which);
        if (!std::isfinite(value))
            continue;
        if (std::isnan(bucket.low[which].value) || value < bucket.low[which].value)
            bucket.low[which] = {record.Minutes, value};
        if (std::isnan(bucket.high[which].value) || value > bucket.high[which].value)
            bucket.high[which] = {record.Minutes, value};
        bucket.last[which] = {record.Minutes, value};
        bucket.peaks.concentration = std::max(bucket.peaks.concentration, value);
        if (settled)
            bucket.peaks.settled = std::max(bucket.peaks.settled, value);
    }
    if (std::isfinite(record.Rate)) {
        if (record.Rate != m_rate) {
            RateSteps& steps = bucket.steps;
            if (!steps.any) {
                const double before = std::isfinite(m_rate) ? m_rate : record.Rate;
                steps = {true, stepStart, m_rate, record.Rate, stepStart, record.Rate, std::min(before, record.Rate),
                         std::max(before, record.Rate)};
            } else {
                steps.lastAt = stepStart;
                steps.after = record.Rate;
                steps.low = std::min(steps.low, record.Rate);
                steps.high = std::max(steps.high, record.Rate);
            }
            if (std::isfinite(m_rate) && std::isnan(bucket.rateChangeAt))
                bucket.rateChangeAt = stepStart;
        }
        m_rate = record.Rate;
        m_rateAt = record.Minutes;
        bucket.peaks.rate = std::max(bucket.peaks.rate, record.Rate);
    }
    if (record.BolusMg > 0.0 && std::isnan(bucket.bolusAt))
        bucket.bolusAt = stepStart;
}

void TrendSeriesBuilder::Merge(Bucket& into, const Bucket& later)
{
    into.lastMinutes = later.lastMinutes;
    // On a tie the earlier record stands, as when the records come one by one.
    for (std::size_t which = 0; which < TrendConcentrationCount; ++which) {
        const Extreme& low = later.low[which];
        const Extreme& high = later.high[which];
        if (!std::isnan(low.value) && (std::isnan(into.low[which].value) || low.value < into.low[which].value))
            into.low[which] = low;
        if (!std::isnan(high.value) && (std::isnan(into.high[which].value) || high.value > into.high[which].value))
            into.high[which] = high;
        if (!std::isnan(later.last[which].value))
            into.last[which] = later.last[which];
    }
    if (!into.steps.any) {
        into.steps = later.steps;
    } else if (later.steps.any) {
        into.steps.lastAt = later.steps.lastAt;
        into.steps.after = later.steps.after;
        into.steps.low = std::min(into.steps.low, later.steps.low);
        into.steps.high = std::max(into.steps.high, later.steps.high);
    }
    if (std::isnan(into.rateChangeAt))
        into.rateChangeAt = later.rateChangeAt;
    if (std::isnan(into.bolusAt))
        into.bolusAt = later.bolusAt;
    into.peaks.concentration = std::max(into.peaks.concentration, later.peaks.concentration);
    into.peaks.settled = std::max(into.peaks.settled, later.peaks.settled);
    into.peaks.rate = std::max(into.peaks.rate, later.peaks.rate);
}

void TrendSeriesBuilder::AppendPoints(std::size_t series, const Bucket& bucket, bool newest)
{
    QList<QPointF>& points = m_points[series];
    if (series < TrendConcentrationCount) {
        // Its lowest and its highest, in time order; one when they are the
        // same. The line ends at the newest record.
        const Extreme& low = bucket.low[series];
        const Extreme& high = bucket.high[series];
        if (std::isnan(low.value))
            return;
        const bool lowFirst = low.minutes <= high.minutes;
        const Extreme& first = lowFirst ? low : high;
        const Extreme& second = lowFirst ? high : low;
        points.append(QPointF(first.minutes, first.value));
        if (second.minutes != first.minutes || second.value != first.value)
            points.append(QPointF(second.minutes, second.value));
        const Extreme& last = bucket.last[series];
        if (newest && last.minutes > second.minutes)
            points.append(QPointF(last.minutes, last.value));
    } else if (series == TrendRateLine) {
        // The corners of a step line; several steps within one bucket are
        // drawn as one, reaching their lowest and highest rate.
        const RateSteps& steps = bucket.steps;
        if (!steps.any)
            return;
        // Where the line begins, from its first rate: a change later in
        // the bucket must not hide its start.
        const double before = std::isnan(steps.before) ? steps.opening : steps.before;
        points.append(QPointF(steps.firstAt, before));
        const double lower = std::min(before, steps.after);
        const double upper = std::max(before, steps.after);
        const bool rises = steps.after >= before;
        if (rises && steps.low < lower)
            points.append(QPointF(steps.lastAt, steps.low));
        if (steps.high > upper)
            points.append(QPointF(steps.lastAt, steps.high));
        if (!rises && steps.low < lower)
            points.append(QPointF(steps.lastAt, steps.low));
        if (points.constLast() != QPointF(steps.lastAt, steps.after))
            points.append(QPointF(steps.lastAt, steps.after));
    } else {
        const double at = series == TrendRateChangeMarks ? bucket.rateChangeAt : bucket.bolusAt;
        if (!std::isnan(at))
            AppendMark(points, at);
    }
}

void TrendSeriesBuilder::RedrawFrom(std::size_t series, std::size_t firstBucket, double& changedFrom)
{
    QList<QPointF>& points = m_points[series];
    const qsizetype from = std::min(m_newestFrom[series], points.size());
    const QList<QPointF> before = points.mid(from);
    points.resize(from);
    for (std::size_t b = firstBucket; b < m_buckets.size(); ++b) {
        m_newestFrom[series] = points.size();
        AppendPoints(series, m_buckets[b], b + 1 == m_buckets.size());
    }
    // The rate line runs on to the newest record.
    if (series == TrendRateLine && !points.isEmpty() && std::isfinite(m_rate))
        points.append(QPointF(m_rateAt, m_rate));

    qsizetype same = 0;
    while (same < before.size() && from + same < points.size() && before[same] == points[from + same])
        ++same;
    const qsizetype cut = from + same;
    if (same == before.size() && cut == points.size())
        return;
    double left = Infinity;
    for (qsizetype i = same; i < before.size(); ++i)
        left = std::min(left, before[i].x());
    for (qsizetype i = cut; i < points.size(); ++i)
        left = std::min(left, points[i].x());
    // The segment into the first changed point changes too, unless the line
    // only runs on level from it (the rate line between its corners).
    if (series <= TrendRateLine && cut > 0) {
        const QPointF into = points[cut - 1];
        const bool levelRun = same < before.size() && cut < points.size() && before[same].y() == into.y()
            && points[cut].y() == into.y();
        if (!levelRun)
            left = std::min(left, into.x());
    }
    changedFrom = std::min(changedFrom, left);
}

bool TrendSeriesBuilder::LetGoOfUnseen()
{
    const double from = TrendTimeScale(TrendSpan::LastHour, m_now).from;
    while (m_buckets.size() > 1 && m_buckets[1].firstMinutes <= from)
        m_buckets.pop_front();

    bool dropped = false;
    for (std::size_t series = 0; series < TrendSeriesCount; ++series) {
        QList<QPointF>& points = m_points[series];
        qsizetype drop = 0;
        if (series >= TrendRateChangeMarks) {
            // Marks left of the plot.
            drop = std::lower_bound(points.cbegin(), points.cend(), from,
                                    [](QPointF p, double t) { return p.x() < t; })
                - points.cbegin();
        } else {
            // All but the last point at or before the left edge, which the
            // line enters from.
            drop = std::upper_bound(points.cbegin(), points.cend(), from,
                                    [](double t, QPointF p) { return t < p.x(); })
                - points.cbegin() - 1;
        }
        drop = std::clamp<qsizetype>(drop, 0, m_newestFrom[series]);
        if (drop == 0 || points[0].x() >= from - UnseenSlackMinutes)
            drop = 0;
        points.remove(0, drop);
        m_newestFrom[series] -= drop;
        dropped = dropped || drop > 0;
    }
    return dropped;
}
