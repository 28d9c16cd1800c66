// The packet cutter under arbitrary rules and input. With the strings kept in
// the packets, every byte fed must come out once, in order: as discarded
// text, in a packet, or still waiting in the buffer.
#include "serial/PortPacket.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
    std::string Text(size_t max)
    {
        size_t n = Byte() % (max + 1);
        n = std::min<size_t>(n, size_t(end_ - p_));
        std::string s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return s;
    }
    bool Done() const { return p_ >= end_; }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

int32_t Position(uint8_t b)
{
    // -1 (the rules decide), 0 and below -1 (none), and positions up to past the end.
    switch (b % 8) {
    case 0: return -1;
    case 1: return 0;
    case 2: return -2 - (b >> 3);
    default: return 1 + (b >> 2);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in(data, size);
    const uint8_t flags = in.Byte();
    TComDataPacket packet;
    packet.SetStartString(in.Text(4));
    packet.SetStopString(in.Text(4));
    packet.SetSize(flags & 1 ? in.Byte() % 16 : 0);
    packet.SetCaseInsensitive(flags & 2);
    const bool keepAll = flags & 4;
    packet.SetIncludeStrings(keepAll);
    packet.SetMaxBufferSize(flags & 8 ? in.Byte() % 64 : 1024);
    const uint8_t startPos = in.Byte(), stopPos = in.Byte();
    if (flags & 16)
        packet.OnCustomStart = [&](QObject*, const std::string&, int32_t& pos) { pos = Position(startPos); };
    if (flags & 32)
        packet.OnCustomStop = [&](QObject*, const std::string&, int32_t& pos) { pos = Position(stopPos); };

    std::string fed, out;
    packet.OnDiscard = [&](QObject*, const std::string& s) { out += s; };
    packet.OnPacket = [&](QObject*, const std::string& s) { out += s; };
    while (!in.Done()) {
        const std::string chunk = in.Text(64);
        fed += chunk;
        packet.AddData(chunk);
        const int32_t max = packet.MaxBufferSize();
        if (max > 0 && packet.Buffer().size() >= size_t(max))
            abort(); // a full buffer must have been let go
        if (keepAll && out + packet.Buffer() != fed)
            abort(); // a byte lost, doubled or moved
    }
    return 0;
}
