#pragma once
// A simulated interface unit with the PC's end of its pseudo-terminal open,
// driven on a virtual clock.
#include "sim/HostSide.h"
#include "sim/InterfaceUnit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <poll.h>
#include <vector>

namespace simtest {

using sim::Bytes;

inline constexpr std::uint32_t kRepA = 9247;      // address 00 24 1F: a 24 to escape
inline constexpr std::uint32_t kRepB = 12345678;  // address BC 61 4E

inline Bytes RelayRecord(std::uint8_t command, std::uint32_t address, const Bytes& args = {},
                         std::uint8_t relay = sim::icRelay)
{
    Bytes r{sim::msgHostTag, relay, command, static_cast<std::uint8_t>(address >> 16),
            static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    r.insert(r.end(), args.begin(), args.end());
    return r;
}

// The reply a repeater at `address` sends (relay id A8 in front).
inline Bytes RepeaterReply(std::uint8_t code, std::uint32_t address, const Bytes& payload = {},
                           std::uint8_t id = sim::icRelayReply)
{
    Bytes m{id, code, static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address)};
    m.insert(m.end(), payload.begin(), payload.end());
    return m;
}

class SimTest : public ::testing::Test {
protected:
    sim::InterfaceUnit unit;
    sim::HostSide host{unit.SlavePath()};
    std::int64_t now = 0;

    // Writes one PC record and pumps once at `now`.
    void Send(const Bytes& record)
    {
        host.Send(record);
        ASSERT_TRUE(unit.WaitForInput(2000));
        unit.Pump(now);
    }

    // Messages of the unit frames waiting (waits for `expect` of them); every
    // frame must be well formed.
    std::vector<Bytes> Messages(std::size_t expect = 1)
    {
        std::vector<Bytes> out;
        for (const sim::DecodedFrame& f : host.ReadFrames(expect, 2000)) {
            EXPECT_TRUE(f.checksumOk) << sim::Hex(f.wire);
            out.push_back(f.payload);
        }
        return out;
    }

    // Messages already waiting, without waiting for more.
    std::vector<Bytes> Waiting()
    {
        std::vector<Bytes> out;
        for (const sim::DecodedFrame& f : host.TakeFrames())
            out.push_back(f.payload);
        return out;
    }

    // Raw bytes from the unit: waits (wall clock, bounded) until `n` arrived.
    Bytes ReadRaw(std::size_t n, int timeoutMs = 2000)
    {
        Bytes got = host.ReadAvailable();
        for (int waited = 0; got.size() < n && waited < timeoutMs; waited += 10) {
            pollfd p{host.Fd(), POLLIN, 0};
            poll(&p, 1, 10);
            const Bytes more = host.ReadAvailable();
            got.insert(got.end(), more.begin(), more.end());
        }
        return got;
    }

    // One request, exactly one reply.
    Bytes Ask(const Bytes& record)
    {
        Send(record);
        std::vector<Bytes> m = Messages(1);
        EXPECT_EQ(m.size(), 1u);
        return m.empty() ? Bytes{} : m.front();
    }

    // One request that must go unanswered.
    void ExpectSilence(const Bytes& record)
    {
        Send(record);
        EXPECT_TRUE(Waiting().empty());
    }
};

}  // namespace simtest
