#pragma once
// Sending the one outstanding request.
#include <cstdint>

class TformMain;
struct TMsgRecord;

// Sends the record (the form's txMsg) and arms the link retry timer and,
// for a time-out above 0, the reply time-out.
void QueueMsg(TformMain* form, TMsgRecord* msg, int32_t replyTimeoutMs);
