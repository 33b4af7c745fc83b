// The XPK container: hand-made streams with known results, each limit and
// its reason, and the shapes it tolerates. Streams of our writer, cut short
// at every length, go through the plugin in the robustness tests; each
// method's chunks through their own tests and fuzzers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/status_print.h"
#include "support/yafa_builder.h"
#include "unpack/xpk.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct Unpacked {
    Status status;
    Bytes bytes;
    bool null;         // frame.bytes was null
    bool untouched;    // frame kept what it held before
    int64_t position;  // where reading stopped
};

// Unpacks a whole stored frame (tag first) the way frame decoding does: the
// tag is read, then UnpackXpk.
Unpacked Unpack(const Bytes& stored, uint32_t maxUnpacked = 1u << 24) {
    MemorySource source(std::span<const uint8_t>(stored).subspan(4));
    UnpackedFrame frame;
    frame.bytes = AllocBytes(3);
    uint8_t* const before = frame.bytes.get();
    frame.length = 77;
    uint8_t tag[4];
    Unpacked r{};
    r.status = UnpackXpk(source, maxUnpacked, frame, tag);
    r.null = frame.bytes == nullptr;
    r.untouched = frame.bytes.get() == before && frame.length == 77;
    if (frame.bytes && r.status == Status::Ok) r.bytes.assign(frame.bytes.get(), frame.bytes.get() + frame.length);
    r.position = 4 + source.Position();
    return r;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A FAST payload whose first token copies 5 bytes from 5 back, then 15
// literals; PL = 19.
Bytes FastPayload() {
    Bytes fast = Str("0123456789abcde");
    fast.insert(fast.end(), {0x00, 0x5D, 0x80, 0x00, 0xEE});  // match word, control word, padding
    return fast;
}

TEST(XpkLayout, HeadersExtraHeaderRawAndPackedChunks) {
    const struct {
        uint8_t flags;
        Bytes extra;
        int64_t firstChunk;
    } cases[] = {{0, {}, 36}, {1, {}, 36}, {4, {1, 2, 3}, 41}, {5, {}, 38}, {4, Bytes(300, 9), 338}};
    for (const auto& c : cases) {
        const bool longHeaders = c.flags & 1;
        Bytes s = XpkHeader("FAST", c.flags, c.extra);
        ASSERT_EQ(int64_t(s.size()), c.firstChunk);
        AddXpkChunk(s, 0, 5, 5, longHeaders, Str("HELLOxyz"));  // raw PL = UL = 5, 3 bytes of padding
        AddXpkChunk(s, 1, 19, 20, longHeaders, FastPayload());
        AddXpkChunk(s, 15, 0, 0, longHeaders);
        s.insert(s.end(), {1, 2, 3});  // whatever follows the stream is not read
        const Unpacked r = Unpack(s);
        ASSERT_EQ(r.status, Status::Ok) << int{c.flags};
        EXPECT_EQ(r.bytes, Str("HELLOHELLO0123456789abcde")) << int{c.flags};
        EXPECT_EQ(r.position, int64_t(s.size()) - 3) << int{c.flags};
    }
    // An end chunk first gives an empty frame, whatever its lengths say.
    for (const char* tag : {"FAST", "NUKE", "RAKE"}) {
        Bytes s = XpkHeader(tag, 0);
        AddXpkChunk(s, 15, 0xFFFF, 0x1234, false);
        const Unpacked r = Unpack(s);
        EXPECT_TRUE(r.status == Status::Ok && r.null && r.position == 44) << tag;
    }
}

// Streams a careful reader decodes: only what would be unsafe is replaced.
TEST(XpkLayout, ToleratedShapes) {
    // A raw chunk below its unpacked length whose padding covers it: the
    // padding bytes are data, as reading PL4 bytes into the output has it.
    Bytes s = XpkHeader("FAST", 0);
    AddXpkChunk(s, 0, 5, 8, false, Str("HELLOxyz"));
    AddXpkChunk(s, 15, 0, 0, false);
    EXPECT_EQ(Unpack(s).bytes, Str("HELLOxyz"));
    // Padding after a packed chunk far beyond twice its unpacked length, and
    // after a raw chunk beyond the slack: bounded by the file alone.
    // (A RAKE payload ends where its items do; the rest is not read.)
    s = XpkHeader("RAKE", 1);
    Bytes rake(40000, 0x33);
    const uint8_t items[] = {0x00, 0x00, 0x00, 0x06, 0x00, 0x41, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::copy(std::begin(items), std::end(items), rake.begin());
    AddXpkChunk(s, 1, 40000, 4, true, rake);
    AddXpkChunk(s, 0, 16389, 4, true, Bytes(16392, 'r'));
    AddXpkChunk(s, 15, 0, 0, true);
    EXPECT_EQ(Unpack(s).bytes, Str("AAAArrrr"));
}

// Each limit of the container and the reason it fails with; the frame is
// left as it was.
TEST(XpkLimits, EachLimitHasItsReason) {
    const auto stream = [](uint8_t flags, auto add, const char* tag = "FAST") {
        Bytes s = XpkHeader(tag, flags);
        add(s);
        AddXpkChunk(s, 15, 0, 0, flags & 1);
        return s;
    };
    const struct {
        const char* name;
        Bytes stream;
        uint32_t maxUnpacked;
        Status status;
    } cases[] = {
        {"above maxUnpacked", stream(0, [](Bytes& s) { AddXpkChunk(s, 0, 8, 8, false, Bytes(8)); }), 7,
         Status::FrameLargerThanGeometry},
        {"total past 32 bits", stream(1, [](Bytes& s) { AddXpkChunk(s, 0, 4, 0xFFFFFFF0u, true, Bytes(4)); }), 0xFFFFFFFFu,
         Status::FrameLargerThanGeometry},
        {"raw padded length one below its length", stream(0, [](Bytes& s) { AddXpkChunk(s, 0, 4, 5, false, Bytes(4)); }),
         1u << 20, Status::XpkRawChunkTooShort},
        {"unknown chunk type", stream(0, [](Bytes& s) { AddXpkChunk(s, 2, 4, 4, false, Bytes(4)); }), 1u << 20,
         Status::XpkUnknownChunkType},
        {"raw chunk longer than the file", [] { Bytes s = XpkHeader("FAST", 0); AddXpkChunk(s, 0, 100, 100, false, Bytes(50)); return s; }(),
         1u << 20, Status::XpkChunkPastEndOfFile},
        {"packed chunk of 2 GiB in a tiny file", stream(1, [](Bytes& s) { AddXpkChunk(s, 1, 0x7FFFFFF0u, 16, true); }),
         0xFFFFFFFFu, Status::XpkChunkPastEndOfFile},
        {"4 GiB from 16 packed bytes", stream(1, [](Bytes& s) { AddXpkChunk(s, 1, 16, 0xFFFF0000u, true, Bytes(16)); }),
         0xFFFFFFFFu, Status::UnpackedSizeBeyondPackedData},
        {"more than FAST can make of 4 bytes", stream(0, [](Bytes& s) { AddXpkChunk(s, 1, 4, 41, false, Bytes(4)); }),
         1u << 20, Status::UnpackedSizeBeyondPackedData},
        {"all FAST can make of 4 bytes: the method runs", stream(0, [](Bytes& s) { AddXpkChunk(s, 1, 4, 40, false, Bytes(4)); }),
         1u << 20, Status::PackedDataEndsEarly},
        {"the method fails", stream(0, [](Bytes& s) { AddXpkChunk(s, 1, 4, 4, false, Bytes(4)); }), 1u << 20,
         Status::PackedDataEndsEarly},
        {"no end chunk", XpkHeader("FAST", 0), 1u << 20, Status::FileEndsInsideFrame},
    };
    for (const auto& c : cases) {
        const Unpacked r = Unpack(c.stream, c.maxUnpacked);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_TRUE(r.untouched) << c.name;
    }
    for (const char* tag : {"fast", "Fast", "FASt", "FASU", "nuke", "RAKe", "XPKF", "\0AST"}) {
        const Unpacked r = Unpack(stream(0, [](Bytes&) {}, tag));
        EXPECT_TRUE(r.status == Status::XpkUnknownMethod && r.untouched) << tag;
    }
}

}  // namespace
}  // namespace yafa::test
