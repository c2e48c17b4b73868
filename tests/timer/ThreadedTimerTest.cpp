// Behaviour of the threaded timer on a real event loop. Timing checks are
// lower bounds ("not before one full interval"), which hold however loaded
// the machine is; the few upper bounds leave hundreds of milliseconds.

#include "QtTestMain.h"
#include "ThdTimer.h"

#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr int Patience = 5000; // ms a QTRY waits before it gives up

// Installs itself as OnTimer and records every call: when it began and
// returned, and whether it broke the threading rules.
class TickLog {
public:
    using Body = std::function<void(int index)>;

    explicit TickLog(TThreadedTimer& timer, Body body = {})
        : m_timer(&timer), m_body(std::move(body))
    {
        timer.SetOnTimer([this](QObject* sender) { Tick(sender); });
    }

    int Count() const { return static_cast<int>(starts.size()); }

    // True when every tick from `first` on began at least `interval` after
    // the previous handler returned; otherwise warns which one did not.
    bool Spaced(milliseconds interval, int first = 1) const
    {
        for (int i = std::max(first, 1); i < Count(); ++i) {
            if (starts[i] < ends[i - 1] + interval) {
                qWarning("tick %d came %lld ms after the previous handler returned", i,
                         static_cast<long long>(std::chrono::duration_cast<milliseconds>(starts[i] - ends[i - 1]).count()));
                return false;
            }
        }
        return true;
    }

    std::vector<Clock::time_point> starts;
    std::vector<Clock::time_point> ends;
    int faults = 0; // off the UI thread, overlapping, or a wrong sender

private:
    void Tick(QObject* sender)
    {
        if (sender != m_timer || QThread::currentThread() != qApp->thread() || m_inHandler)
            ++faults;
        m_inHandler = true;
        starts.push_back(Clock::now());
        struct Leave {
            TickLog* log;
            ~Leave()
            {
                log->ends.push_back(Clock::now());
                log->m_inHandler = false;
            }
        } leave{this};
        if (m_body)
            m_body(Count() - 1);
    }

    TThreadedTimer* m_timer;
    Body m_body;
    bool m_inHandler = false;
};

void Run(TThreadedTimer& timer, unsigned interval)
{
    timer.SetInterval(interval);
    timer.SetEnabled(true);
}

std::set<long> ThreadIds()
{
    std::set<long> ids;
    for (const QString& name : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        ids.insert(name.toLong());
    return ids;
}

} // namespace

class TimerScheduleTest : public QObject {
    Q_OBJECT
private slots:
    void intervalBeyondRangeIsClamped()
    {
        TThreadedTimer timer;
        timer.SetInterval(4294967295u);
        QCOMPARE(timer.Interval(), TThreadedTimer::MaxInterval);
    }

    void firstTickOneIntervalAfterEnabling()
    {
        TThreadedTimer timer;
        TickLog log(timer);
        timer.SetInterval(40);
        QTest::qWait(100); // a disabled timer only stores the interval
        QCOMPARE(log.Count(), 0);
        QCOMPARE(timer.Enabled(), false);

        const auto enabled = Clock::now();
        timer.SetEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 3, Patience);
        QVERIFY(log.starts[0] >= enabled + 40ms);
        QVERIFY(log.Spaced(40ms));
        QCOMPARE(log.faults, 0);
    }

    void unchangedSettingsDoNotRestart_data()
    {
        QTest::addColumn<bool>("enableAgain");
        QTest::newRow("enable again") << true;
        QTest::newRow("same interval") << false;
    }
    void unchangedSettingsDoNotRestart()
    {
        QFETCH(bool, enableAgain);
        TThreadedTimer timer;
        TickLog log(timer);
        timer.SetInterval(400);
        const auto enabled = Clock::now();
        timer.SetEnabled(true);
        QTest::qWait(200);
        const auto touched = Clock::now();
        if (enableAgain)
            timer.SetEnabled(true);
        else
            timer.SetInterval(400);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 1, Patience);
        QVERIFY(log.starts[0] >= enabled + 400ms);
        // A restart would put the tick at least 400 ms after `touched`.
        QVERIFY(log.starts[0] < touched + 400ms);
    }

    void changedIntervalRestartsEnabledTimer()
    {
        TThreadedTimer timer;
        TickLog log(timer);
        Run(timer, 60);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 1, Patience);
        QTest::qWait(30);
        const auto changed = Clock::now();
        timer.SetInterval(150);
        QCOMPARE(timer.Enabled(), true);
        QCOMPARE(timer.Interval(), 150u);
        const int before = log.Count();
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= before + 2, Patience);
        QVERIFY(log.starts[before] >= changed + 150ms);
        QVERIFY(log.Spaced(150ms, before + 1));
    }

    void restartDropsTickDueMeanwhile_data()
    {
        QTest::addColumn<bool>("changeInterval");
        QTest::newRow("interval changed") << true;
        QTest::newRow("disabled and enabled again") << false;
    }
    void restartDropsTickDueMeanwhile()
    {
        QFETCH(bool, changeInterval);
        TThreadedTimer timer;
        TickLog log(timer);
        Run(timer, 40);
        // The UI thread serves no events while the interval runs out, so a
        // tick is due (or already handed over) when the timer restarts.
        QThread::msleep(10);
        if (!changeInterval)
            timer.SetEnabled(false);
        QThread::msleep(100);
        const auto restarted = Clock::now();
        if (changeInterval)
            timer.SetInterval(80);
        else
            timer.SetEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 1, Patience);
        QVERIFY(log.starts[0] >= restarted + (changeInterval ? 80ms : 40ms));
    }

    void zeroInterval_data()
    {
        QTest::addColumn<bool>("allowZero");
        QTest::newRow("without AllowZero") << false;
        QTest::newRow("with AllowZero") << true;
    }
    void zeroInterval()
    {
        QFETCH(bool, allowZero);
        TThreadedTimer timer;
        TickLog log(timer);
        timer.SetAllowZero(allowZero);
        Run(timer, 0);
        QCOMPARE(timer.Enabled(), true);
        if (allowZero) {
            QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 50, Patience);
            QVERIFY(log.Spaced(0ms));
        } else {
            QTest::qWait(150);
            QCOMPARE(log.Count(), 0);
            // A usable interval set later wakes the worker.
            const auto changed = Clock::now();
            timer.SetInterval(30);
            QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 1, Patience);
            QVERIFY(log.starts[0] >= changed + 30ms);
        }
        QCOMPARE(log.faults, 0);
    }

    void ticksWithoutHandlerAreDropped()
    {
        TThreadedTimer timer;
        Run(timer, 20);
        QTest::qWait(200);
        TickLog log(timer);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 4, Patience);
        // Ticks consumed while no handler was set would arrive here as a burst.
        QVERIFY(log.Spaced(20ms));
    }

    void priorityWrittenWhileDisabled_data()
    {
        QTest::addColumn<TThreadPriority>("priority");
        QTest::addColumn<int>("niceOffset");
        QTest::newRow("idle") << TThreadPriority::tpIdle << 20;
        QTest::newRow("lowest") << TThreadPriority::tpLowest << 10;
        QTest::newRow("lower") << TThreadPriority::tpLower << 5;
        QTest::newRow("normal") << TThreadPriority::tpNormal << 0;
        QTest::newRow("higher") << TThreadPriority::tpHigher << -5;
        QTest::newRow("highest") << TThreadPriority::tpHighest << -10;
        QTest::newRow("time critical") << TThreadPriority::tpTimeCritical << -20;
    }
    void priorityWrittenWhileDisabled()
    {
        QFETCH(TThreadPriority, priority);
        QFETCH(int, niceOffset);
        const std::set<long> before = ThreadIds();
        TThreadedTimer timer;
        timer.SetThreadPriority(priority);
        QCOMPARE(timer.ThreadPriority(), priority);
#ifdef __linux__
        std::vector<long> added;
        for (long id : ThreadIds())
            if (!before.count(id))
                added.push_back(id);
        if (added.size() != 1)
            QSKIP("cannot tell the worker thread from other new threads");
        const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        const int wanted = std::clamp(base + niceOffset, -20, 19);
        const int actual = getpriority(PRIO_PROCESS, static_cast<id_t>(added.front()));
        // Raising needs a privilege the test may not have; then nothing changes.
        if (!(wanted < base && actual == base))
            QCOMPARE(actual, wanted);
#else
        Q_UNUSED(niceOffset);
        Q_UNUSED(before);
#endif
    }
};

class TimerHandlerTest : public QObject {
    Q_OBJECT
private slots:
    void throwingHandlerIsSilent_data()
    {
        QTest::addColumn<bool>("standardException");
        QTest::newRow("std::exception") << true;
        QTest::newRow("other type") << false;
    }
    void throwingHandlerIsSilent()
    {
        QFETCH(bool, standardException);
        TThreadedTimer timer;
        TickLog log(timer, [standardException](int) {
            if (standardException)
                throw std::runtime_error("tick failed");
            throw 42;
        });
        Run(timer, 20);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 4, Patience);
        QVERIFY(log.Spaced(20ms));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!w->isVisible());
        QCOMPARE(timer.Enabled(), true);
    }

    void modalHandlerDelaysNextTick()
    {
        TThreadedTimer timer;
        TickLog log(timer, [](int index) {
            if (index != 0)
                return;
            QMessageBox box(QMessageBox::Information, QStringLiteral("Tick"), QStringLiteral("Held open"));
            QTimer::singleShot(250, &box, [&box] { box.done(0); });
            box.exec();
        });
        Run(timer, 30);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 2, Patience);
        QVERIFY(log.ends[0] >= log.starts[0] + 250ms);
        QVERIFY(log.Spaced(30ms));
        QCOMPARE(log.faults, 0);
    }

    void handlerChangesItsTimer_data()
    {
        QTest::addColumn<bool>("disable");
        QTest::newRow("disables it") << true;
        QTest::newRow("changes its interval") << false;
    }
    void handlerChangesItsTimer()
    {
        QFETCH(bool, disable);
        TThreadedTimer timer;
        TickLog log(timer, [&timer, disable](int index) {
            if (index != 0)
                return;
            if (disable)
                timer.SetEnabled(false);
            else
                timer.SetInterval(120);
        });
        Run(timer, 20);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 1, Patience);
        if (disable) {
            QTest::qWait(150);
            QCOMPARE(log.Count(), 1);
            QCOMPARE(timer.Enabled(), false);
        }
        const auto enabled = Clock::now();
        timer.SetEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 2, Patience);
        QVERIFY(log.starts[1] >= (disable ? enabled + 20ms : log.ends[0] + 120ms));
        QCOMPARE(log.faults, 0);
    }

    void ticksInsideAnotherHandlersModalBox()
    {
        TThreadedTimer timer;
        QPointer<QMessageBox> box;
        TickLog log(timer, [&box](int index) {
            if (index == 2 && box)
                box->done(0);
        });
        Run(timer, 20);
        Clock::time_point opened;
        Clock::time_point closed;
        QTimer::singleShot(0, this, [&] {
            QMessageBox modal(QMessageBox::Question, QStringLiteral("Other"), QStringLiteral("Waiting"));
            box = &modal;
            QTimer::singleShot(Patience, &modal, [&modal] { modal.done(1); });
            opened = Clock::now();
            modal.exec();
            closed = Clock::now();
        });
        QTRY_VERIFY_WITH_TIMEOUT(closed != Clock::time_point{}, Patience * 2);
        QVERIFY(log.Count() >= 3);
        QVERIFY(log.starts[0] > opened);
        QVERIFY(log.ends[2] <= closed);
        QCOMPARE(log.faults, 0);
    }
};

class TimerLifetimeTest : public QObject {
    Q_OBJECT
private slots:
    void destruction_data()
    {
        QTest::addColumn<QString>("state");
        for (const char* state : {"never enabled", "disabled", "enabled", "delivery pending", "from its handler"})
            QTest::newRow(state) << QString::fromLatin1(state);
    }
    void destruction()
    {
        QFETCH(QString, state);
        const std::size_t threadsBefore = ThreadIds().size();
        auto* timer = new TThreadedTimer;
        bool destroying = false;
        int lateCalls = 0;
        TickLog log(*timer, [&](int) {
            if (destroying)
                ++lateCalls;
            if (state == QLatin1String("from its handler")) {
                destroying = true;
                delete timer;
            }
        });
        timer->SetInterval(state == QLatin1String("enabled") ? TThreadedTimer::MaxInterval : 20);
        if (state != QLatin1String("never enabled"))
            timer->SetEnabled(true);
        if (state == QLatin1String("disabled")) {
            QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 1, Patience);
            timer->SetEnabled(false);
        }
        if (state == QLatin1String("delivery pending")) {
            QTRY_VERIFY_WITH_TIMEOUT(log.Count() >= 1, Patience);
            // Keep the UI thread away from its queue so the next hand-over waits there.
            QThread::msleep(100);
        }

        if (state == QLatin1String("from its handler")) {
            QTRY_VERIFY_WITH_TIMEOUT(destroying, Patience);
        } else {
            const auto begun = Clock::now();
            destroying = true;
            delete timer;
            QVERIFY(Clock::now() < begun + 2s);
        }
        const int calls = log.Count();
        QTest::qWait(100); // anything still queued for the timer would run now
        QCOMPARE(log.Count(), calls);
        QCOMPARE(lateCalls, 0);
#ifdef __linux__
        QTRY_COMPARE_WITH_TIMEOUT(ThreadIds().size(), threadsBefore, Patience);
#else
        Q_UNUSED(threadsBefore);
#endif
    }
};

SEDALYN_TEST_CLASS(TimerScheduleTest)
SEDALYN_TEST_CLASS(TimerHandlerTest)
SEDALYN_TEST_CLASS(TimerLifetimeTest)

#include "ThreadedTimerTest.moc"
