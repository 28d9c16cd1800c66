#pragma once
// The serial port component: settings, open and close, I/O, the event thread
// that hands port events to the user-interface thread, listeners, port list,
// text forms of the settings and their persistence.
#include "platform/CommDevice.h"
#include "platform/Component.h"
#include "platform/Event.h"
#include "platform/Exception.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class TRegistry;
class TIniFile;
class TCustomComPort;
class TComThread;
class QObject;

// ------------------------------------------------------------------ enums

enum TBaudRate : uint8_t {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000
};
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : uint8_t { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full };
enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
enum TComSignal : uint8_t { csCTS, csDSR, csRing, csRLSD };
enum TComError : uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
enum TOperationKind : uint8_t { okWrite, okRead };
enum TComLinkEvent : uint8_t { leConn, leCTS, leDSR, leRLSD, leRing, leRx, leTx, leTxEmpty, leRxFlag };
enum TStoreType : uint8_t { stRegistry, stIniFile };
enum TStoredProp : uint8_t { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };

// A set of enumeration members, bit n = member n.
template <class E, class Bits>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members)
    {
        for (E m : members)
            bits_ |= Bits(Bits(1) << unsigned(m));
    }
    static constexpr TSet FromBits(Bits bits)
    {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr Bits ToBits() const { return bits_; }
    constexpr bool Contains(E m) const { return (bits_ >> unsigned(m)) & 1u; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr void Include(E m) { bits_ |= Bits(Bits(1) << unsigned(m)); }
    constexpr void Exclude(E m) { bits_ &= Bits(~(Bits(1) << unsigned(m))); }
    constexpr bool operator==(const TSet&) const = default;

private:
    Bits bits_ = 0;
};

using TComEvents = TSet<TComEvent, uint16_t>;
using TComSignals = TSet<TComSignal, uint8_t>;
using TComErrors = TSet<TComError, uint8_t>;
using TStoredProps = TSet<TStoredProp, uint8_t>;

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits(0x03FF);

// ------------------------------------------------------------------ handlers

using TRxCharEvent = std::function<void(QObject* Sender, int32_t Count)>;
using TRxBufEvent = std::function<void(QObject* Sender, const void* Buffer, int32_t Count)>;
using TComSignalEvent = std::function<void(QObject* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(QObject* Sender, TComErrors Errors)>;

// ------------------------------------------------------------------ exception

class EComPort : public Exception {
public:
    explicit EComPort(int32_t code);
    EComPort(int32_t code, int32_t winCode);
    // With a text that tells the user what went wrong and what to do, on a
    // line of its own after the library's message.
    EComPort(int32_t code, int32_t winCode, const std::string& detail);
    int32_t Code() const { return code_; }
    int32_t WinCode() const { return winCode_; }

private:
    int32_t code_;
    int32_t winCode_;
};

// The library's message of an error code, 1 to 23.
std::string ComErrorMessage(int32_t code);

// ------------------------------------------------------------------ settings

// Base of the setting objects: a back pointer to their port and copying.
class TComSettings {
public:
    virtual ~TComSettings() = default;
    TCustomComPort* ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort* port) { comPort_ = port; }

protected:
    TCustomComPort* comPort_ = nullptr;
};

class TComTimeouts : public TComSettings {
public:
    int32_t ReadInterval() const { return readInterval_; }
    int32_t ReadTotalMultiplier() const { return readTotalM_; }
    int32_t ReadTotalConstant() const { return readTotalC_; }
    int32_t WriteTotalMultiplier() const { return writeTotalM_; }
    int32_t WriteTotalConstant() const { return writeTotalC_; }
    void SetReadInterval(int32_t v);
    void SetReadTotalM(int32_t v);
    void SetReadTotalC(int32_t v);
    void SetWriteTotalM(int32_t v);
    void SetWriteTotalC(int32_t v);
    // Copies the stored fields only: no back pointer, no apply.
    void AssignTo(TComTimeouts& dest) const;

private:
    void Changed();
    int32_t readInterval_ = -1, readTotalM_ = 0, readTotalC_ = 0, writeTotalM_ = 100, writeTotalC_ = 1000;
};

class TComFlowControl : public TComSettings {
public:
    bool OutCTSFlow() const { return outCTSFlow_; }
    bool OutDSRFlow() const { return outDSRFlow_; }
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    bool XonXoffOut() const { return xonXoffOut_; }
    bool XonXoffIn() const { return xonXoffIn_; }
    bool DSRSensitivity() const { return dsrSensitivity_; }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    char XonChar() const { return xonChar_; }
    char XoffChar() const { return xoffChar_; }
    void SetOutCTSFlow(bool v);
    void SetOutDSRFlow(bool v);
    void SetControlDTR(TDTRFlowControl v);
    void SetControlRTS(TRTSFlowControl v);
    void SetXonXoffOut(bool v);
    void SetXonXoffIn(bool v);
    void SetDSRSensitivity(bool v);
    void SetTxContinueOnXoff(bool v);
    void SetXonChar(char v);
    void SetXoffChar(char v);
    // The derived summary of the switches.
    TFlowControl GetFlowControl() const;
    void SetFlowControl(TFlowControl v);
    TFlowControl FlowControl() const { return GetFlowControl(); }
    void AssignTo(TComFlowControl& dest) const;

private:
    void Changed();
    bool outCTSFlow_ = false, outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false, xonXoffIn_ = false, dsrSensitivity_ = false, txContinueOnXoff_ = false;
    char xonChar_ = 17, xoffChar_ = 19;
};

class TComParity : public TComSettings {
public:
    TParityBits Bits() const { return bits_; }
    bool Check() const { return check_; }
    bool Replace() const { return replace_; }
    char ReplaceChar() const { return replaceChar_; }
    void SetBits(TParityBits v);
    void SetCheck(bool v);
    void SetReplace(bool v);
    void SetReplaceChar(char v);
    void AssignTo(TComParity& dest) const;

private:
    void Changed();
    TParityBits bits_ = prNone;
    bool check_ = false, replace_ = false;
    char replaceChar_ = 0;
};

class TComBuffer : public TComSettings {
public:
    int32_t InputSize() const { return inputSize_; }
    int32_t OutputSize() const { return outputSize_; }
    void SetInputSize(int32_t v);
    void SetOutputSize(int32_t v);
    void AssignTo(TComBuffer& dest) const;

private:
    void Changed();
    int32_t inputSize_ = 1024, outputSize_ = 1024;
};

// ------------------------------------------------------------------ async

struct TAsync {
    platform::comm::Overlapped Overlapped;
    TOperationKind Kind = okWrite;
    uint8_t* Data = nullptr; // private copy of the bytes being written
    int32_t Size = 0;
};
using PAsync = TAsync*;

void InitAsync(PAsync& AsyncPtr);
void DoneAsync(PAsync& AsyncPtr);

// ------------------------------------------------------------------ links

class TComLink {
public:
    virtual ~TComLink() = default;
    TComSignalEvent OnConn;
    TRxBufEvent OnRxBuf;
    TRxBufEvent OnTxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnRxFlag;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TNotifyEvent OnRing;
    TComSignalEvent OnTx;
    TComSignalEvent OnRx;
};

// ------------------------------------------------------------------ the port

class TCustomComPort : public TComponent {
public:
    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    // Properties.
    bool Connected() const { return connected_; }
    void SetConnected(bool value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(int32_t value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value) { events_ = value; }
    TComBuffer* Buffer() const { return buffer_.get(); }
    void SetBuffer(const TComBuffer& value);
    TComParity* Parity() const { return parity_.get(); }
    void SetParity(const TComParity& value);
    TComTimeouts* Timeouts() const { return timeouts_.get(); }
    void SetTimeouts(const TComTimeouts& value);
    TComFlowControl* FlowControl() const { return flowControl_.get(); }
    void SetFlowControl(const TComFlowControl& value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);
    TThreadPriority EventThreadPriority() const { return eventThreadPriority_; }
    void SetEventThreadPriority(TThreadPriority value);
    TStoredProps StoredProps() const { return storedProps_; }
    void SetStoredProps(TStoredProps value) { storedProps_ = value; }
    bool GetTriggersOnRxChar() const { return triggersOnRxChar_ && !linkedRxBuf_; }
    bool TriggersOnRxChar() const { return GetTriggersOnRxChar(); }
    void SetTriggersOnRxChar(bool value);
    platform::comm::Handle Handle() const { return handle_; }
    bool ThreadCreated() const { return threadCreated_; }

    // Event handlers.
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComErrorEvent OnError;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TNotifyEvent OnRx80Full;

    void BeginUpdate();
    void EndUpdate();
    void Loaded() override;

    void Open();
    void Close();

    // Queries and escape functions.
    int32_t InputCount();
    int32_t OutputCount();
    TComSignals Signals();
    uint8_t StateFlags();
    TComErrors LastErrors();
    void SetDTR(bool OnOff);
    void SetRTS(bool OnOff);
    void SetXonXoff(bool OnOff);
    void SetBreak(bool OnOff);
    void TransmitChar(char Ch);
    void ClearBuffer(bool Input, bool Output);
    void AbortAllAsync();

    // Reads and writes.
    int32_t WriteAsync(const void* Buffer, int32_t Count, PAsync& AsyncPtr);
    int32_t WriteStrAsync(const std::string& Str, PAsync& AsyncPtr);
    int32_t ReadAsync(void* Buffer, int32_t Count, PAsync& AsyncPtr);
    int32_t ReadStrAsync(std::string& Str, int32_t Count, PAsync& AsyncPtr);
    int32_t WaitForAsync(PAsync& AsyncPtr);
    bool IsAsyncCompleted(PAsync AsyncPtr);
    int32_t Write(const void* Buffer, int32_t Count);
    int32_t WriteStr(const std::string& Str);
    int32_t Read(void* Buffer, int32_t Count);
    int32_t ReadStr(std::string& Str, int32_t Count);
    void WaitForEvent(TComEvents& Events, const platform::Event* StopEvent, int32_t Timeout);

    // Listeners.
    void RegisterLink(TComLink* Link);
    void UnRegisterLink(TComLink* Link);

    // Persistence.
    void StoreSettings(TStoreType StoreType, const std::string& StoreTo);
    void LoadSettings(TStoreType StoreType, const std::string& LoadFrom);
    void ShowSetupDialog(); // the library's settings dialog on this port (serial/PortSetup.cpp)

    // Event dispatch (called by the event thread's hand-over).
    void CallRxChar();
    void CallTxEmpty();
    void CallBreak();
    void CallRing();
    void CallCTSChange();
    void CallDSRChange();
    void CallRLSDChange();
    void CallError();
    void CallRxFlag();
    void CallRx80Full();
    // The hidden-window route: one event bit per message.
    void WindowMethod(uint32_t eventBit);

protected:
    virtual void StoreRegistry(TRegistry& Reg);
    virtual void StoreIniFile(TIniFile& IniFile);
    virtual void LoadRegistry(TRegistry& Reg);
    virtual void LoadIniFile(TIniFile& IniFile);
    virtual void CreateHandle();
    virtual void DestroyHandle();
    virtual void SetupComPort();

    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(int32_t Count);
    virtual void DoRxBuf(const void* Buffer, int32_t Count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool OnOff);
    virtual void DoDSRChange(bool OnOff);
    virtual void DoError(TComErrors Errors);
    virtual void DoRLSDChange(bool OnOff);
    virtual void DoRx80Full();

public:
    // Apply the stored settings to an open device (the setting objects call them).
    virtual void ApplyDCB();
    virtual void ApplyTimeouts();
    virtual void ApplyBuffer();

    // The control block ApplyDCB would pass to the device now.
    platform::comm::DeviceControlBlock BuildDCB() const;
    platform::comm::Timeouts BuildTimeouts() const;

private:
    friend class TComThread;
    bool CanApply() const;
    void CallBeforeOpen();
    void CallAfterOpen();
    void CallBeforeClose();
    void CallAfterClose();
    void CheckSignals(bool Open);
    void SendSignalToLink(TComLinkEvent Event, bool OnOff);
    void NotifyLink(TComLinkEvent Event);
    void TxNotifyLink(const void* Buffer, int32_t Count);
    bool HasLink() const;
    void Escape(uint32_t func);
    void SetRegistry(TRegistry& Reg, const std::string& Key);

    std::unique_ptr<TComThread> eventThread_;
    bool threadCreated_ = false;
    platform::comm::Handle handle_ = platform::comm::kInvalidHandle;
    int32_t updateCount_ = 0;
    std::vector<TComLink*> links_;
    bool triggersOnRxChar_ = true;
    TThreadPriority eventThreadPriority_ = tpNormal;
    bool linkedRxBuf_ = false;
    bool connected_ = false;
    TBaudRate baudRate_ = br9600;
    int32_t customBaudRate_ = 9600;
    std::string port_ = "COM1";
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = kAllComEvents;
    std::unique_ptr<TComBuffer> buffer_;
    std::unique_ptr<TComParity> parity_;
    std::unique_ptr<TComTimeouts> timeouts_;
    std::unique_ptr<TComFlowControl> flowControl_;
    TSyncMethod syncMethod_ = smThreadSync;
    TStoredProps storedProps_ = {spBasic};
};

class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

// ------------------------------------------------------------------ event thread

class TComThread {
public:
    explicit TComThread(TCustomComPort* AComPort);
    ~TComThread(); // stops the thread and waits for its end
    void Stop();

private:
    void Execute();
    void DispatchComMsg();
    void DoEvents();
    void SendEvents();

    TCustomComPort* comPort_;
    platform::Event stopEvent_;
    TComEvents events_;
    std::thread thread_;
};

// Event mask of the device from a set of events, and back.
uint32_t EventsToMask(TComEvents Events);
TComEvents MaskToEvents(uint32_t Mask);

// ------------------------------------------------------------------ stream

class TComStream {
public:
    explicit TComStream(TCustomComPort* AComPort) : comPort_(AComPort) {}
    int32_t Read(void* Buffer, int32_t Count) { return comPort_->Read(Buffer, Count); }
    int32_t Write(const void* Buffer, int32_t Count) { return comPort_->Write(Buffer, Count); }
    int64_t Seek(int64_t, int) { return 0; }

private:
    TCustomComPort* comPort_;
};

// ------------------------------------------------------------------ texts

void EnumComPorts(std::vector<std::string>& Ports);

std::string BaudRateToStr(TBaudRate BaudRate);
std::string StopBitsToStr(TStopBits StopBits);
std::string DataBitsToStr(TDataBits DataBits);
std::string ParityToStr(TParityBits Parity);
std::string FlowControlToStr(TFlowControl FlowControl);
std::string DTRToStr(TDTRFlowControl DTRFlowControl);
std::string RTSToStr(TRTSFlowControl RTSFlowControl);
TBaudRate StrToBaudRate(const std::string& Str);
TStopBits StrToStopBits(const std::string& Str);
TDataBits StrToDataBits(const std::string& Str);
TParityBits StrToParity(const std::string& Str);
TFlowControl StrToFlowControl(const std::string& Str);
TDTRFlowControl StrToDTR(const std::string& Str);
TRTSFlowControl StrToRTS(const std::string& Str);
std::string BoolToYesNo(bool B);
bool YesNoToBool(const std::string& Str);
std::string CharToStr(char Ch);
char StrToChar(const std::string& Str);

// The rate in bits per second of a baud rate member (0 for brCustom).
int32_t BaudRateValue(TBaudRate BaudRate);
