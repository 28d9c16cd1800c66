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
    port->WriteStr(EncodeFrame(*msg));
    if (formMsgLog)
        LogFrame(formMsgLog, msg);
}

TFrameResult ExtractFrame(TRingBuffer& ring, TMsgRecord& msg)
{
    const uint32_t count = ring.Count();
    if (count < 3)
        return TFrameResult::frNone;
    uint8_t head[3];
    ring.Peek(head, 3);
    if (head[0] != 0x24 || head[1] < 3 || head[1] > 250 || head[2] >= 0x20) {
        ring.Skip(1);
        uint8_t b;
        while (ring.Count() > 0 && ring.Peek(&b, 1) == 1 && b != 0x24)
            ring.Skip(1);
        return TFrameResult::frBadHeader;
    }
    // The frame is taken only once all its wire bytes are here: an escape
    // pair counts two, and an 0xAA whose follower has not come yet leaves it
    // incomplete.
    const uint32_t logical = uint32_t(head[1]) - 1;
    uint8_t wire[3 + 2 * 250];
    const uint32_t have = ring.Peek(wire, 3 + 2 * logical);
    uint32_t at = 3;
    for (uint32_t i = 0; i < logical; ++i) {
        if (at >= have)
            return TFrameResult::frIncomplete;
        if (wire[at] == 0xAA) {
            if (at + 1 >= have)
                return TFrameResult::frIncomplete;
            at += (wire[at + 1] == 0xFE || wire[at + 1] == 0x22) ? 2 : 1;
        } else {
            at += 1;
        }
    }
    msg.length = uint16_t(head[1] - 2);
    uint8_t sum = head[2];
    uint32_t pos = 3;
    for (uint32_t i = 0; i < logical; ++i) {
        uint8_t b = wire[pos++];
        if (b == 0xAA && (wire[pos] == 0xFE || wire[pos] == 0x22))
            b = wire[pos++] == 0xFE ? 0x24 : 0xAA;
        msg.data[i] = b;
        sum = uint8_t(sum + b);
    }
    ring.Skip(pos);
    return sum == 0 ? TFrameResult::frFrame : TFrameResult::frBadChecksum;
}
