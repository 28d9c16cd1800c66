#pragma once
// The job replies: the interface unit's poll reports and the relayed
// repeater replies, with the helpers their steps share.
#include <cstdint>
#include <string>

class TformMain;
struct TMsgRecord;

void ProcessPollReply(TformMain* form, const TMsgRecord* msg);
void ProcessRepeaterReply(TformMain* form, const TMsgRecord* msg);

// Polls the interface unit for the report of a job (txMsg = C0 '-'), guarded
// by the link retry timer at 250 ms alone.
void SendPoll(TformMain* form);

// "Logon Failed - " and the reason of a failed GSM log-on.
std::string GsmErrorText(TformMain* form, uint8_t reason);
// The time a job took, as its completion text shows it: "2 minutes, 7.045 seconds".
std::string ElapsedTimeText(TformMain* form, double days);

// The states in which the program polls the interface unit for a report.
bool WaitsForPoll(uint8_t state);

// What a poll reply means in a state, before anything is shown or sent.
enum class TPollOutcome : uint8_t {
    poNone,        // nothing to report: at most the state steps on
    poCalibration, // the selected repeater's report in the calibration check
    poPatrol,
    poLogOn,
    poTestSms,
    poTestFtp,
    poLogOff,      // a plain log-off or the one inside a deployment
};
struct TPollStep {
    uint8_t state;        // opState after the reply
    TPollOutcome outcome; // what the handler goes on to do
    bool repoll;          // a further poll is due
};
// A short reply (fewer than 16 bytes) steps a polling state to its outcome
// state; a long one carrying `address` (data[4..6]) is the report that an
// outcome state or the calibration check waits for.
TPollStep PollReplyStep(uint8_t state, const TMsgRecord& msg, const uint8_t address[3]);
