#pragma once
// A form timer: Interval in ms, Enabled and an OnTimer handler. Changing any of
// the three re-arms it; setting Enabled or Interval to the value it already has
// changes nothing. An interval of 0 or a missing handler never fires. The
// handler runs on the user-interface thread inside the exception guard.
#include "platform/Component.h"

#include <QTimer>
#include <cstdint>
#include <memory>

class TTimer : public TComponent {
public:
    explicit TTimer(QObject* owner = nullptr);
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t value);
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TNotifyEvent handler);

    // True while the timer is armed (enabled, interval above 0, handler set).
    bool IsArmed() const { return armed_; }

    // Called by the virtual clock when the timer falls due.
    void Fire();

private:
    void UpdateTimer();
    void Schedule(int64_t due);

    bool enabled_ = true;
    uint32_t interval_ = 1000;
    TNotifyEvent onTimer_;
    bool armed_ = false;
    std::unique_ptr<QTimer> qtimer_;
    int64_t due_ = 0;         // virtual time: when it fires next
    uint64_t generation_ = 0; // bumped by every re-arm, so Fire knows when a handler re-armed it
};
