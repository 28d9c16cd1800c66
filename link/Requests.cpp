#include "link/Requests.h"

#include "app/Main.h"
#include "link/Responses.h"
#include "link/Serial.h"

void QueueMsg(TformMain* form, TMsgRecord* msg, int32_t replyTimeoutMs)
{
    if (form->adminOptions & 0x2) {
        // Chirp-triggered transmissions: the repeater needs longer to answer.
        form->txMsg.data[1] = icRelayChirp;
        if (replyTimeoutMs > 0)
            replyTimeoutMs += 4000;
    }
    SendFrame(msg, form->portVigilator);
    form->StartLinkTimer(form->linkTimeoutMs);
    if (replyTimeoutMs > 0)
        form->StartReplyTimer(uint32_t(replyTimeoutMs));
    else
        form->StopReplyTimer();
    form->LightTxLamp();
}
