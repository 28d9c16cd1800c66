#include "tools/Msglog.h"

// The window itself is not part of the program yet: nothing ever opens it,
// so the pointer stays null and LogFrame is never reached.
TformMsgLog* formMsgLog = nullptr;

void LogFrame(TformMsgLog*, const TMsgRecord*) {}
