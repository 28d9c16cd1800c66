#include "link/Responses.h"

// No job of this build waits for a poll report or a repeater reply, so both
// are ignored, like any reply the current state does not wait for; the link
// timer has already taken them as a sign of life.
void ProcessPollReply(TformMain*, const TMsgRecord*) {}
void ProcessRepeaterReply(TformMain*, const TMsgRecord*) {}
