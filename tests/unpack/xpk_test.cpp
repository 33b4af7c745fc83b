// The XPK container: hand-made streams with known results, broken streams,
// and the writer through the reader for every method.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/hosted_file.h"
#include "support/sample_data.h"
#include "unpack/xpk.h"
#include "xpk_writer.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;
using encode::XpkMethod;
using encode::XpkOptions;

struct Unpacked {
    int ok;
    Bytes bytes;
    bool null;         // frame.bytes was null
    bool untouched;    // frame kept what it held before
    int32_t position;  // file position after the call
};

// Unpacks a whole stored frame (tag first) the way frame decoding does: tag
// read, then UnpackXpk.
Unpacked Unpack(const Bytes& stored, uint32_t maxUnpacked = 1u << 24, int64_t shortReadAt = -1) {
    HostedFile file(stored);
    uint8_t tag[4];
    HostRead(file.get(), tag, 4);
    file.host().setFaults({.shortReadAt = shortReadAt});
    UnpackedFrame frame;
    frame.bytes = AllocBytes(3);
    uint8_t* const before = frame.bytes.get();
    frame.length = 77;
    Unpacked r{};
    r.ok = UnpackXpk(file.get(), frame, maxUnpacked);
    r.null = frame.bytes == nullptr;
    r.untouched = frame.bytes.get() == before && frame.length == 77;
    if (frame.bytes && r.ok) r.bytes.assign(frame.bytes.get(), frame.bytes.get() + frame.length);
    r.position = file.Position();
    return r;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Stream header with junk in every field the reader ignores.
Bytes Header(const char* tag, uint8_t flags, const Bytes& extra = {}) {
    Bytes s = Str("XPKF");
    s.insert(s.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    s.insert(s.end(), tag, tag + 4);
    s.insert(s.end(), 20, 0xA5);
    s.push_back(flags);
    s.insert(s.end(), 3, 0x5A);
    if (flags & 4) {
        s.insert(s.end(), {uint8_t(extra.size() >> 8), uint8_t(extra.size())});
        s.insert(s.end(), extra.begin(), extra.end());
    }
    return s;
}

// Appends a chunk header and `body` exactly as given (padding included).
void AddChunk(Bytes& s, uint8_t type, uint32_t pl, uint32_t ul, bool longHeaders, const Bytes& body = {}) {
    s.insert(s.end(), {type, 0x77, 0x77, 0x77});
    for (uint32_t v : {pl, ul})
        for (int shift = longHeaders ? 24 : 8; shift >= 0; shift -= 8) s.push_back(uint8_t(v >> shift));
    s.insert(s.end(), body.begin(), body.end());
}

TEST(XpkLayout, HeadersExtraHeaderRawAndPackedChunks) {
    // A FAST payload whose first token copies 5 bytes from 5 back, then 15
    // literals; PL = 19.
    Bytes fast = Str("0123456789abcde");
    fast.insert(fast.end(), {0x00, 0x5D, 0x80, 0x00, 0xEE});  // match word, control word, padding
    const struct {
        uint8_t flags;
        Bytes extra;
        int32_t firstChunk;
    } cases[] = {{0, {}, 36}, {1, {}, 36}, {4, {1, 2, 3}, 41}, {5, {}, 38}, {4, Bytes(300, 9), 338}};
    for (const auto& c : cases) {
        const bool longHeaders = c.flags & 1;
        Bytes s = Header("FAST", c.flags, c.extra);
        ASSERT_EQ(int32_t(s.size()), c.firstChunk);
        AddChunk(s, 0, 5, 5, longHeaders, Str("HELLOxyz"));  // raw PL = UL = 5, 3 bytes of padding
        AddChunk(s, 1, 19, 20, longHeaders, fast);
        AddChunk(s, 15, 0, 0, longHeaders);
        s.insert(s.end(), {1, 2, 3});  // whatever follows the stream is not read
        const Unpacked r = Unpack(s);
        ASSERT_EQ(r.ok, 1) << int{c.flags};
        EXPECT_EQ(r.bytes, Str("HELLOHELLO0123456789abcde")) << int{c.flags};
        EXPECT_EQ(r.position, int32_t(s.size()) - 3) << int{c.flags};
    }
    // An end chunk first gives an empty frame, whatever its lengths say.
    for (const char* tag : {"FAST", "NUKE", "RAKE"}) {
        Bytes s = Header(tag, 0);
        AddChunk(s, 15, 0xFFFF, 0x1234, false);
        EXPECT_TRUE(Unpack(s).ok && Unpack(s).null && Unpack(s).position == 44) << tag;
    }
}

TEST(XpkHostile, BrokenStreamsFailAndLeaveTheFrameAlone) {
    const auto stream = [](uint8_t flags, auto add, const char* tag = "FAST") {
        Bytes s = Header(tag, flags);
        add(s);
        AddChunk(s, 15, 0, 0, flags & 1);
        return s;
    };
    const auto none = [](Bytes&) {};
    const struct {
        const char* name;
        Bytes stream;
        uint32_t maxUnpacked;
        int64_t shortReadAt = -1;
    } cases[] = {
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
        {"short tag read", stream(0, none), 1u << 20, 0},
    };
    for (const auto& c : cases) {
        const Unpacked r = Unpack(c.stream, c.maxUnpacked, c.shortReadAt);
        EXPECT_TRUE(!r.ok && r.untouched) << c.name;
    }
    for (const char* tag : {"fast", "Fast", "FASt", "FASU", "nuke", "RAKe", "XPKF", "\0AST"}) {
        const Unpacked r = Unpack(stream(0, none, tag));
        EXPECT_TRUE(!r.ok && r.untouched) << tag;
    }
}

TEST(XpkHostile, TruncatedStreams) {
    XpkOptions o;
    o.method = XpkMethod::Fast;
    o.chunkSize = 300;
    o.mixRawChunks = true;
    const Bytes data = SampleData(Shape::Text, 1000, 4);
    const Bytes s = encode::PackXpk(data, o);
    for (size_t cut = 4; cut < s.size(); ++cut) {
        const Unpacked r = Unpack(Bytes(s.begin(), s.begin() + long(cut)));
        if (cut <= s.size() - 8) {
            EXPECT_TRUE(!r.ok && r.untouched) << cut;
        } else {
            EXPECT_EQ(r.bytes, data) << cut;  // only the ignored end-chunk lengths are missing
        }
    }
}

TEST(XpkRoundTrip, WriterThroughReaderForEveryMethod) {
    const struct {
        bool fastOnly;  // large inputs: the other packers are slow in sanitizer builds
        Shape shape;
        size_t size;
        uint32_t chunkSize;
        bool longHeaders, extra, mixRaw, stress;
    } cases[] = {
        {false, Shape::Noise, 0, 0x8000, false, false, false, false},  {false, Shape::Text, 1, 0x8000, false, false, false, false},
        {false, Shape::Text, 8000, 0x8000, false, false, false, true}, {false, Shape::Image, 12000, 0x1000, false, true, true, false},
        {false, Shape::Repeats, 9000, 5000, true, false, true, true},  {false, Shape::Runs, 9999, 333, true, true, true, true},
        {true, Shape::Text, 300000, 0x8000, false, false, false, false}, {true, Shape::Runs, 100000, 0x10000, false, false, false, false},
    };
    for (XpkMethod method : {XpkMethod::Fast, XpkMethod::Nuke, XpkMethod::Rake}) {
        uint32_t seed = 0;
        for (const auto& c : cases) {
            if (++seed, c.fastOnly && method != XpkMethod::Fast) continue;
            const Bytes data = SampleData(c.shape, c.size, seed);
            XpkOptions o;
            o.method = method, o.chunkSize = c.chunkSize, o.longHeaders = c.longHeaders, o.mixRawChunks = c.mixRaw;
            if (c.extra) o.extraHeader = Bytes(seed % 7, 0xC3);
            o.pack = {c.stress, seed};
            const Bytes s = encode::PackXpk(data, o);
            const Unpacked r = Unpack(s);
            const std::string what = "method " + std::to_string(int(method)) + " case " + std::to_string(seed);
            ASSERT_TRUE(r.ok == 1 && r.null == data.empty() && r.bytes == data) << what;
            EXPECT_EQ(r.position, int32_t(s.size())) << what;
            // Lengths above 16 bits need long chunk headers.
            EXPECT_EQ(s[32] & 1, (c.longHeaders || std::min<size_t>(c.chunkSize, c.size) > 0xFFFF) ? 1 : 0) << what;
            EXPECT_TRUE(c.shape != Shape::Text || c.size < 1000 || c.stress || s.size() < data.size() / 2) << what;
        }
    }
}

}  // namespace
}  // namespace yafa::test
