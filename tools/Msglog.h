#pragma once
// The message log window: every sent and received message as hex bytes.
struct TMsgRecord;
class TformMsgLog;

// Null while the window does not exist.
extern TformMsgLog* formMsgLog;

// Appends one sent or received message record as a line of hex bytes.
void LogFrame(TformMsgLog* form, const TMsgRecord* msg);
