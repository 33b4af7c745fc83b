// The XPK container: hand-made streams with known results, round trips of
// the writer through the reader for every method, and broken streams.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/stand_in_host.h"
#include "plugin/host_services.h"
#include "unpack/xpk.h"
#include "xpk_writer.h"

std::vector<uint8_t> MakeSampleData(int kind, size_t n, uint32_t seed);  // fast_test.cpp

namespace {

using Bytes = std::vector<uint8_t>;
using yafa::encode::XpkMethod;
using yafa::encode::XpkOptions;

struct Unpacked {
    int ok;
    Bytes bytes;
    bool null;         // frame.bytes was null
    bool untouched;    // on failure: frame kept what it held before
    int32_t position;  // file position after the call
};

// Serves `stored` (a whole stored frame, tag first) from the stand-in host
// and unpacks it the way frame decoding does: tag read, then UnpackXpk.
Unpacked Unpack(const Bytes& stored, uint32_t maxUnpacked = 1u << 24, int64_t shortReadAt = -1) {
    yafa::host::StandInHost host(10, 0);
    host.addMemoryFile("f", stored);
    yafa::SetHost(host.base());
    HostFile file = yafa::HostOpen("f", 0, 0, 0);
    uint8_t tag[4];
    yafa::HostRead(file, tag, 4);
    host.setFaults({.shortReadAt = shortReadAt});

    yafa::UnpackedFrame frame;
    frame.bytes = yafa::AllocBytes(3);
    uint8_t* const before = frame.bytes.get();
    frame.length = 77;
    Unpacked r{};
    r.ok = yafa::UnpackXpk(file, frame, maxUnpacked);
    r.null = frame.bytes == nullptr;
    r.untouched = frame.bytes.get() == before && frame.length == 77;
    if (frame.bytes) r.bytes.assign(frame.bytes.get(), frame.bytes.get() + (r.ok ? frame.length : 0));
    r.position = yafa::HostSeek(file, 0, HOST_SEEK_CURRENT);
    yafa::HostClose(file);
    yafa::SetHost(nullptr);
    return r;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Stream header with junk in every field the reader ignores.
Bytes Header(const char* tag, uint8_t flags, const Bytes& extra = {}) {
    Bytes s = Str("XPKF");
    s.insert(s.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    s.insert(s.end(), tag, tag + 4);
    s.insert(s.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    s.insert(s.end(), 16, 0xA5);
    s.push_back(flags);
    s.insert(s.end(), 3, 0x5A);
    if (flags & 4) {
        s.insert(s.end(), {static_cast<uint8_t>(extra.size() >> 8), static_cast<uint8_t>(extra.size())});
        s.insert(s.end(), extra.begin(), extra.end());
    }
    return s;
}

// Appends a chunk header and `body` exactly as given (padding included).
void AddChunk(Bytes& s, uint8_t type, uint32_t pl, uint32_t ul, bool longHeaders, const Bytes& body = {}) {
    s.insert(s.end(), {type, 0x77, 0x77, 0x77});
    for (uint32_t v : {pl, ul}) {
        for (int shift = longHeaders ? 24 : 8; shift >= 0; shift -= 8) s.push_back(static_cast<uint8_t>(v >> shift));
    }
    s.insert(s.end(), body.begin(), body.end());
}

// A FAST payload whose first token copies 5 bytes from 5 back, then 15
// literals; PL = 19.
const Bytes kFastPayload = [] {
    Bytes p = Str("0123456789abcde");
    p.insert(p.end(), {0x00, 0x5D, 0x80, 0x00, 0xEE});  // match word, control word, padding
    return p;
}();

TEST(XpkLayout, EndChunkFirstGivesAnEmptyFrame) {
    for (const char* tag : {"FAST", "NUKE", "RAKE"}) {
        Bytes s = Header(tag, 0);
        AddChunk(s, 15, 0xFFFF, 0x1234, false);
        const Unpacked r = Unpack(s);
        EXPECT_EQ(r.ok, 1) << tag;
        EXPECT_TRUE(r.null) << tag;
        EXPECT_EQ(r.position, 44) << tag;
    }
}

TEST(XpkLayout, ShortAndLongHeadersExtraHeaderRawAndPackedChunks) {
    struct Case {
        uint8_t flags;
        Bytes extra;
        int32_t firstChunk;
    };
    const Case cases[] = {{0, {}, 36}, {1, {}, 36}, {4, {1, 2, 3}, 41}, {5, {}, 38}, {4, Bytes(300, 9), 338}};
    for (const auto& c : cases) {
        const bool longHeaders = c.flags & 1;
        const int32_t header = longHeaders ? 12 : 8;
        Bytes s = Header("FAST", c.flags, c.extra);
        ASSERT_EQ(static_cast<int32_t>(s.size()), c.firstChunk);
        // Raw PL = UL = 5: the body takes 8 bytes, 3 of them padding.
        AddChunk(s, 0, 5, 5, longHeaders, Str("HELLOxyz"));
        ASSERT_EQ(static_cast<int32_t>(s.size()), c.firstChunk + header + 8);
        AddChunk(s, 1, 19, 20, longHeaders, kFastPayload);
        AddChunk(s, 15, 0, 0, longHeaders);
        s.insert(s.end(), {1, 2, 3});  // whatever follows the stream is not read
        const Unpacked r = Unpack(s);
        ASSERT_EQ(r.ok, 1) << int{c.flags};
        EXPECT_EQ(r.bytes, Str("HELLOHELLO0123456789abcde")) << int{c.flags};
        EXPECT_EQ(r.position, static_cast<int32_t>(s.size()) - 3) << int{c.flags};
    }
}

TEST(XpkLayout, TagsAreComparedExactly) {
    for (const char* tag : {"fast", "Fast", "FASt", "FASU", "nuke", "RAKe", "XPKF", "\0AST"}) {
        Bytes s = Header(tag, 0);
        AddChunk(s, 15, 0, 0, false);
        const Unpacked r = Unpack(s);
        EXPECT_EQ(r.ok, 0) << tag;
        EXPECT_TRUE(r.untouched) << tag;
    }
}

TEST(XpkHostile, BrokenStreamsFailAndLeaveTheFrameAlone) {
    struct Case {
        const char* name;
        Bytes stream;
        uint32_t maxUnpacked;
        int64_t shortReadAt = -1;
    };
    const auto stream = [](uint8_t flags, auto add) {
        Bytes s = Header("FAST", flags);
        add(s);
        AddChunk(s, 15, 0, 0, flags & 1);
        return s;
    };
    const Case cases[] = {
        {"above maxUnpacked", stream(0, [](Bytes& s) { AddChunk(s, 0, 8, 8, false, Bytes(8)); }), 7},
        {"total overflows", stream(1, [](Bytes& s) { AddChunk(s, 0, 4, 0xFFFFFFF0u, true, Bytes(4)); }), 0xFFFFFFFFu},
        {"raw padding beyond the slack", stream(1, [](Bytes& s) { AddChunk(s, 0, 16385 + 4, 4, true, Bytes(16392)); }),
         1u << 20},
        {"raw shorter than its length", stream(0, [](Bytes& s) { AddChunk(s, 0, 4, 8, false, Bytes(4)); }), 1u << 20},
        {"unknown chunk type", stream(0, [](Bytes& s) { AddChunk(s, 2, 4, 4, false, Bytes(4)); }), 1u << 20},
        {"packed far larger than its length", stream(1, [](Bytes& s) { AddChunk(s, 1, 0x7FFFFFF0u, 16, true); }),
         0xFFFFFFFFu},
        {"method fails", stream(0, [](Bytes& s) { AddChunk(s, 1, 4, 4, false, Bytes(4)); }), 1u << 20},
        {"no end chunk", Header("FAST", 0), 1u << 20},
        {"short tag read", stream(0, [](Bytes&) {}), 1u << 20, 0},
    };
    for (const auto& c : cases) {
        const Unpacked r = Unpack(c.stream, c.maxUnpacked, c.shortReadAt);
        EXPECT_EQ(r.ok, 0) << c.name;
        EXPECT_TRUE(r.untouched) << c.name;
    }
}

TEST(XpkHostile, EveryTruncationBeforeTheEndChunkFails) {
    XpkOptions o;
    o.method = XpkMethod::Fast;
    o.chunkSize = 300;
    o.mixRawChunks = true;
    const Bytes data = MakeSampleData(2, 1000, 4);
    const Bytes s = yafa::encode::PackXpk(data, o);
    const size_t endChunk = s.size() - 8;
    for (size_t cut = 4; cut < s.size(); ++cut) {
        const Unpacked r = Unpack(Bytes(s.begin(), s.begin() + cut));
        if (cut <= endChunk) {
            EXPECT_EQ(r.ok, 0) << cut;
            EXPECT_TRUE(r.untouched) << cut;
        } else {
            EXPECT_EQ(r.ok, 1) << cut;  // only the ignored end-chunk lengths are missing
            EXPECT_EQ(r.bytes, data) << cut;
        }
    }
}

TEST(XpkHostile, CorruptedStreamsStayInsideTheirBuffers) {
    std::mt19937 rng(3);
    for (XpkMethod method : {XpkMethod::Fast, XpkMethod::Nuke, XpkMethod::Rake}) {
        XpkOptions o;
        o.method = method;
        o.chunkSize = 700;
        const Bytes good = yafa::encode::PackXpk(MakeSampleData(1, 3000, 8), o);
        for (int i = 0; i < 300; ++i) {
            Bytes s = good;
            for (int k = 1 + rng() % 4; k-- > 0;) s[36 + rng() % (s.size() - 36)] ^= static_cast<uint8_t>(1 + rng() % 255);
            const Unpacked r = Unpack(s, 1u << 16);
            if (r.ok) {
                EXPECT_LE(r.bytes.size(), 1u << 16);
            }
        }
    }
}

struct RoundTripCase {
    bool fastOnly;  // large inputs: the other packers are slow in sanitizer builds
    int kind;
    size_t size;
    uint32_t chunkSize;
    bool longHeaders;
    bool extra;
    bool mixRaw;
    bool stress;
};

TEST(XpkRoundTrip, WriterThroughReaderForEveryMethod) {
    const RoundTripCase cases[] = {
        {false, 0, 0, 0x8000, false, false, false, false},   {false, 2, 1, 0x8000, false, false, false, false},
        {false, 2, 8000, 0x8000, false, false, false, true}, {false, 4, 12000, 0x1000, false, true, true, false},
        {false, 3, 9000, 5000, true, false, true, true},     {false, 1, 9999, 333, true, true, true, true},
        {false, 0, 3000, 1024, false, false, false, false},  {true, 2, 300000, 0x8000, false, false, false, false},
        {true, 4, 150000, 0x8000, false, true, true, false}, {true, 1, 100000, 0x10000, false, false, false, false},
        {true, 2, 70000, 70000, false, false, false, false}, {true, 3, 90000, 5000, true, false, true, true},
    };
    for (XpkMethod method : {XpkMethod::Fast, XpkMethod::Nuke, XpkMethod::Rake}) {
        uint32_t seed = 0;
        for (const auto& c : cases) {
            ++seed;
            if (c.fastOnly && method != XpkMethod::Fast) continue;
            const Bytes data = MakeSampleData(c.kind, c.size, seed);
            XpkOptions o;
            o.method = method;
            o.chunkSize = c.chunkSize;
            o.longHeaders = c.longHeaders;
            if (c.extra) o.extraHeader = Bytes(seed % 7, 0xC3);
            o.mixRawChunks = c.mixRaw;
            o.pack = {c.stress, seed};
            const Bytes s = yafa::encode::PackXpk(data, o);
            const Unpacked r = Unpack(s);
            const std::string what = "method " + std::to_string(static_cast<int>(method)) + " case " +
                                     std::to_string(seed);
            ASSERT_EQ(r.ok, 1) << what;
            EXPECT_EQ(r.null, data.empty()) << what;
            EXPECT_TRUE(r.bytes == data) << what;
            EXPECT_EQ(r.position, static_cast<int32_t>(s.size())) << what;
            // Lengths above 16 bits need long chunk headers.
            EXPECT_EQ(s[32] & 1, (c.longHeaders || std::min<size_t>(c.chunkSize, c.size) > 0xFFFF) ? 1 : 0) << what;
            if (c.kind == 2 && c.size > 1000 && !c.stress) {
                EXPECT_LT(s.size(), data.size() / 2) << what << ": chunks not packed";
            }
        }
    }
}

}  // namespace
