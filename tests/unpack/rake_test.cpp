// RAKE chunks: hand-worked payloads, the count code, the distance classes,
// round trips through our packer, and damaged payloads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "method_packers.h"
#include "unpack/rake_length_code.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 3)
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

struct Decoded {
    bool ok;
    Bytes region;
};

// Decodes `payload` as the reader would hand it over: packed rounded up to 4
// bytes, an output buffer of chunkStart + UL + slack. Bytes outside the
// chunk's region must come through untouched, whatever the outcome. A
// smaller `packedLength` cuts the payload short, its padding taken from the
// bytes that follow.
Decoded Decode(const Bytes& payload, uint32_t unpackedLength, size_t packedLength = SIZE_MAX) {
    constexpr uint32_t chunkStart = 37;
    packedLength = std::min(packedLength, payload.size());
    const size_t packedSize = (packedLength + 3) & ~size_t{3};
    auto packed = std::make_unique<uint8_t[]>(packedSize);
    std::copy_n(payload.begin(), std::min(packedSize, payload.size()), packed.get());
    const size_t total = size_t{chunkStart} + unpackedLength + XPK_OUTPUT_SLACK;
    auto output = std::make_unique<uint8_t[]>(total);
    for (size_t i = 0; i < total; ++i) output[i] = static_cast<uint8_t>(i * 131 + 7);
    const XpkChunkJob job{packed.get(), static_cast<uint32_t>(packedLength), output.get(), chunkStart, unpackedLength};
    const bool ok = DecodeRakeChunk(job);
    for (size_t i = 0; i < total; ++i) {
        if (i >= chunkStart && i < chunkStart + size_t{unpackedLength}) continue;
        if (output[i] != static_cast<uint8_t>(i * 131 + 7)) {
            ADD_FAILURE() << "byte " << i << " outside the chunk's region changed";
            break;
        }
    }
    return {ok, Bytes(output.get() + chunkStart, output.get() + chunkStart + unpackedLength)};
}

// A payload from items written out by hand, in decode order: each item's
// bits as a string of 0 and 1, and its byte. The skipped bits are ones.
Bytes BuildPayload(uint32_t skipBits, const std::vector<std::pair<std::string, uint8_t>>& items) {
    const size_t end = 4 + items.size();
    Bytes out(end + (end & 1), 0xA5);
    out[0] = 0, out[1] = static_cast<uint8_t>(skipBits);
    out[2] = static_cast<uint8_t>(end >> 8), out[3] = static_cast<uint8_t>(end);
    std::string bits;
    for (size_t t = 0; t < items.size(); ++t) bits += items[t].first, out[end - 1 - t] = items[t].second;
    std::string words = bits.substr(0, std::min<size_t>(bits.size(), 32 - skipBits));
    words.resize(32 - skipBits, '0');
    words += std::string(skipBits, '1') + (bits.size() > 32 - skipBits ? bits.substr(32 - skipBits) : "");
    words.resize((words.size() / 32 + 2) * 32, '0');  // and the look-ahead word
    for (size_t i = 0; i < words.size(); i += 8)
        out.push_back(static_cast<uint8_t>(std::stoul(words.substr(i, 8), nullptr, 2)));
    return out;
}

struct KnownCase {
    const char* name;
    std::string payload;
    uint32_t unpackedLength;
    Bytes expected;
};

TEST(RakeKnownPayloads, DecodeToExactBytes) {
    const KnownCase cases[] = {
        {"literal, three copies", "00 00 00 06 00 41 40 00 00 00 00 00 00 00", 4, Bytes(4, 0x41)},
        {"count 6 distance 3", "00 00 00 08 02 41 42 43 1B 00 00 00 00 00 00 00", 9, Hex("41 42 43 41 42 43 41 42 43")},
        {"skip 28, odd end", "00 1C 00 0B 3E 04 48 45 4C 4C 4F FF 0F FF FF FF 60 00 00 00 00 00 00 00", 11,
         Hex("3E 48 45 4C 4C 4F 48 45 4C 4C 4F")},
        {"skip 32", "00 20 00 06 00 41 FF FF FF FF 40 00 00 00 00 00 00 00", 4, Bytes(4, 0x41)},
        {"one item", "00 00 00 05 7E FF 00 00 00 00 00 00 00 00", 1, Hex("7E")},
        {"literals only", "00 00 00 08 11 22 33 44 00 00 00 00 00 00 00 00", 4, Hex("11 22 33 44")},
        {"distance 1 count 257", "00 00 00 06 00 58 74 70 00 00 00 00 00 00", 258, Bytes(258, 0x58)},
        {"look-ahead beyond the end", "00 00 00 06 00 41 40 00", 4, Bytes(4, 0x41)},
    };
    for (const KnownCase& c : cases) {
        const Decoded d = Decode(Hex(c.payload), c.unpackedLength);
        EXPECT_TRUE(d.ok) << c.name;
        EXPECT_EQ(d.region, c.expected) << c.name;
    }
}

TEST(RakeKnownPayloads, RejectWhatWouldLeaveTheBuffers) {
    const std::pair<std::string, uint32_t> cases[] = {
        {"00 21 00 06 00 41 40 00 00 00 00 00 00 00", 4},  // skipBits 33
        {"00 00 00 04 00 00 00 00 00 00 00 00", 1},        // no item
        {"00 00 00 10 41 41 41 41", 12},                   // byte stream beyond the payload
        {"00 00 00 08 41 41 41 41", 4},                    // no bit stream: zero padding is not data
        {"00 00 00 06 00 41 40 00 00 00 00 00 00 00", 3},  // more bytes than UL
        {"00 00 00 06 00 41 40 00 00 00 00 00 00 00", 5},  // fewer bytes than UL
        {"00 00 00 06 00 41 40 00 00 00 00 00 00 00", 0},
        {"00 00 00 08 03 41 42 43 1B 00 00 00 00 00 00 00", 9},  // distance 4 after 3 bytes
        {"00 00 00 05 00 FF 80 00 00 00 00 00 00 00", 3},        // a match with nothing above it
        {"00 00", 1},
        {"", 1},
    };
    for (const auto& [payload, unpackedLength] : cases)
        EXPECT_FALSE(Decode(Hex(payload), unpackedLength).ok) << payload;
    // Long copies running past the region's start, across the fast path's end.
    const std::pair<std::string, uint8_t> copy257{"1" "110100011100" "0", 0};
    Bytes longCopies = BuildPayload(0, {{"0", 0x58}, copy257, copy257, copy257, copy257});
    longCopies.resize(longCopies.size() + 64, 0);
    EXPECT_FALSE(Decode(longCopies, 1000).ok);
}

TEST(RakeKnownPayloads, OurPackerWritesTheHandWorkedPayloads) {
    const std::string aaaa = "AAAA", abc = "ABCABCABC";
    EXPECT_EQ(encode::PackRakeChunk(Bytes(aaaa.begin(), aaaa.end()), 0, 4),
              Hex("00 00 00 06 00 41 40 00 00 00 00 00 00 00"));
    EXPECT_EQ(encode::PackRakeChunk(Bytes(abc.begin(), abc.end()), 0, 9),
              Hex("00 00 00 08 02 41 42 43 1B 00 00 00 00 00 00 00"));
}

// `distance` literals of a non-repeating pattern, then one match of count 3
// with the given class bits and byte, and the bytes that must come out.
struct MatchCase {
    std::vector<std::pair<std::string, uint8_t>> items;
    Bytes expected;
};
MatchCase LiteralsThenMatch(uint32_t distance, const std::string& classBits, uint8_t low) {
    MatchCase m{{}, Bytes(distance + 3)};
    for (uint32_t k = 0; k < distance; ++k) {
        const auto byte = static_cast<uint8_t>((k * 2654435761u) >> 24);
        m.items.push_back({"0", byte});
        m.expected[distance + 2 - k] = byte;
    }
    m.items.push_back({"1" "0" + classBits, low});
    for (int j = 2; j >= 0; --j) m.expected[j] = m.expected[j + distance];
    return m;
}

TEST(RakeDistances, ClassBoundaries) {
    const struct {
        const char* classBits;
        uint8_t low;
        uint32_t distance;
    } cases[] = {{"0", 0x00, 1},           {"0", 0xFF, 256},         {"10000", 0x00, 257},
                 {"10111", 0xFF, 2304},    {"11000000", 0x00, 2305}, {"11111111", 0xFF, 18688}};
    for (const auto& c : cases) {
        const MatchCase m = LiteralsThenMatch(c.distance, c.classBits, c.low);
        const Decoded d = Decode(BuildPayload(0, m.items), static_cast<uint32_t>(m.expected.size()));
        EXPECT_TRUE(d.ok) << c.distance;
        EXPECT_EQ(d.region, m.expected) << c.distance;
    }
}

TEST(RakeBitStream, EverySkipBitsValueGivesTheSameItems) {
    MatchCase m = LiteralsThenMatch(300, "10000", 0x2B);  // distance 300
    for (uint32_t skipBits = 0; skipBits <= 32; ++skipBits) {
        const Decoded d = Decode(BuildPayload(skipBits, m.items), static_cast<uint32_t>(m.expected.size()));
        EXPECT_TRUE(d.ok) << skipBits;
        EXPECT_EQ(d.region, m.expected) << skipBits;
    }
}

TEST(RakeBitStream, UsedBitsMustLieInsideThePayload) {
    // 56 one-bit literals; the payload is cut after the bit words at 60..67,
    // which hold exactly 56 stream bits when skipBits is 8.
    const std::vector<std::pair<std::string, uint8_t>> items(56, {"0", 0x33});
    EXPECT_TRUE(Decode(BuildPayload(8, items), 56, 68).ok);
    EXPECT_FALSE(Decode(BuildPayload(9, items), 56, 68).ok);
}

TEST(RakeLengthCodeTable, EveryNineteenBitStringStartsWithItsCodeword) {
    for (uint32_t s = 0; s < (1u << RAKE_MAX_CODE_LENGTH); ++s) {
        const RakeCodeEntry e = RakeDecodeCount(s << (32 - RAKE_MAX_CODE_LENGTH));
        ASSERT_GE(e.value, RAKE_MIN_COUNT);
        ASSERT_LE(e.value, RAKE_MAX_COUNT);
        const RakeCodeword c = RakeLengthCode[e.value - RAKE_MIN_COUNT];
        ASSERT_EQ(e.length, c.length);
        ASSERT_EQ(s >> (RAKE_MAX_CODE_LENGTH - c.length), c.bits) << s;
    }
}

// Test inputs of several kinds.
Bytes MakeInput(int kind, size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out;
    static const char* const kWords[] = {"the ", "frame ", "delta ", "plane ", "palette\n",
                                         "of ",  "a ",     "YAFA ",  "chunk, "};
    while (out.size() < size) {
        switch (kind) {
            case 0: out.push_back(static_cast<uint8_t>(rng())); break;
            case 1:  // runs, some long enough for the farthest distance
                out.insert(out.end(), rng() % 8 == 0 ? 19000 + rng() % 1000 : 1 + rng() % 600,
                           static_cast<uint8_t>(rng() % 4));
                break;
            case 2: for (const char* w = kWords[rng() % 9]; *w; ++w) out.push_back(static_cast<uint8_t>(*w)); break;
            default: {  // rows of a smooth picture with a little noise
                const size_t x = out.size() % 320, y = out.size() / 320;
                out.push_back(static_cast<uint8_t>((x / 8 + y / 4) + (rng() % 16 == 0 ? rng() % 3 : 0)));
            }
        }
    }
    out.resize(size);
    return out;
}

// What the items of our payloads used.
struct Coverage {
    std::set<uint32_t> counts, distances, skipBits, parities;
    bool overlap = false;
};

void ExpectRoundTrip(const Bytes& chunk, const encode::PackOptions& options, Coverage* seen = nullptr) {
    const Bytes payload = encode::PackRakeChunk(chunk, 0, chunk.size(), options);
    const Decoded d = Decode(payload, static_cast<uint32_t>(chunk.size()));
    ASSERT_TRUE(d.ok) << chunk.size() << " seed " << options.seed;
    ASSERT_EQ(d.region, chunk) << chunk.size() << " seed " << options.seed;
    if (seen == nullptr) return;
    const uint32_t skip = payload[1], end = payload[2] << 8 | payload[3];
    const size_t start = end + (end & 1);
    size_t s = 0;
    auto take = [&](uint32_t n, bool peek = false) {
        uint32_t v = 0;
        for (size_t k = s; k < s + n; ++k) {
            const size_t a = k < 32 - skip ? k : k + skip, at = start + a / 8;
            v = v << 1 | (at < payload.size() ? (payload[at] >> (7 - a % 8)) & 1 : 0);
        }
        if (!peek) s += n;
        return v;
    };
    for (size_t t = 0; t + 4 < end; ++t) {
        if (!take(1)) continue;
        const RakeCodeEntry e = RakeDecodeCount(take(RAKE_MAX_CODE_LENGTH, true) << (32 - RAKE_MAX_CODE_LENGTH));
        s += e.length;
        const uint32_t low = payload[end - 1 - t];
        const uint32_t distance = !take(1)   ? low + 1
                                  : !take(1) ? 257 + take(3) * 256 + low
                                             : 2305 + take(6) * 256 + low;
        seen->counts.insert(e.value);
        seen->distances.insert(distance);
        seen->overlap |= distance < e.value;
    }
    seen->skipBits.insert(skip);
    seen->parities.insert(end & 1);
}

TEST(RakeRoundTrip, GeneratedInputs) {
    for (int kind = 0; kind < 4; ++kind) {
        for (size_t size : {1, 2, 3, 4, 5, 17, 258, 1000, 4099, 30000, 65000}) {
            const Bytes chunk = MakeInput(kind, size, static_cast<uint32_t>(size * 7 + kind));
            ExpectRoundTrip(chunk, {});
            for (uint32_t seed = 0; seed < (size > 5000 ? 1u : 8u); ++seed) ExpectRoundTrip(chunk, {true, seed});
        }
    }
}

TEST(RakeRoundTrip, StressReachesEveryCountAndDistanceBoundary) {
    Coverage seen;
    for (uint32_t seed = 0; seed < 24; ++seed) ExpectRoundTrip(MakeInput(1, 24000, seed), {true, seed}, &seen);
    for (uint32_t c = RAKE_MIN_COUNT; c <= RAKE_MAX_COUNT; ++c) EXPECT_TRUE(seen.counts.count(c)) << "count " << c;
    for (uint32_t d : {1u, 256u, 257u, 2304u, 2305u, 18688u}) EXPECT_TRUE(seen.distances.count(d)) << d;
    EXPECT_TRUE(seen.overlap);
    EXPECT_TRUE(seen.skipBits.count(0) && seen.skipBits.count(32) && seen.skipBits.size() > 2);
    EXPECT_EQ(seen.parities.size(), 2u);
}

TEST(RakeRoundTrip, ChunkBeyondTheItemLimitIsNotPacked) {
    EXPECT_TRUE(encode::PackRakeChunk(MakeInput(0, 66000, 5), 0, 66000).empty());
    EXPECT_TRUE(encode::PackRakeChunk(Bytes{}, 0, 0).empty());
}

TEST(RakeDamagedPayloads, NeverLeaveTheBuffers) {
    std::mt19937 rng(99);
    for (int kind = 0; kind < 4; ++kind) {
        const Bytes chunk = MakeInput(kind, 3000, kind);
        for (const bool stress : {false, true}) {
            const Bytes payload = encode::PackRakeChunk(chunk, 0, chunk.size(), {stress, 3});
            // Cut short: decoding succeeds only while every used bit is there.
            for (size_t size = 0; size < payload.size(); size += size + 40 < payload.size() ? 61 : 1) {
                const Decoded d = Decode(payload, 3000, size);
                if (d.ok) {
                    EXPECT_EQ(d.region, chunk) << size;
                }
            }
            for (int round = 0; round < 150; ++round) {
                Bytes bad = payload;
                for (int k = 0; k < 1 + round % 3; ++k)
                    bad[rng() % bad.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
                Decode(bad, 3000 + static_cast<uint32_t>(rng() % 3) - 1);
            }
        }
    }
}

}  // namespace
}  // namespace yafa
