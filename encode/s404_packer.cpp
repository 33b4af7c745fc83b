#include "s404_packer.h"

#include <algorithm>
#include <limits>
#include <random>

#include "format/s404_format.h"
#include "iff_writer.h"
#include "lz_match_finder.h"

namespace yafa::encode {

namespace {

constexpr uint32_t kMidBase = kS404MidBase;
constexpr uint32_t kFarBase = kS404FarBase;
constexpr uint32_t kMinRun = kS404MinRun;
constexpr uint32_t kMaxRun = kS404MaxRun;
constexpr uint32_t kMinLong = kS404MinLong;

// Candidate lengths are measured up to kScanCap and extended past it only
// when reached; a match of kNiceLength or more is taken at once, which keeps
// long repeats from costing a full search at every byte.
constexpr uint32_t kScanCap = 256;
constexpr uint32_t kNiceLength = 128;
// Every length up to kDenseLength is tried for each candidate; above it only
// the candidate's full length.
constexpr uint32_t kDenseLength = 32;

enum class Kind : uint8_t { Literal, Run, Match };
enum class OffsetClass : uint8_t { Near, Mid, Far };

struct Token {
    Kind kind = Kind::Literal;
    OffsetClass cls = OffsetClass::Near;
    uint32_t length = 1;
    uint32_t offset = 0;  // match: distance - 1
};

struct Candidate {
    uint32_t distance;
    uint32_t length;
};

uint32_t FarValue(uint32_t offset) { return (offset - kFarBase) & 0xFFFF; }

bool FarFits(uint32_t offset, int offsetBits) { return FarValue(offset) < (1u << offsetBits); }

// Largest distance a far offset of offsetBits bits reaches (offsets are 16 bits).
uint32_t MaxDistance(int offsetBits) { return std::min<uint32_t>((1u << offsetBits) + kFarBase, 65536); }

OffsetClass PlainClass(uint32_t offset) {
    if (offset < kMidBase) return OffsetClass::Near;
    if (offset < kFarBase) return OffsetClass::Mid;
    return OffsetClass::Far;
}

// Bits that a match of `length` with an offset of class `cls` costs.
uint32_t MatchCost(uint32_t length, OffsetClass cls, int offsetBits) {
    const uint32_t b = static_cast<uint32_t>(offsetBits);
    if (length <= 3) return cls == OffsetClass::Near ? 10 : cls == OffsetClass::Mid ? 14 : 4 + b;
    if (length <= 7) return cls == OffsetClass::Near ? 12 : cls == OffsetClass::Mid ? 16 : 6 + b;
    if (length < kMinLong) return cls == OffsetClass::Near ? 15 : cls == OffsetClass::Mid ? 19 : 9 + b;
    const uint32_t extra = 8 * ((length - kMinLong) / 255);
    return 19 + extra + (cls == OffsetClass::Near ? 0 : cls == OffsetClass::Mid ? 4 : b - 6);
}

constexpr uint32_t RunCost(uint32_t count) { return 13 + 8 * count; }

// MSB-first bit sequence in the order the decoder reads it.
class BitWriter {
public:
    void Put(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if ((count_ & 7) == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (count_ & 7));
            ++count_;
        }
    }
    size_t Count() const { return count_; }
    // n bits (n <= 16) from bit position pos; bits past the end read as 0.
    uint32_t Get(size_t pos, int n) const {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++pos) {
            const uint32_t bit = pos < count_ ? (bytes_[pos >> 3] >> (7 - (pos & 7))) & 1 : 0;
            v = (v << 1) | bit;
        }
        return v;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t count_ = 0;
};

// Writes a far offset whose top `highBits` bits go into the code.
void PutFar(BitWriter& w, uint32_t codeBase, uint32_t offset, int highBits, int offsetBits) {
    const uint32_t v = FarValue(offset);
    const int lowBits = offsetBits - highBits;
    w.Put(codeBase | (v >> lowBits), 9);
    w.Put(v & ((1u << lowBits) - 1), lowBits);
}

void EmitToken(BitWriter& w, const Token& t, const uint8_t* src, int offsetBits) {
    const uint32_t o = t.offset;
    switch (t.kind) {
    case Kind::Literal:
        w.Put(src[0], 9);
        return;
    case Kind::Run:
        w.Put(318 + ((t.length - kMinRun) >> 4), 9);
        w.Put((t.length - kMinRun) & 15, 4);
        for (uint32_t i = 0; i < t.length; ++i) w.Put(src[i], 8);
        return;
    case Kind::Match:
        break;
    }
    const uint32_t len = t.length;
    if (len <= 3) {
        const uint32_t code = 384 | (len == 3 ? 0x40 : 0);
        if (t.cls == OffsetClass::Far) {
            PutFar(w, code | 0x20, o, 5, offsetBits);
        } else if (t.cls == OffsetClass::Near) {
            w.Put(code | 0x10 | (o >> 1), 9);
            w.Put(o & 1, 1);
        } else {
            w.Put(code | ((o - kMidBase) >> 5), 9);
            w.Put((o - kMidBase) & 31, 5);
        }
    } else if (len <= 7) {
        const uint32_t code = 320 | ((len - 4) << 4);
        if (t.cls == OffsetClass::Far) {
            PutFar(w, code | 8, o, 3, offsetBits);
        } else if (t.cls == OffsetClass::Near) {
            w.Put(code | 4 | (o >> 3), 9);
            w.Put(o & 7, 3);
        } else {
            w.Put(code | ((o - kMidBase) >> 7), 9);
            w.Put((o - kMidBase) & 127, 7);
        }
    } else if (len < kMinLong) {
        const uint32_t code = 288 + ((len - 8) << 1);
        if (t.cls == OffsetClass::Far) {
            w.Put(code | 1, 9);
            w.Put(FarValue(o), offsetBits);
        } else if (t.cls == OffsetClass::Near) {
            w.Put(code, 9);
            w.Put(0x20 | o, 6);
        } else {
            w.Put(code, 9);
            w.Put((o - kMidBase) >> 4, 6);
            w.Put((o - kMidBase) & 15, 4);
        }
    } else {
        // Length 23 + v, with bytes following while they read 255.
        uint32_t rest = len - kMinLong;
        uint32_t v = std::min<uint32_t>(rest, 255);
        w.Put(256 | (v >> 3), 9);
        w.Put(v & 7, 3);
        while (v == 255) {
            rest -= 255;
            v = std::min<uint32_t>(rest, 255);
            w.Put(v, 8);
        }
        if (t.cls == OffsetClass::Far) {
            const uint32_t fv = FarValue(o);
            w.Put(0x40 | (fv >> (offsetBits - 6)), 7);
            w.Put(fv & ((1u << (offsetBits - 6)) - 1), offsetBits - 6);
        } else if (t.cls == OffsetClass::Near) {
            w.Put(0x20 | o, 7);
        } else {
            w.Put((o - kMidBase) >> 4, 7);
            w.Put((o - kMidBase) & 15, 4);
        }
    }
}

// Candidates at `pos`, nearest first, with lengths past the scan cap made whole.
void Candidates(const LzMatchFinder& finder, std::span<const uint8_t> data, size_t pos, uint32_t maxDistance,
                std::vector<Candidate>& out) {
    out.clear();
    finder.ForEachCandidate(pos, kScanCap, maxDistance, [&](uint32_t distance, uint32_t length) {
        if (length == kScanCap)
            length = finder.MatchLength(pos - distance, pos, static_cast<uint32_t>(data.size() - pos));
        out.push_back({distance, length});
    });
}

// Lowest-cost parse of `data` (the reversed frame) by dynamic programming
// over positions; a long match closes the current stretch and is taken.
std::vector<Token> ParseOptimal(std::span<const uint8_t> data, int offsetBits) {
    const size_t n = data.size();
    const uint32_t maxDistance = MaxDistance(offsetBits);
    LzMatchFinder finder(data, maxDistance, 64);

    struct Node {
        uint32_t cost;
        Token step;  // how this position was reached
    };
    constexpr uint32_t kInf = std::numeric_limits<uint32_t>::max();
    std::vector<Node> nodes(n + 1);
    std::vector<Token> tokens;
    std::vector<Token> stretch;
    std::vector<Candidate> cands;

    size_t start = 0;
    size_t filled = 0;  // nodes[start..filled] are initialised
    nodes[0].cost = 0;
    auto relax = [&](size_t to, uint32_t cost, const Token& step) {
        while (filled < to) nodes[++filled].cost = kInf;
        if (cost < nodes[to].cost) nodes[to] = {cost, step};
    };
    auto closeStretch = [&](size_t end) {
        stretch.clear();
        for (size_t p = end; p > start; p -= nodes[p].step.length) stretch.push_back(nodes[p].step);
        tokens.insert(tokens.end(), stretch.rbegin(), stretch.rend());
    };

    for (size_t i = 0; i < n; ++i) {
        const uint32_t base = nodes[i].cost;
        Candidates(finder, data, i, maxDistance, cands);
        uint32_t best = 0;
        for (const Candidate& c : cands) best = std::max(best, c.length);

        if (best >= kNiceLength) {
            closeStretch(i);
            for (const Candidate& c : cands) {
                if (c.length == best) {
                    tokens.push_back({Kind::Match, PlainClass(c.distance - 1), best, c.distance - 1});
                    break;
                }
            }
            finder.InsertRange(i, i + best);
            start = filled = i + best;
            nodes[start].cost = 0;
            i = start - 1;
            continue;
        }

        relax(i + 1, base + 9, {Kind::Literal, OffsetClass::Near, 1, 0});
        for (uint32_t count = kMinRun; count <= kMaxRun && i + count <= n; ++count)
            relax(i + count, base + RunCost(count), {Kind::Run, OffsetClass::Near, count, 0});
        // Nearer offsets never cost more, so each length goes to the nearest
        // candidate that reaches it.
        uint32_t covered = 1;
        for (const Candidate& c : cands) {
            if (c.length <= covered) continue;
            const uint32_t offset = c.distance - 1;
            const OffsetClass cls = PlainClass(offset);
            for (uint32_t len = covered + 1; len <= c.length; ++len) {
                if (len > kDenseLength && len != c.length) continue;
                relax(i + len, base + MatchCost(len, cls, offsetBits), {Kind::Match, cls, len, offset});
            }
            covered = c.length;
        }
        finder.Insert(i);
    }
    closeStretch(n);
    return tokens;
}

// A parse that reaches every code kind, length boundary and offset class the
// data allows, chosen at random.
std::vector<Token> ParseStress(std::span<const uint8_t> data, int offsetBits, std::mt19937& rng) {
    const size_t n = data.size();
    const uint32_t maxDistance = MaxDistance(offsetBits);
    LzMatchFinder finder(data, maxDistance, 64);
    std::vector<Token> tokens;
    std::vector<Candidate> cands;
    static constexpr uint32_t kEdgeLengths[] = {2, 3, 4, 7, 8, 22, 23, 277, 278, 532, 533, 550};
    auto pick = [&](uint32_t bound) { return static_cast<uint32_t>(rng() % bound); };

    for (size_t i = 0; i < n;) {
        const uint32_t roll = pick(100);
        if (roll < 6 && n - i >= kMinRun) {
            const uint32_t most = static_cast<uint32_t>(std::min<size_t>(kMaxRun, n - i));
            const uint32_t choice = pick(3);
            const uint32_t count = choice == 0 ? kMinRun : choice == 1 ? most : kMinRun + pick(most - kMinRun + 1);
            tokens.push_back({Kind::Run, OffsetClass::Near, count, 0});
            finder.InsertRange(i, i + count);
            i += count;
            continue;
        }
        Candidates(finder, data, i, maxDistance, cands);
        if (cands.empty() || roll < 16) {
            tokens.push_back({Kind::Literal, OffsetClass::Near, 1, 0});
            finder.Insert(i++);
            continue;
        }
        const uint32_t which = pick(3);
        const Candidate c = which == 0 ? cands.front() : which == 1 ? cands.back() : cands[pick(static_cast<uint32_t>(cands.size()))];
        uint32_t len = c.length;
        if (pick(2) == 0) {
            const uint32_t edge = kEdgeLengths[pick(std::size(kEdgeLengths))];
            if (edge <= c.length) len = edge;
        } else if (pick(2) == 0) {
            len = 2 + pick(c.length - 1);
        }
        const uint32_t offset = c.distance - 1;
        OffsetClass cls = PlainClass(offset);
        // With 16-bit far offsets every offset can also be sent far, by wrapping.
        if (cls != OffsetClass::Far && FarFits(offset, offsetBits) && pick(3) == 0) cls = OffsetClass::Far;
        tokens.push_back({Kind::Match, cls, len, offset});
        finder.InsertRange(i, i + len);
        i += len;
    }
    return tokens;
}

// Width of far offsets that lets them reach the whole frame.
int ChooseOffsetBits(size_t size) {
    int bits = 6;
    while (bits < 16 && (size_t{1} << bits) + kFarBase < size) ++bits;
    return bits;
}

}  // namespace

std::vector<uint8_t> PackS404(std::span<const uint8_t> data, const PackOptions& options) {
    std::mt19937 rng(options.seed);
    // The decoder fills the frame from its end, so matches are found on the
    // reversed bytes: an offset o there copies from o + 1 bytes back.
    const std::vector<uint8_t> reversed(data.rbegin(), data.rend());
    const int offsetBits = options.stress ? 6 + static_cast<int>(options.seed % 11) : ChooseOffsetBits(data.size());
    const std::vector<Token> tokens =
        options.stress ? ParseStress(reversed, offsetBits, rng) : ParseOptimal(reversed, offsetBits);

    BitWriter bits;
    size_t pos = 0;
    for (const Token& t : tokens) {
        EmitToken(bits, t, reversed.data() + pos, offsetBits);
        pos += t.length;
    }

    // Bits after the last code are never read; stress mode pads with noise,
    // often to a whole word so that the first word holds no valid bits.
    size_t total = bits.Count();
    if (options.stress) {
        const auto choice = static_cast<uint32_t>(rng() % 3);
        const size_t pad = choice == 0 ? 0 : choice == 1 ? (16 - total % 16) % 16 : rng() % 40;
        for (size_t i = 0; i < pad; ++i) bits.Put(rng() & 1, 1);
        total = bits.Count();
    }

    // Layout from offset 0 up: the later words (last read first), the
    // offsetBits word, the first word, and the word holding the first word's
    // count of valid bits.
    const int firstBits = static_cast<int>(total % 16);
    const size_t words = total / 16;
    uint32_t first = firstBits ? bits.Get(0, firstBits) << (16 - firstBits) : 0;
    std::vector<uint32_t> later(words);
    for (size_t k = 0; k < words; ++k) later[k] = bits.Get(firstBits + 16 * k, 16);
    if (options.stress) {
        // The first word's unused low bits reach the decoder ORed into the
        // second word; put some of the second word's bits there.
        const uint32_t lowMask = (1u << (16 - firstBits)) - 1;
        if (words == 0) {
            first |= static_cast<uint32_t>(rng()) & lowMask;
        } else {
            const uint32_t moved = (later[0] >> firstBits) & lowMask & static_cast<uint32_t>(rng());
            first |= moved;
            if (rng() & 1) later[0] &= ~(moved << firstBits) & 0xFFFF;
        }
    }

    std::vector<uint8_t> packed;
    if (options.stress && (rng() & 1)) packed.push_back(static_cast<uint8_t>(rng()));  // odd word offsets
    for (size_t k = words; k-- > 0;) PutU16BE(packed, later[k]);
    PutU16BE(packed, static_cast<uint32_t>(offsetBits));
    PutU16BE(packed, first);
    const uint32_t packedEnd = static_cast<uint32_t>(packed.size());
    PutU16BE(packed, (options.stress ? rng() & 0xFFF0 : 0) | static_cast<uint32_t>(firstBits));
    if (options.stress) {
        for (uint32_t extra = rng() % 4; extra > 0; --extra) packed.push_back(static_cast<uint8_t>(rng()));
    }

    std::vector<uint8_t> frame = {'S', '4', '0', '4'};
    PutU32BE(frame, static_cast<uint32_t>(packedEnd + 2));
    PutU32BE(frame, static_cast<uint32_t>(data.size()));
    PutU32BE(frame, packedEnd);
    frame.insert(frame.end(), packed.begin(), packed.end());
    return frame;
}

}  // namespace yafa::encode
