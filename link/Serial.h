#pragma once
// Message records, the frame writer and the frame extractor.
#include "link/Tringbuffer.h"

#include <cstdint>
#include <string>

class TComPort;

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
// the port is open and the record fits a frame.
void SendFrame(const TMsgRecord* msg, TComPort* port);

enum class TFrameResult {
    frNone,        // fewer than three bytes buffered
    frBadHeader,   // bytes up to the next 0x24 were skipped
    frIncomplete,  // a frame is coming; nothing consumed
    frBadChecksum, // a whole frame was consumed and dropped
    frFrame,       // msg holds the frame
};

// Takes at most one frame sent by the interface unit out of the ring buffer.
TFrameResult ExtractFrame(TRingBuffer& ring, TMsgRecord& msg);
