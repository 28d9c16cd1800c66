// Event dispatch: the event mask, the listeners, the Call operations that turn
// an event into handler calls, and the Do hooks.
#include "serial/PortCore.h"
#include "serial/PortInternal.h"

#include "platform/ExceptionDisplay.h"

#include <algorithm>

namespace comm = platform::comm;
using serial_detail::RaiseLastError;

uint32_t EventsToMask(TComEvents Events)
{
    static const uint32_t bits[] = {comm::evbRxChar, comm::evbTxEmpty, comm::evbRxFlag, comm::evbRing,
                                    comm::evbBreak,  comm::evbCts,     comm::evbDsr,    comm::evbErr,
                                    comm::evbRlsd,   comm::evbRx80Full};
    uint32_t mask = 0;
    for (int e = evRxChar; e <= evRx80Full; ++e)
        if (Events.Contains(TComEvent(e)))
            mask |= bits[e];
    return mask;
}

TComEvents MaskToEvents(uint32_t Mask)
{
    TComEvents events;
    for (int e = evRxChar; e <= evRx80Full; ++e)
        if (EventsToMask(TComEvents{TComEvent(e)}) & Mask)
            events.Include(TComEvent(e));
    return events;
}

void TCustomComPort::RegisterLink(TComLink* Link)
{
    if (std::find(links_.begin(), links_.end(), Link) != links_.end())
        throw EComPort(18);
    links_.push_back(Link);
    linkedRxBuf_ = HasLink();
}

void TCustomComPort::UnRegisterLink(TComLink* Link)
{
    auto it = std::find(links_.begin(), links_.end(), Link);
    if (it == links_.end())
        throw EComPort(18);
    links_.erase(it);
    linkedRxBuf_ = HasLink();
}

bool TCustomComPort::HasLink() const
{
    return std::any_of(links_.begin(), links_.end(), [](const TComLink* l) { return bool(l->OnRxBuf); });
}

bool TCustomComPort::SendSignalToLink(TComLinkEvent Event, bool OnOff)
{
    const auto alive = alive_;
    for (TComLink* link : std::vector<TComLink*>(links_)) {
        if (!*alive)
            return false;
        const TComSignalEvent* slot = nullptr;
        switch (Event) {
        case leConn: slot = &link->OnConn; break;
        case leCTS: slot = &link->OnCTSChange; break;
        case leDSR: slot = &link->OnDSRChange; break;
        case leRLSD: slot = &link->OnRLSDChange; break;
        case leRx: slot = &link->OnRx; break;
        case leTx: slot = &link->OnTx; break;
        default: break;
        }
        if (slot && *slot)
            (*slot)(this, OnOff);
    }
    return *alive;
}

bool TCustomComPort::NotifyLink(TComLinkEvent Event)
{
    const auto alive = alive_;
    for (TComLink* link : std::vector<TComLink*>(links_)) {
        if (!*alive)
            return false;
        const TNotifyEvent* slot = nullptr;
        switch (Event) {
        case leRing: slot = &link->OnRing; break;
        case leTxEmpty: slot = &link->OnTxEmpty; break;
        case leRxFlag: slot = &link->OnRxFlag; break;
        default: break;
        }
        if (slot && *slot)
            (*slot)(this);
    }
    return *alive;
}

bool TCustomComPort::TxNotifyLink(const void* Buffer, int32_t Count)
{
    const auto alive = alive_;
    for (TComLink* link : std::vector<TComLink*>(links_)) {
        if (!*alive)
            return false;
        if (link->OnTxBuf)
            link->OnTxBuf(this, Buffer, Count);
    }
    return *alive;
}

// A handler or a listener may free the port: every step after one checks
// that it still exists.
void TCustomComPort::CallRxChar()
{
    const auto alive = alive_;
    int32_t count = InputCount();
    if (count > 0 && !SendSignalToLink(leRx, true))
        return;
    if (count > 0 && !GetTriggersOnRxChar()) {
        std::vector<uint8_t> buffer;
        bool read = false;
        auto readOnce = [&] {
            if (read)
                return;
            buffer.resize(size_t(count));
            // Handlers get what was actually read, which may be less than counted.
            count = Read(buffer.data(), count);
            read = true;
            if (count > 0 && *alive)
                DoRxBuf(buffer.data(), count);
        };
        for (TComLink* link : std::vector<TComLink*>(links_)) {
            if (!link->OnRxBuf)
                continue;
            readOnce();
            if (!*alive)
                return;
            if (count > 0) // nothing came after all (purged, or only zero bytes dropped)
                link->OnRxBuf(this, buffer.data(), count);
            if (!*alive)
                return;
        }
        if (!read && !triggersOnRxChar_)
            readOnce();
        if (read)
            count = 0;
    }
    if (count > 0)
        DoRxChar(count);
}

void TCustomComPort::CallTxEmpty()
{
    if (SendSignalToLink(leTx, false) && NotifyLink(leTxEmpty))
        DoTxEmpty();
}

void TCustomComPort::CallBreak() { DoBreak(); }

void TCustomComPort::CallRing()
{
    if (NotifyLink(leRing))
        DoRing();
}

void TCustomComPort::CallCTSChange()
{
    const bool state = Signals().Contains(csCTS);
    if (SendSignalToLink(leCTS, state))
        DoCTSChange(state);
}

void TCustomComPort::CallDSRChange()
{
    const bool state = Signals().Contains(csDSR);
    if (SendSignalToLink(leDSR, state))
        DoDSRChange(state);
}

void TCustomComPort::CallRLSDChange()
{
    const bool state = Signals().Contains(csRLSD);
    if (SendSignalToLink(leRLSD, state))
        DoRLSDChange(state);
}

void TCustomComPort::CallError()
{
    const TComErrors errors = LastErrors();
    if (!errors.Empty())
        DoError(errors);
}

void TCustomComPort::CallRxFlag()
{
    if (NotifyLink(leRxFlag))
        DoRxFlag();
}

void TCustomComPort::CallRx80Full() { DoRx80Full(); }

void TCustomComPort::WindowMethod(uint32_t eventBit)
{
    if (!connected_)
        return;
    platform::Guarded([&] {
        switch (eventBit) {
        case comm::evbRxChar: CallRxChar(); break;
        case comm::evbRxFlag: CallRxFlag(); break;
        case comm::evbTxEmpty: CallTxEmpty(); break;
        case comm::evbCts: CallCTSChange(); break;
        case comm::evbDsr: CallDSRChange(); break;
        case comm::evbRlsd: CallRLSDChange(); break;
        case comm::evbBreak: CallBreak(); break;
        case comm::evbErr: CallError(); break;
        case comm::evbRing: CallRing(); break;
        case comm::evbRx80Full: CallRx80Full(); break;
        default: break;
        }
    });
}

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(this); }
void TCustomComPort::DoRxChar(int32_t Count) { if (OnRxChar) OnRxChar(this, Count); }
void TCustomComPort::DoRxBuf(const void* Buffer, int32_t Count) { if (OnRxBuf) OnRxBuf(this, Buffer, Count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(this); }
void TCustomComPort::DoCTSChange(bool OnOff) { if (OnCTSChange) OnCTSChange(this, OnOff); }
void TCustomComPort::DoDSRChange(bool OnOff) { if (OnDSRChange) OnDSRChange(this, OnOff); }
void TCustomComPort::DoError(TComErrors Errors) { if (OnError) OnError(this, Errors); }
void TCustomComPort::DoRLSDChange(bool OnOff) { if (OnRLSDChange) OnRLSDChange(this, OnOff); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(this); }
