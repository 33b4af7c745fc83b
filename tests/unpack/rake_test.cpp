// RAKE chunks: hand-worked payloads, the distance classes, the bit stream's
// skipped bits, each limit and its reason, and round trips of our packer.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "method_packers.h"
#include "format/rake_format.h"
#include "support/sample_data.h"
#include "support/status_print.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 3) out.push_back(uint8_t(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

struct Decoded {
    Status status;
    Bytes region;
    bool ok() const { return status == Status::Ok; }
};

// Decodes `payload` as the reader hands it over: packed rounded up to 4
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
    for (size_t i = 0; i < total; ++i) output[i] = uint8_t(i * 131 + 7);
    const XpkChunkJob job{packed.get(), uint32_t(packedLength), output.get(), chunkStart, unpackedLength};
    const Status status = DecodeRakeChunk(job);
    for (size_t i = 0; i < total; ++i) {
        if (i >= chunkStart && i < chunkStart + size_t{unpackedLength}) continue;
        if (output[i] != uint8_t(i * 131 + 7)) {
            ADD_FAILURE() << "byte " << i << " outside the chunk's region changed";
            break;
        }
    }
    return {status, Bytes(output.get() + chunkStart, output.get() + chunkStart + unpackedLength)};
}

// A payload from items written out by hand, in decode order: each item's
// bits as a string of 0 and 1, and its byte. The skipped bits are ones.
using Items = std::vector<std::pair<std::string, uint8_t>>;
Bytes BuildPayload(uint32_t skipBits, const Items& items) {
    const size_t end = 4 + items.size();
    Bytes out(end + (end & 1), 0xA5);
    out[0] = 0, out[1] = uint8_t(skipBits);
    out[2] = uint8_t(end >> 8), out[3] = uint8_t(end);
    std::string bits;
    for (size_t t = 0; t < items.size(); ++t) bits += items[t].first, out[end - 1 - t] = items[t].second;
    std::string words = bits.substr(0, std::min<size_t>(bits.size(), 32 - skipBits));
    words.resize(32 - skipBits, '0');
    words += std::string(skipBits, '1') + (bits.size() > 32 - skipBits ? bits.substr(32 - skipBits) : "");
    words.resize((words.size() / 32 + 2) * 32, '0');  // and the look-ahead word
    for (size_t i = 0; i < words.size(); i += 8) out.push_back(uint8_t(std::stoul(words.substr(i, 8), nullptr, 2)));
    return out;
}

TEST(RakeExamples, HexPayloadsDecodeToExactBytes) {
    const struct {
        const char* name;
        std::string payload;
        uint32_t unpackedLength;
        Bytes expected;
        bool ourPackerWritesIt;
    } cases[] = {
        {"literal, three copies", "00 00 00 06 00 41 40 00 00 00 00 00 00 00", 4, Bytes(4, 0x41), true},
        {"count 6 distance 3", "00 00 00 08 02 41 42 43 1B 00 00 00 00 00 00 00", 9, Hex("41 42 43 41 42 43 41 42 43"), true},
        {"skip 28, odd end", "00 1C 00 0B 3E 04 48 45 4C 4C 4F FF 0F FF FF FF 60 00 00 00 00 00 00 00", 11,
         Hex("3E 48 45 4C 4C 4F 48 45 4C 4C 4F"), false},
        {"skip 32", "00 20 00 06 00 41 FF FF FF FF 40 00 00 00 00 00 00 00", 4, Bytes(4, 0x41), false},
        {"one item", "00 00 00 05 7E FF 00 00 00 00 00 00 00 00", 1, Hex("7E"), false},
        {"literals only", "00 00 00 08 11 22 33 44 00 00 00 00 00 00 00 00", 4, Hex("11 22 33 44"), false},
        {"distance 1 count 257", "00 00 00 06 00 58 74 70 00 00 00 00 00 00", 258, Bytes(258, 0x58), false},
        {"look-ahead beyond the end", "00 00 00 06 00 41 40 00", 4, Bytes(4, 0x41), false},
    };
    for (const auto& c : cases) {
        const Decoded d = Decode(Hex(c.payload), c.unpackedLength);
        EXPECT_TRUE(d.ok()) << c.name;
        EXPECT_EQ(d.region, c.expected) << c.name;
        if (c.ourPackerWritesIt) {
            EXPECT_EQ(encode::PackRakeChunk(c.expected, 0, c.expected.size()), Hex(c.payload)) << c.name;
        }
    }
}

TEST(RakeLimits, EachLimitHasItsReason) {
    const struct {
        std::string payload;
        uint32_t unpackedLength;
        Status status;
    } cases[] = {
        {"00 21 00 06 00 41 40 00 00 00 00 00 00 00", 4, Status::RakeSkipBitsInvalid},  // skipBits 33
        {"00 00 00 04 00 00 00 00 00 00 00 00", 1, Status::RakeByteStreamOutsideChunk},  // no item
        {"00 00 00 10 41 41 41 41", 12, Status::RakeByteStreamOutsideChunk},  // byte stream beyond the payload
        {"00 00 00 08 41 41 41 41", 4, Status::PackedDataEndsEarly},  // no bit stream: zero padding is not data
        {"00 00 00 06 00 41 40 00 00 00 00 00 00 00", 3, Status::OutputOverrun},        // more bytes than UL
        {"00 00 00 06 00 41 40 00 00 00 00 00 00 00", 5, Status::OutputShortOfLength},  // fewer bytes than UL
        {"00 00 00 06 00 41 40 00 00 00 00 00 00 00", 0, Status::OutputOverrun},
        {"00 00 00 08 03 41 42 43 1B 00 00 00 00 00 00 00", 9, Status::BackReferenceBeforeStart},  // distance 4, 3 bytes made
        {"00 00 00 05 00 FF 80 00 00 00 00 00 00 00", 3, Status::BackReferenceBeforeStart},  // nothing above the match
        {"00 00", 1, Status::RakeByteStreamOutsideChunk},
        {"", 1, Status::PackedDataEndsEarly},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(Hex(c.payload), c.unpackedLength).status, c.status) << c.payload;
    // Long copies running past the region's start, across the end of the
    // batch that runs without bounds tests: the batch must leave room for
    // its copies, so the one that passes the start is refused as such.
    const std::pair<std::string, uint8_t> copy257{"1" "110100011100" "0", 0};
    Bytes longCopies = BuildPayload(0, {{"0", 0x58}, copy257, copy257, copy257, copy257});
    longCopies.resize(longCopies.size() + 64, 0);
    EXPECT_EQ(Decode(longCopies, 1000).status, Status::OutputOverrun);
    // 56 one-bit literals; the payload is cut after the bit words at 60..67,
    // which hold exactly 56 stream bits when skipBits is 8.
    const Items literals(56, {"0", 0x33});
    EXPECT_TRUE(Decode(BuildPayload(8, literals), 56, 68).ok());
    EXPECT_EQ(Decode(BuildPayload(9, literals), 56, 68).status, Status::PackedDataEndsEarly);
}

// `distance` literals of a non-repeating pattern, then one match of count 3
// with the given class bits and byte, and the bytes that must come out.
std::pair<Items, Bytes> LiteralsThenMatch(uint32_t distance, const std::string& classBits, uint8_t low) {
    Items items;
    Bytes expected(distance + 3);
    for (uint32_t k = 0; k < distance; ++k) {
        const auto byte = uint8_t((k * 2654435761u) >> 24);
        items.push_back({"0", byte});
        expected[distance + 2 - k] = byte;
    }
    items.push_back({"1" "0" + classBits, low});
    for (int j = 2; j >= 0; --j) expected[size_t(j)] = expected[size_t(j) + distance];
    return {items, expected};
}

TEST(RakeExamples, DistanceClassBoundariesAndEverySkipBitsValue) {
    const struct {
        const char* classBits;
        uint8_t low;
        uint32_t distance;
    } cases[] = {{"0", 0x00, 1},           {"0", 0xFF, 256},         {"10000", 0x00, 257},
                 {"10111", 0xFF, 2304},    {"11000000", 0x00, 2305}, {"11111111", 0xFF, 18688}};
    for (const auto& c : cases) {
        const auto [items, expected] = LiteralsThenMatch(c.distance, c.classBits, c.low);
        const Decoded d = Decode(BuildPayload(0, items), uint32_t(expected.size()));
        EXPECT_TRUE(d.ok() && d.region == expected) << c.distance;
    }
    const auto [items, expected] = LiteralsThenMatch(300, "10000", 0x2B);
    for (uint32_t skipBits = 0; skipBits <= 32; ++skipBits) {
        const Decoded d = Decode(BuildPayload(skipBits, items), uint32_t(expected.size()));
        EXPECT_TRUE(d.ok() && d.region == expected) << skipBits;
    }
}

void ExpectRoundTrip(const Bytes& chunk, const encode::PackOptions& options) {
    const Bytes payload = encode::PackRakeChunk(chunk, 0, chunk.size(), options);
    // The reader refuses lengths above what a payload can make.
    ASSERT_LE(chunk.size(), RAKE_MAX_EXPANSION * XpkPaddedLength(payload.size()));
    const Decoded d = Decode(payload, uint32_t(chunk.size()));
    ASSERT_TRUE(d.ok() && d.region == chunk) << chunk.size() << " seed " << options.seed;
}

// Stress mode over these seeds reaches every count, the distance class
// boundaries, overlapping copies, skipBits 0 and 32, and both parities.
TEST(RakeRoundTrip, EdgeSizesAndStressSeeds) {
    for (Shape shape : {Shape::Noise, Shape::Text, Shape::Image})
        for (size_t size : {1, 2, 3, 4, 5, 17, 258, 4099, 65000}) {
            const Bytes chunk = SampleData(shape, size, uint32_t(size));
            ExpectRoundTrip(chunk, {});
            ExpectRoundTrip(chunk, {true, uint32_t(size)});
        }
    // Beyond the item limit a chunk is not packed.
    EXPECT_TRUE(encode::PackRakeChunk(SampleData(Shape::Noise, 66000, 5), 0, 66000).empty());
    EXPECT_TRUE(encode::PackRakeChunk(Bytes{}, 0, 0).empty());
    for (uint32_t seed = 0; seed < 24; ++seed) ExpectRoundTrip(SampleData(Shape::LongRuns, 24000, seed), {true, seed});
}

}  // namespace
}  // namespace yafa::test
