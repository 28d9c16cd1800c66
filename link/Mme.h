#pragma once
// Manual messages: hex bytes typed on the engineering tab, sent straight to
// the interface unit or relayed to the selected repeater as a command.
#include <cstdint>
#include <string>

class TformMain;
struct TMsgRecord;

// The digits of a message text in the order typed: "0123456789ABCDEFabcdef"
// kept, everything else (the edit's blanks) dropped.
std::string ManualMessageDigits(const std::string& text);

// Builds the record of a manual message into `record`. Direct: C0 b0 b1 ...;
// relayed: C0 A7 b0 a1 a2 a3 b1 b2 ..., with `address` high byte first. An
// odd number of digits gets a leading "0". False, with record length 0,
// when the text holds no digit or the bytes would not fit a record.
bool BuildManualMessage(const std::string& text, bool relayed, const uint8_t address[3], TMsgRecord& record);

// Sends the text as checkSendToRepeater says. A relayed message becomes the
// outstanding request (txMsg, retry timers, reply time-out of 1000 ms); a
// direct one goes out once from a record of its own, so a request in
// progress keeps being the one the timers resend. True when a record was
// built and handed over.
bool SendManualMessage(TformMain* form, const std::string& text);

// A relay reply that answers the relayed manual message in progress (the
// command + 1, or FF with the command in data byte 5, from the address it
// was sent to, while no job runs) stops its reply timer: the repeater has
// answered, so it is neither sent again nor reported as silent. True when
// the reply was that answer.
bool ManualMessageReply(TformMain* form, const TMsgRecord* msg);

// Connects the eight Tx buttons and the key handling of the eight editors.
void WireManualMessages(TformMain* form);
