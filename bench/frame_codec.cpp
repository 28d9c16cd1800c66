// Frame encode and extract throughput, against the line rate of 11,520 bytes/s.
#include "link/Serial.h"
#include "link/Tringbuffer.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

int main()
{
    using Clock = std::chrono::steady_clock;
    std::mt19937 rng(7);
    // Typical records: a relay header and item data, with the odd byte that
    // needs an escape.
    std::vector<TMsgRecord> records(256);
    for (auto& r : records) {
        r.length = uint16_t(6 + rng() % 40);
        r.data[0] = 0xC0;
        for (int i = 1; i < r.length; ++i)
            r.data[i] = uint8_t(rng());
    }

    size_t encoded = 0;
    const auto e0 = Clock::now();
    for (int round = 0; round < 20000; ++round)
        for (const auto& r : records)
            encoded += EncodeFrame(r).size();
    const double encodeS = std::chrono::duration<double>(Clock::now() - e0).count();

    // Frames as the interface unit sends them (with the third header byte).
    std::vector<std::vector<uint8_t>> wire;
    for (const auto& r : records) {
        std::vector<uint8_t> f = {0x24, uint8_t(r.length + 2), 0x00};
        uint8_t sum = 0;
        auto put = [&](uint8_t b) {
            sum = uint8_t(sum + b);
            if (b == 0x24) {
                f.push_back(0xAA);
                f.push_back(0xFE);
            } else if (b == 0xAA) {
                f.push_back(0xAA);
                f.push_back(0x22);
            } else {
                f.push_back(b);
            }
        };
        for (int i = 0; i < r.length; ++i)
            put(r.data[i] == 0xC0 ? 0xA8 : r.data[i]);
        const uint8_t k = uint8_t(-sum);
        sum = 0;
        if (k == 0x24) {
            f.push_back(0xAA);
            f.push_back(0xFE);
        } else if (k == 0xAA) {
            f.push_back(0xAA);
            f.push_back(0x22);
        } else {
            f.push_back(k);
        }
        wire.push_back(f);
    }
    TRingBuffer ring(2048);
    TMsgRecord out;
    size_t extracted = 0, frames = 0;
    const auto x0 = Clock::now();
    for (int round = 0; round < 20000; ++round) {
        for (const auto& f : wire) {
            ring.Put(f.data(), uint32_t(f.size()));
            if (ExtractFrame(ring, out) == TFrameResult::frFrame)
                ++frames;
            extracted += f.size();
        }
    }
    const double extractS = std::chrono::duration<double>(Clock::now() - x0).count();
    const double line = 11520.0;
    std::printf("encode: %.1f MB/s (%.0f x the line rate)\n", double(encoded) / encodeS / 1e6,
                double(encoded) / encodeS / line);
    std::printf("extract: %.1f MB/s (%.0f x the line rate), %zu frames\n", double(extracted) / extractS / 1e6,
                double(extracted) / extractS / line, frames);
    return frames == wire.size() * 20000 ? 0 : 1;
}
