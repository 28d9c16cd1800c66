#include "link/Serial.h"

#include "serial/PortCore.h"
#include "tools/Msglog.h"

namespace {

void PutEscaped(std::string& out, uint8_t b)
{
    if (b == 0x24) {
        out += char(0xAA);
        out += char(0xFE);
    } else if (b == 0xAA) {
        out += char(0xAA);
        out += char(0x22);
    } else {
        out += char(b);
    }
}

} // namespace

TMsgRecord& InitMsg(TMsgRecord& msg)
{
    msg.length = 0;
    return msg;
}

std::string EncodeFrame(const TMsgRecord& msg)
{
    std::string out;
    out.reserve(2 + 2 * (size_t(msg.length) + 1));
    out += char(0x24);
    out += char(uint8_t(msg.length + 1)); // the length byte is never escaped
    uint8_t sum = 0;
    for (uint16_t i = 0; i < msg.length; ++i) {
        sum = uint8_t(sum + msg.data[i]);
        PutEscaped(out, msg.data[i]);
    }
    PutEscaped(out, uint8_t(-sum));
    return out;
}

void SendFrame(const TMsgRecord* msg, TComPort* port)
{
    if (!port->Connected() || msg->length > kMaxMsgData)
        return;
    try {
        port->WriteStr(EncodeFrame(*msg));
    } catch (const EComPort& e) {
        if (LinkWriteFailed(port, e))
            return;
        throw;
    }
    if (formMsgLog)
        LogFrame(formMsgLog, msg);
}

namespace {

// Gives up the frame at the head: its start byte, then every byte up to the
// next 0x24.
void GiveUpStartByte(TRingBuffer& ring)
{
    ring.Skip(1);
    uint8_t b;
    while (ring.Count() > 0 && ring.Peek(&b, 1) == 1 && b != 0x24)
        ring.Skip(1);
}

} // namespace

TFrameResult ExtractFrame(TRingBuffer& ring, TMsgRecord& msg, bool stalled)
{
    const uint32_t count = ring.Count();
    if (count < 3) {
        if (stalled && count > 0) {
            GiveUpStartByte(ring);
            return TFrameResult::frBroken;
        }
        return TFrameResult::frNone;
    }
    uint8_t head[3];
    ring.Peek(head, 3);
    if (head[0] != 0x24 || head[1] < 3 || head[1] > 250 || head[2] >= 0x20) {
        GiveUpStartByte(ring);
        return TFrameResult::frBadHeader;
    }
    // The frame is taken only once all its wire bytes are here: an escape
    // pair counts two, and an 0xAA whose follower has not come yet leaves it
    // incomplete. A 0x24 met on the way is the start of a later frame.
    const uint32_t logical = uint32_t(head[1]) - 1;
    uint8_t wire[3 + 2 * 250];
    const uint32_t have = ring.Peek(wire, 3 + 2 * logical);
    uint32_t at = 3;
    for (uint32_t i = 0; i < logical; ++i) {
        if (at < have && wire[at] == 0x24) {
            GiveUpStartByte(ring);
            return TFrameResult::frBroken;
        }
        if (at >= have || (wire[at] == 0xAA && at + 1 >= have)) {
            if (stalled) {
                GiveUpStartByte(ring);
                return TFrameResult::frBroken;
            }
            return TFrameResult::frIncomplete;
        }
        if (wire[at] == 0xAA)
            at += (wire[at + 1] == 0xFE || wire[at + 1] == 0x22) ? 2 : 1;
        else
            at += 1;
    }
    uint8_t sum = head[2];
    uint32_t pos = 3;
    for (uint32_t i = 0; i < logical; ++i) {
        uint8_t b = wire[pos++];
        if (b == 0xAA && (wire[pos] == 0xFE || wire[pos] == 0x22))
            b = wire[pos++] == 0xFE ? 0x24 : 0xAA;
        msg.data[i] = b;
        sum = uint8_t(sum + b);
    }
    if (sum != 0) {
        GiveUpStartByte(ring);
        return TFrameResult::frBadChecksum;
    }
    msg.length = uint16_t(head[1] - 2);
    ring.Skip(pos);
    return TFrameResult::frFrame;
}

TFrameResult TakeFrame(TRingBuffer& ring, TMsgRecord& msg, bool stalled)
{
    // Every pass that discards consumes at least one byte, so this ends.
    for (;;) {
        const TFrameResult r = ExtractFrame(ring, msg, stalled);
        if (r == TFrameResult::frFrame || r == TFrameResult::frIncomplete || r == TFrameResult::frNone)
            return r;
    }
}
