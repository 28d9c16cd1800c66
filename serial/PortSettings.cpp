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
    comm::DeviceControlBlock dcb;
    dcb.DCBlength = 28;
    dcb.BaudRate = uint32_t(baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_));
    uint32_t flags = comm::dcbBinary;
    if (parity_->Check())
        flags |= comm::dcbParity;
    if (flowControl_->OutCTSFlow())
        flags |= comm::dcbOutxCtsFlow;
    if (flowControl_->OutDSRFlow())
        flags |= comm::dcbOutxDsrFlow;
    static const uint32_t dtrBits[] = {0x0000, 0x0010, 0x0020};
    flags |= dtrBits[flowControl_->ControlDTR()];
    if (flowControl_->DSRSensitivity())
        flags |= comm::dcbDsrSensitivity;
    if (flowControl_->TxContinueOnXoff())
        flags |= comm::dcbTxContinueOnXoff;
    if (flowControl_->XonXoffOut())
        flags |= comm::dcbOutX;
    if (flowControl_->XonXoffIn())
        flags |= comm::dcbInX;
    if (parity_->Check() && parity_->Replace())
        flags |= comm::dcbErrorChar;
    if (discardNull_)
        flags |= comm::dcbNull;
    static const uint32_t rtsBits[] = {0x0000, 0x1000, 0x2000, 0x3000};
    flags |= rtsBits[flowControl_->ControlRTS()];
    dcb.Flags = flags;
    dcb.XonLim = uint16_t(buffer_->InputSize() / 4);
    dcb.XoffLim = dcb.XonLim;
    dcb.ByteSize = uint8_t(5 + dataBits_);
    dcb.Parity = uint8_t(parity_->Bits());
    dcb.StopBits = uint8_t(stopBits_);
    dcb.XonChar = flowControl_->XonChar();
    dcb.XoffChar = flowControl_->XoffChar();
    if (parity_->Check() && parity_->Replace())
        dcb.ErrorChar = parity_->ReplaceChar();
    dcb.EvtChar = eventChar_;
    return dcb;
}

comm::Timeouts TCustomComPort::BuildTimeouts() const
{
    comm::Timeouts t;
    t.ReadIntervalTimeout = uint32_t(timeouts_->ReadInterval());
    t.ReadTotalTimeoutMultiplier = uint32_t(timeouts_->ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = uint32_t(timeouts_->ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = uint32_t(timeouts_->WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = uint32_t(timeouts_->WriteTotalConstant());
    return t;
}

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
