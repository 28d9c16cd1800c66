#pragma once
// The serial port component: its properties, open and close, queries, I/O,
// listeners, event dispatch and persistence.
#include "platform/CommDevice.h"
#include "platform/Component.h"
#include "platform/Event.h"
#include "serial/ComError.h"
#include "serial/ComSettings.h"
#include "serial/ComTypes.h"
#include "serial/ControlBlock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TRegistry;
class TIniFile;
class TComThread;

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
    TComErrorEvent OnError; // also told ceIO when the device goes away (hang-up)
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
    // These three answer whether the port still exists (a listener may free it).
    bool SendSignalToLink(TComLinkEvent Event, bool OnOff);
    bool NotifyLink(TComLinkEvent Event);
    bool TxNotifyLink(const void* Buffer, int32_t Count);
    bool HasLink() const;
    void Escape(uint32_t func);
    void SetRegistry(TRegistry& Reg, const std::string& Key);

    std::unique_ptr<TComThread> eventThread_;
    // Cleared when the port is being freed: a batch under way stops there.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
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

