// Measures the threaded timer as the main window uses it (worker at
// tpHighest): the period from one tick's start to the next over 200 ticks of
// a 20 ms timer, as deviation from the nominal 20 ms, and the CPU time and
// wake-ups of the worker over a few seconds of an enabled timer whose
// interval is far longer than that.

#include "ThdTimer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Ticks = 200;
constexpr unsigned IntervalMs = 20;
constexpr int IdleMs = 3000;

std::set<long> ThreadIds()
{
    std::set<long> ids;
    for (const QString& name : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        ids.insert(name.toLong());
    return ids;
}

struct ThreadUse {
    double cpuMs = -1;       // time on a CPU; negative when unknown
    long long wakeUps = -1;  // voluntary context switches
};

ThreadUse UseOf(long tid)
{
    ThreadUse use;
    const QString dir = QStringLiteral("/proc/self/task/%1/").arg(tid);
    QFile schedstat(dir + QStringLiteral("schedstat"));
    if (schedstat.open(QIODevice::ReadOnly))
        use.cpuMs = QString::fromLatin1(schedstat.readAll()).section(QLatin1Char(' '), 0, 0).toDouble() / 1e6;
    QFile status(dir + QStringLiteral("status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                use.wakeUps = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return use;
}

void ReportPeriods(const std::vector<Clock::time_point>& starts)
{
    std::vector<double> deviations;
    for (std::size_t i = 1; i < starts.size(); ++i)
        deviations.push_back(std::chrono::duration<double, std::milli>(starts[i] - starts[i - 1]).count() - IntervalMs);
    if (deviations.empty())
        return;
    const auto [low, high] = std::minmax_element(deviations.begin(), deviations.end());
    double sum = 0;
    for (double d : deviations)
        sum += d;
    const double mean = sum / static_cast<double>(deviations.size());
    double squares = 0;
    for (double d : deviations)
        squares += (d - mean) * (d - mean);
    const double stddev = std::sqrt(squares / static_cast<double>(deviations.size()));
    std::printf("tick period, %zu periods of a %u ms timer, deviation from %u ms:\n"
                "  min %+.3f ms  mean %+.3f ms  max %+.3f ms  stddev %.3f ms\n",
                deviations.size(), IntervalMs, IntervalMs, *low, mean, *high, stddev);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    const std::set<long> before = ThreadIds();
    TThreadedTimer timer;
    long worker = 0;
    for (long id : ThreadIds())
        if (!before.count(id))
            worker = id;
    timer.SetThreadPriority(TThreadPriority::tpHighest);

    std::vector<Clock::time_point> starts;
    starts.reserve(Ticks + 1);
    timer.SetOnTimer([&](QObject*) {
        starts.push_back(Clock::now());
        if (starts.size() == Ticks + 1) {
            timer.SetEnabled(false);
            QCoreApplication::quit();
        }
    });
    timer.SetInterval(IntervalMs);
    timer.SetEnabled(true);
    app.exec();
    ReportPeriods(starts);

    timer.SetOnTimer({});
    timer.SetInterval(3600 * 1000);
    timer.SetEnabled(true);
    // Let the worker take the enabling's wake-up before counting.
    QTimer::singleShot(100, &app, &QCoreApplication::quit);
    app.exec();
    const ThreadUse first = UseOf(worker);
    QTimer::singleShot(IdleMs, &app, &QCoreApplication::quit);
    app.exec();
    const ThreadUse last = UseOf(worker);
    if (worker == 0 || first.cpuMs < 0 || first.wakeUps < 0) {
        std::printf("worker while idle: cannot read its thread statistics\n");
        return 0;
    }
    std::printf("worker up to then (%d ticks and their waits): CPU %.3f ms, wake-ups %lld\n",
                Ticks, first.cpuMs, first.wakeUps);
    const double cpuMs = last.cpuMs - first.cpuMs;
    std::printf("worker while idle, enabled with a 1 h interval, over %d ms:\n"
                "  CPU %.3f ms (%.4f %%)  wake-ups %lld\n",
                IdleMs, cpuMs, 100.0 * cpuMs / IdleMs, last.wakeUps - first.wakeUps);
    return 0;
}
