// The event thread: waits on the device and hands each batch of events to the
// port, on the user-interface thread, a hidden-window message per event, or
// on this thread.
#include "serial/PortCore.h"
#include "serial/PortInternal.h"

#include "platform/ExceptionDisplay.h"
#include "platform/UiHandOver.h"

#include <sys/resource.h>
#include <unistd.h>

namespace comm = platform::comm;

namespace {

// Runs the handlers of one batch, in the library's fixed order. A handler may
// close the port: the rest of the batch is then dropped.
void DispatchBatch(TCustomComPort* port, TComEvents events)
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
        if (!port->Connected())
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

} // namespace

TComThread::TComThread(TCustomComPort* AComPort) : comPort_(AComPort)
{
    comm::SetEventMask(comPort_->Handle(), EventsToMask(comPort_->Events()));
    const TThreadPriority priority = comPort_->EventThreadPriority();
    thread_ = std::thread([this, priority] {
        // Raising the priority needs privileges the user may not have; the
        // thread then runs at normal priority.
        if (priority != tpNormal)
            setpriority(PRIO_PROCESS, id_t(gettid()), NiceOf(priority));
        Execute();
    });
}

TComThread::~TComThread()
{
    Stop();
    if (thread_.joinable())
        thread_.join();
}

void TComThread::Stop()
{
    stopEvent_.Set();
    std::this_thread::yield();
}

void TComThread::Execute()
{
    const comm::Handle handle = comPort_->Handle();
    try {
        for (;;) {
            uint32_t mask = 0;
            if (comm::WaitEvent(handle, &stopEvent_, -1, &mask) != comm::WaitResult::Fired)
                break; // stopped, or the device failed (hang-up)
            events_ = MaskToEvents(mask);
            if (!events_.Empty())
                DispatchComMsg();
        }
    } catch (...) {
        // A handler's exception ends the thread; the user still gets to see it.
        platform::HandleException(std::current_exception());
    }
    comm::SetEventMask(handle, 0);
    comm::Purge(handle, comm::purgeTxClear | comm::purgeRxClear);
}

void TComThread::DispatchComMsg()
{
    switch (comPort_->SyncMethod()) {
    case smThreadSync: {
        std::exception_ptr error;
        TCustomComPort* port = comPort_;
        const TComEvents events = events_;
        const auto result =
            platform::RunOnUiThread([port, events] { DispatchBatch(port, events); }, stopEvent_, false, &error);
        if (result == platform::HandOverResult::Ran && error)
            std::rethrow_exception(error);
        break;
    }
    case smWindowSync:
        SendEvents();
        break;
    case smNone:
        DoEvents();
        break;
    }
}

void TComThread::DoEvents() { DispatchBatch(comPort_, events_); }

void TComThread::SendEvents()
{
    static const TComEvent order[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                      evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
    TCustomComPort* port = comPort_;
    for (TComEvent event : order) {
        if (!events_.Contains(event))
            continue;
        const uint32_t bit = EventsToMask(TComEvents{event});
        if (platform::RunOnUiThread([port, bit] { port->WindowMethod(bit); }, stopEvent_, true, nullptr) ==
            platform::HandOverResult::Cancelled)
            return;
    }
}
