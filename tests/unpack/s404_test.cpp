// S404: hand-built streams with known results, each limit and its reason,
// round trips of our packer, and the frame reader.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "format/big_endian.h"
#include "format/s404_format.h"
#include "s404_packer.h"
#include "support/sample_data.h"
#include "support/status_print.h"
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
        for (size_t k = words; k-- > 0;) AppendU16BE(p, get(fb + 16 * k, 16));
        AppendU16BE(p, offsetBits);
        AppendU16BE(p, (get(0, fb) << (16 - fb)) | firstLow);
        packedEnd = uint32_t(p.size());
        AppendU16BE(p, uint32_t(fb));
        return p;
    }
};

struct Decoded {
    Status status;
    Bytes out;
};

Decoded Decode(const Stream& s, size_t size, uint32_t offsetBits = 8, uint32_t firstLow = 0) {
    uint32_t end = 0;
    const Bytes p = s.Build(offsetBits, end, firstLow);
    Bytes out(size);
    const Status status = DecodeS404(p, end, out);
    return {status, out};
}

TEST(S404Examples, LengthAndOffsetArithmetic) {
    // 'x', 'y', then 550 bytes at offset 1: value 255, then bytes 255, 17.
    Stream s;
    s.Put('x', 9).Put('y', 9).Put(287, 9).Put(7, 3).Put(255, 8).Put(17, 8).Put(0x21, 7);
    Bytes expect(552);
    for (size_t j = 0; j < 552; ++j) expect[j] = (551 - j) % 2 ? 'y' : 'x';
    EXPECT_EQ(Decode(s, 552).out, expect);
    // Value 254: 277 bytes and no extension byte; the literal after it is read as such.
    Stream t;
    t.Put('q', 9).Put(287, 9).Put(6, 3).Put(0x20, 7).Put('z', 9);
    Bytes expect2(279, 'q');
    expect2[0] = 'z';
    EXPECT_EQ(Decode(t, 279).out, expect2);
    // Offset 0 repeats the byte above: a short match (code 324, near 0) and a
    // medium match (s = 0x20).
    Stream z;
    z.Put(7, 9).Put(324, 9).Put(0, 3).Put(9, 9).Put(290, 9).Put(0x20, 6);
    Bytes zeros(15, 9);
    std::fill(zeros.begin() + 10, zeros.end(), 7);
    EXPECT_EQ(Decode(z, 15).out, zeros);
    // Nine valid bits; low bit 0 of the first word lands on bit 9 of the
    // second. With no valid bits the whole first word is ORed in.
    EXPECT_EQ(Decode(Stream().Put(0x41, 9).Put(0x42, 9).Put(0, 7), 2, 8, 0x0001).out, (Bytes{0x46, 0x41}));
    EXPECT_EQ(Decode(Stream().Put(0x41, 9).Put(0, 7), 1, 8, 0x0100).out, (Bytes{0x43}));
    // Decoding stops when the output is full: the match behind the literal
    // would reach outside, and is never read. An empty frame reads nothing.
    EXPECT_EQ(Decode(Stream().Put('a', 9).Put(384 | 0x1F, 9).Put(1, 1).Put(0xFFFF, 16).Put(0xFFFF, 16), 1).out,
              (Bytes{'a'}));
    EXPECT_EQ(DecodeS404({}, 0, {}), Status::Ok);
}

// Each limit of the stream and the reason it fails with.
TEST(S404Limits, EachLimitHasItsReason) {
    const Stream lit = Stream().Put('a', 9);
    const struct {
        const char* name;
        Stream s;
        size_t size;
        uint32_t offsetBits;
        Status status;
    } cases[] = {
        {"offset width 5", lit, 1, 5, Status::S404OffsetWidthInvalid},
        {"offset width 17", lit, 1, 17, Status::S404OffsetWidthInvalid},
        {"runs out of words", lit, 2, 8, Status::PackedDataEndsEarly},
        {"offset 1 with 1 byte made", Stream(lit).Put(384 | 0x10, 9).Put(1, 1), 3, 8, Status::BackReferenceBeforeStart},
        {"3 bytes into 2", Stream(lit).Put(384 | 0x50, 9).Put(0, 1), 3, 8, Status::OutputOverrun},
        {"run longer than the frame", Stream().Put(318, 9).Put(0, 4), 13, 8, Status::OutputOverrun},
        {"long match extended past the frame",
         Stream(lit).Put(287, 9).Put(7, 3).Put(255, 8).Put(255, 8).Put(0x20, 7), 300, 8, Status::OutputOverrun},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.s, c.size, c.offsetBits).status, c.status) << c.name;
    Bytes out(1), p = {0, 8, 0, 0, 0, 9};
    EXPECT_EQ(DecodeS404(p, 3, out), Status::S404LastWordOutsideData);  // packedEnd below 4
    EXPECT_EQ(DecodeS404(p, 5, out), Status::S404LastWordOutsideData);  // last word past the data
}

// Round trips of our packer, plain and in stress mode, which over these
// seeds reaches every code and every offset width from 6 to 16 bits; and
// upper bounds on packed size, far above what the packer reaches but well
// below what a literal-only stream would need.
TEST(S404RoundTrip, EveryShapeSizeAndSeed) {
    auto roundTrips = [](const Bytes& data, encode::PackOptions options) {
        const Bytes frame = encode::PackS404(data, options);
        const uint32_t packedEnd = LoadU32BE(frame.data() + 12);
        EXPECT_TRUE(std::memcmp(frame.data(), kS404Tag, 4) == 0 && LoadU32BE(frame.data() + 8) == data.size());
        // The reader refuses sizes above what the packed data can make.
        EXPECT_LE(data.size(), S404_MAX_EXPANSION * packedEnd);
        Bytes out(data.size());
        EXPECT_TRUE(DecodeS404(Bytes(frame.begin() + 16, frame.end()), packedEnd, out) == Status::Ok && out == data)
            << data.size() << " bytes, seed " << options.seed << (options.stress ? ", stress" : "");
        return frame.size() - 16;
    };
    for (Shape shape : {Shape::Noise, Shape::LongRuns, Shape::Text, Shape::Image, Shape::Blocks})
        for (size_t size : {0, 1, 2, 3, 13, 14, 15, 45, 46, 545, 4099, 70000})
            for (bool stress : {false, true}) roundTrips(SampleData(shape, size, uint32_t(31 + size)), {stress, 1});
    for (uint32_t seed = 1; seed <= 44; ++seed) roundTrips(SampleData(Shape::Blocks, 30000, seed), {true, seed});
    const std::pair<Shape, double> limits[] = {{Shape::LongRuns, 0.02}, {Shape::Text, 0.5}, {Shape::Image, 0.6}};
    for (const auto& [shape, ratio] : limits) EXPECT_LT(roundTrips(SampleData(shape, 50000, 5), {}), ratio * 50000);
    // Long runs come close to the expansion bound, which they must not pass.
    roundTrips(Bytes(200000, 7), {});
}

// The frame reader: header, the packed data read before anything is sized
// from unpackedSize, and the frame's bounds.
TEST(S404Unpack, ReadsThePackedDataBeforeSizingTheOutput) {
    const Bytes data = SampleData(Shape::Text, 5000, 3);
    const Bytes frame = encode::PackS404(data, {true, 9});
    const auto n = uint32_t(frame.size());
    auto unpack = [](Bytes stored, size_t fileBytes, uint64_t storedLength, uint32_t maxUnpacked, Bytes* out = nullptr) {
        stored.resize(fileBytes);
        MemorySource source(std::span<const uint8_t>(stored).subspan(4));
        UnpackedFrame f;
        const Status status = UnpackS404(source, storedLength, maxUnpacked, f);
        if (status == Status::Ok && out) out->assign(f.bytes.get(), f.bytes.get() + f.length);
        EXPECT_TRUE(status == Status::Ok || !f.bytes);
        return status;
    };
    Bytes got{1};
    const Bytes empty = encode::PackS404({}, {});
    ASSERT_EQ(unpack(empty, empty.size(), empty.size(), 0, &got), Status::Ok);
    EXPECT_TRUE(got.empty());
    ASSERT_EQ(unpack(frame, n, n, 5000, &got), Status::Ok);
    EXPECT_EQ(got, data);
    // The stored length counts tag and header, so the read may run past the
    // end of the file by those 16 bytes.
    EXPECT_EQ(unpack(frame, n, n + 16, 5000), Status::Ok);
    EXPECT_EQ(unpack(frame, n, n, 4999), Status::FrameLargerThanGeometry);
    EXPECT_EQ(unpack(frame, n - 20, n, 5000), Status::FileEndsInsideFrame);
    for (uint32_t stored : {0u, 5u, 15u, n - 17}) EXPECT_EQ(unpack(frame, n, stored, 5000), Status::S404LastWordOutsideData);
    // An unpackedSize of 1 GiB behind 6 bytes of packed data is refused
    // before anything is allocated for it.
    Bytes huge = {'S', '4', '0', '4'};
    for (uint32_t word : {0u, 1u << 30, 4u}) AppendU32BE(huge, word);
    huge.insert(huge.end(), {0, 8, 0, 0, 0, 0});
    EXPECT_EQ(unpack(huge, huge.size(), huge.size(), UINT32_MAX), Status::UnpackedSizeBeyondPackedData);
    // Exactly as much as 4 packed bytes can make passes that test and fails later.
    StoreU32BE(huge.data() + 8, uint32_t(4 * S404_MAX_EXPANSION));
    EXPECT_EQ(unpack(huge, huge.size(), huge.size(), UINT32_MAX), Status::PackedDataEndsEarly);
}

}  // namespace
}  // namespace yafa::test
