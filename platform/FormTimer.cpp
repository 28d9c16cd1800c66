#include "platform/FormTimer.h"

#include "platform/Clock.h"
#include "platform/ExceptionDisplay.h"

namespace platform::detail {
void ScheduleTimer(TTimer* timer, int64_t due);
void UnscheduleTimer(TTimer* timer);
} // namespace platform::detail

TTimer::TTimer(QObject* owner) : TComponent(owner) {}

TTimer::~TTimer()
{
    platform::detail::UnscheduleTimer(this);
}

void TTimer::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    UpdateTimer();
}

void TTimer::SetInterval(uint32_t value)
{
    if (value == interval_)
        return;
    interval_ = value;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler)
{
    onTimer_ = std::move(handler);
    UpdateTimer();
}

void TTimer::Schedule(int64_t due)
{
    due_ = due;
    platform::detail::ScheduleTimer(this, due);
}

void TTimer::UpdateTimer()
{
    ++generation_;
    platform::detail::UnscheduleTimer(this);
    if (qtimer_)
        qtimer_->stop();
    armed_ = enabled_ && interval_ != 0 && onTimer_;
    if (!armed_)
        return;
    if (platform::TimeControl::IsVirtual()) {
        Schedule(platform::MonotonicMs() + interval_);
        return;
    }
    if (!qtimer_) {
        qtimer_ = std::make_unique<QTimer>();
        QObject::connect(qtimer_.get(), &QTimer::timeout, qtimer_.get(), [this] { Fire(); });
    }
    qtimer_->start(int(interval_));
}

void TTimer::Fire()
{
    if (!armed_)
        return;
    const uint64_t generation = generation_;
    const int64_t due = due_;
    // Copy the handler: it may replace itself or free this timer's owner state.
    TNotifyEvent handler = onTimer_;
    platform::Guarded([&] { handler(this); });
    if (platform::TimeControl::IsVirtual() && armed_ && generation == generation_) {
        // Ticks missed while the handler or a busy wait held the thread are not
        // made up: the period goes on from the next tick still ahead.
        const int64_t now = platform::MonotonicMs();
        int64_t next = due + interval_;
        if (next <= now)
            next += ((now - next) / interval_ + 1) * interval_;
        Schedule(next);
    }
}
