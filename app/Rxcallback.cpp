#include "app/Rxcallback.h"

#include "app/Main.h"
#include "link/Serial.h"

namespace {

constexpr uint8_t kReplyWriteItem = 0xCB;
constexpr uint8_t kCmdWriteItem = 0xCA;
constexpr uint8_t kReplySetClock = 0xD1;
constexpr uint8_t kReplyRegion = 0xE5;
constexpr uint8_t kReplyClearDb = 0xED;
constexpr uint8_t kReplyEraseBuffer = 0xF1;
constexpr uint8_t kCmdService = 0xF2;
constexpr uint8_t kReplyService = 0xF3;
constexpr uint8_t kReplyError = 0xFF;
constexpr uint8_t kServiceRefused = 3;

// The record's bytes that may be read: never more than the record holds,
// whatever its count says.
int Count(const TMsgRecord* msg) { return msg->length < kMaxMsgData ? int(msg->length) : kMaxMsgData; }

// Data byte i, or -1 when the record does not reach it.
int Byte(const TMsgRecord* msg, int i) { return i < Count(msg) ? int(msg->data[i]) : -1; }

// The item code of the entry in progress, or -1 when no entry is.
int CurrentCode(const TformMain* form)
{
    if (form == nullptr || form->itemIndex < 0 || form->itemIndex >= kConfigItemCount)
        return -1;
    return form->configItems[size_t(form->itemIndex)].code;
}

// Done when the record has exactly `count` bytes and the reply code `reply`.
TItemResult ExactReply(const TMsgRecord* msg, int count, uint8_t reply)
{
    if (msg == nullptr)
        return irNotMine;
    return msg->length == count && Byte(msg, 1) == reply ? irDone : irNotMine;
}

} // namespace

TItemResult ReplyCheckDefault(TformMain* form, const TMsgRecord* msg)
{
    if (msg == nullptr)
        return irNotMine;
    const int code = CurrentCode(form);
    if (Byte(msg, 1) == kReplyWriteItem && code >= 0 && Byte(msg, 5) == code)
        return irDone;
    if (Byte(msg, 1) == kReplyError && Byte(msg, 5) == kCmdWriteItem)
        return irRejected;
    return irNotMine;
}

TItemResult ReplyCheckD1(TformMain*, const TMsgRecord* msg) { return ExactReply(msg, 5, kReplySetClock); }

TItemResult ReplyCheckE5(TformMain*, const TMsgRecord* msg) { return ExactReply(msg, 6, kReplyRegion); }

TItemResult ReplyCheckED(TformMain*, const TMsgRecord* msg) { return ExactReply(msg, 5, kReplyClearDb); }

TItemResult ReplyCheckF1(TformMain* form, const TMsgRecord* msg)
{
    const int code = CurrentCode(form);
    if (ExactReply(msg, 6, kReplyEraseBuffer) == irDone && code >= 0 && Byte(msg, 5) == code)
        return irDone;
    return irNotMine;
}

TItemResult ReplyCheckF3(TformMain* form, const TMsgRecord* msg)
{
    if (msg == nullptr)
        return irNotMine;
    const int code = CurrentCode(form);
    if (ExactReply(msg, 6, kReplyService) == irDone && code >= 0 && Byte(msg, 5) == code)
        return irDone;
    if (msg->length == 7 && Byte(msg, 1) == kReplyError && Byte(msg, 5) == kCmdService &&
        Byte(msg, 6) == kServiceRefused)
        return irRejected;
    return irNotMine;
}
