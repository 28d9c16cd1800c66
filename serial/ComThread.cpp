// The event thread: waits on the device and hands each batch of events to the
// port, on the user-interface thread, a hidden-window message per event, or
// on this thread.
#include "serial/PortCore.h"
#include "serial/PortInternal.h"

#include "platform/ExceptionDisplay.h"
#include "platform/UiHandOver.h"

#include <atomic>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace comm = platform::comm;

struct TComThread::Shared {
    Shared(TCustomComPort* port, std::shared_ptr<const std::atomic<bool>> aliveFlag)
        : comPort(port), alive(std::move(aliveFlag)), handle(port->Handle()), syncMethod(port->SyncMethod())
    {
    }
    TCustomComPort* comPort;
    std::shared_ptr<const std::atomic<bool>> alive; // false once the port is being freed
    comm::Handle handle;
    TSyncMethod syncMethod;
    platform::Event stopEvent;
    TComEvents events;
};

namespace {

// Runs the handlers of one batch, in the library's fixed order. A handler may
// close or free the port: the rest of the batch is then dropped.
void DispatchBatch(TCustomComPort* port, const std::atomic<bool>& alive, const platform::Event& stop,
                   TComEvents events)
{
    struct Step {
        TComEvent event;
        void (TCustomComPort::*call)();
    };
    static const Step order[] = {
        {evError, &TCustomComPort::CallError},       {evRxChar, &TCustomComPort::CallRxChar},
        {evTxEmpty, &TCustomComPort::CallTxEmpty},   {evBreak, &TCustomComPort::CallBreak},
        {evRing, &TCustomComPort::CallRing},         {evCTS, &TCustomComPort::CallCTSChange},
        {evDSR, &TCustomComPort::CallDSRChange},     {evRxFlag, &TCustomComPort::CallRxFlag},
        {evRLSD, &TCustomComPort::CallRLSDChange},   {evRx80Full, &TCustomComPort::CallRx80Full},
    };
    for (const Step& step : order) {
        if (!alive || stop.IsSet() || !port->Connected())
            return;
        if (events.Contains(step.event))
            (port->*step.call)();
    }
}

int NiceOf(TThreadPriority priority)
{
    static const int nice[] = {19, 10, 5, 0, -5, -10, -20};
    return nice[priority];
}

TComThread::Starter& CurrentStarter()
{
    static TComThread::Starter starter;
    return starter;
}

} // namespace

void TComThread::SetStarter(Starter starter) { CurrentStarter() = std::move(starter); }

TComThread::TComThread(TCustomComPort* AComPort)
    : shared_(std::make_shared<Shared>(AComPort, AComPort->alive_))
{
    comm::SetEventMask(shared_->handle, EventsToMask(AComPort->Events()));
    const TThreadPriority priority = AComPort->EventThreadPriority();
    std::function<void()> body = [s = shared_, priority] {
        pthread_setname_np(pthread_self(), "com-events"); // as ps and top show it
        // Raising the priority needs privileges the user may not have; the
        // thread then runs at normal priority.
        if (priority != tpNormal)
            setpriority(PRIO_PROCESS, id_t(gettid()), NiceOf(priority));
        Execute(s);
    };
    thread_ = CurrentStarter() ? CurrentStarter()(std::move(body)) : std::thread(std::move(body));
}

TComThread::~TComThread()
{
    Stop();
    if (!thread_.joinable())
        return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach(); // a handler on this thread closed the port: it cannot wait for itself
    else
        thread_.join();
}

void TComThread::Stop()
{
    shared_->stopEvent.Set();
    std::this_thread::yield();
}

void TComThread::Execute(const std::shared_ptr<Shared>& s)
{
    try {
        for (;;) {
            uint32_t mask = 0;
            const comm::WaitResult waited = comm::WaitEvent(s->handle, &s->stopEvent, -1, &mask);
            if (waited == comm::WaitResult::Failed && serial_detail::DeviceGone(comm::LastError()))
                ReportDeviceGone(s);
            if (waited != comm::WaitResult::Fired)
                break; // stopped, or the device failed
            s->events = MaskToEvents(mask);
            if (!s->events.Empty())
                DispatchComMsg(s);
        }
    } catch (...) {
        // A handler's exception ends the thread; the user still gets to see it.
        platform::HandleException(std::current_exception());
    }
    comm::SetEventMask(s->handle, 0);
    comm::Purge(s->handle, comm::purgeTxClear | comm::purgeRxClear);
}

// The device has gone away (hang-up): the port's OnError hears it as an I/O
// error on the user-interface thread, even while nothing is being written.
void TComThread::ReportDeviceGone(const std::shared_ptr<Shared>& s)
{
    platform::RunOnUiThread(
        [s] {
            if (*s->alive)
                s->comPort->DoError(TComErrors{ceIO});
        },
        s->stopEvent, true, nullptr);
}

void TComThread::DispatchComMsg(const std::shared_ptr<Shared>& s)
{
    switch (s->syncMethod) {
    case smThreadSync: {
        std::exception_ptr error;
        const TComEvents events = s->events;
        const auto result = platform::RunOnUiThread(
            [s, events] { DispatchBatch(s->comPort, *s->alive, s->stopEvent, events); }, s->stopEvent, false, &error);
        if (result == platform::HandOverResult::Ran && error)
            std::rethrow_exception(error);
        break;
    }
    case smWindowSync:
        SendEvents(s);
        break;
    case smNone:
        DoEvents(*s);
        break;
    }
}

void TComThread::DoEvents(Shared& s) { DispatchBatch(s.comPort, *s.alive, s.stopEvent, s.events); }

void TComThread::SendEvents(const std::shared_ptr<Shared>& s)
{
    static const TComEvent order[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                      evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
    for (TComEvent event : order) {
        if (!s->events.Contains(event))
            continue;
        const uint32_t bit = EventsToMask(TComEvents{event});
        const auto call = [s, bit] {
            if (*s->alive)
                s->comPort->WindowMethod(bit);
        };
        if (platform::RunOnUiThread(call, s->stopEvent, true, nullptr) == platform::HandOverResult::Cancelled)
            return;
    }
}
