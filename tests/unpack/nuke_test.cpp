#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "method_packers.h"
#include "unpack/xpk_chunk_job.h"

namespace {

using Bytes = std::vector<uint8_t>;
using yafa::XPK_OUTPUT_SLACK;

// Runs the decoder on buffers sized exactly as the XPK reader sizes them, so
// that the sanitizers see any access outside them. `before` is the earlier
// output of the stream. Gives the chunk's bytes, or nothing on failure.
std::optional<Bytes> Decode(std::span<const uint8_t> payload, std::span<const uint8_t> before, uint32_t ul,
                            uint32_t packedLength) {
    Bytes packed((packedLength + 3u) & ~3u, 0xA5);
    std::copy_n(payload.begin(), std::min<size_t>(payload.size(), packed.size()), packed.begin());
    Bytes output(before.size() + ul + XPK_OUTPUT_SLACK, 0xEE);
    std::copy(before.begin(), before.end(), output.begin());
    const yafa::XpkChunkJob job{packed.data(), packedLength, output.data(), static_cast<uint32_t>(before.size()), ul};
    if (!yafa::DecodeNukeChunk(job)) return std::nullopt;
    return Bytes(output.begin() + static_cast<ptrdiff_t>(before.size()),
                 output.begin() + static_cast<ptrdiff_t>(before.size() + ul));
}

std::optional<Bytes> Decode(const Bytes& payload, const Bytes& before, uint32_t ul) {
    return Decode(payload, before, ul, static_cast<uint32_t>(payload.size()));
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// ---- hand-worked payloads ----

TEST(NukeExamples, SingleLiteral) {
    EXPECT_EQ(Decode({0x40, 0x00, 'X'}, {}, 1), Str("X"));
}

TEST(NukeExamples, RunOfFiveLiterals) {
    const Bytes payload = {0x00, 0x00, 0x30, 0x00, 'E', 'D', 'C', 'B', 'A'};
    EXPECT_EQ(Decode(payload, {}, 5), Str("ABCDE"));
    // The same run passes the end of a 4-byte chunk and finishes it.
    EXPECT_EQ(Decode(payload, {}, 4), Str("ABCD"));
}

TEST(NukeExamples, LongCopyWithNibbleChainThenLiteral) {
    // Token 1; s = 10, distance 1; pair 0 gives 6, nibble 0 adds 15, nibble 1
    // adds 15: 36 copies of the byte before the chunk; then tokens 0, 1: 'L'.
    const Bytes payload = {0xA0, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x08, 0x00, 0x00, 0x00, 'L'};
    Bytes expected(36, 'Z');
    expected.push_back('L');
    EXPECT_EQ(Decode(payload, {'Z'}, 37), expected);
}

TEST(NukeExamples, DistanceFieldSpansTwoWords) {
    // Tokens 1, 1, 0, 1. Nibbles 2 then 3. The first distance word gives the
    // 8-bit field 0x05 (d = 85) and the top 8 bits of the 9-bit field 0x1A3;
    // its low bit is the top bit of the next distance word (d = 336 + 419).
    const Bytes payload = {0xD0, 0x00, 0x00, 0x00, 0x00, 0x32, 0x05, 0xD1, 0x80, 0x00, 'Q'};
    Bytes before(800);
    for (size_t i = 0; i < before.size(); ++i) before[i] = static_cast<uint8_t>(i * 7 + i / 256);
    const Bytes expected = {before[800 - 85], before[801 - 85], before[802 - 755], before[803 - 755], 'Q'};
    EXPECT_EQ(Decode(payload, before, 5), expected);
}

// ---- payloads that break a limit are refused ----

struct HostileCase {
    const char* name;
    Bytes payload;
    size_t before;
    uint32_t ul;
};

TEST(NukeHostile, Refused) {
    Bytes zeros(70000, 0);
    auto with = [&](Bytes head) {
        head.insert(head.end(), zeros.begin(), zeros.end());
        return head;
    };
    const HostileCase cases[] = {
        {"empty payload", {}, 0, 1},
        {"literal missing", {0x40, 0x00}, 0, 1},
        {"run longer than the literals left", {0x00, 0x00, 0x10, 0x00, 'a', 'b'}, 0, 7},
        {"copy before the output start", {0x80, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x08, 0x00, 0x00, 0x00}, 0, 8},
        {"copy before the output start, deeper", {0x80, 0x00, 0x00, 0x00, 0x00, 0x03, 0xFF, 0x80, 'x'}, 500, 8},
        {"distance 0", {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'x', 'x'}, 4, 8},
        {"endless zero-nibble chain", with({0x80, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x08, 0x00, 0x00, 0x00}), 1, 100},
        {"endless literal run", with({0x00, 0x00}), 0, 100},
        {"input ends before the chunk", Bytes(4000, 0x88), 12000, 1u << 20},
        {"a copy cannot finish a chunk", {0x80, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x08, 0x00, 0xC0, 0x00}, 1, 4},
    };
    for (const HostileCase& c : cases) {
        const Bytes before(c.before, 0x11);
        EXPECT_FALSE(Decode(c.payload, before, c.ul)) << c.name;
    }
    // A length whose rounded size wraps has no buffer behind it.
    const Bytes one = {0x40, 0x00, 0x58};
    EXPECT_FALSE(Decode(one, {}, 1, 0xFFFFFFFEu));
}

// ---- round trips ----

Bytes Generate(int kind, size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes data(size);
    static const char* const kWords[] = {"the ", "frame ", "delta ", "plane ", "of ", "and ", "palette\n", "YAFA ", "a "};
    switch (kind) {
        case 0:  // random
            for (auto& b : data) b = static_cast<uint8_t>(rng());
            break;
        case 1:  // runs of few values, some very long
            for (size_t i = 0; i < size;) {
                const size_t run = rng() % 8 == 0 ? rng() % 3000 : rng() % 40 + 1;
                const uint8_t v = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 0);
                for (size_t k = 0; k < run && i < size; ++k) data[i++] = v;
            }
            break;
        case 2:  // text
            for (size_t i = 0; i < size;)
                for (const char* w = kWords[rng() % 9]; *w != 0 && i < size; ++w) data[i++] = static_cast<uint8_t>(*w);
            break;
        default: {  // bitplanes of a picture with shapes and noise, 40 bytes a row
            for (size_t i = 0; i < size; ++i) {
                const size_t row = i / 40 % 200, col = i % 40, plane = i / 8000;
                uint8_t v = static_cast<uint8_t>(((row / 16 + col / 4 + plane) & 1) ? 0xF0 >> (row % 4) : 0);
                if (rng() % 50 == 0) v ^= static_cast<uint8_t>(1u << (rng() % 8));
                data[i] = v;
            }
            break;
        }
    }
    return data;
}

// Packs `data` as consecutive chunks of the given sizes and decodes them one
// after another against the output so far, as the XPK reader does.
void RoundTrip(const Bytes& data, const std::vector<size_t>& chunks, const yafa::encode::PackOptions& options,
               size_t* packedTotal = nullptr) {
    size_t start = 0;
    for (size_t length : chunks) {
        const Bytes payload = yafa::encode::PackNukeChunk(data, start, length, options);
        if (packedTotal != nullptr) *packedTotal += payload.size();
        const auto chunk = Decode(payload, Bytes(data.begin(), data.begin() + static_cast<ptrdiff_t>(start)),
                                  static_cast<uint32_t>(length));
        ASSERT_TRUE(chunk) << "chunk at " << start << " length " << length << " stress " << options.stress;
        ASSERT_TRUE(std::equal(chunk->begin(), chunk->end(), data.begin() + static_cast<ptrdiff_t>(start)))
            << "chunk at " << start << " length " << length << " stress " << options.stress;
        start += length;
    }
}

TEST(NukeRoundTrip, SingleChunks) {
    const size_t sizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 31, 100, 1000, 5000, 65535};
    for (int kind = 0; kind < 4; ++kind)
        for (size_t size : sizes)
            for (uint32_t seed = 1; seed <= (size < 10000 ? 4u : 1u); ++seed) {
                SCOPED_TRACE("kind " + std::to_string(kind) + " size " + std::to_string(size));
                const Bytes data = Generate(kind, size, seed);
                RoundTrip(data, {size}, {false, seed});
                RoundTrip(data, {size}, {true, seed});
            }
}

TEST(NukeRoundTrip, ChunksReferToEarlierChunks) {
    std::mt19937 rng(7);
    for (int kind = 0; kind < 4; ++kind)
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            SCOPED_TRACE("kind " + std::to_string(kind) + " seed " + std::to_string(seed));
            std::vector<size_t> chunks = {1, 2, 3000, 1, 17, 20000, 5};
            for (int i = 0; i < 5; ++i) chunks.push_back(rng() % 6000 + 1);
            size_t total = 0;
            for (size_t c : chunks) total += c;
            // A repeating picture, so that chunks find their matches in earlier ones.
            Bytes data = Generate(kind, total, seed);
            for (size_t i = 12000; i < total; ++i) data[i] = data[i - 12000 + (kind == 0 ? 0 : i % 3)];
            RoundTrip(data, chunks, {false, seed});
            RoundTrip(data, chunks, {true, seed});
        }
}

TEST(NukeRoundTrip, PacksRedundantDataSmall) {
    size_t zeros = 0, text = 0;
    RoundTrip(Bytes(65536, 0), {65536}, {}, &zeros);
    RoundTrip(Generate(2, 65536, 1), {65536}, {}, &text);
    EXPECT_LT(zeros, 65536u / 29);  // a long copy costs 4 bits per 15 bytes
    EXPECT_LT(text, 65536u / 3);
}

// ---- damaged payloads: success or failure, never a fault ----

TEST(NukeDamaged, TruncationsAndBitFlips) {
    std::mt19937 rng(99);
    for (int kind = 0; kind < 4; ++kind)
        for (bool stress : {false, true}) {
            const Bytes data = Generate(kind, 6000, 3);
            const size_t start = 2000;
            const Bytes payload = yafa::encode::PackNukeChunk(data, start, 4000, {stress, 5});
            const Bytes before(data.begin(), data.begin() + start);
            for (size_t length = 0; length < payload.size(); ++length)
                (void)Decode(payload, before, 4000, static_cast<uint32_t>(length));
            for (int flip = 0; flip < 300; ++flip) {
                Bytes bad = payload;
                for (int k = 0; k <= flip % 3; ++k) bad[rng() % bad.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                (void)Decode(bad, before, 4000);
            }
        }
}

}  // namespace
