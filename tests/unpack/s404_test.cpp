#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "plugin/host_services.h"
#include "s404_packer.h"
#include "unpack/s404.h"

namespace yafa {
namespace {

using Bytes = std::vector<uint8_t>;

// Code kinds and offset classes a stream used, as seen by the model decoder.
constexpr uint32_t kLiteral = 1, kRun14 = 2, kRun45 = 4, kOffset0 = 8, kFarWrap = 16, kLongExtra = 32,
                   kFirstBitsZero = 64, kFirstOred = 128, kOddEnd = 256,
                   kMatchBase = 512;  // << (3 * matchKind + offsetClass): 4 kinds x near/mid/far

// Slow model of the stream, word by word with a 16-bit view, as the format
// describes it; every limit is checked. Used to cross-check the decoder.
bool ModelDecode(const Bytes& p, uint32_t packedEnd, size_t size, Bytes& out, uint32_t* seen = nullptr) {
    uint32_t dummy = 0;
    uint32_t& f = seen ? *seen : dummy;
    out.assign(size, 0);
    if (size == 0) return true;
    if (packedEnd < 4 || packedEnd + 2ull > p.size()) return false;
    auto word = [&](int64_t at) { return uint32_t(p[at] << 8 | p[at + 1]); };
    int left = word(packedEnd) & 15, ob = int(word(packedEnd - 4));
    uint32_t buf = word(packedEnd - 2);
    int64_t wp = int64_t(packedEnd) - 6;
    if (ob < 6 || ob > 16) return false;
    if (left == 0) f |= kFirstBitsZero;
    if (packedEnd & 1) f |= kOddEnd;
    if ((buf << left) & 0xFFFF) f |= kFirstOred;
    bool ok = true;
    auto bits = [&](int n) -> uint32_t {
        buf &= 0xFFFF;
        if (left < n) {
            if (wp < 0) return ok = false, 0;
            buf = (buf << left) | word(wp), wp -= 2, n -= left, left = 16;
        }
        buf <<= n, left -= n;
        return buf >> 16;
    };
    auto far = [&](uint32_t h, int k) {
        uint32_t v = ((h << (ob - k)) & 0xFFFF) | bits(ob - k);
        if (v + 544 > 0xFFFF) f |= kFarWrap;
        return (v + 544) & 0xFFFF;
    };
    auto nearMid = [&](uint32_t hi, int nearBits, int midBits, bool isNear, int kind, uint32_t& o) {
        o = isNear ? (hi << nearBits | bits(nearBits)) : (hi << midBits | bits(midBits)) + 32;
        f |= kMatchBase << (3 * kind + (isNear ? 0 : 1));
    };
    size_t remaining = size;
    while (remaining > 0 && ok) {
        uint32_t code = bits(9), len = 0, o = 0;
        if (code < 256) {
            out[--remaining] = uint8_t(code), f |= kLiteral;
            continue;
        }
        if (code >= 318 && code < 320) {
            size_t count = ((code & 1) << 4 | bits(4)) + 14;
            f |= count == 14 ? kRun14 : count == 45 ? kRun45 : 0;
            if (count > remaining) return false;
            while (count--) out[--remaining] = uint8_t(bits(8));
            continue;
        }
        if (code >= 384) {
            len = code & 0x40 ? 3 : 2;
            if (code & 0x20) o = far(code & 31, 5), f |= kMatchBase << 2;
            else nearMid(code & 15, 1, 5, code & 0x10, 0, o);
        } else if (code >= 320) {
            len = ((code >> 4) & 3) + 4;
            if (code & 8) o = far(code & 7, 3), f |= kMatchBase << 5;
            else nearMid(code & 3, 3, 7, code & 4, 1, o);
        } else if (code >= 288) {
            len = ((code >> 1) & 15) + 8;
            if (code & 1) o = far(0, 0), f |= kMatchBase << 8;
            else if (uint32_t s = bits(6); s & 0x20) o = s & 31, f |= kMatchBase << 6;
            else nearMid(s & 31, 0, 4, false, 2, o);
        } else {
            uint32_t v = ((code & 31) << 3) | bits(3);
            len = 23 + v;
            while (v == 255 && ok && len <= remaining) len += v = bits(8), f |= kLongExtra;
            uint32_t s = bits(7);
            if (s & 0x40) o = far(s & 63, 6), f |= kMatchBase << 11;
            else if (s & 0x20) o = s & 31, f |= kMatchBase << 9;
            else nearMid(s & 31, 0, 4, false, 3, o);
        }
        if (!ok || len > remaining || o + 1 > size - remaining) return false;
        if (o == 0) f |= kOffset0;
        for (uint32_t i = 0; i < len; ++i, --remaining) out[remaining - 1] = out[remaining + o];
    }
    return ok;
}

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

Bytes Decode(const Stream& s, size_t size, uint32_t offsetBits = 8, uint32_t firstLow = 0, bool* ok = nullptr) {
    uint32_t end = 0;
    const Bytes p = s.Build(offsetBits, end, firstLow);
    Bytes out(size), model;
    const bool good = DecodeS404(p, end, out);
    EXPECT_EQ(good, ModelDecode(p, end, size, model));
    if (ok) *ok = good;
    else EXPECT_TRUE(good);
    return out;
}

TEST(S404Examples, LongMatchContinuationBytes) {
    // 'x', 'y', then 550 bytes at offset 1: value 255, 255, 17.
    Stream s;
    s.Put('x', 9).Put('y', 9).Put(287, 9).Put(7, 3).Put(255, 8).Put(17, 8).Put(0x21, 7);
    Bytes expect(552);
    for (size_t j = 0; j < 552; ++j) expect[j] = (551 - j) % 2 ? 'y' : 'x';
    EXPECT_EQ(Decode(s, 552), expect);
    // Value 254: 277 bytes and no continuation byte; the literal after it
    // must be read as such.
    Stream t;
    t.Put('q', 9).Put(287, 9).Put(6, 3).Put(0x20, 7).Put('z', 9);
    Bytes expect2(279, 'q');
    expect2[0] = 'z';
    EXPECT_EQ(Decode(t, 279), expect2);
}

TEST(S404Examples, LiteralRunsOf14And45) {
    Stream s;
    s.Put(318, 9).Put(0, 4);
    for (int i = 1; i <= 14; ++i) s.Put(i, 8);
    s.Put(319, 9).Put(15, 4);
    for (int i = 101; i <= 145; ++i) s.Put(i, 8);
    Bytes expect;
    for (int i = 145; i >= 101; --i) expect.push_back(uint8_t(i));
    for (int i = 14; i >= 1; --i) expect.push_back(uint8_t(i));
    EXPECT_EQ(Decode(s, 59), expect);
}

TEST(S404Examples, OffsetZeroRepeatsTheByteAbove) {
    // Short match (code 324, near 0) and even medium match (s = 0x20).
    Stream s;
    s.Put(7, 9).Put(324, 9).Put(0, 3).Put(9, 9).Put(290, 9).Put(0x20, 6);
    Bytes expect(15, 9);
    std::fill(expect.begin() + 10, expect.end(), 7);
    EXPECT_EQ(Decode(s, 15), expect);
}

TEST(S404Examples, FarOffsetWrapsTo543With16Bits) {
    // 544 literals, then an 8-byte match with far value 65535: offset 543.
    Stream s;
    Bytes expect(552);
    for (int k = 0; k < 544; ++k) s.Put(k * 7 & 255, 9), expect[551 - k] = uint8_t(k * 7);
    s.Put(289, 9).Put(0xFFFF, 16);
    for (int j = 0; j < 8; ++j) expect[7 - j] = expect[551 - j];
    EXPECT_EQ(Decode(s, 552, 16), expect);
}

TEST(S404Examples, FirstWordLowBitsAreOredIntoTheNextWord) {
    // Nine valid bits; low bit 0 of the first word lands on bit 9 of the second.
    Stream s;
    s.Put(0x41, 9).Put(0x42, 9).Put(0, 7);
    EXPECT_EQ(Decode(s, 2, 8, 0x0001), (Bytes{0x46, 0x41}));
    // No valid bits: the whole first word is ORed in.
    Stream t;
    t.Put(0x41, 9).Put(0, 7);
    EXPECT_EQ(Decode(t, 1, 8, 0x0100), (Bytes{0x43}));
}

TEST(S404Examples, StopsWhenTheOutputIsFull) {
    // The match after the literal would reach outside; it is never read.
    Stream s;
    s.Put('a', 9).Put(384 | 0x1F, 9).Put(1, 1).Put(0xFFFF, 16).Put(0xFFFF, 16);
    EXPECT_EQ(Decode(s, 1), (Bytes{'a'}));
    Bytes none;
    EXPECT_TRUE(DecodeS404({}, 0, none));  // empty frame: nothing is read
}

TEST(S404Limits, BrokenStreamsFail) {
    auto fails = [](const Stream& s, size_t size, uint32_t offsetBits = 8) {
        bool ok = true;
        Decode(s, size, offsetBits, 0, &ok);
        return !ok;
    };
    Stream lit;
    lit.Put('a', 9);
    EXPECT_TRUE(fails(lit, 1, 5));
    EXPECT_TRUE(fails(lit, 1, 17));
    EXPECT_TRUE(fails(lit, 2));                                          // runs out of words
    EXPECT_TRUE(fails(Stream(lit).Put(384 | 0x10, 9).Put(1, 1), 3));     // offset 1 with 1 byte made
    EXPECT_TRUE(fails(Stream(lit).Put(384 | 0x50, 9).Put(0, 1), 3));     // 3 bytes into 2
    EXPECT_TRUE(fails(Stream().Put(318, 9).Put(0, 4), 13));              // run longer than the frame
    EXPECT_TRUE(fails(Stream(lit).Put(287, 9).Put(7, 3).Put(255, 8).Put(255, 8).Put(0x20, 7), 300));
    Bytes out(1), p = {0, 8, 0, 0, 0, 9};
    EXPECT_FALSE(DecodeS404(p, 3, out));  // packedEnd below 4
    EXPECT_FALSE(DecodeS404(p, 5, out));  // last word past the data
}

// Test inputs of several kinds; `kind` picks the shape.
Bytes MakeInput(int kind, size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes d;
    static const char* const kWords[] = {"frame ", "delta ", "plane ", "the ", "of ", "palette ", "\n", "row, "};
    while (d.size() < size) {
        switch (kind) {
        case 0: d.push_back(uint8_t(rng())); break;                                 // noise
        case 1: d.insert(d.end(), 1 + rng() % 1500, uint8_t(rng() % 3)); break;     // long runs
        case 2: {
            const char* w = kWords[rng() % 8];
            d.insert(d.end(), w, w + std::strlen(w));
            break;
        }
        case 3: {  // image rows: gradients, repeats of the row above, a little noise
            const size_t w = 320, y = d.size() / w;
            for (size_t x = 0; x < w; ++x)
                d.push_back(d.size() >= w && rng() % 4 ? d[d.size() - w] : uint8_t((x / 8 + y) ^ (rng() % 16 == 0)));
            break;
        }
        default: {  // random blocks repeated from near and far back, some long
            const size_t len = 2 + rng() % (rng() % 4 ? 40 : 700);
            if (d.size() < 64 || rng() % 5 == 0) {
                for (size_t i = 0; i < len; ++i) d.push_back(uint8_t(rng()));
            } else {
                const size_t from = d.size() - 1 - rng() % std::min<size_t>(d.size(), rng() % 2 ? 40 : 70000);
                for (size_t i = 0; i < len; ++i) d.push_back(d[from + i]);
            }
        }
        }
    }
    d.resize(size);
    return d;
}

struct Unpacked {
    Bytes packed;
    uint32_t packedEnd;
    bool ok;
    Bytes out;
};

Unpacked PackAndDecode(const Bytes& data, encode::PackOptions opt, uint32_t* seen = nullptr) {
    const Bytes frame = encode::PackS404(data, opt);
    EXPECT_GE(frame.size(), 22u);
    EXPECT_EQ(std::memcmp(frame.data(), "S404", 4), 0);
    const auto u32 = [&](size_t at) { return uint32_t(frame[at] << 24 | frame[at + 1] << 16 | frame[at + 2] << 8 | frame[at + 3]); };
    EXPECT_EQ(u32(8), data.size());
    Unpacked u{Bytes(frame.begin() + 16, frame.end()), u32(12), false, Bytes(data.size())};
    u.ok = DecodeS404(u.packed, u.packedEnd, u.out);
    Bytes model;
    EXPECT_TRUE(ModelDecode(u.packed, u.packedEnd, data.size(), model, seen));
    EXPECT_EQ(model, data);
    return u;
}

TEST(S404RoundTrip, EveryKindSizeAndSeed) {
    const size_t sizes[] = {0, 1, 2, 3, 4, 5, 7, 13, 14, 15, 16, 17, 31, 45, 46, 100, 545, 1000, 4099, 70000, 200000};
    for (int kind = 0; kind < 5; ++kind) {
        for (size_t size : sizes) {
            if (size > 100000 && kind != 3) continue;  // one large image-like frame is enough
            for (uint32_t seed = 1; seed <= (size > 50000 ? 1u : 3u); ++seed) {
                const Bytes data = MakeInput(kind, size, seed * 31 + kind);
                for (bool stress : {false, true}) {
                    const Unpacked u = PackAndDecode(data, {stress, seed});
                    ASSERT_TRUE(u.ok && u.out == data) << "kind " << kind << " size " << size << " seed " << seed
                                                       << " stress " << stress;
                }
            }
        }
    }
}

TEST(S404RoundTrip, PlainPackingCompresses) {
    // Upper bounds on packed size, far above what the packer reaches but
    // well below what a literal-only stream would need.
    const std::pair<int, double> limits[] = {{1, 0.02}, {2, 0.5}, {3, 0.6}, {4, 0.6}};
    for (const auto& [kind, ratio] : limits) {
        const Bytes data = MakeInput(kind, 50000, 5);
        EXPECT_LT(PackAndDecode(data, {}).packed.size(), ratio * data.size()) << "kind " << kind;
    }
}

TEST(S404RoundTrip, StressReachesEveryCodeAndOffsetWidth) {
    uint32_t seen = 0;
    std::vector<bool> widths(17);
    for (uint32_t seed = 1; seed <= 44; ++seed) {
        const Unpacked u = PackAndDecode(MakeInput(4, 30000, seed), {true, seed}, &seen);
        widths[u.packed[u.packedEnd - 3]] = true;
        ASSERT_EQ(u.out, MakeInput(4, 30000, seed));
    }
    EXPECT_EQ(seen, (kMatchBase << 12) - 1);
    for (int b = 6; b <= 16; ++b) EXPECT_TRUE(widths[b]) << b;
}

// Hostile streams: the decoder must agree with the model, which checks every
// limit, and must never touch memory outside the two buffers.
TEST(S404Hostile, TruncatedAndCorruptedStreamsAgreeWithTheModel) {
    auto check = [](const Bytes& p, uint32_t end, size_t size) {
        Bytes out(size), model;
        const bool ok = DecodeS404(p, end, out);
        ASSERT_EQ(ok, ModelDecode(p, end, size, model));
        if (ok) {
            ASSERT_EQ(out, model);
        }
    };
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        const Bytes data = MakeInput(int(seed % 5), 600 + seed * 100, seed);
        const Unpacked u = PackAndDecode(data, {seed % 2 == 0, seed});
        for (size_t cut = 0; cut <= u.packed.size(); ++cut) {
            check(Bytes(u.packed.begin(), u.packed.begin() + cut), u.packedEnd, data.size());
            if (cut <= u.packedEnd)  // words missing at the low end
                check(Bytes(u.packed.begin() + cut, u.packed.end()), u.packedEnd - uint32_t(cut), data.size());
        }
        std::mt19937 rng(seed);
        for (int trial = 0; trial < 3000; ++trial) {
            Bytes p = u.packed;
            for (int flips = 1 + trial % 4; flips > 0; --flips) p[rng() % p.size()] ^= uint8_t(1 + rng() % 255);
            check(p, u.packedEnd, data.size() + (trial % 3 == 0 ? rng() % 64 : 0));
        }
    }
}

// UnpackS404 over an in-memory file.
struct MemoryFile {
    static inline Bytes data;
    static inline size_t pos = 0;
    static int32_t Read(HostFile, void* buffer, int32_t length) {
        const size_t n = std::min<size_t>(size_t(std::max(length, 0)), data.size() - pos);
        std::memcpy(buffer, data.data() + pos, n);
        pos += n;
        return int32_t(n);
    }
    static int32_t ReadByte(HostFile) { return pos < data.size() ? data[pos++] : -1; }
};

TEST(S404Unpack, ReadsTheFrameAndRefusesOversizedOutput) {
    HostFileApi files{};
    files.read = MemoryFile::Read;
    files.readByte = MemoryFile::ReadByte;
    HostBase host{};
    host.fileApi = &files;
    SetHost(&host);
    const Bytes data = MakeInput(2, 5000, 3);
    Bytes frame = encode::PackS404({}, {});
    auto unpack = [&](size_t fileBytes, uint32_t stored, uint32_t maxUnpacked, UnpackedFrame& f) {
        MemoryFile::data.assign(frame.begin() + 4, frame.begin() + fileBytes);
        MemoryFile::pos = 0;
        return UnpackS404(HostFile(&files), stored, f, maxUnpacked);
    };
    UnpackedFrame e;
    ASSERT_EQ(unpack(frame.size(), uint32_t(frame.size()), 0, e), 1);
    EXPECT_EQ(e.length, 0u);
    frame = encode::PackS404(data, {true, 9});
    UnpackedFrame f;
    ASSERT_EQ(unpack(frame.size(), uint32_t(frame.size()), 5000, f), 1);
    ASSERT_EQ(f.length, 5000u);
    EXPECT_EQ(Bytes(f.bytes.get(), f.bytes.get() + 5000), data);
    UnpackedFrame g;
    EXPECT_EQ(unpack(frame.size(), uint32_t(frame.size()), 4999, g), 0);
    EXPECT_EQ(unpack(frame.size() - 20, uint32_t(frame.size()), 5000, g), 0);  // file ends early
    for (uint32_t stored : {0u, 5u, 15u, 16u, 0xFFFFFFF0u}) EXPECT_EQ(unpack(frame.size(), stored, 5000, g), 0);
    EXPECT_FALSE(g.bytes);
    SetHost(nullptr);
}

}  // namespace
}  // namespace yafa
