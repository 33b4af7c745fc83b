// S404: hand-built streams with known results, broken streams, round trips
// of our packer, and the frame reader. Damaged streams are the fuzzers' part.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "s404_packer.h"
#include "support/hosted_file.h"
#include "support/sample_data.h"
#include "unpack/s404.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Hand-built streams: bits in reading order, laid out the way the decoder
// finds them. `firstLow` is ORed into the first word's unused bits.
struct Stream {
    std::vector<bool> bits;
    Stream& Put(uint32_t v, int n) {
        while (n--) bits.push_back((v >> n) & 1);
        return *this;
    }
    Bytes Build(uint32_t offsetBits, uint32_t& packedEnd, uint32_t firstLow = 0) const {
        const size_t fb = bits.size() % 16, words = bits.size() / 16;
        auto get = [&](size_t at, size_t n) {
            uint32_t v = 0;
            while (n--) v = v << 1 | bits[at++];
            return v;
        };
        Bytes p;
        auto put16 = [&](uint32_t v) { p.insert(p.end(), {uint8_t(v >> 8), uint8_t(v)}); };
        for (size_t k = words; k-- > 0;) put16(get(fb + 16 * k, 16));
        put16(offsetBits);
        put16((get(0, fb) << (16 - fb)) | firstLow);
        packedEnd = uint32_t(p.size());
        put16(uint32_t(fb));
        return p;
    }
};

// The output, or {0xEE} when decoding fails.
Bytes Decode(const Stream& s, size_t size, uint32_t offsetBits = 8, uint32_t firstLow = 0) {
    uint32_t end = 0;
    const Bytes p = s.Build(offsetBits, end, firstLow);
    Bytes out(size);
    return DecodeS404(p, end, out) ? out : Bytes{0xEE};
}

TEST(S404Examples, LengthAndOffsetArithmetic) {
    // 'x', 'y', then 550 bytes at offset 1: value 255, then bytes 255, 17.
    Stream s;
    s.Put('x', 9).Put('y', 9).Put(287, 9).Put(7, 3).Put(255, 8).Put(17, 8).Put(0x21, 7);
    Bytes expect(552);
    for (size_t j = 0; j < 552; ++j) expect[j] = (551 - j) % 2 ? 'y' : 'x';
    EXPECT_EQ(Decode(s, 552), expect);
    // Value 254: 277 bytes and no extension byte; the literal after it is read as such.
    Stream t;
    t.Put('q', 9).Put(287, 9).Put(6, 3).Put(0x20, 7).Put('z', 9);
    Bytes expect2(279, 'q');
    expect2[0] = 'z';
    EXPECT_EQ(Decode(t, 279), expect2);
    // Literal runs of 14 and 45 bytes.
    Stream r;
    r.Put(318, 9).Put(0, 4);
    for (int i = 1; i <= 14; ++i) r.Put(i, 8);
    r.Put(319, 9).Put(15, 4);
    for (int i = 101; i <= 145; ++i) r.Put(i, 8);
    Bytes runs;
    for (int i = 145; i >= 101; --i) runs.push_back(uint8_t(i));
    for (int i = 14; i >= 1; --i) runs.push_back(uint8_t(i));
    EXPECT_EQ(Decode(r, 59), runs);
    // Offset 0 repeats the byte above: a short match (code 324, near 0) and a
    // medium match (s = 0x20).
    Stream z;
    z.Put(7, 9).Put(324, 9).Put(0, 3).Put(9, 9).Put(290, 9).Put(0x20, 6);
    Bytes zeros(15, 9);
    std::fill(zeros.begin() + 10, zeros.end(), 7);
    EXPECT_EQ(Decode(z, 15), zeros);
    // 544 literals, then an 8-byte match with far value 65535: offset 543.
    Stream f;
    Bytes wrap(552);
    for (int k = 0; k < 544; ++k) f.Put(k * 7 & 255, 9), wrap[551 - k] = uint8_t(k * 7);
    f.Put(289, 9).Put(0xFFFF, 16);
    for (int j = 0; j < 8; ++j) wrap[7 - j] = wrap[551 - j];
    EXPECT_EQ(Decode(f, 552, 16), wrap);
}

TEST(S404Examples, FirstWordLowBitsAreOredIntoTheNextWord) {
    // Nine valid bits; low bit 0 of the first word lands on bit 9 of the second.
    EXPECT_EQ(Decode(Stream().Put(0x41, 9).Put(0x42, 9).Put(0, 7), 2, 8, 0x0001), (Bytes{0x46, 0x41}));
    // No valid bits: the whole first word is ORed in.
    EXPECT_EQ(Decode(Stream().Put(0x41, 9).Put(0, 7), 1, 8, 0x0100), (Bytes{0x43}));
}

TEST(S404Examples, StopsWhenTheOutputIsFull) {
    // The match after the literal would reach outside; it is never read.
    EXPECT_EQ(Decode(Stream().Put('a', 9).Put(384 | 0x1F, 9).Put(1, 1).Put(0xFFFF, 16).Put(0xFFFF, 16), 1),
              (Bytes{'a'}));
    Bytes none;
    EXPECT_TRUE(DecodeS404({}, 0, none));  // empty frame: nothing is read
}

TEST(S404Limits, BrokenStreamsFail) {
    const Stream lit = Stream().Put('a', 9);
    const struct {
        Stream s;
        size_t size;
        uint32_t offsetBits;
    } cases[] = {
        {lit, 1, 5},
        {lit, 1, 17},
        {lit, 2, 8},                                    // runs out of words
        {Stream(lit).Put(384 | 0x10, 9).Put(1, 1), 3, 8},  // offset 1 with 1 byte made
        {Stream(lit).Put(384 | 0x50, 9).Put(0, 1), 3, 8},  // 3 bytes into 2
        {Stream().Put(318, 9).Put(0, 4), 13, 8},         // run longer than the frame
        {Stream(lit).Put(287, 9).Put(7, 3).Put(255, 8).Put(255, 8).Put(0x20, 7), 300, 8},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.s, c.size, c.offsetBits), Bytes{0xEE}) << c.size;
    Bytes out(1), p = {0, 8, 0, 0, 0, 9};
    EXPECT_FALSE(DecodeS404(p, 3, out));  // packedEnd below 4
    EXPECT_FALSE(DecodeS404(p, 5, out));  // last word past the data
}

struct Packed {
    Bytes stream;  // the packed data after the 16-byte frame header
    uint32_t packedEnd;
};

Packed Pack(const Bytes& data, encode::PackOptions options) {
    const Bytes frame = encode::PackS404(data, options);
    EXPECT_EQ(std::memcmp(frame.data(), "S404", 4), 0);
    const auto u32 = [&](size_t at) { return uint32_t(frame[at] << 24 | frame[at + 1] << 16 | frame[at + 2] << 8 | frame[at + 3]); };
    EXPECT_EQ(u32(8), data.size());
    return {Bytes(frame.begin() + 16, frame.end()), u32(12)};
}

bool RoundTrips(const Bytes& data, encode::PackOptions options, Packed* packed = nullptr) {
    const Packed p = Pack(data, options);
    Bytes out(data.size());
    if (packed) *packed = p;
    return DecodeS404(p.stream, p.packedEnd, out) && out == data;
}

TEST(S404RoundTrip, EveryShapeSizeAndSeed) {
    const size_t sizes[] = {0, 1, 2, 3, 4, 5, 7, 13, 14, 15, 16, 17, 31, 45, 46, 100, 545, 1000, 4099, 70000, 200000};
    for (Shape shape : {Shape::Noise, Shape::LongRuns, Shape::Text, Shape::Image, Shape::Blocks})
        for (size_t size : sizes) {
            if (size > 100000 && shape != Shape::Image) continue;  // one large image-like frame is enough
            for (uint32_t seed = 1; seed <= (size > 50000 ? 1u : 2u); ++seed) {
                const Bytes data = SampleData(shape, size, seed * 31 + size);
                for (bool stress : {false, true})
                    ASSERT_TRUE(RoundTrips(data, {stress, seed}))
                        << "shape " << int(shape) << " size " << size << " seed " << seed << " stress " << stress;
            }
        }
    // Upper bounds on packed size, far above what the packer reaches but well
    // below what a literal-only stream would need.
    const std::pair<Shape, double> limits[] = {{Shape::LongRuns, 0.02}, {Shape::Text, 0.5}, {Shape::Image, 0.6}};
    for (const auto& [shape, ratio] : limits)
        EXPECT_LT(Pack(SampleData(shape, 50000, 5), {}).stream.size(), ratio * 50000) << int(shape);
}

// Stress mode reaches every code and every offset width from 6 to 16 bits
// over these seeds.
TEST(S404RoundTrip, StressSeeds) {
    for (uint32_t seed = 1; seed <= 44; ++seed) ASSERT_TRUE(RoundTrips(SampleData(Shape::Blocks, 30000, seed), {true, seed})) << seed;
}

TEST(S404Unpack, ReadsTheFrameAndRefusesOversizedOutput) {
    const Bytes data = SampleData(Shape::Text, 5000, 3);
    auto unpack = [](const Bytes& frame, size_t fileBytes, uint32_t stored, uint32_t maxUnpacked, Bytes* out) {
        HostedFile file(Bytes(frame.begin(), frame.begin() + long(fileBytes)));
        uint8_t tag[4];
        HostRead(file.get(), tag, 4);
        UnpackedFrame f;
        const int ok = UnpackS404(file.get(), stored, f, maxUnpacked);
        if (ok && out) out->assign(f.bytes.get(), f.bytes.get() + f.length);
        EXPECT_TRUE(ok || !f.bytes);
        return ok;
    };
    const Bytes empty = encode::PackS404({}, {});
    Bytes got{1};
    ASSERT_EQ(unpack(empty, empty.size(), uint32_t(empty.size()), 0, &got), 1);
    EXPECT_TRUE(got.empty());
    const Bytes frame = encode::PackS404(data, {true, 9});
    const auto n = uint32_t(frame.size());
    ASSERT_EQ(unpack(frame, n, n, 5000, &got), 1);
    EXPECT_EQ(got, data);
    EXPECT_EQ(unpack(frame, n, n, 4999, nullptr), 0);
    EXPECT_EQ(unpack(frame, n - 20, n, 5000, nullptr), 0);  // file ends early
    for (uint32_t stored : {0u, 5u, 15u, 16u, 0xFFFFFFF0u}) EXPECT_EQ(unpack(frame, n, stored, 5000, nullptr), 0);
}

}  // namespace
}  // namespace yafa::test
