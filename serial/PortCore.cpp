#include "serial/PortCore.h"

#include "platform/Clock.h"
#include "platform/ExceptionDisplay.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "platform/UiHandOver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

namespace comm = platform::comm;

// ====================================================================== errors

namespace {

const char* const kComErrorMessages[23] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

std::string WithWinCode(int32_t code, int32_t winCode)
{
    return ComErrorMessage(code) + " (win error code: " + std::to_string(winCode) + ")";
}

[[noreturn]] void RaiseLastError(int32_t code)
{
    const int error = comm::LastError();
    const std::string detail = comm::LastErrorDetail();
    if (!detail.empty())
        throw EComPort(code, error, detail);
    throw EComPort(code, error);
}

// A device that has gone away (unplugged, link dropped) fails with these.
bool DeviceGone(int32_t winCode) { return winCode == EIO || winCode == ENXIO || winCode == ENODEV; }

} // namespace

std::string ComErrorMessage(int32_t code)
{
    if (code < 1 || code > 23)
        return std::string();
    return kComErrorMessages[code - 1];
}

EComPort::EComPort(int32_t code) : Exception(ComErrorMessage(code)), code_(code), winCode_(-1) {}

EComPort::EComPort(int32_t code, int32_t winCode)
    : Exception(WithWinCode(code, winCode)), code_(code), winCode_(winCode)
{
}

EComPort::EComPort(int32_t code, int32_t winCode, const std::string& detail)
    : Exception(WithWinCode(code, winCode) + "\n" + detail), code_(code), winCode_(winCode)
{
}

// ====================================================================== setting objects

void TComTimeouts::Changed()
{
    if (comPort_)
        comPort_->ApplyTimeouts();
}

#define KVT_SETTER(Class, Name, Type, field)                                                                           \
    void Class::Name(Type v)                                                                                           \
    {                                                                                                                  \
        if (v == field)                                                                                                \
            return;                                                                                                    \
        field = v;                                                                                                     \
        Changed();                                                                                                     \
    }

KVT_SETTER(TComTimeouts, SetReadInterval, int32_t, readInterval_)
KVT_SETTER(TComTimeouts, SetReadTotalM, int32_t, readTotalM_)
KVT_SETTER(TComTimeouts, SetReadTotalC, int32_t, readTotalC_)
KVT_SETTER(TComTimeouts, SetWriteTotalM, int32_t, writeTotalM_)
KVT_SETTER(TComTimeouts, SetWriteTotalC, int32_t, writeTotalC_)

void TComTimeouts::AssignTo(TComTimeouts& dest) const
{
    dest.readInterval_ = readInterval_;
    dest.readTotalM_ = readTotalM_;
    dest.readTotalC_ = readTotalC_;
    dest.writeTotalM_ = writeTotalM_;
    dest.writeTotalC_ = writeTotalC_;
}

void TComFlowControl::Changed()
{
    if (comPort_)
        comPort_->ApplyDCB();
}

KVT_SETTER(TComFlowControl, SetOutCTSFlow, bool, outCTSFlow_)
KVT_SETTER(TComFlowControl, SetOutDSRFlow, bool, outDSRFlow_)
KVT_SETTER(TComFlowControl, SetControlDTR, TDTRFlowControl, controlDTR_)
KVT_SETTER(TComFlowControl, SetControlRTS, TRTSFlowControl, controlRTS_)
KVT_SETTER(TComFlowControl, SetXonXoffOut, bool, xonXoffOut_)
KVT_SETTER(TComFlowControl, SetXonXoffIn, bool, xonXoffIn_)
KVT_SETTER(TComFlowControl, SetDSRSensitivity, bool, dsrSensitivity_)
KVT_SETTER(TComFlowControl, SetTxContinueOnXoff, bool, txContinueOnXoff_)
KVT_SETTER(TComFlowControl, SetXonChar, char, xonChar_)
KVT_SETTER(TComFlowControl, SetXoffChar, char, xoffChar_)

TFlowControl TComFlowControl::GetFlowControl() const
{
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl v)
{
    if (v != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (v == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (v == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    Changed();
}

void TComFlowControl::AssignTo(TComFlowControl& dest) const
{
    dest.outCTSFlow_ = outCTSFlow_;
    dest.outDSRFlow_ = outDSRFlow_;
    dest.controlDTR_ = controlDTR_;
    dest.controlRTS_ = controlRTS_;
    dest.xonXoffOut_ = xonXoffOut_;
    dest.xonXoffIn_ = xonXoffIn_;
    dest.dsrSensitivity_ = dsrSensitivity_;
    dest.txContinueOnXoff_ = txContinueOnXoff_;
    dest.xonChar_ = xonChar_;
    dest.xoffChar_ = xoffChar_;
}

void TComParity::Changed()
{
    if (comPort_)
        comPort_->ApplyDCB();
}

KVT_SETTER(TComParity, SetBits, TParityBits, bits_)
KVT_SETTER(TComParity, SetCheck, bool, check_)
KVT_SETTER(TComParity, SetReplace, bool, replace_)
KVT_SETTER(TComParity, SetReplaceChar, char, replaceChar_)

void TComParity::AssignTo(TComParity& dest) const
{
    dest.bits_ = bits_;
    dest.check_ = check_;
    dest.replace_ = replace_;
    dest.replaceChar_ = replaceChar_;
}

#undef KVT_SETTER

void TComBuffer::Changed()
{
    if (comPort_)
        comPort_->ApplyBuffer();
}

// Driver queues come in even sizes.
void TComBuffer::SetInputSize(int32_t v)
{
    if (v == inputSize_)
        return;
    inputSize_ = (v > 0 && v % 2 == 1) ? v - 1 : v;
    Changed();
}

void TComBuffer::SetOutputSize(int32_t v)
{
    if (v == outputSize_)
        return;
    outputSize_ = (v > 0 && v % 2 == 1) ? v - 1 : v;
    Changed();
}

void TComBuffer::AssignTo(TComBuffer& dest) const
{
    dest.inputSize_ = inputSize_;
    dest.outputSize_ = outputSize_;
}

// ====================================================================== port: settings

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

int32_t BaudRateValue(TBaudRate BaudRate)
{
    static const int32_t rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return BaudRate <= br256000 ? rates[BaudRate] : 0;
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

// ====================================================================== port: open and close

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
        eventThread_ = std::make_unique<TComThread>(this);
        threadCreated_ = true;
    }
    CallAfterOpen();
}

void TCustomComPort::Close()
{
    if (!connected_ || IsDesigning())
        return;
    CallBeforeClose();
    // A device that has gone away cannot be purged; that must not keep the
    // port open for ever. Any other purge failure is raised once closed.
    std::exception_ptr purgeError;
    try {
        AbortAllAsync();
    } catch (const EComPort& e) {
        if (!DeviceGone(e.WinCode()))
            purgeError = std::current_exception();
    }
    if (threadCreated_) {
        eventThread_.reset();
        threadCreated_ = false;
    }
    DestroyHandle();
    connected_ = false;
    CallAfterClose();
    if (purgeError)
        std::rethrow_exception(purgeError);
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

int32_t TCustomComPort::InputCount()
{
    comm::Status status;
    if (!comm::ClearErrors(handle_, nullptr, &status))
        RaiseLastError(10);
    return int32_t(status.InQueue);
}

int32_t TCustomComPort::OutputCount()
{
    comm::Status status;
    if (!comm::ClearErrors(handle_, nullptr, &status))
        RaiseLastError(10);
    return int32_t(status.OutQueue);
}

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

uint8_t TCustomComPort::StateFlags()
{
    comm::Status status;
    if (!comm::ClearErrors(handle_, nullptr, &status))
        RaiseLastError(10);
    return uint8_t(status.Flags);
}

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

// ====================================================================== port: reads and writes

void InitAsync(PAsync& AsyncPtr)
{
    AsyncPtr = new TAsync();
}

void DoneAsync(PAsync& AsyncPtr)
{
    if (!AsyncPtr)
        return;
    delete[] AsyncPtr->Data;
    delete AsyncPtr;
    AsyncPtr = nullptr;
}

int32_t TCustomComPort::WriteAsync(const void* Buffer, int32_t Count, PAsync& AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(4);
    AsyncPtr->Kind = okWrite;
    delete[] AsyncPtr->Data;
    AsyncPtr->Data = nullptr;
    AsyncPtr->Size = 0;
    const uint32_t count = uint32_t(std::max(Count, 0));
    AsyncPtr->Data = new uint8_t[count ? count : 1];
    if (count)
        std::memcpy(AsyncPtr->Data, Buffer, count);
    AsyncPtr->Size = int32_t(count);
    // The write goes on from our own copy: the caller's buffer may be gone
    // before it ends.
    uint32_t done = 0;
    if (!comm::Write(handle_, AsyncPtr->Data, count, &done, &AsyncPtr->Overlapped) &&
        comm::LastError() != comm::kErrorIoPending)
        RaiseLastError(2);
    SendSignalToLink(leTx, true);
    return int32_t(done);
}

int32_t TCustomComPort::WriteStrAsync(const std::string& Str, PAsync& AsyncPtr)
{
    if (Str.empty())
        return 0;
    return WriteAsync(Str.data(), int32_t(Str.size()), AsyncPtr);
}

int32_t TCustomComPort::ReadAsync(void* Buffer, int32_t Count, PAsync& AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(4);
    AsyncPtr->Kind = okRead;
    uint32_t done = 0;
    if (!comm::Read(handle_, Buffer, uint32_t(std::max(Count, 0)), &done, &AsyncPtr->Overlapped) &&
        comm::LastError() != comm::kErrorIoPending)
        RaiseLastError(3);
    return int32_t(done);
}

int32_t TCustomComPort::ReadStrAsync(std::string& Str, int32_t Count, PAsync& AsyncPtr)
{
    Str.assign(size_t(std::max(Count, 0)), '\0');
    if (Count < 1)
        return 0;
    return ReadAsync(Str.data(), Count, AsyncPtr);
}

int32_t TCustomComPort::WaitForAsync(PAsync& AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(4);
    uint32_t transferred = 0;
    if (!comm::GetResult(handle_, &AsyncPtr->Overlapped, &transferred, true))
        RaiseLastError(AsyncPtr->Kind == okWrite ? 2 : 3);
    if (AsyncPtr->Kind == okRead) {
        if (InputCount() == 0)
            SendSignalToLink(leRx, false);
    } else if (AsyncPtr->Data) {
        // A write that timed out short did not send the data: say so.
        if (int32_t(transferred) < AsyncPtr->Size)
            throw EComPort(2, ETIMEDOUT);
        TxNotifyLink(AsyncPtr->Data, AsyncPtr->Size);
    }
    return int32_t(transferred);
}

bool TCustomComPort::IsAsyncCompleted(PAsync AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(4);
    uint32_t transferred = 0;
    if (comm::GetResult(handle_, &AsyncPtr->Overlapped, &transferred, false))
        return true;
    const int error = comm::LastError();
    if (error == comm::kErrorIoIncomplete || error == comm::kErrorIoPending)
        return false;
    RaiseLastError(6);
}

namespace {

// The blocking forms: start, wait, and always free the record.
template <class Start>
int32_t Blocking(TCustomComPort& port, Start start)
{
    PAsync async = nullptr;
    InitAsync(async);
    try {
        start(async);
        const int32_t result = port.WaitForAsync(async);
        DoneAsync(async);
        return result;
    } catch (...) {
        DoneAsync(async);
        throw;
    }
}

} // namespace

int32_t TCustomComPort::Write(const void* Buffer, int32_t Count)
{
    return Blocking(*this, [&](PAsync& a) { WriteAsync(Buffer, Count, a); });
}

int32_t TCustomComPort::WriteStr(const std::string& Str)
{
    return Blocking(*this, [&](PAsync& a) { WriteStrAsync(Str, a); });
}

int32_t TCustomComPort::Read(void* Buffer, int32_t Count)
{
    return Blocking(*this, [&](PAsync& a) { ReadAsync(Buffer, Count, a); });
}

int32_t TCustomComPort::ReadStr(std::string& Str, int32_t Count)
{
    const int32_t n = Blocking(*this, [&](PAsync& a) { ReadStrAsync(Str, Count, a); });
    Str.resize(size_t(std::max(n, 0)));
    return n;
}

void TCustomComPort::WaitForEvent(TComEvents& Events, const platform::Event* StopEvent, int32_t Timeout)
{
    if (threadCreated_)
        throw EComPort(20);
    if (!comm::SetEventMask(handle_, EventsToMask(Events)))
        RaiseLastError(21);
    uint32_t fired = 0;
    const comm::WaitResult result = comm::WaitEvent(handle_, StopEvent, Timeout, &fired);
    if (result == comm::WaitResult::Failed)
        RaiseLastError(21);
    Events = result == comm::WaitResult::Fired ? MaskToEvents(fired) : TComEvents();
    comm::SetEventMask(handle_, 0);
}

// ====================================================================== events and links

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

void TCustomComPort::SendSignalToLink(TComLinkEvent Event, bool OnOff)
{
    for (TComLink* link : std::vector<TComLink*>(links_)) {
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
}

void TCustomComPort::NotifyLink(TComLinkEvent Event)
{
    for (TComLink* link : std::vector<TComLink*>(links_)) {
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
}

void TCustomComPort::TxNotifyLink(const void* Buffer, int32_t Count)
{
    for (TComLink* link : std::vector<TComLink*>(links_))
        if (link->OnTxBuf)
            link->OnTxBuf(this, Buffer, Count);
}

void TCustomComPort::CallRxChar()
{
    int32_t count = InputCount();
    if (count > 0)
        SendSignalToLink(leRx, true);
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
            DoRxBuf(buffer.data(), count);
        };
        for (TComLink* link : std::vector<TComLink*>(links_)) {
            if (!link->OnRxBuf)
                continue;
            readOnce();
            link->OnRxBuf(this, buffer.data(), count);
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
    SendSignalToLink(leTx, false);
    NotifyLink(leTxEmpty);
    DoTxEmpty();
}

void TCustomComPort::CallBreak() { DoBreak(); }

void TCustomComPort::CallRing()
{
    NotifyLink(leRing);
    DoRing();
}

void TCustomComPort::CallCTSChange()
{
    const bool state = Signals().Contains(csCTS);
    SendSignalToLink(leCTS, state);
    DoCTSChange(state);
}

void TCustomComPort::CallDSRChange()
{
    const bool state = Signals().Contains(csDSR);
    SendSignalToLink(leDSR, state);
    DoDSRChange(state);
}

void TCustomComPort::CallRLSDChange()
{
    const bool state = Signals().Contains(csRLSD);
    SendSignalToLink(leRLSD, state);
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
    NotifyLink(leRxFlag);
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

// ====================================================================== event thread

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
            const comm::WaitResult waited = comm::WaitEvent(handle, &stopEvent_, -1, &mask);
            if (waited == comm::WaitResult::Failed && DeviceGone(comm::LastError())) {
                // The device has gone away (hang-up): the port's OnError hears
                // it as an I/O error, even while nothing is being written.
                TCustomComPort* port = comPort_;
                platform::RunOnUiThread([port] { port->DoError(TComErrors{ceIO}); }, stopEvent_, true, nullptr);
            }
            if (waited != comm::WaitResult::Fired)
                break; // stopped, or the device failed
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

// ====================================================================== port list and texts

namespace {

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

const char* const kBaudRateTexts[] = {"Custom", "110",   "300",   "600",   "1200",   "2400",   "4800",   "9600",
                                      "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
const char* const kStopBitsTexts[] = {"1", "1.5", "2"};
const char* const kDataBitsTexts[] = {"5", "6", "7", "8"};
const char* const kParityTexts[] = {"None", "Odd", "Even", "Mark", "Space"};
const char* const kFlowControlTexts[] = {"Hardware", "Software", "None", "Custom"};
const char* const kDTRTexts[] = {"Disable", "Enable", "Handshake"};
const char* const kRTSTexts[] = {"Disable", "Enable", "Handshake", "Toggle"};

template <class E, size_t N>
E FromText(const char* const (&table)[N], const std::string& text, E def)
{
    const std::string up = Upper(text);
    for (size_t i = 0; i < N; ++i)
        if (Upper(table[i]) == up)
            return E(i);
    return def;
}

template <size_t N>
std::string ToText(const char* const (&table)[N], unsigned index)
{
    return index < N ? table[index] : std::string();
}

} // namespace

void EnumComPorts(std::vector<std::string>& Ports)
{
    std::vector<std::string> found;
    int error = 0;
    if (!platform::ListSerialPorts(found, &error))
        throw EComPort(23, error);
    std::stable_sort(found.begin(), found.end(),
                     [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    Ports = std::move(found);
}

std::string BaudRateToStr(TBaudRate v) { return ToText(kBaudRateTexts, v); }
std::string StopBitsToStr(TStopBits v) { return ToText(kStopBitsTexts, v); }
std::string DataBitsToStr(TDataBits v) { return ToText(kDataBitsTexts, v); }
std::string ParityToStr(TParityBits v) { return ToText(kParityTexts, v); }
std::string FlowControlToStr(TFlowControl v) { return ToText(kFlowControlTexts, v); }
std::string DTRToStr(TDTRFlowControl v) { return ToText(kDTRTexts, v); }
std::string RTSToStr(TRTSFlowControl v) { return ToText(kRTSTexts, v); }
TBaudRate StrToBaudRate(const std::string& s) { return FromText(kBaudRateTexts, s, br9600); }
TStopBits StrToStopBits(const std::string& s) { return FromText(kStopBitsTexts, s, sbOneStopBit); }
TDataBits StrToDataBits(const std::string& s) { return FromText(kDataBitsTexts, s, dbEight); }
TParityBits StrToParity(const std::string& s) { return FromText(kParityTexts, s, prNone); }
TFlowControl StrToFlowControl(const std::string& s) { return FromText(kFlowControlTexts, s, fcCustom); }
TDTRFlowControl StrToDTR(const std::string& s) { return FromText(kDTRTexts, s, dtrDisable); }
TRTSFlowControl StrToRTS(const std::string& s) { return FromText(kRTSTexts, s, rtsDisable); }

std::string BoolToYesNo(bool B) { return B ? "Yes" : "No"; }
bool YesNoToBool(const std::string& Str) { return Upper(Str) == "YES"; }

std::string CharToStr(char Ch)
{
    const unsigned char c = static_cast<unsigned char>(Ch);
    if (c >= 33 && c <= 127)
        return std::string(1, Ch);
    return "#" + std::to_string(c);
}

char StrToChar(const std::string& Str)
{
    if (Str.empty())
        return 0;
    if (Str.size() >= 2 && Str[0] == '#') {
        const std::string digits = Str.substr(1);
        // A valid number: optional sign, then decimal digits only.
        size_t i = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
        if (i == digits.size() || digits.find_first_not_of("0123456789", i) != std::string::npos)
            return 0;
        long long value = 0;
        for (size_t k = i; k < digits.size(); ++k)
            value = (value * 10 + (digits[k] - '0')) & 0xFFFFFFFF;
        if (digits[0] == '-')
            value = -value;
        return char(uint8_t(value & 0xFF));
    }
    return Str[0];
}

// ====================================================================== persistence

void TCustomComPort::SetRegistry(TRegistry& Reg, const std::string& Key)
{
    const size_t slash = Key.find('\\');
    if (slash == std::string::npos)
        return;
    const std::string root = Upper(Key.substr(0, slash));
    if (root == "HKEY_LOCAL_MACHINE")
        Reg.SetRootKey(HKEY_LOCAL_MACHINE);
    else if (root == "HKEY_CURRENT_USER")
        Reg.SetRootKey(HKEY_CURRENT_USER);
    std::string path = Key.substr(slash + 1);
    if (path.empty() || path.back() != '\\')
        path += '\\';
    path += Name();
    if (!Reg.OpenKey(path, true))
        throw ERegistryException("Unable to open the registry key " + path);
}

void TCustomComPort::StoreSettings(TStoreType StoreType, const std::string& StoreTo)
{
    try {
        if (StoreType == stIniFile) {
            TIniFile ini(StoreTo);
            StoreIniFile(ini);
        } else {
            TRegistry reg;
            SetRegistry(reg, StoreTo);
            StoreRegistry(reg);
            reg.CloseKey();
        }
    } catch (...) {
        throw EComPort(16);
    }
}

void TCustomComPort::LoadSettings(TStoreType StoreType, const std::string& LoadFrom)
{
    BeginUpdate();
    try {
        try {
            if (StoreType == stIniFile) {
                TIniFile ini(LoadFrom);
                LoadIniFile(ini);
            } else {
                TRegistry reg;
                SetRegistry(reg, LoadFrom);
                LoadRegistry(reg);
            }
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
    } catch (...) {
        throw EComPort(17);
    }
}

namespace {

// One writer for both stores: the list of values and their order live in
// StoreValues below.
struct SettingsWriter {
    std::function<void(const std::string&, const std::string&)> text;
    std::function<void(const std::string&, int32_t)> integer;
};

} // namespace

static void StoreValues(const TCustomComPort& p, const SettingsWriter& w)
{
    const TStoredProps props = p.StoredProps();
    if (props.Contains(spBasic)) {
        w.text("Port", p.Port());
        w.text("BaudRate", BaudRateToStr(p.BaudRate()));
        if (p.BaudRate() == brCustom)
            w.integer("CustomBaudRate", p.CustomBaudRate());
        w.text("StopBits", StopBitsToStr(p.StopBits()));
        w.text("DataBits", DataBitsToStr(p.DataBits()));
        w.text("Parity", ParityToStr(p.Parity()->Bits()));
        w.text("FlowControl", FlowControlToStr(p.FlowControl()->FlowControl()));
    }
    if (props.Contains(spOthers)) {
        w.text("EventChar", CharToStr(p.EventChar()));
        w.text("DiscardNull", BoolToYesNo(p.DiscardNull()));
    }
    if (props.Contains(spParity)) {
        w.text("Parity.Check", BoolToYesNo(p.Parity()->Check()));
        w.text("Parity.Replace", BoolToYesNo(p.Parity()->Replace()));
        w.text("Parity.ReplaceChar", CharToStr(p.Parity()->ReplaceChar()));
    }
    if (props.Contains(spBuffer)) {
        w.integer("Buffer.OutputSize", p.Buffer()->OutputSize());
        w.integer("Buffer.InputSize", p.Buffer()->InputSize());
    }
    if (props.Contains(spTimeouts)) {
        w.integer("Timeouts.ReadInterval", p.Timeouts()->ReadInterval());
        w.integer("Timeouts.ReadTotalConstant", p.Timeouts()->ReadTotalConstant());
        w.integer("Timeouts.ReadTotalMultiplier", p.Timeouts()->ReadTotalMultiplier());
        w.integer("Timeouts.WriteTotalConstant", p.Timeouts()->WriteTotalConstant());
        w.integer("Timeouts.WriteTotalMultiplier", p.Timeouts()->WriteTotalMultiplier());
    }
    if (props.Contains(spFlowControl)) {
        const TComFlowControl& f = *p.FlowControl();
        w.text("FlowControl.ControlRTS", RTSToStr(f.ControlRTS()));
        w.text("FlowControl.ControlDTR", DTRToStr(f.ControlDTR()));
        w.text("FlowControl.DSRSensitivity", BoolToYesNo(f.DSRSensitivity()));
        w.text("FlowControl.OutCTSFlow", BoolToYesNo(f.OutCTSFlow()));
        w.text("FlowControl.OutDSRFlow", BoolToYesNo(f.OutDSRFlow()));
        w.text("FlowControl.TxContinueOnXoff", BoolToYesNo(f.TxContinueOnXoff()));
        w.text("FlowControl.XonXoffIn", BoolToYesNo(f.XonXoffIn()));
        w.text("FlowControl.XonXoffOut", BoolToYesNo(f.XonXoffOut()));
        w.text("FlowControl.XoffChar", CharToStr(f.XoffChar()));
        w.text("FlowControl.XonChar", CharToStr(f.XonChar()));
    }
}

namespace {

// One reader for both stores. text(name, present text form) and
// integer(name, present value) return what is stored.
struct SettingsReader {
    std::function<std::string(const std::string&, const std::string&)> text;
    std::function<int32_t(const std::string&, int32_t)> integer;
};

} // namespace

static void LoadValues(TCustomComPort& p, const SettingsReader& r)
{
    const TStoredProps props = p.StoredProps();
    if (props.Contains(spBasic)) {
        p.SetPort(r.text("Port", p.Port()));
        p.SetBaudRate(StrToBaudRate(r.text("BaudRate", BaudRateToStr(p.BaudRate()))));
        if (p.BaudRate() == brCustom)
            p.SetCustomBaudRate(r.integer("CustomBaudRate", 9600));
        p.SetStopBits(StrToStopBits(r.text("StopBits", StopBitsToStr(p.StopBits()))));
        p.SetDataBits(StrToDataBits(r.text("DataBits", DataBitsToStr(p.DataBits()))));
        p.Parity()->SetBits(StrToParity(r.text("Parity", ParityToStr(p.Parity()->Bits()))));
        p.FlowControl()->SetFlowControl(
            StrToFlowControl(r.text("FlowControl", FlowControlToStr(p.FlowControl()->FlowControl()))));
    }
    if (props.Contains(spOthers)) {
        p.SetEventChar(StrToChar(r.text("EventChar", CharToStr(p.EventChar()))));
        p.SetDiscardNull(YesNoToBool(r.text("DiscardNull", BoolToYesNo(p.DiscardNull()))));
    }
    if (props.Contains(spParity)) {
        TComParity& par = *p.Parity();
        par.SetCheck(YesNoToBool(r.text("Parity.Check", BoolToYesNo(par.Check()))));
        par.SetReplace(YesNoToBool(r.text("Parity.Replace", BoolToYesNo(par.Replace()))));
        par.SetReplaceChar(StrToChar(r.text("Parity.ReplaceChar", CharToStr(par.ReplaceChar()))));
    }
    if (props.Contains(spBuffer)) {
        p.Buffer()->SetOutputSize(r.integer("Buffer.OutputSize", p.Buffer()->OutputSize()));
        p.Buffer()->SetInputSize(r.integer("Buffer.InputSize", p.Buffer()->InputSize()));
    }
    if (props.Contains(spTimeouts)) {
        TComTimeouts& t = *p.Timeouts();
        t.SetReadInterval(r.integer("Timeouts.ReadInterval", t.ReadInterval()));
        t.SetReadTotalC(r.integer("Timeouts.ReadTotalConstant", t.ReadTotalConstant()));
        t.SetReadTotalM(r.integer("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier()));
        t.SetWriteTotalC(r.integer("Timeouts.WriteTotalConstant", t.WriteTotalConstant()));
        t.SetWriteTotalM(r.integer("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier()));
    }
    if (props.Contains(spFlowControl)) {
        TComFlowControl& f = *p.FlowControl();
        f.SetControlRTS(StrToRTS(r.text("FlowControl.ControlRTS", RTSToStr(f.ControlRTS()))));
        f.SetControlDTR(StrToDTR(r.text("FlowControl.ControlDTR", DTRToStr(f.ControlDTR()))));
        f.SetDSRSensitivity(YesNoToBool(r.text("FlowControl.DSRSensitivity", BoolToYesNo(f.DSRSensitivity()))));
        f.SetOutCTSFlow(YesNoToBool(r.text("FlowControl.OutCTSFlow", BoolToYesNo(f.OutCTSFlow()))));
        f.SetOutDSRFlow(YesNoToBool(r.text("FlowControl.OutDSRFlow", BoolToYesNo(f.OutDSRFlow()))));
        f.SetTxContinueOnXoff(
            YesNoToBool(r.text("FlowControl.TxContinueOnXoff", BoolToYesNo(f.TxContinueOnXoff()))));
        f.SetXonXoffIn(YesNoToBool(r.text("FlowControl.XonXoffIn", BoolToYesNo(f.XonXoffIn()))));
        f.SetXonXoffOut(YesNoToBool(r.text("FlowControl.XonXoffOut", BoolToYesNo(f.XonXoffOut()))));
        f.SetXoffChar(StrToChar(r.text("FlowControl.XoffChar", CharToStr(f.XoffChar()))));
        f.SetXonChar(StrToChar(r.text("FlowControl.XonChar", CharToStr(f.XonChar()))));
    }
}

void TCustomComPort::StoreRegistry(TRegistry& Reg)
{
    StoreValues(*this, {[&](const std::string& n, const std::string& v) { Reg.WriteString(n, v); },
                        [&](const std::string& n, int32_t v) { Reg.WriteInteger(n, v); }});
}

void TCustomComPort::StoreIniFile(TIniFile& IniFile)
{
    const std::string section = Name();
    StoreValues(*this, {[&](const std::string& n, const std::string& v) { IniFile.WriteString(section, n, v); },
                        [&](const std::string& n, int32_t v) { IniFile.WriteInteger(section, n, v); }});
}

// A missing text reads as empty (so the converters' defaults apply); a
// missing integer fails the load.
void TCustomComPort::LoadRegistry(TRegistry& Reg)
{
    LoadValues(*this, {[&](const std::string& n, const std::string&) { return Reg.ReadString(n); },
                       [&](const std::string& n, int32_t) { return Reg.ReadInteger(n); }});
}

void TCustomComPort::LoadIniFile(TIniFile& IniFile)
{
    const std::string section = Name();
    LoadValues(*this,
               {[&](const std::string& n, const std::string& def) { return IniFile.ReadString(section, n, def); },
                [&](const std::string& n, int32_t def) { return IniFile.ReadInteger(section, n, def); }});
}
