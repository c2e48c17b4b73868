// STUB (replaced by the timer work)
#include "ThdTimer.h"
TThreadedTimer::TThreadedTimer(QObject* owner) : QObject(owner) {}
TThreadedTimer::~TThreadedTimer() = default;
bool TThreadedTimer::AllowZero() const { return m_allowZero; }
void TThreadedTimer::SetAllowZero(bool value) { m_allowZero = value; }
bool TThreadedTimer::Enabled() const { return m_enabled; }
void TThreadedTimer::SetEnabled(bool value) { m_enabled = value; }
unsigned TThreadedTimer::Interval() const { return m_interval; }
void TThreadedTimer::SetInterval(unsigned value) { m_interval = value; }
const TNotifyEvent& TThreadedTimer::OnTimer() const { return m_onTimer; }
void TThreadedTimer::SetOnTimer(TNotifyEvent handler) { m_onTimer = std::move(handler); }
TThreadPriority TThreadedTimer::ThreadPriority() const { return m_priority; }
void TThreadedTimer::SetThreadPriority(TThreadPriority value) { m_priority = value; }
