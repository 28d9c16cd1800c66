// Message records, the receive ring buffer and the frame codec, from the
// protocol's worked examples and its edge cases.
#include "link/Serial.h"
#include "link/Tringbuffer.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TMsgRecord Record(const Bytes& bytes)
{
    TMsgRecord m;
    for (uint8_t b : bytes)
        m.data[m.length++] = b;
    return m;
}

Bytes Encode(const Bytes& bytes)
{
    const std::string s = EncodeFrame(Record(bytes));
    return Bytes(s.begin(), s.end());
}

void Put(TRingBuffer& ring, const Bytes& bytes) { ring.Put(bytes.data(), uint32_t(bytes.size())); }

Bytes Message(const TMsgRecord& m) { return Bytes(m.data, m.data + m.length); }

} // namespace

TEST(RingBuffer, LimitsAndWrapping)
{
    TRingBuffer ring(2048);
    EXPECT_EQ(ring.Count(), 0u);
    for (uint32_t i = 0; i < 2048; ++i)
        ASSERT_EQ(ring.Storage()[i], 0x1C);

    Bytes out(2048);
    Bytes in(2000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = uint8_t(i * 7);
    Put(ring, in);
    EXPECT_EQ(ring.Read(out.data(), 2000), 2000u);
    Bytes hundred(100);
    for (size_t i = 0; i < 100; ++i)
        hundred[i] = uint8_t(i);
    Put(ring, hundred);
    EXPECT_EQ(ring.WriteIndex(), 52u);
    EXPECT_EQ(ring.Count(), 100u);
    EXPECT_EQ(ring.Read(out.data(), 500), 100u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 100), hundred);

    TRingBuffer full(2048);
    Bytes most(2047, 0x55);
    most[0] = 1;
    most[2046] = 2;
    Put(full, most);
    EXPECT_EQ(full.Count(), 2047u);
    EXPECT_EQ(full.Read(out.data(), 4096), 2047u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2046], 2);

    TRingBuffer small(8);
    Put(small, {1, 2, 3});
    uint8_t peeked[3] = {};
    EXPECT_EQ(small.Peek(peeked, 3), 3u);
    EXPECT_EQ(small.Count(), 3u) << "Peek does not consume";
    small.Skip(5);
    EXPECT_EQ(small.Count(), 0u);
    uint8_t dest = 0x99;
    EXPECT_EQ(small.Read(&dest, 1), 0u);
    EXPECT_EQ(dest, 0x99);

    TRingBuffer none(0);
    EXPECT_EQ(none.Count(), 0u);
}

TEST(MsgRecord, InitKeepsTheBytes)
{
    TMsgRecord m = Record({1, 2, 3});
    InitMsg(m);
    EXPECT_EQ(m.length, 0);
    EXPECT_EQ(m.data[1], 2);
}

TEST(FrameEncode, WorkedExamples)
{
    EXPECT_EQ(Encode({0xC0, 0x3A, 0x02}), (Bytes{0x24, 0x04, 0xC0, 0x3A, 0x02, 0x04}));
    EXPECT_EQ(Encode({0xC0, 0x78}), (Bytes{0x24, 0x03, 0xC0, 0x78, 0xC8}));
    EXPECT_EQ(Encode({0xC0, 0x24}), (Bytes{0x24, 0x03, 0xC0, 0xAA, 0xFE, 0x1C}));
    EXPECT_EQ(Encode({0xC0, 0xAA, 0x72}), (Bytes{0x24, 0x04, 0xC0, 0xAA, 0x22, 0x72, 0xAA, 0xFE}))
        << "0xAA escaped, and a checksum of 0x24 too";
}

TEST(FrameEncode, LengthByteIsNeverEscaped)
{
    for (size_t n : {35u, 36u, 169u, 252u}) {
        Bytes data(n, 0x01);
        data[0] = 0xC0;
        const Bytes wire = Encode(data);
        EXPECT_EQ(wire[0], 0x24);
        EXPECT_EQ(wire[1], uint8_t(n + 1)) << n;
        EXPECT_EQ(wire[2], 0xC0);
    }
}

TEST(FrameExtract, WorkedExamples)
{
    TRingBuffer ring(2048);
    TMsgRecord m;
    Put(ring, {0x24, 0x04, 0x00, 0xA5, 0x01, 0x5A});
    ASSERT_EQ(ExtractFrame(ring, m), TFrameResult::frFrame);
    EXPECT_EQ(Message(m), (Bytes{0xA5, 0x01}));
    EXPECT_EQ(m.data[2], 0x5A) << "the checksum stays behind the counted bytes";
    EXPECT_EQ(ring.Count(), 0u);

    Put(ring, {0x24, 0x08, 0x00, 0x78, 0x00, 0x00, 0x00, 0xAA, 0xFE, 0x1F, 0x45});
    ASSERT_EQ(ExtractFrame(ring, m), TFrameResult::frFrame);
    EXPECT_EQ(Message(m), (Bytes{0x78, 0x00, 0x00, 0x00, 0x24, 0x1F}));
    EXPECT_EQ(m.data[6], 0x45);
}

TEST(FrameExtract, ChecksumThatIsTheStartByte)
{
    // H + message + K = 0 with K = 0x24: message 3A DC, H 00.
    TRingBuffer ring(2048);
    TMsgRecord m;
    Put(ring, {0x24, 0x04, 0x00, 0x3A, 0xA2, 0xAA, 0xFE});
    ASSERT_EQ(ExtractFrame(ring, m), TFrameResult::frFrame);
    EXPECT_EQ(Message(m), (Bytes{0x3A, 0xA2}));
}

TEST(FrameExtract, FrameSplitInsideAnEscapePairWaits)
{
    TRingBuffer ring(2048);
    TMsgRecord m;
    Put(ring, {0x24, 0x08, 0x00, 0x78, 0x00, 0x00, 0x00, 0xAA});
    EXPECT_EQ(ExtractFrame(ring, m), TFrameResult::frIncomplete);
    EXPECT_EQ(ring.Count(), 8u);
    Put(ring, {0xFE, 0x1F});
    EXPECT_EQ(ExtractFrame(ring, m), TFrameResult::frIncomplete);
    Put(ring, {0x45});
    ASSERT_EQ(ExtractFrame(ring, m), TFrameResult::frFrame);
    EXPECT_EQ(m.length, 6);
}

TEST(FrameExtract, BadHeadersSkipToTheNextStartByte)
{
    TRingBuffer ring(2048);
    TMsgRecord m;
    Put(ring, {0x00, 0x11, 0x24, 0x04, 0x00, 0xA5, 0x01, 0x5A});
    EXPECT_EQ(ExtractFrame(ring, m), TFrameResult::frBadHeader);
    EXPECT_EQ(ring.Count(), 6u);
    EXPECT_EQ(ExtractFrame(ring, m), TFrameResult::frFrame);

    for (const Bytes& bad : {Bytes{0x24, 0x02, 0x00}, Bytes{0x24, 0xFB, 0x00}, Bytes{0x24, 0x04, 0x20},
                             Bytes{0x24, 0x04, 0xC0, 0x3A, 0x02, 0x04}}) {
        TRingBuffer r(2048);
        Put(r, bad);
        EXPECT_EQ(ExtractFrame(r, m), TFrameResult::frBadHeader);
    }
}

TEST(FrameExtract, LoneEscapeByteIsData)
{
    // AA 41 inside a frame: the data bytes AA and 41.
    TRingBuffer ring(2048);
    TMsgRecord m;
    const uint8_t k = uint8_t(-(0x00 + 0x3A + 0xAA + 0x41));
    Put(ring, {0x24, 0x05, 0x00, 0x3A, 0xAA, 0x41, k});
    ASSERT_EQ(ExtractFrame(ring, m), TFrameResult::frFrame);
    EXPECT_EQ(Message(m), (Bytes{0x3A, 0xAA, 0x41}));
}

TEST(FrameExtract, ChecksumEscapePairCutBetweenItsTwoBytes)
{
    // Message 3A A2 with H 00 has the checksum 0x24, sent as AA FE.
    const Bytes frame = {0x24, 0x04, 0x00, 0x3A, 0xA2, 0xAA, 0xFE};
    TRingBuffer ring(2048);
    TMsgRecord m;
    Put(ring, Bytes(frame.begin(), frame.end() - 1));
    EXPECT_EQ(TakeFrame(ring, m), TFrameResult::frIncomplete);
    EXPECT_EQ(ring.Count(), 6u) << "nothing consumed while the pair is cut";
    Put(ring, {0xFE});
    ASSERT_EQ(TakeFrame(ring, m), TFrameResult::frFrame);
    EXPECT_EQ(Message(m), (Bytes{0x3A, 0xA2}));
    EXPECT_EQ(m.data[m.length], 0x24) << "the checksum is kept behind the counted bytes";
    EXPECT_EQ(ring.Count(), 0u);
}

TEST(FrameExtract, ThirdHeaderByteCountsInTheChecksum)
{
    struct Case {
        uint8_t h;
        uint8_t k;
        TFrameResult result;
    };
    // Message A5 01: K = -(H + A5 + 01).
    const Case cases[] = {
        {0x00, 0x5A, TFrameResult::frFrame},       {0x01, 0x59, TFrameResult::frFrame},
        {0x1F, 0x3B, TFrameResult::frFrame},       {0x1F, 0x5A, TFrameResult::frNone}, // K without H
        {0x01, 0x5A, TFrameResult::frNone},
    };
    for (const Case& c : cases) {
        TRingBuffer ring(2048);
        TMsgRecord m;
        Put(ring, {0x24, 0x04, c.h, 0xA5, 0x01, c.k});
        EXPECT_EQ(TakeFrame(ring, m), c.result) << int(c.h) << " " << int(c.k);
        EXPECT_EQ(ring.Count(), 0u);
        if (c.result == TFrameResult::frFrame) {
            EXPECT_EQ(Message(m), (Bytes{0xA5, 0x01}));
        }
    }
}

TEST(FrameExtract, BadChecksumGivesUpOnlyItsStartByte)
{
    TRingBuffer ring(2048);
    TMsgRecord m;
    Put(ring, {0x24, 0x04, 0x00, 0xA5, 0x01, 0x5B, 0x24, 0x04, 0x00, 0xA5, 0x01, 0x5A});
    EXPECT_EQ(ExtractFrame(ring, m), TFrameResult::frBadChecksum);
    EXPECT_EQ(ring.Count(), 6u);
    EXPECT_EQ(ExtractFrame(ring, m), TFrameResult::frFrame);

    // A noise header whose "frame" ends inside the real one: only the noise's
    // start byte is given up, and the real frame follows.
    TRingBuffer r2(2048);
    Put(r2, {0x24, 0x03, 0x00, 0x24, 0x03, 0x02, 0x01, 0xFD});
    EXPECT_EQ(ExtractFrame(r2, m), TFrameResult::frBroken);
    ASSERT_EQ(ExtractFrame(r2, m), TFrameResult::frFrame);
    EXPECT_EQ(Message(m), (Bytes{0x01}));
}

// The reply 24 03 02 01 FD (message 01) behind a little noise: the first copy
// gets through, at once when the noise gives itself away, otherwise once its
// bytes have stopped coming.
TEST(FrameExtract, NoiseBeforeAShortReplyCostsOnlyTheNoise)
{
    const Bytes reply = {0x24, 0x03, 0x02, 0x01, 0xFD};
    struct Case {
        Bytes noise;
        bool needsStall; // the noise reads as the header of a longer frame
    };
    const Case cases[] = {
        {{0x24}, true},                   // 24 24 03: a 36-byte frame that never comes
        {{0x24, 0xFA, 0x00}, false},      // its body meets the reply's start byte
        {{0x24, 0x24}, true},
        {{0x24, 0x10, 0x00, 0xAA}, false},
        {{0x11, 0x24, 0x02}, false},      // a bad header
        {{0x24, 0x05, 0x00, 0x01, 0x02, 0x03, 0x04}, false}, // whole, bad checksum
    };
    for (const Case& c : cases) {
        TRingBuffer ring(2048);
        TMsgRecord m;
        Put(ring, c.noise);
        Put(ring, reply);
        const TFrameResult first = TakeFrame(ring, m);
        if (c.needsStall) {
            EXPECT_EQ(first, TFrameResult::frIncomplete) << ::testing::PrintToString(c.noise);
            ASSERT_EQ(TakeFrame(ring, m, true), TFrameResult::frFrame) << ::testing::PrintToString(c.noise);
        } else {
            ASSERT_EQ(first, TFrameResult::frFrame) << ::testing::PrintToString(c.noise);
        }
        EXPECT_EQ(Message(m), (Bytes{0x01})) << ::testing::PrintToString(c.noise);
        EXPECT_EQ(ring.Count(), 0u);
    }
}

TEST(FrameExtract, RandomNoiseNeverCostsTheValidFrameAfterIt)
{
    // Seeded and bounded: any noise, then one valid frame that arrives whole.
    std::mt19937 rng(20261209);
    for (int round = 0; round < 3000; ++round) {
        Bytes noise(rng() % 80);
        for (auto& b : noise)
            b = uint8_t(rng() % 4 == 0 ? 0x24 : rng()); // rich in start bytes
        Bytes message(1 + rng() % 20);
        for (auto& b : message)
            b = uint8_t(rng());
        const uint8_t h = uint8_t(rng() % 0x20);
        uint8_t sum = h;
        for (uint8_t b : message)
            sum = uint8_t(sum + b);
        Bytes frame = {0x24, uint8_t(message.size() + 2), h};
        auto putEscaped = [&](uint8_t b) {
            if (b == 0x24)
                frame.insert(frame.end(), {0xAA, 0xFE});
            else if (b == 0xAA)
                frame.insert(frame.end(), {0xAA, 0x22});
            else
                frame.push_back(b);
        };
        for (uint8_t b : message)
            putEscaped(b);
        putEscaped(uint8_t(-sum));

        TRingBuffer ring(2048);
        Put(ring, noise);
        Put(ring, frame);
        bool taken = false;
        TMsgRecord m;
        // Ticks while bytes keep coming, then ticks after they have stopped.
        for (int tick = 0; tick < 200 && !taken; ++tick) {
            const TFrameResult r = TakeFrame(ring, m, tick >= 100);
            taken = r == TFrameResult::frFrame && Message(m) == message;
            if (r == TFrameResult::frNone)
                break;
        }
        EXPECT_TRUE(taken) << "round " << round;
    }
}
