#pragma once
// The repeater reply steps of the test jobs, the logger database read and the
// debug reads (states 5, 6, 9 to 11, 14, 17, 20, 27, 28). Each takes the reply
// only when it has the exact length and code its state waits for; anything
// else changes nothing and is left to the time-outs.
#include <cstdint>
#include <string>

class TformMain;
struct TMsgRecord;

void ClearDatabaseStep(TformMain* form, const TMsgRecord* msg);
void StartPatrolStep(TformMain* form, const TMsgRecord* msg);
void DatabaseCountStep(TformMain* form, const TMsgRecord* msg);
void DatabaseEntryStep(TformMain* form, const TMsgRecord* msg);
// States 11 and 17: the log-on or log-off was acknowledged.
void GsmNetworkStep(TformMain* form, const TMsgRecord* msg);
// States 14 and 20: the test SMS or FTP test was accepted or refused.
void TestRequestStep(TformMain* form, const TMsgRecord* msg);
void ReadCountersStep(TformMain* form, const TMsgRecord* msg);
void ReadDebugLogStep(TformMain* form, const TMsgRecord* msg);

// The status text of a refused test SMS (sms) or FTP test by its error code.
std::string TestRefusalText(TformMain* form, bool sms, uint8_t code);
