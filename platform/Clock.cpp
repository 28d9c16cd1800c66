#include "platform/Clock.h"

#include "platform/FormTimer.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

namespace platform {
namespace {

int64_t RealMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct VirtualState {
    std::atomic<bool> active{false};
    std::atomic<int64_t> now{0};
    int64_t start = 0;
    std::chrono::system_clock::time_point wallAtStart;
    std::function<void()> settleHook;
};

VirtualState& State()
{
    static VirtualState state;
    return state;
}

struct Scheduled {
    TTimer* timer;
    int64_t due;
    uint64_t seq;
};

std::vector<Scheduled>& Schedule()
{
    static std::vector<Scheduled> schedule;
    return schedule;
}

uint64_t nextSeq = 0;

} // namespace

namespace detail {

void ScheduleTimer(TTimer* timer, int64_t due)
{
    auto& s = Schedule();
    std::erase_if(s, [timer](const Scheduled& e) { return e.timer == timer; });
    s.push_back({timer, due, nextSeq++});
}

void UnscheduleTimer(TTimer* timer)
{
    std::erase_if(Schedule(), [timer](const Scheduled& e) { return e.timer == timer; });
}

} // namespace detail

int64_t MonotonicMs()
{
    auto& st = State();
    if (st.active.load())
        return st.now.load();
    return RealMs();
}

std::chrono::system_clock::time_point WallClockNow()
{
    auto& st = State();
    if (st.active.load())
        return st.wallAtStart + std::chrono::milliseconds(st.now.load() - st.start);
    return std::chrono::system_clock::now();
}

double DateTimeNow()
{
    using namespace std::chrono;
    const int64_t ms = duration_cast<milliseconds>(WallClockNow().time_since_epoch()).count();
    const time_t seconds = time_t(ms / 1000);
    tm local {};
    localtime_r(&seconds, &local);
    const int64_t localMs = ms + int64_t(local.tm_gmtoff) * 1000;
    // 25569 days lie between 30 December 1899 and 1 January 1970.
    return 25569.0 + double(localMs) / 86400000.0;
}

void BusyWait(int64_t ms)
{
    if (ms <= 0)
        return;
    auto& st = State();
    if (st.active.load()) {
        st.now.fetch_add(ms);
        return;
    }
    // Sleep in small steps rather than spin: the pause must not serve events,
    // but it need not burn the CPU either.
    const int64_t end = RealMs() + ms;
    for (int64_t left = ms; left > 0; left = end - RealMs())
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, 5)));
}

void TimeControl::UseVirtualTime()
{
    auto& st = State();
    if (st.active.load())
        return;
    st.start = RealMs();
    st.now.store(st.start);
    st.wallAtStart = std::chrono::system_clock::now();
    st.active.store(true);
}

void TimeControl::UseRealTime()
{
    State().active.store(false);
    Schedule().clear();
}

bool TimeControl::IsVirtual() { return State().active.load(); }

void TimeControl::SetWallClock(std::chrono::system_clock::time_point now)
{
    auto& st = State();
    st.start = st.now.load();
    st.wallAtStart = now;
}

void TimeControl::SetSettleHook(std::function<void()> hook) { State().settleHook = std::move(hook); }

void TimeControl::Settle()
{
    if (QCoreApplication::instance()) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (auto hook = State().settleHook)
        hook();
}

void TimeControl::Advance(int64_t ms)
{
    auto& st = State();
    if (!st.active.load())
        return;
    const int64_t target = st.now.load() + std::max<int64_t>(ms, 0);
    for (;;) {
        Settle();
        auto& s = Schedule();
        auto it = std::min_element(s.begin(), s.end(), [](const Scheduled& a, const Scheduled& b) {
            return a.due != b.due ? a.due < b.due : a.seq < b.seq;
        });
        if (it == s.end() || it->due > target)
            break;
        TTimer* timer = it->timer;
        if (it->due > st.now.load())
            st.now.store(it->due);
        s.erase(it);
        timer->Fire();
    }
    if (st.now.load() < target)
        st.now.store(target);
    Settle();
}

} // namespace platform
