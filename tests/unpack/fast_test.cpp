// FAST chunks: hand-made payloads with known output, hostile payloads, and
// round trips of the packer through the decoder on exactly sized buffers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "method_packers.h"
#include "unpack/xpk_chunk_job.h"

// Test data of five kinds (noise, runs, text, a repeated 4095-byte block,
// image rows); shared with the container tests.
std::vector<uint8_t> MakeSampleData(int kind, size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> d(n);
    switch (kind) {
        case 0:  // noise
            for (auto& b : d) b = static_cast<uint8_t>(rng());
            break;
        case 1:  // runs of random lengths
            for (size_t i = 0; i < n;) {
                const uint8_t v = static_cast<uint8_t>(rng() % 4);
                for (size_t k = rng() % 40 + 1; k-- > 0 && i < n;) d[i++] = v;
            }
            break;
        case 2: {  // words from a small vocabulary
            static const char* words[] = {"the ", "frame ", "delta ", "plane ", "of ", "and ", "palette ", "chunk "};
            for (size_t i = 0; i < n;) {
                for (const char* w = words[rng() % 8]; *w && i < n; ++w) d[i++] = static_cast<uint8_t>(*w);
            }
            break;
        }
        case 3: {  // a 4095-byte block repeated, with a few changes
            for (size_t i = 0; i < n; ++i) d[i] = i < 4095 ? static_cast<uint8_t>(rng()) : d[i - 4095];
            for (size_t i = 4095; i < n; i += 1 + rng() % 500) d[i] ^= 0x40;
            break;
        }
        default:  // image-like rows: a gradient with noise
            for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>((i % 320) / 8 + (rng() % 8 == 0 ? rng() % 3 : 0));
            break;
    }
    return d;
}

namespace {

using yafa::XPK_OUTPUT_SLACK;
using Bytes = std::vector<uint8_t>;

// Decodes `payload` (PL = its size) behind `prefix` into a heap buffer of
// exactly prefix + UL + slack bytes, from a heap copy of exactly PL4 bytes,
// so that any stray access is a sanitizer finding.
struct Decoded {
    bool ok;
    Bytes out;  // prefix, chunk and slack
};

Decoded Decode(const Bytes& payload, const Bytes& prefix, uint32_t ul) {
    const size_t pl4 = (payload.size() + 3) & ~size_t{3};
    auto* packed = static_cast<uint8_t*>(std::calloc(pl4 ? pl4 : 1, 1));
    if (!payload.empty()) std::memcpy(packed, payload.data(), payload.size());
    const size_t outSize = prefix.size() + ul + XPK_OUTPUT_SLACK;
    auto* output = static_cast<uint8_t*>(std::calloc(outSize, 1));
    if (!prefix.empty()) std::memcpy(output, prefix.data(), prefix.size());
    const yafa::XpkChunkJob job{packed, static_cast<uint32_t>(payload.size()), output,
                                static_cast<uint32_t>(prefix.size()), ul};
    Decoded d{yafa::DecodeFastChunk(job), Bytes(output, output + outSize)};
    std::free(packed);
    std::free(output);
    return d;
}

Bytes Chunk(const Bytes& d, size_t from, size_t n) { return Bytes(d.begin() + from, d.begin() + from + n); }
Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(FastExamples, FourteenLiteralsThenTwoMatchesEndWhereTheStreamsMeet) {
    // 14 literals, then D = 14 length 3, then D = 1 n = 0: 18 repeats.
    Bytes p = Str("ABCDEFGHIJKLMN");
    p.insert(p.end(), {0x00, 0x10, 0x00, 0xEF, 0x00, 0x03});  // words at 14, 16, 18
    ASSERT_EQ(p.size(), 20u);
    const Decoded d = Decode(p, {}, 35);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(Chunk(d.out, 0, 35), Str("ABCDEFGHIJKLMNABC" + std::string(18, 'C')));
}

TEST(FastExamples, FirstTokenCopiesFromFarthestBackInThePreviousChunk) {
    // Match word 0xFFFF (D = 4095, length 3) as the first token, then 15
    // literals; PL = 19 is not a multiple of 4.
    Bytes prefix(4095);
    for (size_t i = 0; i < prefix.size(); ++i) prefix[i] = static_cast<uint8_t>(i * 7 + 1);
    Bytes p = Str("abcdefghijklmno");
    p.insert(p.end(), {0xFF, 0xFF, 0x80, 0x00});
    const Decoded d = Decode(p, prefix, 18);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(Chunk(d.out, 4095, 18), Bytes({1, 8, 15, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l',
                                             'm', 'n', 'o'}));
}

TEST(FastExamples, TrailingLiteralsReadOnIntoTheWordsAndLandPastTheChunk) {
    // Five literals, eleven more tokens of the only control word read bytes
    // 5..15 (padding and the control word itself) into the slack.
    const Bytes p = {'v', 'w', 'x', 'y', 'z', 9, 8, 7, 6, 5, 4, 3, 2, 1, 0x00, 0x00};
    const Decoded d = Decode(p, {}, 5);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(Chunk(d.out, 0, 16), p);
    EXPECT_EQ(d.out[16], 0);
    // A trailing copy of distance 0 changes nothing and is let through.
    EXPECT_TRUE(Decode({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x00, 0x0F, 0x80, 0x00}, Bytes(8), 0).ok);
}

struct HostileCase {
    const char* name;
    Bytes payload;
    size_t prefix;
    uint32_t ul;
};

TEST(FastHostile, LimitBreakingChunksFail) {
    Bytes manyRuns;  // 60 words of 16 matches D = 1, length 18: > UL + slack
    for (int w = 0; w < 60; ++w) {
        for (int k = 0; k < 16; ++k) manyRuns.insert(manyRuns.end(), {0x00, 0x10});
        manyRuns.insert(manyRuns.end(), {0xFF, 0xFF});
    }
    const HostileCase cases[] = {
        {"empty payload", {}, 0, 0},
        {"one byte", {0x00}, 0, 0},
        {"literals past PL4", {0x00, 0x00}, 0, 0},
        {"match word below 0", {0x80, 0x00}, 4, 0},
        {"distance before output start", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x00, 0x5F, 0x80, 0x00}, 4, 3},
        {"distance 0 inside the chunk", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x00, 0x0F, 0x80, 0x00}, 8, 3},
        {"writes past the slack", manyRuns, 1, 0},
        {"stops short of its length", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0x00, 0x00}, 0, 17},
    };
    for (const auto& c : cases) EXPECT_FALSE(Decode(c.payload, Bytes(c.prefix, 0x55), c.ul).ok) << c.name;
}

TEST(FastHostile, RandomPayloadsStayInsideTheirBuffers) {
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        Bytes p(rng() % 120);
        for (auto& b : p) b = static_cast<uint8_t>(rng());
        (void)Decode(p, Bytes(rng() % 64, 1), rng() % 200);
    }
}

void ExpectRoundTrip(const Bytes& stream, size_t start, size_t n, const yafa::encode::PackOptions& options) {
    const Bytes p = yafa::encode::PackFastChunk(stream, start, n, options);
    const Decoded d = Decode(p, Chunk(stream, 0, start), static_cast<uint32_t>(n));
    ASSERT_TRUE(d.ok) << "start " << start << " length " << n << " stress " << options.stress;
    ASSERT_EQ(Chunk(d.out, 0, start + n), Chunk(stream, 0, start + n))
        << "start " << start << " length " << n << " stress " << options.stress;
}

TEST(FastRoundTrip, EveryShortChunkLengthEveryKind) {
    for (int kind = 0; kind < 4; ++kind) {
        const Bytes stream = MakeSampleData(kind, 5000, 11 + kind);
        for (size_t n = 0; n <= 300; ++n) {
            ExpectRoundTrip(stream, 0, n, {false, 1});
            ExpectRoundTrip(stream, 4200, n, {n % 2 == 0, static_cast<uint32_t>(n)});
        }
    }
}

TEST(FastRoundTrip, LargeChunksPlainAndStressed) {
    for (int kind = 0; kind < 5; ++kind) {
        const Bytes stream = MakeSampleData(kind, 70000, 3 + kind);
        ExpectRoundTrip(stream, 0, kind % 3 == 0 ? 65535 : 20000, {false, 1});
        ExpectRoundTrip(stream, 4000, 10000, {true, 3});
    }
}

// Walks a payload's tokens the way the decoder does and notes which
// boundaries it uses, one bit each: D = 4095, length 3, length 18, D = 1,
// D < length, a source in the previous chunk, 16 literals in a row, a
// trailing copy.
unsigned Walk(const Bytes& p, size_t start, size_t n) {
    unsigned seen = 0;
    size_t lit = 0, wp = p.size(), out = start, run = 0;
    do {
        wp -= 2;
        const unsigned ctrl = (p[wp] << 8) | p[wp + 1];
        for (int bit = 15; bit >= 0; --bit) {
            if (!((ctrl >> bit) & 1)) {
                ++lit, ++out;
                seen |= ++run >= 16 ? 64 : 0;
                continue;
            }
            run = 0;
            wp -= 2;
            const unsigned m = (p[wp] << 8) | p[wp + 1], d = m >> 4, len = 18 - (m & 15);
            if (out >= start + n) {
                seen |= 128;
            } else {
                seen |= (d == 4095) | (len == 3) << 1 | (len == 18) << 2 | (d == 1) << 3 | (d < len) << 4 |
                        (out - d < start) << 5;
            }
            out += len;
        }
    } while (wp > lit);
    return seen;
}

TEST(FastStress, ReachesEveryBoundary) {
    unsigned seen = 0;
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        const Bytes stream = MakeSampleData(seed % 2 ? 3 : 1, 12000, seed);
        seen |= Walk(yafa::encode::PackFastChunk(stream, 6000, 3000 + seed, {true, seed}), 6000, 3000 + seed);
    }
    EXPECT_EQ(seen, 255u);
}

TEST(FastPacker, NoiseGrowsByTheControlBitsOnly) {
    const Bytes noise = MakeSampleData(0, 60000, 5);
    EXPECT_LE(yafa::encode::PackFastChunk(noise, 0, noise.size()).size(), noise.size() * 9 / 8 + 2);
}

}  // namespace
