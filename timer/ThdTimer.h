#pragma once
// STUB (replaced by the timer work)
#include <QObject>
#include <functional>
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
using TNotifyEvent = std::function<void(QObject* Sender)>;
class TThreadedTimer : public QObject {
    Q_OBJECT
public:
    explicit TThreadedTimer(QObject* owner = nullptr);
    ~TThreadedTimer() override;
    bool AllowZero() const;            void SetAllowZero(bool value);
    bool Enabled() const;              void SetEnabled(bool value);
    unsigned Interval() const;         void SetInterval(unsigned value);
    const TNotifyEvent& OnTimer() const; void SetOnTimer(TNotifyEvent handler);
    TThreadPriority ThreadPriority() const; void SetThreadPriority(TThreadPriority value);
private:
    bool m_allowZero = false, m_enabled = false; unsigned m_interval = 1000; TNotifyEvent m_onTimer; TThreadPriority m_priority = TThreadPriority::tpNormal;
};
