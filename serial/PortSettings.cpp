// The port's properties: the rule each setter follows, batched updates, and
// applying the settings to the open device (control block, time-outs, queues).
#include "serial/PortCore.h"
#include "serial/PortInternal.h"

#include "platform/ExceptionDisplay.h"

namespace comm = platform::comm;
using serial_detail::RaiseLastError;

TCustomComPort::TCustomComPort(QObject* owner) : TComponent(owner)
{
    parity_ = std::make_unique<TComParity>();
    parity_->SetComPort(this);
    flowControl_ = std::make_unique<TComFlowControl>();
    flowControl_->SetComPort(this);
    timeouts_ = std::make_unique<TComTimeouts>();
    timeouts_->SetComPort(this);
    buffer_ = std::make_unique<TComBuffer>();
    buffer_->SetComPort(this);
}

TCustomComPort::~TCustomComPort()
{
    *alive_ = false;
    platform::Guarded([this] { Close(); });
    if (connected_) {
        // Close failed half-way: still let go of the thread and the device.
        eventThread_.reset();
        DestroyHandle();
    }
}

bool TCustomComPort::CanApply() const { return connected_ && updateCount_ == 0 && !IsDesigning() && !IsLoading(); }

void TCustomComPort::SetConnected(bool value)
{
    if (IsDesigning() || IsLoading()) {
        connected_ = value;
        return;
    }
    if (value == connected_)
        return;
    if (value)
        Open();
    else
        Close();
}

void TCustomComPort::SetBaudRate(TBaudRate value)
{
    if (value == baudRate_)
        return;
    baudRate_ = value;
    ApplyDCB();
}

void TCustomComPort::SetCustomBaudRate(int32_t value)
{
    if (value == customBaudRate_)
        return;
    customBaudRate_ = value;
    ApplyDCB();
}

void TCustomComPort::SetPort(const std::string& value)
{
    if (value == port_)
        return;
    port_ = value;
    if (connected_ && !IsDesigning() && !IsLoading()) {
        Close();
        Open();
    }
}

void TCustomComPort::SetStopBits(TStopBits value)
{
    if (value == stopBits_)
        return;
    stopBits_ = value;
    ApplyDCB();
}

void TCustomComPort::SetDataBits(TDataBits value)
{
    if (value == dataBits_)
        return;
    dataBits_ = value;
    ApplyDCB();
}

void TCustomComPort::SetDiscardNull(bool value)
{
    if (value == discardNull_)
        return;
    discardNull_ = value;
    ApplyDCB();
}

void TCustomComPort::SetEventChar(char value)
{
    if (value == eventChar_)
        return;
    eventChar_ = value;
    ApplyDCB();
}

void TCustomComPort::SetBuffer(const TComBuffer& value)
{
    value.AssignTo(*buffer_);
    ApplyBuffer();
}

void TCustomComPort::SetParity(const TComParity& value)
{
    value.AssignTo(*parity_);
    ApplyDCB();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value)
{
    value.AssignTo(*timeouts_);
    ApplyTimeouts();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value)
{
    value.AssignTo(*flowControl_);
    ApplyDCB();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (value == syncMethod_)
        return;
    if (connected_ && !IsDesigning() && !IsLoading())
        throw EComPort(14);
    syncMethod_ = value;
}

void TCustomComPort::SetEventThreadPriority(TThreadPriority value)
{
    if (value == eventThreadPriority_)
        return;
    if (connected_ && !IsDesigning() && !IsLoading())
        throw EComPort(14);
    eventThreadPriority_ = value;
}

void TCustomComPort::SetTriggersOnRxChar(bool value)
{
    if (linkedRxBuf_)
        throw EComPort(22);
    triggersOnRxChar_ = value;
}

void TCustomComPort::BeginUpdate() { ++updateCount_; }

void TCustomComPort::EndUpdate()
{
    if (updateCount_ > 0) {
        --updateCount_;
        if (updateCount_ == 0)
            SetupComPort();
    }
}

void TCustomComPort::SetupComPort()
{
    ApplyBuffer();
    ApplyDCB();
    ApplyTimeouts();
}

comm::DeviceControlBlock TCustomComPort::BuildDCB() const
{
    const TLineSettings line{baudRate_, customBaudRate_, dataBits_, stopBits_, discardNull_, eventChar_};
    return MakeControlBlock(line, *parity_, *flowControl_, *buffer_);
}

comm::Timeouts TCustomComPort::BuildTimeouts() const { return MakeTimeouts(*timeouts_); }

void TCustomComPort::ApplyDCB()
{
    if (!CanApply())
        return;
    if (!comm::SetState(handle_, BuildDCB()))
        RaiseLastError(7);
}

void TCustomComPort::ApplyTimeouts()
{
    if (!CanApply())
        return;
    if (!comm::SetTimeouts(handle_, BuildTimeouts()))
        RaiseLastError(8);
}

void TCustomComPort::ApplyBuffer()
{
    if (!CanApply())
        return;
    if (!comm::SetQueueSizes(handle_, uint32_t(buffer_->InputSize()), uint32_t(buffer_->OutputSize())))
        RaiseLastError(9);
}
