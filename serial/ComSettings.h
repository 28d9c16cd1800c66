#pragma once
// The setting objects of a port: time-outs, flow control, parity and queue
// sizes. Each setter stores a changed value and has its port apply it.
#include "serial/ComTypes.h"

class TCustomComPort;

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
