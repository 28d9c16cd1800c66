#pragma once
// The interface unit's side of the link: connecting, keep-alive, discovery,
// and the dispatcher of every received message.
#include <cstdint>
#include <string>

#include "link/Replies.h"

class TformMain;
struct TMsgRecord;

// The interface-unit command byte of a sent record, and the message id of a
// received one.
enum TInterfaceCommand : uint8_t {
    icStatus = 0x3A,
    icSetClock = 0x32,
    icCommsMode = 0xA5,
    icDiscover = 0x78,
    icDiscoverNext = 0x79,
    icPoll = 0x2D,
    icRelay = 0xA7,
    icRelayReply = 0xA8,
    icRelayChirp = 0x7A,
    icRelayChirpReply = 0x7B,
};

bool ConnectToInterface(TformMain* form, bool showPanel);
void ProcessRxMessage(TformMain* form, const TMsgRecord* msg);
void ProcessCommsSetReply(TformMain* form, const TMsgRecord* msg);
void ProcessKeepAliveReply(TformMain* form, const TMsgRecord* msg);
void ProcessDiscoverReply(TformMain* form, const TMsgRecord* msg);
// The clock record's time: the PC's local date and time as seconds since
// 1 January 1970, without time-zone conversion, to the nearest second.
uint32_t LocalUnixTime();

// "0000-9247": a repeater or logger number with at least eight digits and a
// hyphen before the last four.
std::string IdPicture(uint32_t id);
// " 0000-9247": a repeater id as the lists show it.
std::string RepeaterIdText(uint32_t id);

// The process-wide state of these handlers (first keep-alive, discovery
// list) as at program start; for tests that build several main windows.
void ResetInterfaceState();
