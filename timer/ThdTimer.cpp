#include "ThdTimer.h"

#include <QMetaMethod>
#include <QPointer>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#ifdef __linux__
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Nice offsets from the level the worker started with, tpIdle..tpTimeCritical.
// Linux nice is per thread; lowering always works, raising needs CAP_SYS_NICE.
constexpr std::array<int, 7> NiceOffsets{20, 10, 5, 0, -5, -10, -20};

class TAutoResetEvent {
public:
    void Set()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_signalled = true;
        }
        m_changed.notify_one();
    }

    // True when signalled (the signal is consumed), false on time-out.
    bool WaitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        const bool signalled = m_changed.wait_for(lock, timeout, [this] { return m_signalled; });
        m_signalled = false;
        return signalled;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled = false;
};

} // namespace

// Linux cannot suspend a thread from outside, so "paused" is a gate the worker
// checks before each wait and before each hand-over. A tick is only handed
// over if the worker was neither paused nor resumed since its wait began:
// every resume comes with a stop signal, which restarts the interval instead.
class TTimerThread {
public:
    explicit TTimerThread(TThreadedTimer* owner);

    unsigned Interval() const { return m_interval.load(); }
    void SetInterval(unsigned value) { m_interval.store(value); }
    void SignalStop() { m_stopEvent.Set(); }

    void Suspend();
    void Resume();
    void Terminate() { m_terminated.store(true); }
    // Refuses hand-overs from now on and joins the thread.
    void WaitFor();

    TThreadPriority Priority() const { return m_priority; }
    void SetPriority(TThreadPriority value);

    // User-interface side of a hand-over: whether the tick may run, then done.
    bool HandOverStarts();
    void HandOverDone();

private:
    enum class HandOver { Idle, Pending, Cancelled };

    void Run();
    std::uint64_t WaitWhileSuspended();
    void Synchronize(std::uint64_t generation);

    TThreadedTimer* const m_owner;
    const QMetaMethod m_deliverTick;
    std::atomic<unsigned> m_interval{1000};
    std::atomic<bool> m_terminated{false};
    TAutoResetEvent m_stopEvent;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_suspended = true;
    std::uint64_t m_resumes = 0;
    HandOver m_handOver = HandOver::Idle;
    bool m_refusing = false;
    bool m_started = false;
    long m_tid = 0;

    // User-interface thread only.
    TThreadPriority m_priority = TThreadPriority::tpNormal;
    int m_baseNice = 0;

    std::thread m_thread;
};

TTimerThread::TTimerThread(TThreadedTimer* owner)
    : m_owner(owner)
    , m_deliverTick(TThreadedTimer::staticMetaObject.method(
          TThreadedTimer::staticMetaObject.indexOfMethod("DeliverTick()")))
{
    Q_ASSERT(m_deliverTick.isValid());
    m_thread = std::thread(&TTimerThread::Run, this);
    // The priority must be settable at once, so wait until the thread is known.
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_started; });
    lock.unlock();
#ifdef __linux__
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(m_tid));
    m_baseNice = (nice == -1 && errno != 0) ? 0 : nice;
#endif
    SetPriority(TThreadPriority::tpNormal);
}

void TTimerThread::Run()
{
    {
        const std::lock_guard lock(m_mutex);
#ifdef __linux__
        m_tid = gettid();
#endif
        m_started = true;
    }
    m_changed.notify_all();

    for (;;) {
        const std::uint64_t generation = WaitWhileSuspended();
        if (!m_stopEvent.WaitFor(std::chrono::milliseconds(m_interval.load())))
            Synchronize(generation);
        if (m_terminated.load())
            return;
    }
}

std::uint64_t TTimerThread::WaitWhileSuspended()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_suspended; });
    return m_resumes;
}

void TTimerThread::Synchronize(std::uint64_t generation)
{
    std::unique_lock lock(m_mutex);
    if (m_refusing || m_suspended || m_resumes != generation)
        return;
    m_handOver = HandOver::Pending;
    // Queued: served by whatever event loop the user-interface thread runs,
    // modal ones included. Qt drops it if the timer is gone by then. Posted
    // under the lock, which the delivery takes too, so that the posted call's
    // memory is visibly handed over (Qt's own queue lock is not visible to
    // ThreadSanitizer); posting never waits for the user-interface thread.
    m_deliverTick.invoke(m_owner, Qt::QueuedConnection);
    m_changed.wait(lock, [this] { return m_handOver == HandOver::Idle || m_refusing; });
    m_handOver = HandOver::Idle;
}

void TTimerThread::Suspend()
{
    const std::lock_guard lock(m_mutex);
    m_suspended = true;
    // A tick handed over but not started yet must not run after a re-enable.
    if (m_handOver == HandOver::Pending)
        m_handOver = HandOver::Cancelled;
}

void TTimerThread::Resume()
{
    {
        const std::lock_guard lock(m_mutex);
        m_suspended = false;
        ++m_resumes;
    }
    m_changed.notify_all();
}

void TTimerThread::WaitFor()
{
    {
        const std::lock_guard lock(m_mutex);
        m_refusing = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool TTimerThread::HandOverStarts()
{
    const std::lock_guard lock(m_mutex);
    return m_handOver == HandOver::Pending && !m_refusing;
}

void TTimerThread::HandOverDone()
{
    {
        const std::lock_guard lock(m_mutex);
        m_handOver = HandOver::Idle;
    }
    m_changed.notify_all();
}

void TTimerThread::SetPriority(TThreadPriority value)
{
    const auto index = static_cast<std::size_t>(value);
    if (index >= NiceOffsets.size())
        value = TThreadPriority::tpNormal;
    m_priority = value;
#ifdef __linux__
    const int nice = std::clamp(m_baseNice + NiceOffsets[static_cast<std::size_t>(value)], -20, 19);
    // Without the privilege to raise it, the thread keeps its current level.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(m_tid), nice);
#endif
}

TThreadedTimer::TThreadedTimer(QObject* owner)
    : QObject(owner)
    , m_worker(std::make_unique<TTimerThread>(this))
{
}

TThreadedTimer::~TThreadedTimer()
{
    m_enabled = false;
    m_worker->Terminate();
    m_worker->SignalStop();
    m_worker->Resume();
    m_worker->WaitFor();
}

bool TThreadedTimer::AllowZero() const { return m_allowZero; }
void TThreadedTimer::SetAllowZero(bool value) { m_allowZero = value; }

bool TThreadedTimer::Enabled() const { return m_enabled; }

void TThreadedTimer::SetEnabled(bool value)
{
    if (value == m_enabled)
        return;
    m_enabled = value;
    if (!value) {
        m_worker->Suspend();
        return;
    }
    // Interval 0 without AllowZero: reads enabled, but the worker stays paused.
    if (m_worker->Interval() > 0 || m_allowZero) {
        m_worker->SignalStop();
        m_worker->Resume();
    }
}

unsigned TThreadedTimer::Interval() const { return m_worker->Interval(); }

void TThreadedTimer::SetInterval(unsigned value)
{
    value = std::min(value, MaxInterval);
    if (value == m_worker->Interval())
        return;
    const bool wasEnabled = m_enabled;
    SetEnabled(false);
    m_worker->SetInterval(value);
    SetEnabled(wasEnabled);
}

const TNotifyEvent& TThreadedTimer::OnTimer() const { return m_onTimer; }
void TThreadedTimer::SetOnTimer(TNotifyEvent handler) { m_onTimer = std::move(handler); }

TThreadPriority TThreadedTimer::ThreadPriority() const { return m_worker->Priority(); }
void TThreadedTimer::SetThreadPriority(TThreadPriority value) { m_worker->SetPriority(value); }

void TThreadedTimer::DeliverTick()
{
    if (m_worker->HandOverStarts() && !DoTimer())
        return; // the handler destroyed this timer, whose worker has ended
    m_worker->HandOverDone();
}

bool TThreadedTimer::DoTimer()
{
    if (!m_enabled || !m_onTimer)
        return true;
    const QPointer<TThreadedTimer> alive(this);
    // A copy: the handler may replace itself or destroy this timer.
    const TNotifyEvent handler = m_onTimer;
    try {
        handler(this);
    } catch (...) {
        // A tick's exceptions are dropped; the next tick comes as usual.
    }
    return !alive.isNull();
}
