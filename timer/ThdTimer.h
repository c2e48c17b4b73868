#pragma once
// TThreadedTimer: a timer whose intervals are timed by a worker thread at a
// settable priority, while every tick runs on the user-interface thread.
// The worker blocks until the tick handler has returned, so ticks never
// overlap and never queue; the next interval starts when the handler returns.

#include <QObject>

#include <functional>
#include <memory>

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TNotifyEvent = std::function<void(QObject* Sender)>;

class TTimerThread;

class TThreadedTimer : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned MaxInterval = 2147483647;

    explicit TThreadedTimer(QObject* owner = nullptr);
    ~TThreadedTimer() override;

    bool AllowZero() const;
    void SetAllowZero(bool value);

    bool Enabled() const;
    void SetEnabled(bool value);

    // Milliseconds, 0..MaxInterval (larger values are clamped); default 1000.
    unsigned Interval() const;
    void SetInterval(unsigned value);

    const TNotifyEvent& OnTimer() const;
    void SetOnTimer(TNotifyEvent handler);

    TThreadPriority ThreadPriority() const;
    void SetThreadPriority(TThreadPriority value);

private:
    friend class TTimerThread;

    // Runs on the user-interface thread for each tick the worker hands over.
    Q_INVOKABLE void DeliverTick();
    // Returns false when the handler destroyed this timer.
    bool DoTimer();

    TNotifyEvent m_onTimer;
    std::unique_ptr<TTimerThread> m_worker;
    bool m_enabled = false;
    bool m_allowZero = false;
};
