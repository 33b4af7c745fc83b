// The XPK methods' chunk decoders (FAST, NUKE, RAKE): hand-worked payloads
// with exact results, each limit and its reason, and round trips of our
// packers, chunk by chunk as the XPK reader runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "format/nuke_format.h"
#include "format/rake_format.h"
#include "method_packers.h"
#include "support/sample_data.h"
#include "support/status_print.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct Method {
    const char* name;
    Status (*decode)(const XpkChunkJob&) noexcept;
    Bytes (*pack)(std::span<const uint8_t>, size_t, size_t, const encode::PackOptions&);
    uint64_t maxExpansion;
    bool writesSlack;  // FAST's trailing tokens and NUKE's wide copies may write into the slack
};
const Method kFast{"FAST", DecodeFastChunk, encode::PackFastChunk, FAST_MAX_EXPANSION, true};
const Method kNuke{"NUKE", DecodeNukeChunk, encode::PackNukeChunk, NUKE_MAX_EXPANSION, true};
const Method kRake{"RAKE", DecodeRakeChunk, encode::PackRakeChunk, RAKE_MAX_EXPANSION, false};

void PrintTo(const Method& m, std::ostream* os) { *os << m.name; }

Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 3) out.push_back(uint8_t(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}
Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
// Earlier output of the stream: a pattern, so that copies from it show.
Bytes Before(size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = uint8_t(i * 131 + 7 + i / 256);
    return out;
}

struct Decoded {
    Status status;
    Bytes output;  // from the chunk's start to the end of the slack
    bool ok() const { return status == Status::Ok; }
    Bytes region(size_t n) const { return Bytes(output.begin(), output.begin() + long(n)); }
};

// Runs a decoder on buffers sized exactly as the XPK reader sizes them (PL
// rounded up to 4, padded with 0; output = before + UL + slack, the slack 0),
// so that the sanitizers see any access outside them. A smaller
// `packedLength` cuts the payload short, its padding taken from the bytes
// that follow. The earlier output must come through untouched, and so must
// the slack unless the method may write there.
Decoded Decode(const Method& m, const Bytes& payload, const Bytes& before, uint32_t ul, size_t packedLength = SIZE_MAX) {
    packedLength = std::min(packedLength, payload.size());
    Bytes packed(std::max<size_t>(1, XpkPaddedLength(packedLength)), 0);
    std::copy_n(payload.begin(), std::min(packed.size(), payload.size()), packed.begin());
    Bytes output(before.size() + ul + XPK_OUTPUT_SLACK, 0);
    std::copy(before.begin(), before.end(), output.begin());
    const XpkChunkJob job{packed.data(), uint32_t(packedLength), output.data(), uint32_t(before.size()), ul};
    const Status status = m.decode(job);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), output.begin())) << m.name << ": earlier output changed";
    EXPECT_TRUE(m.writesSlack || std::all_of(output.end() - XPK_OUTPUT_SLACK, output.end(), [](uint8_t b) { return b == 0; }))
        << m.name << ": the slack changed";
    return {status, Bytes(output.begin() + long(before.size()), output.end())};
}

// A RAKE payload from items written out by hand, in decode order: each
// item's bits as a string of 0 and 1, and its byte. The skipped bits are ones.
using Items = std::vector<std::pair<std::string, uint8_t>>;
Bytes RakePayload(uint32_t skipBits, const Items& items) {
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

// `distance` literals of a non-repeating pattern, then one RAKE match of
// count 3 with the given class bits and byte, and the bytes that come out.
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

// Expected bytes from the chunk's start; they may run on into the slack.
TEST(XpkMethodExamples, HandWorkedPayloadsDecodeToExactBytes) {
    const Bytes before = Before(4095);
    const Bytes nukeBefore(before.end() - 800, before.end());
    Bytes fastMatches = Str("ABCDEFGHIJKLMN");
    fastMatches.insert(fastMatches.end(), {0x00, 0x10, 0x00, 0xEF, 0x00, 0x03});
    Bytes fastFar = Str("abcdefghijklmno");
    fastFar.insert(fastFar.end(), {0xFF, 0xFF, 0x80, 0x00});
    const Bytes fastShort = {'v', 'w', 'x', 'y', 'z', 9, 8, 7, 6, 5, 4, 3, 2, 1, 0x00, 0x00};
    const Bytes fastPadded = {0x00, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x0F};
    Bytes nukeChain(36, 'Z');
    nukeChain.push_back('L');
    const struct {
        const Method& m;
        const char* name;
        Bytes payload, before;
        uint32_t ul;
        Bytes expected;
        bool ourPackerWritesIt = false;
    } cases[] = {
        // 14 literals, then D = 14 length 3, then D = 1 n = 0: 18 repeats; the
        // streams meet after the words at 14, 16, 18.
        {kFast, "literals and matches", fastMatches, {}, 35, Str("ABCDEFGHIJKLMNABC" + std::string(18, 'C'))},
        // Match word 0xFFFF (D = 4095, length 3) as the first token copies
        // from the previous chunk; then 15 literals, PL = 19.
        {kFast, "distance 4095 into the previous chunk", fastFar, before, 18,
         [&] { Bytes e{before[0], before[1], before[2]}; return e.insert(e.end(), fastFar.begin(), fastFar.end() - 4), e; }()},
        // Five literals; the other eleven tokens of the only control word
        // read bytes 5..15 (padding and the control word itself) into the slack.
        {kFast, "tokens past the length", fastShort, {}, 5, [&] { Bytes e = fastShort; e.push_back(0); return e; }()},
        // PL = 10: twelve literals take bytes 0..11, the control word and the
        // two padding bytes among them; the four trailing copies read their
        // words from bytes 6..0 and repeat the last byte into the slack.
        {kFast, "padding read as literals", fastPadded, {}, 12,
         [&] { Bytes e = fastPadded; e.resize(25, 0); return e; }()},
        // A trailing copy of distance 0 changes nothing and is let through.
        {kFast, "trailing copy of distance 0", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x00, 0x0F, 0x80, 0x00},
         Bytes(8), 0, {}},
        {kNuke, "single literal", {0x40, 0x00, 'X'}, {}, 1, {'X'}},
        {kNuke, "run of five", {0x00, 0x00, 0x30, 0x00, 'E', 'D', 'C', 'B', 'A'}, {}, 5, Str("ABCDE")},
        // The same run passes the end of a 4-byte chunk and finishes it.
        {kNuke, "run past the end", {0x00, 0x00, 0x30, 0x00, 'E', 'D', 'C', 'B', 'A'}, {}, 4, Str("ABCD")},
        // Token 1; s = 10, distance 1; pair 0 gives 6, nibble 0 adds 15,
        // nibble 1 adds 15: 36 copies of the byte before the chunk; then
        // tokens 0, 1: 'L'.
        {kNuke, "nibble chain", {0xA0, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x08, 0x00, 0x00, 0x00, 'L'}, {'Z'}, 37, nukeChain},
        // Tokens 1, 1, 0, 1. Nibbles 2 then 3. The first distance word gives
        // the 8-bit field 0x05 (d = 85) and the top 8 bits of the 9-bit field
        // 0x1A3; its low bit is the top bit of the next word (d = 336 + 419).
        {kNuke, "distance across words", {0xD0, 0x00, 0x00, 0x00, 0x00, 0x32, 0x05, 0xD1, 0x80, 0x00, 'Q'}, nukeBefore, 5,
         {nukeBefore[800 - 85], nukeBefore[801 - 85], nukeBefore[802 - 755], nukeBefore[803 - 755], 'Q'}},
        {kRake, "literal, three copies", Hex("00 00 00 06 00 41 40 00 00 00 00 00 00 00"), Before(37), 4, Bytes(4, 0x41), true},
        {kRake, "count 6 distance 3", Hex("00 00 00 08 02 41 42 43 1B 00 00 00 00 00 00 00"), Before(37), 9,
         Hex("41 42 43 41 42 43 41 42 43"), true},
        {kRake, "skip 28, odd end", Hex("00 1C 00 0B 3E 04 48 45 4C 4C 4F FF 0F FF FF FF 60 00 00 00 00 00 00 00"), {}, 11,
         Hex("3E 48 45 4C 4C 4F 48 45 4C 4C 4F")},
        {kRake, "skip 32", Hex("00 20 00 06 00 41 FF FF FF FF 40 00 00 00 00 00 00 00"), {}, 4, Bytes(4, 0x41)},
        {kRake, "one item", Hex("00 00 00 05 7E FF 00 00 00 00 00 00 00 00"), {}, 1, Hex("7E")},
        {kRake, "literals only", Hex("00 00 00 08 11 22 33 44 00 00 00 00 00 00 00 00"), {}, 4, Hex("11 22 33 44")},
        {kRake, "distance 1 count 257", Hex("00 00 00 06 00 58 74 70 00 00 00 00 00 00"), {}, 258, Bytes(258, 0x58)},
        {kRake, "look-ahead beyond the end", Hex("00 00 00 06 00 41 40 00"), {}, 4, Bytes(4, 0x41)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.m.name) + ": " + c.name);
        const Decoded d = Decode(c.m, c.payload, c.before, c.ul);
        ASSERT_TRUE(d.ok()) << StatusPhrase(d.status);
        EXPECT_EQ(d.region(c.expected.size()), c.expected);
        if (c.ourPackerWritesIt) {
            EXPECT_EQ(c.m.pack(c.expected, 0, c.expected.size(), {}), c.payload);
        }
    }
}

// RAKE's distance classes at their boundaries, and every skipBits value.
TEST(XpkMethodExamples, RakeDistanceClassesAndSkipBits) {
    const struct {
        const char* classBits;
        uint8_t low;
        uint32_t distance;
    } cases[] = {{"0", 0x00, 1},           {"0", 0xFF, 256},         {"10000", 0x00, 257},
                 {"10111", 0xFF, 2304},    {"11000000", 0x00, 2305}, {"11111111", 0xFF, 18688}};
    for (const auto& c : cases) {
        const auto [items, expected] = LiteralsThenMatch(c.distance, c.classBits, c.low);
        const Decoded d = Decode(kRake, RakePayload(0, items), Before(37), uint32_t(expected.size()));
        EXPECT_TRUE(d.ok() && d.region(expected.size()) == expected) << c.distance;
    }
    const auto [items, expected] = LiteralsThenMatch(300, "10000", 0x2B);
    for (uint32_t skipBits = 0; skipBits <= 32; ++skipBits) {
        const Decoded d = Decode(kRake, RakePayload(skipBits, items), {}, uint32_t(expected.size()));
        EXPECT_TRUE(d.ok() && d.region(expected.size()) == expected) << skipBits;
    }
    // 56 one-bit literals; the payload is cut after the bit words at 60..67,
    // which hold exactly 56 stream bits when skipBits is 8.
    // A literal and four copies of 257 that end exactly at the region's
    // start: the last copy must not run unchecked, where its wide store would
    // reach below the region.
    const std::pair<std::string, uint8_t> copy257{"1" "110100011100" "0", 0};
    Bytes exactFit = RakePayload(0, {{"0", 0x58}, copy257, copy257, copy257, copy257});
    exactFit.resize(exactFit.size() + 64, 0);
    const Decoded fit = Decode(kRake, exactFit, Before(37), 1029);
    EXPECT_TRUE(fit.ok() && fit.region(1029) == Bytes(1029, 0x58));
    const Items literals(56, {"0", 0x33});
    EXPECT_TRUE(Decode(kRake, RakePayload(8, literals), {}, 56, 68).ok());
    EXPECT_EQ(Decode(kRake, RakePayload(9, literals), {}, 56, 68).status, Status::PackedDataEndsEarly);
}

TEST(XpkMethodLimits, EachLimitHasItsReason) {
    Bytes manyRuns;  // 60 FAST words of 16 matches D = 1, length 18: > UL + slack
    for (int w = 0; w < 60; ++w) {
        for (int k = 0; k < 16; ++k) manyRuns.insert(manyRuns.end(), {0x00, 0x10});
        manyRuns.insert(manyRuns.end(), {0xFF, 0xFF});
    }
    auto zerosAfter = [](Bytes head) {
        head.resize(head.size() + 70000, 0);
        return head;
    };
    // RAKE copies of 257 running past the region's start, across the end of
    // the batch that runs without bounds tests: the batch must leave room for
    // its copies, so the one that passes the start is refused as such.
    const std::pair<std::string, uint8_t> copy257{"1" "110100011100" "0", 0};
    Bytes longCopies = RakePayload(0, {{"0", 0x58}, copy257, copy257, copy257, copy257});
    longCopies.resize(longCopies.size() + 64, 0);
    const Bytes fifteen = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    auto then = [](Bytes head, std::initializer_list<uint8_t> tail) { return head.insert(head.end(), tail), head; };
    const Bytes rakeOne = Hex("00 00 00 06 00 41 40 00 00 00 00 00 00 00");  // one literal, three copies
    const struct {
        const Method& m;
        const char* name;
        Bytes payload;
        size_t before;
        uint32_t ul;
        Status status;
    } cases[] = {
        {kFast, "empty payload", {}, 0, 0, Status::PackedDataEndsEarly},
        {kFast, "one byte", {0x00}, 0, 0, Status::PackedDataEndsEarly},
        {kFast, "literals past PL4", {0x00, 0x00}, 0, 0, Status::PackedDataEndsEarly},
        {kFast, "match word below 0", {0x80, 0x00}, 4, 0, Status::PackedDataEndsEarly},
        {kFast, "distance before output start", then(fifteen, {0x00, 0x5F, 0x80, 0x00}), 4, 3, Status::BackReferenceBeforeStart},
        {kFast, "distance 0 inside the chunk", then(fifteen, {0x00, 0x0F, 0x80, 0x00}), 8, 3, Status::BackReferenceDistanceZero},
        {kFast, "writes past the slack", manyRuns, 1, 0, Status::OutputOverrun},
        {kFast, "stops short of its length", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0x00, 0x00}, 0, 17,
         Status::OutputShortOfLength},
        {kNuke, "empty payload", {}, 0, 1, Status::PackedDataEndsEarly},
        {kNuke, "literal missing", {0x40, 0x00}, 0, 1, Status::PackedDataEndsEarly},
        {kNuke, "run longer than the literals left", {0x00, 0x00, 0x10, 0x00, 'a', 'b'}, 0, 7, Status::PackedDataEndsEarly},
        {kNuke, "copy before the output start", {0x80, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x08, 0x00, 0x00, 0x00}, 0, 8,
         Status::BackReferenceBeforeStart},
        {kNuke, "copy before the output start, deeper", {0x80, 0x00, 0x00, 0x00, 0x00, 0x03, 0xFF, 0x80, 'x'}, 500, 8,
         Status::BackReferenceBeforeStart},
        {kNuke, "distance 0", {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'x', 'x'}, 4, 8, Status::BackReferenceDistanceZero},
        // The nibble chain example with a distance field of 0: without its
        // own test, a distance of 0 would copy forever.
        {kNuke, "distance 0, otherwise valid", {0xA0, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x00, 0x00, 0x00, 0x00, 'L'}, 1, 37,
         Status::BackReferenceDistanceZero},
        {kNuke, "endless zero-nibble chain", zerosAfter({0x80, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x08, 0x00, 0x00, 0x00}), 1,
         100, Status::OutputOverrun},
        {kNuke, "endless literal run", zerosAfter({0x00, 0x00}), 0, 100, Status::OutputOverrun},
        {kNuke, "input ends before the chunk", Bytes(4000, 0x88), 12000, 1u << 20, Status::PackedDataEndsEarly},
        {kNuke, "a copy cannot finish a chunk", {0x80, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x08, 0x00, 0xC0, 0x00}, 1, 4,
         Status::PackedDataEndsEarly},
        {kRake, "skipBits 33", Hex("00 21 00 06 00 41 40 00 00 00 00 00 00 00"), 37, 4, Status::RakeSkipBitsInvalid},
        {kRake, "no item", Hex("00 00 00 04 00 00 00 00 00 00 00 00"), 37, 1, Status::RakeByteStreamOutsideChunk},
        {kRake, "byte stream beyond the payload", Hex("00 00 00 10 41 41 41 41"), 37, 12, Status::RakeByteStreamOutsideChunk},
        // No bit stream: zero padding is not data.
        {kRake, "no bit stream", Hex("00 00 00 08 41 41 41 41"), 37, 4, Status::PackedDataEndsEarly},
        {kRake, "more bytes than UL", rakeOne, 37, 3, Status::OutputOverrun},
        {kRake, "fewer bytes than UL", rakeOne, 37, 5, Status::OutputShortOfLength},
        {kRake, "UL 0", rakeOne, 37, 0, Status::OutputOverrun},
        {kRake, "distance 4, 3 bytes made", Hex("00 00 00 08 03 41 42 43 1B 00 00 00 00 00 00 00"), 37, 9,
         Status::BackReferenceBeforeStart},
        {kRake, "nothing above the match", Hex("00 00 00 05 00 FF 80 00 00 00 00 00 00 00"), 37, 3,
         Status::BackReferenceBeforeStart},
        {kRake, "header cut short", Hex("00 00"), 37, 1, Status::RakeByteStreamOutsideChunk},
        {kRake, "empty payload", {}, 37, 1, Status::PackedDataEndsEarly},
        {kRake, "copies past the start across the unchecked batch", longCopies, 37, 1000, Status::OutputOverrun},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.m, c.payload, Before(c.before), c.ul).status, c.status) << c.m.name << ": " << c.name;
}

class XpkMethodRoundTrip : public ::testing::TestWithParam<Method> {
protected:
    // Packs `data` from `start` on as consecutive chunks of the given sizes
    // and decodes them one after another against the output so far; returns
    // the packed size.
    size_t RoundTrip(const Bytes& data, size_t start, const std::vector<size_t>& chunks, const encode::PackOptions& options) {
        const Method& m = GetParam();
        size_t packedTotal = 0;
        for (size_t length : chunks) {
            const Bytes payload = m.pack(data, start, length, options);
            packedTotal += payload.size();
            // The reader refuses lengths above what a payload can make.
            EXPECT_LE(length, m.maxExpansion * XpkPaddedLength(payload.size()));
            // An empty RAKE payload stores the chunk raw (no items, or too many).
            if (payload.empty() && m.decode == DecodeRakeChunk && (length == 0 || length > 65535)) {
                start += length;
                continue;
            }
            const Decoded d = Decode(m, payload, Bytes(data.begin(), data.begin() + long(start)), uint32_t(length));
            EXPECT_TRUE(d.ok() && std::equal(data.begin() + long(start), data.begin() + long(start + length), d.output.begin()))
                << "chunk at " << start << " length " << length << " stress " << options.stress << " seed " << options.seed;
            start += length;
        }
        return packedTotal;
    }
};

// Every short length, at the stream's start and behind earlier chunks;
// single chunks of edge sizes; chunks that find their matches in earlier
// ones (the data repeats every 12000 bytes); the default and stress modes.
TEST_P(XpkMethodRoundTrip, EveryShortLengthEdgeSizesAndEarlierChunks) {
    for (Shape shape : {Shape::Noise, Shape::Runs, Shape::Text, Shape::Repeats}) {
        const Bytes stream = SampleData(shape, 4500, 11);
        for (size_t n = 0; n <= 300; ++n) {
            RoundTrip(stream, 0, {n}, {false, 1});
            RoundTrip(stream, 4200, {n}, {n % 2 == 0, uint32_t(n)});
            if (HasFailure()) return;
        }
    }
    for (Shape shape : {Shape::Noise, Shape::LongRuns, Shape::Text, Shape::Image}) {
        for (size_t size : {1, 2, 3, 4, 5, 7, 9, 17, 31, 258, 1000, 4099, 65000}) {
            const Bytes data = SampleData(shape, size, uint32_t(size));
            for (bool stress : {false, true}) RoundTrip(data, 0, {size}, {stress, uint32_t(size)});
        }
        Bytes data = SampleData(shape, 33358, 2);
        for (size_t i = 12000; i < data.size(); ++i) data[i] = data[i - 12000 + (shape == Shape::Noise ? 0 : i % 3)];
        for (bool stress : {false, true}) RoundTrip(data, 0, {1, 2, 3000, 1, 17, 20000, 5, 4000, 333, 5999}, {stress, 2});
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, XpkMethodRoundTrip, ::testing::Values(kFast, kNuke, kRake),
                         [](const auto& info) { return std::string(info.param.name); });

// Stress mode over these seeds reaches, for FAST, D = 4095, lengths 3 and
// 18, D = 1, D < length, sources in the previous chunk, 16 literals in a row
// and trailing copies; for RAKE every count, the distance class boundaries,
// overlapping copies, skipBits 0 and 32, and both parities. Packed sizes
// stay well below what literals alone would need.
TEST_P(XpkMethodRoundTrip, StressSeedsAndPackedSizes) {
    const Method& m = GetParam();
    for (uint32_t seed = 1; seed <= 8; ++seed)
        RoundTrip(SampleData(seed % 2 ? Shape::Repeats : Shape::Runs, 9000 + seed, seed), 6000, {3000 + seed}, {true, seed});
    for (uint32_t seed = 0; seed < 24; ++seed) RoundTrip(SampleData(Shape::LongRuns, 24000, seed), 0, {24000}, {true, seed});
    const Bytes noise = SampleData(Shape::Noise, 60000, 5);
    if (m.decode == DecodeFastChunk) {
        EXPECT_LE(RoundTrip(noise, 0, {60000}, {}), noise.size() * 9 / 8 + 2);  // control bits only
    }
    if (m.decode == DecodeNukeChunk) {
        EXPECT_LT(RoundTrip(Bytes(65536, 0), 0, {65536}, {}), 65536u / 29);  // a long copy costs 4 bits per 15 bytes
        EXPECT_LT(RoundTrip(SampleData(Shape::Text, 65536, 1), 0, {65536}, {}), 65536u / 3);
    }
    if (m.decode == DecodeRakeChunk) {  // beyond the item limit a chunk is not packed
        EXPECT_TRUE(m.pack(SampleData(Shape::Noise, 66000, 5), 0, 66000, {}).empty());
        EXPECT_TRUE(m.pack(Bytes{}, 0, 0, {}).empty());
    }
}

}  // namespace
}  // namespace yafa::test
