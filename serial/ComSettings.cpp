// The setting objects: each setter stores a changed value and has its port
// apply it.
#include "serial/ComSettings.h"
#include "serial/ComPort.h"

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
