#pragma once
// Message records, the frame writer and the frame extractor.
#include "link/Tringbuffer.h"

#include <cstdint>
#include <string>

class TComPort;
class EComPort;

constexpr uint8_t msgHostTag = 0xC0;
constexpr int kMaxMsgData = 252;

// A message without its framing. A received record keeps the frame's
// checksum in data[length], behind the counted bytes.
struct TMsgRecord {
    uint16_t length = 0;
    uint8_t data[kMaxMsgData] = {};
};

TMsgRecord& InitMsg(TMsgRecord& msg);

// The wire bytes of a record sent by the PC: 0x24, the length byte, the
// escaped data bytes and the escaped checksum.
std::string EncodeFrame(const TMsgRecord& msg);

// Frames, escapes and checksums the record and writes it to the port, when
// the port is open and the record fits a frame. A failed write of the main
// window's port is handed to LinkWriteFailed; of any other port it is raised.
void SendFrame(const TMsgRecord* msg, TComPort* port);
// Takes a failed write of the main window's port to its link-failure path;
// false for any other port.
bool LinkWriteFailed(TComPort* port, const EComPort& error);

enum class TFrameResult {
    frNone,        // fewer than three bytes buffered
    frBadHeader,   // bytes up to the next 0x24 were skipped
    frIncomplete,  // a frame is coming; nothing consumed
    frBadChecksum, // the frame's checksum failed: its start byte was given up
    frBroken,      // an unescaped 0x24 inside the frame, or its bytes stopped
                   // coming: its start byte was given up
    frFrame,       // msg holds the frame
};

// Looks at the frame at the head of the ring buffer, sent by the interface
// unit, and takes it out when it is whole and valid. Inside a valid frame an
// unescaped 0x24 can only be the length byte, so noise that looks like a
// header costs only its start byte: the search goes on from the next 0x24.
// With `stalled` (no bytes have come for a while) an incomplete frame is
// given up the same way.
TFrameResult ExtractFrame(TRingBuffer& ring, TMsgRecord& msg, bool stalled = false);

// One pass of the receive service: throws away noise and broken frames and
// takes at most one valid frame. Returns frFrame, frIncomplete or frNone.
TFrameResult TakeFrame(TRingBuffer& ring, TMsgRecord& msg, bool stalled = false);
