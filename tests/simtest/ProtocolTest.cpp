// Frame format, escapes, checksums and value encodings of the simulator,
// checked against known frames and values.
#include "sim/Protocol.h"

#include <gtest/gtest.h>

#include <stdexcept>

using sim::Bytes;
using sim::DecodeAll;
using sim::Direction;

TEST(SimFrames, HostFramesMatchKnownFrames)
{
    EXPECT_EQ(sim::EncodeHostFrame(Bytes{0xC0, 0x3A, 0x02}), (Bytes{0x24, 0x04, 0xC0, 0x3A, 0x02, 0x04}));
    EXPECT_EQ(sim::EncodeHostFrame(Bytes{0xC0, 0x78}), (Bytes{0x24, 0x03, 0xC0, 0x78, 0xC8}));
    EXPECT_EQ(sim::EncodeHostFrame(Bytes{0xC0, 0x24}), (Bytes{0x24, 0x03, 0xC0, 0xAA, 0xFE, 0x1C}));
}

TEST(SimFrames, HostLengthByteIsNeverEscaped)
{
    Bytes r35(35, 0x01);
    r35[0] = 0xC0;
    Bytes f = sim::EncodeHostFrame(r35);
    EXPECT_EQ(f[1], 0x24);
    EXPECT_EQ(f[2], 0xC0);
    Bytes r169(169, 0x01);
    r169[0] = 0xC0;
    EXPECT_EQ(sim::EncodeHostFrame(r169)[1], 0xAA);
    auto back = DecodeAll(Direction::FromHost, f);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_TRUE(back[0].checksumOk);
    EXPECT_EQ(back[0].payload, r35);
}

TEST(SimFrames, UnitFramesMatchKnownFrames)
{
    EXPECT_EQ(sim::EncodeUnitFrame(Bytes{0xA5, 0x01}), (Bytes{0x24, 0x04, 0x00, 0xA5, 0x01, 0x5A}));
    const Bytes disc{0x78, 0x00, 0x00, 0x00, 0x24, 0x1F};
    const Bytes wire{0x24, 0x08, 0x00, 0x78, 0x00, 0x00, 0x00, 0xAA, 0xFE, 0x1F, 0x45};
    EXPECT_EQ(sim::EncodeUnitFrame(disc), wire);

    auto f = DecodeAll(Direction::FromUnit, wire);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_TRUE(f[0].checksumOk);
    EXPECT_EQ(f[0].payload, disc);
    EXPECT_EQ(f[0].checksum, 0x45);
    EXPECT_EQ(f[0].wire, wire);
}

TEST(SimFrames, ChecksumCoversTheHeaderByte)
{
    Bytes w = sim::EncodeUnitFrame(Bytes{0xA5, 0x01}, 0x05);
    EXPECT_EQ(w, (Bytes{0x24, 0x04, 0x05, 0xA5, 0x01, 0x55}));
    auto f = DecodeAll(Direction::FromUnit, w);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].header, 0x05);
    EXPECT_TRUE(f[0].checksumOk);
}

TEST(SimFrames, ChecksumEscapedAtTheEnd)
{
    const Bytes rec{0xC0, 0x1C};  // C0 + 1C = DC, checksum 24
    Bytes w = sim::EncodeHostFrame(rec);
    EXPECT_EQ(w, (Bytes{0x24, 0x03, 0xC0, 0x1C, 0xAA, 0xFE}));
    auto f = DecodeAll(Direction::FromHost, w);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_TRUE(f[0].checksumOk);
    EXPECT_EQ(f[0].checksum, 0x24);
}

TEST(SimFrames, DecoderTakesFramesInAnyPieces)
{
    Bytes stream = sim::EncodeHostFrame(Bytes{0xC0, 0x24, 0xAA, 0x3A});
    const Bytes second = sim::EncodeHostFrame(Bytes{0xC0, 0x78});
    stream.insert(stream.end(), second.begin(), second.end());
    sim::FrameDecoder d(Direction::FromHost);
    std::vector<sim::DecodedFrame> out;
    for (std::uint8_t b : stream) {
        d.Feed(Bytes{b}, out);
    }
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].payload, (Bytes{0xC0, 0x24, 0xAA, 0x3A}));
    EXPECT_EQ(out[1].payload, (Bytes{0xC0, 0x78}));
    EXPECT_FALSE(d.InFrame());
    EXPECT_EQ(d.DiscardedBytes(), 0u);
}

TEST(SimFrames, DecoderResynchronisesOnGarbage)
{
    Bytes stream{0x00, 0x11, 0x13};
    const Bytes good = sim::EncodeHostFrame(Bytes{0xC0, 0x3A, 0x02});
    // A frame cut short by a new start byte is abandoned for the new frame.
    stream.insert(stream.end(), {0x24, 0x06, 0xC0, 0x3A});
    stream.insert(stream.end(), good.begin(), good.end());
    sim::FrameDecoder d(Direction::FromHost);
    std::vector<sim::DecodedFrame> out;
    d.Feed(stream, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].payload, (Bytes{0xC0, 0x3A, 0x02}));
    EXPECT_TRUE(out[0].checksumOk);
    EXPECT_EQ(d.DiscardedBytes(), 7u);
}

TEST(SimFrames, DecoderFlagsABadChecksum)
{
    const Bytes bad = sim::EncodeHostFrame(Bytes{0xC0, 0x3A, 0x02}, 0x05);
    auto f = DecodeAll(Direction::FromHost, bad);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_FALSE(f[0].checksumOk);
    EXPECT_EQ(f[0].checksum, 0x05);
    EXPECT_EQ(f[0].payload, (Bytes{0xC0, 0x3A, 0x02}));
}

TEST(SimFrames, LoneEscapeIsADataByte)
{
    // AA 41 is the data byte AA followed by 41.
    const Bytes rec{0xC0, 0xAA, 0x41};
    const std::uint8_t k = sim::Checksum(rec);
    const Bytes wire{0x24, 0x04, 0xC0, 0xAA, 0x41, k};
    auto f = DecodeAll(Direction::FromHost, wire);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_TRUE(f[0].checksumOk);
    EXPECT_EQ(f[0].payload, rec);
}

TEST(SimFrames, UnitDecoderRefusesImpossibleHeaders)
{
    // The PC's own frame (third byte C0), L = 2 and L = 251 are no unit frames.
    EXPECT_TRUE(DecodeAll(Direction::FromUnit, sim::EncodeHostFrame(Bytes{0xC0, 0x3A, 0x02})).empty());
    EXPECT_TRUE(DecodeAll(Direction::FromUnit, Bytes{0x24, 0x02, 0x00, 0x00}).empty());
    Bytes big{0x24, 251, 0x00};
    big.resize(253, 0x01);
    EXPECT_TRUE(DecodeAll(Direction::FromUnit, big).empty());
    // ... but the good frame behind them is found.
    Bytes s{0x24, 0x02, 0x00};
    const Bytes good = sim::EncodeUnitFrame(Bytes{0x3A, 0x02, 0x1D, 0xB0});
    s.insert(s.end(), good.begin(), good.end());
    auto f = DecodeAll(Direction::FromUnit, s);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].payload, (Bytes{0x3A, 0x02, 0x1D, 0xB0}));
}

TEST(SimFrames, OversizedRecordsAreRefused)
{
    EXPECT_THROW(sim::EncodeHostFrame(Bytes(255, 0xC0)), std::length_error);
    EXPECT_THROW(sim::EncodeUnitFrame(Bytes(254, 0x01)), std::length_error);
    EXPECT_NO_THROW(sim::EncodeUnitFrame(Bytes(248, 0x01)));
}

TEST(SimValues, PackedTimeMatchesKnownValues)
{
    sim::CivilTime a{2009, 6, 15, 13, 45, 30, 1};
    EXPECT_EQ(sim::PackTime(a), (std::array<std::uint8_t, 5>{0x5E, 0xDB, 0xF2, 0x2C, 0x01}));
    sim::CivilTime b{2010, 12, 31, 23, 59, 59, 5};
    const auto pb = sim::PackTime(b);
    EXPECT_EQ(pb, (std::array<std::uint8_t, 5>{0xFB, 0x7E, 0xFB, 0x59, 0x01}));
    EXPECT_EQ(sim::UnpackTime(pb), b);
}

TEST(SimValues, CivilTimeConversions)
{
    EXPECT_EQ(sim::CivilFromUnix(1245073530), (sim::CivilTime{2009, 6, 15, 13, 45, 30, 1}));
    EXPECT_EQ(sim::CivilFromUnix(1293839999), (sim::CivilTime{2010, 12, 31, 23, 59, 59, 5}));
    EXPECT_EQ(sim::CivilFromUnix(0).weekday, 4);  // a Thursday
    EXPECT_EQ(sim::UnixFromCivil(sim::CivilTime{2020, 1, 1, 0, 0, 0, 0}), 1577836800);
    EXPECT_FALSE(sim::IsValidCivil(sim::CivilTime{2021, 2, 29, 0, 0, 0, 0}));
    EXPECT_TRUE(sim::IsValidCivil(sim::CivilTime{2024, 2, 29, 23, 59, 59, 4}));
}

TEST(SimValues, DiscoveryIdsDecodeBack)
{
    EXPECT_EQ(sim::EncodeDiscoveryId(9247), (std::array<std::uint8_t, 4>{0x00, 0x00, 0x24, 0x1F}));
    EXPECT_EQ(sim::EncodeDiscoveryId(4194305), (std::array<std::uint8_t, 4>{0x01, 0x00, 0x00, 0x01}));
    EXPECT_EQ(sim::EncodeDiscoveryId(12345678), (std::array<std::uint8_t, 4>{0x02, 0x3C, 0x61, 0x4E}));
    for (std::uint32_t id : {0u, 4194303u, 4194304u, 12345678u, 1u << 30, sim::kMaxDiscoveryId}) {
        const auto e = sim::EncodeDiscoveryId(id);
        EXPECT_EQ(sim::DecodeDiscoveryId(e), id) << id;
    }
    EXPECT_THROW(sim::EncodeDiscoveryId(sim::kMaxDiscoveryId + 1), std::out_of_range);
}
