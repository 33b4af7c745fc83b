// NUKE chunks: hand-worked payloads, each limit and its reason, and round
// trips of our packer chunk by chunk.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "method_packers.h"
#include "format/nuke_format.h"
#include "support/sample_data.h"
#include "support/status_print.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Runs the decoder on buffers sized exactly as the XPK reader sizes them, so
// that the sanitizers see any access outside them. `before` is the earlier
// output of the stream. Gives the chunk's bytes, or nothing on failure, when
// `status` (if given) receives the reason.
std::optional<Bytes> Decode(const Bytes& payload, const Bytes& before, uint32_t ul, uint32_t packedLength,
                            Status* status = nullptr) {
    Bytes packed((packedLength + 3u) & ~3u, 0xA5);
    std::copy_n(payload.begin(), std::min<size_t>(payload.size(), packed.size()), packed.begin());
    Bytes output(before.size() + ul + XPK_OUTPUT_SLACK, 0xEE);
    std::copy(before.begin(), before.end(), output.begin());
    const XpkChunkJob job{packed.data(), packedLength, output.data(), uint32_t(before.size()), ul};
    const Status s = DecodeNukeChunk(job);
    if (status) *status = s;
    if (s != Status::Ok) return std::nullopt;
    return Bytes(output.begin() + long(before.size()), output.begin() + long(before.size() + ul));
}

std::optional<Bytes> Decode(const Bytes& payload, const Bytes& before, uint32_t ul, Status* status = nullptr) {
    return Decode(payload, before, ul, uint32_t(payload.size()), status);
}

TEST(NukeExamples, TokensPairsNibblesAndDistanceWords) {
    Bytes before(800);
    for (size_t i = 0; i < before.size(); ++i) before[i] = uint8_t(i * 7 + i / 256);
    const struct {
        const char* name;
        Bytes payload, before;
        uint32_t ul;
        Bytes expected;
    } cases[] = {
        {"single literal", {0x40, 0x00, 'X'}, {}, 1, {'X'}},
        {"run of five", {0x00, 0x00, 0x30, 0x00, 'E', 'D', 'C', 'B', 'A'}, {}, 5, {'A', 'B', 'C', 'D', 'E'}},
        // The same run passes the end of a 4-byte chunk and finishes it.
        {"run past the end", {0x00, 0x00, 0x30, 0x00, 'E', 'D', 'C', 'B', 'A'}, {}, 4, {'A', 'B', 'C', 'D'}},
        // Token 1; s = 10, distance 1; pair 0 gives 6, nibble 0 adds 15,
        // nibble 1 adds 15: 36 copies of the byte before the chunk; then
        // tokens 0, 1: 'L'.
        {"nibble chain", {0xA0, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x08, 0x00, 0x00, 0x00, 'L'}, {'Z'}, 37,
         [] { Bytes e(36, 'Z'); e.push_back('L'); return e; }()},
        // Tokens 1, 1, 0, 1. Nibbles 2 then 3. The first distance word gives
        // the 8-bit field 0x05 (d = 85) and the top 8 bits of the 9-bit field
        // 0x1A3; its low bit is the top bit of the next word (d = 336 + 419).
        {"distance across words", {0xD0, 0x00, 0x00, 0x00, 0x00, 0x32, 0x05, 0xD1, 0x80, 0x00, 'Q'}, before, 5,
         {before[800 - 85], before[801 - 85], before[802 - 755], before[803 - 755], 'Q'}},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.payload, c.before, c.ul), c.expected) << c.name;
}

TEST(NukeLimits, EachLimitHasItsReason) {
    auto zerosAfter = [](Bytes head) {
        head.resize(head.size() + 70000, 0);
        return head;
    };
    const struct {
        const char* name;
        Bytes payload;
        size_t before;
        uint32_t ul;
        Status status;
    } cases[] = {
        {"empty payload", {}, 0, 1, Status::PackedDataEndsEarly},
        {"literal missing", {0x40, 0x00}, 0, 1, Status::PackedDataEndsEarly},
        {"run longer than the literals left", {0x00, 0x00, 0x10, 0x00, 'a', 'b'}, 0, 7, Status::PackedDataEndsEarly},
        {"copy before the output start", {0x80, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x08, 0x00, 0x00, 0x00}, 0, 8,
         Status::BackReferenceBeforeStart},
        {"copy before the output start, deeper", {0x80, 0x00, 0x00, 0x00, 0x00, 0x03, 0xFF, 0x80, 'x'}, 500, 8,
         Status::BackReferenceBeforeStart},
        {"distance 0", {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'x', 'x'}, 4, 8, Status::BackReferenceDistanceZero},
        // The nibble chain example with a distance field of 0: without its
        // own test, a distance of 0 would copy forever.
        {"distance 0, otherwise valid", {0xA0, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x00, 0x00, 0x00, 0x00, 'L'}, 1, 37,
         Status::BackReferenceDistanceZero},
        {"endless zero-nibble chain", zerosAfter({0x80, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x08, 0x00, 0x00, 0x00}), 1, 100,
         Status::OutputOverrun},
        {"endless literal run", zerosAfter({0x00, 0x00}), 0, 100, Status::OutputOverrun},
        {"input ends before the chunk", Bytes(4000, 0x88), 12000, 1u << 20, Status::PackedDataEndsEarly},
        {"a copy cannot finish a chunk", {0x80, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x08, 0x00, 0xC0, 0x00}, 1, 4,
         Status::PackedDataEndsEarly},
    };
    for (const auto& c : cases) {
        Status status = Status::Ok;
        EXPECT_FALSE(Decode(c.payload, Bytes(c.before, 0x11), c.ul, &status)) << c.name;
        EXPECT_EQ(status, c.status) << c.name;
    }
}

// Packs `data` as consecutive chunks of the given sizes and decodes them one
// after another against the output so far, as the XPK reader does.
size_t RoundTrip(const Bytes& data, const std::vector<size_t>& chunks, const encode::PackOptions& options) {
    size_t start = 0, packedTotal = 0;
    for (size_t length : chunks) {
        const Bytes payload = encode::PackNukeChunk(data, start, length, options);
        packedTotal += payload.size();
        // The reader refuses lengths above what a payload can make.
        EXPECT_LE(length, NUKE_MAX_EXPANSION * XpkPaddedLength(payload.size()));
        const auto chunk = Decode(payload, Bytes(data.begin(), data.begin() + long(start)), uint32_t(length));
        EXPECT_TRUE(chunk && std::equal(chunk->begin(), chunk->end(), data.begin() + long(start)))
            << "chunk at " << start << " length " << length << " stress " << options.stress;
        start += length;
    }
    return packedTotal;
}

// Single chunks of edge sizes, and chunks that find their matches in earlier
// ones (the data repeats every 12000 bytes).
TEST(NukeRoundTrip, ChunkByChunk) {
    for (Shape shape : {Shape::Noise, Shape::LongRuns, Shape::Text, Shape::Image}) {
        for (size_t size : {0, 1, 2, 3, 4, 5, 6, 7, 9, 31, 100, 1000, 65535}) {
            const Bytes data = SampleData(shape, size, uint32_t(size));
            for (bool stress : {false, true}) RoundTrip(data, {size}, {stress, 3});
        }
        std::vector<size_t> chunks = {1, 2, 3000, 1, 17, 20000, 5, 4000, 333, 5999};
        Bytes data = SampleData(shape, 33358, 2);
        for (size_t i = 12000; i < data.size(); ++i) data[i] = data[i - 12000 + (shape == Shape::Noise ? 0 : i % 3)];
        for (bool stress : {false, true}) RoundTrip(data, chunks, {stress, 2});
    }
    EXPECT_LT(RoundTrip(Bytes(65536, 0), {65536}, {}), 65536u / 29);  // a long copy costs 4 bits per 15 bytes
    EXPECT_LT(RoundTrip(SampleData(Shape::Text, 65536, 1), {65536}, {}), 65536u / 3);
}

}  // namespace
}  // namespace yafa::test
