// FAST chunks: hand-worked payloads, each limit and its reason, and round
// trips of our packer on exactly sized buffers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "method_packers.h"
#include "support/sample_data.h"
#include "support/status_print.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Decodes `payload` behind `prefix` into a heap buffer of exactly prefix +
// UL + slack bytes, from a heap copy of exactly PL4 bytes, so that any stray
// access is a sanitizer finding. The output holds prefix, chunk and slack;
// it is empty on failure, when `status` (if given) receives the reason.
Bytes Decode(const Bytes& payload, const Bytes& prefix, uint32_t ul, Status* status = nullptr) {
    const size_t pl4 = (payload.size() + 3) & ~size_t{3};
    auto* packed = static_cast<uint8_t*>(std::calloc(pl4 ? pl4 : 1, 1));
    if (!payload.empty()) std::memcpy(packed, payload.data(), payload.size());
    const size_t outSize = prefix.size() + ul + XPK_OUTPUT_SLACK;
    auto* output = static_cast<uint8_t*>(std::calloc(outSize, 1));
    if (!prefix.empty()) std::memcpy(output, prefix.data(), prefix.size());
    const XpkChunkJob job{packed, uint32_t(payload.size()), output, uint32_t(prefix.size()), ul};
    const Status s = DecodeFastChunk(job);
    if (status) *status = s;
    Bytes out = s == Status::Ok ? Bytes(output, output + outSize) : Bytes{};
    std::free(packed);
    std::free(output);
    return out;
}

Bytes Part(const Bytes& d, size_t from, size_t n) { return Bytes(d.begin() + long(from), d.begin() + long(from + n)); }
Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(FastExamples, ControlAndMatchWords) {
    // 14 literals, then D = 14 length 3, then D = 1 n = 0: 18 repeats; the
    // streams meet after the words at 14, 16, 18.
    Bytes p = Str("ABCDEFGHIJKLMN");
    p.insert(p.end(), {0x00, 0x10, 0x00, 0xEF, 0x00, 0x03});
    EXPECT_EQ(Part(Decode(p, {}, 35), 0, 35), Str("ABCDEFGHIJKLMNABC" + std::string(18, 'C')));
    // Match word 0xFFFF (D = 4095, length 3) as the first token copies from
    // the previous chunk; then 15 literals, PL = 19.
    Bytes prefix(4095);
    for (size_t i = 0; i < prefix.size(); ++i) prefix[i] = uint8_t(i * 7 + 1);
    Bytes q = Str("abcdefghijklmno");
    q.insert(q.end(), {0xFF, 0xFF, 0x80, 0x00});
    EXPECT_EQ(Part(Decode(q, prefix, 18), 4095, 18), Bytes({1, 8, 15, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i',
                                                            'j', 'k', 'l', 'm', 'n', 'o'}));
    // Five literals; the other eleven tokens of the only control word read
    // bytes 5..15 (padding and the control word itself) into the slack.
    const Bytes r = {'v', 'w', 'x', 'y', 'z', 9, 8, 7, 6, 5, 4, 3, 2, 1, 0x00, 0x00};
    const Bytes out = Decode(r, {}, 5);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(Part(out, 0, 16), r);
    EXPECT_EQ(out[16], 0);
    // PL = 10: twelve literals take bytes 0..11, the control word and the two
    // padding bytes among them; the four trailing copies read their words
    // from bytes 6..0 and repeat the last byte into the slack.
    const Bytes t = {0x00, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x0F};
    const Bytes padded = Decode(t, {}, 12);
    ASSERT_FALSE(padded.empty());
    EXPECT_EQ(Part(padded, 0, 25), Bytes({0x00, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x0F, 0, 0, 0, 0,
                                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // A trailing copy of distance 0 changes nothing and is let through.
    EXPECT_FALSE(Decode({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x00, 0x0F, 0x80, 0x00}, Bytes(8), 0).empty());
}

TEST(FastLimits, EachLimitHasItsReason) {
    Bytes manyRuns;  // 60 words of 16 matches D = 1, length 18: > UL + slack
    for (int w = 0; w < 60; ++w) {
        for (int k = 0; k < 16; ++k) manyRuns.insert(manyRuns.end(), {0x00, 0x10});
        manyRuns.insert(manyRuns.end(), {0xFF, 0xFF});
    }
    const struct {
        const char* name;
        Bytes payload;
        size_t prefix;
        uint32_t ul;
        Status status;
    } cases[] = {
        {"empty payload", {}, 0, 0, Status::PackedDataEndsEarly},
        {"one byte", {0x00}, 0, 0, Status::PackedDataEndsEarly},
        {"literals past PL4", {0x00, 0x00}, 0, 0, Status::PackedDataEndsEarly},
        {"match word below 0", {0x80, 0x00}, 4, 0, Status::PackedDataEndsEarly},
        {"distance before output start", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x00, 0x5F, 0x80, 0x00}, 4, 3,
         Status::BackReferenceBeforeStart},
        {"distance 0 inside the chunk", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x00, 0x0F, 0x80, 0x00}, 8, 3,
         Status::BackReferenceDistanceZero},
        {"writes past the slack", manyRuns, 1, 0, Status::OutputOverrun},
        {"stops short of its length", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0x00, 0x00}, 0, 17,
         Status::OutputShortOfLength},
    };
    for (const auto& c : cases) {
        Status status = Status::Ok;
        EXPECT_TRUE(Decode(c.payload, Bytes(c.prefix, 0x55), c.ul, &status).empty()) << c.name;
        EXPECT_EQ(status, c.status) << c.name;
    }
}

void ExpectRoundTrip(const Bytes& stream, size_t start, size_t n, const encode::PackOptions& options) {
    const Bytes payload = encode::PackFastChunk(stream, start, n, options);
    // The reader refuses lengths above what a payload can make.
    ASSERT_LE(n, FAST_MAX_EXPANSION * XpkPaddedLength(payload.size()));
    const Bytes out = Decode(payload, Part(stream, 0, start), uint32_t(n));
    ASSERT_FALSE(out.empty()) << "start " << start << " length " << n << " stress " << options.stress;
    ASSERT_EQ(Part(out, 0, start + n), Part(stream, 0, start + n)) << "start " << start << " length " << n;
}

// Large chunks go through the container tests.
TEST(FastRoundTrip, EveryShortChunkLength) {
    for (Shape shape : {Shape::Noise, Shape::Runs, Shape::Text, Shape::Repeats}) {
        const Bytes stream = SampleData(shape, 5000, 11);
        for (size_t n = 0; n <= 300; ++n) {
            ExpectRoundTrip(stream, 0, n, {false, 1});
            ExpectRoundTrip(stream, 4200, n, {n % 2 == 0, uint32_t(n)});
        }
    }
    const Bytes noise = SampleData(Shape::Noise, 60000, 5);  // grows by the control bits only
    EXPECT_LE(encode::PackFastChunk(noise, 0, noise.size()).size(), noise.size() * 9 / 8 + 2);
}

// Stress mode reaches D = 4095, lengths 3 and 18, D = 1, D < length, sources
// in the previous chunk, 16 literals in a row and trailing copies over these seeds.
TEST(FastRoundTrip, StressSeeds) {
    for (uint32_t seed = 1; seed <= 8; ++seed)
        ExpectRoundTrip(SampleData(seed % 2 ? Shape::Repeats : Shape::Runs, 12000, seed), 6000, 3000 + seed, {true, seed});
}

}  // namespace
}  // namespace yafa::test
