// Open and close with their notifications, the status queries and the escape
// functions.
#include "serial/PortCore.h"
#include "serial/PortInternal.h"

#include "platform/ExceptionDisplay.h"
#include "serial/ComThread.h"

#include <system_error>

namespace comm = platform::comm;
using serial_detail::RaiseLastError;
using serial_detail::DeviceGone;

void TCustomComPort::Loaded()
{
    TComponent::Loaded();
    if (connected_ && !IsDesigning()) {
        connected_ = false;
        platform::Guarded([this] { Open(); });
    }
}

void TCustomComPort::CreateHandle()
{
    handle_ = comm::Open(port_);
    if (handle_ == comm::kInvalidHandle)
        RaiseLastError(1);
}

void TCustomComPort::DestroyHandle()
{
    if (handle_ != comm::kInvalidHandle)
        comm::Close(handle_);
    handle_ = comm::kInvalidHandle;
}

void TCustomComPort::Open()
{
    if (connected_ || IsDesigning())
        return;
    CallBeforeOpen();
    CreateHandle();
    connected_ = true;
    try {
        SetupComPort();
    } catch (...) {
        DestroyHandle();
        connected_ = false;
        throw;
    }
    if (events_.Empty()) {
        threadCreated_ = false;
    } else {
        try {
            eventThread_ = std::make_unique<TComThread>(this);
        } catch (const std::system_error& e) {
            // Without its thread the port would look open and never report.
            DestroyHandle();
            connected_ = false;
            throw EComPort(1, e.code().value(), "The port's event thread could not be started.");
        }
        threadCreated_ = true;
    }
    CallAfterOpen();
}

void TCustomComPort::Close()
{
    if (!connected_ || IsDesigning())
        return;
    CallBeforeClose();
    // What was written goes out before the queues are discarded, within the
    // time a write of it may take (a last command such as comms-mode off).
    comm::DrainOutput(handle_, Timeouts()->WriteTotalConstant(), Timeouts()->WriteTotalMultiplier());
    // A device that has gone away cannot be purged; that must not keep the
    // port open for ever. Any other purge failure keeps it open.
    try {
        AbortAllAsync();
    } catch (const EComPort& e) {
        if (!DeviceGone(e.WinCode()))
            throw;
    }
    if (threadCreated_) {
        eventThread_.reset();
        threadCreated_ = false;
    }
    DestroyHandle();
    connected_ = false;
    CallAfterClose();
}

void TCustomComPort::CallBeforeOpen() { DoBeforeOpen(); }

void TCustomComPort::CallAfterOpen()
{
    SendSignalToLink(leConn, true);
    DoAfterOpen();
    CheckSignals(true);
}

void TCustomComPort::CallBeforeClose()
{
    CheckSignals(false);
    DoBeforeClose();
}

void TCustomComPort::CallAfterClose()
{
    SendSignalToLink(leConn, false);
    DoAfterClose();
}

void TCustomComPort::CheckSignals(bool Open)
{
    if (Open) {
        CallCTSChange();
        CallDSRChange();
        CallRLSDChange();
        return;
    }
    SendSignalToLink(leCTS, false);
    SendSignalToLink(leDSR, false);
    SendSignalToLink(leRLSD, false);
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
}

// ====================================================================== port: queries and escapes

namespace {

// The queue counts and flags, read with the pending errors cleared.
comm::Status QueueStatus(comm::Handle handle)
{
    comm::Status status;
    if (!comm::ClearErrors(handle, nullptr, &status))
        RaiseLastError(10);
    return status;
}

} // namespace

int32_t TCustomComPort::InputCount() { return int32_t(QueueStatus(handle_).InQueue); }

int32_t TCustomComPort::OutputCount() { return int32_t(QueueStatus(handle_).OutQueue); }

TComSignals TCustomComPort::Signals()
{
    uint32_t status = 0;
    if (!comm::GetModemStatus(handle_, &status))
        RaiseLastError(11);
    TComSignals result;
    if (status & comm::msCts)
        result.Include(csCTS);
    if (status & comm::msDsr)
        result.Include(csDSR);
    if (status & comm::msRing)
        result.Include(csRing);
    if (status & comm::msRlsd)
        result.Include(csRLSD);
    return result;
}

uint8_t TCustomComPort::StateFlags() { return uint8_t(QueueStatus(handle_).Flags); }

TComErrors TCustomComPort::LastErrors()
{
    uint32_t errors = 0;
    comm::Status status;
    if (!comm::ClearErrors(handle_, &errors, &status))
        RaiseLastError(10);
    TComErrors result;
    if (errors & comm::errFrame)
        result.Include(ceFrame);
    if ((errors & comm::errRxParity) && parity_->Check())
        result.Include(ceRxParity);
    if (errors & comm::errOverrun)
        result.Include(ceOverrun);
    if (errors & comm::errBreak)
        result.Include(ceBreak);
    if (errors & comm::errIo)
        result.Include(ceIO);
    if (errors & comm::errMode)
        result.Include(ceMode);
    if (errors & comm::errRxOver)
        result.Include(ceRxOver);
    if (errors & comm::errTxFull)
        result.Include(ceTxFull);
    return result;
}

void TCustomComPort::Escape(uint32_t func)
{
    if (!comm::Escape(handle_, func))
        RaiseLastError(12);
}

void TCustomComPort::SetDTR(bool OnOff) { Escape(OnOff ? comm::escSetDtr : comm::escClrDtr); }
void TCustomComPort::SetRTS(bool OnOff) { Escape(OnOff ? comm::escSetRts : comm::escClrRts); }
void TCustomComPort::SetXonXoff(bool OnOff) { Escape(OnOff ? comm::escSetXon : comm::escSetXoff); }
void TCustomComPort::SetBreak(bool OnOff) { Escape(OnOff ? comm::escSetBreak : comm::escClrBreak); }

void TCustomComPort::TransmitChar(char Ch)
{
    if (!comm::TransmitChar(handle_, Ch))
        RaiseLastError(13);
}

void TCustomComPort::ClearBuffer(bool Input, bool Output)
{
    uint32_t flags = 0;
    if (Input)
        flags |= comm::purgeRxClear;
    if (Output)
        flags |= comm::purgeTxClear;
    if (!comm::Purge(handle_, flags))
        RaiseLastError(5);
}

void TCustomComPort::AbortAllAsync()
{
    if (!comm::Purge(handle_, comm::purgeTxAbort | comm::purgeRxAbort | comm::purgeTxClear | comm::purgeRxClear))
        RaiseLastError(5);
}
