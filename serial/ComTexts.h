#pragma once
// The port list and the fixed text forms of the settings.
#include "serial/ComTypes.h"

#include <string>
#include <vector>

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
