// NUKE packer: an optimal-parse LZ coder over the shared match finder. The
// chunk is planned as a list of steps (a literal group and/or a copy), then
// written by simulating the decoder's four readers over one forward stream.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "format/big_endian.h"
#include "format/nuke_format.h"
#include "lz_match_finder.h"
#include "method_packers.h"

namespace yafa::encode {
namespace {

constexpr uint32_t kMaxDistance = kNukeMaxDistance;
constexpr uint32_t kMaxDistance2 = kNukeMaxDistance2;  // length 2
constexpr uint32_t kMaxDistance3 = kNukeMaxDistance3;  // length 3
constexpr uint32_t kNiceLength = 128;       // matches this long are taken at once
constexpr uint32_t kMaxChain = 64;          // candidates per position: a few % for 4x the speed

// s 0..3 serve length 2, s 4..9 length 3, s 10..15 length 4 and more.
constexpr const auto& kCodes = kNukeDistanceCodes;

uint32_t ClassFirst(uint32_t length) { return length == 2 ? 0 : length == 3 ? 4 : 10; }

bool CopyAllowed(uint32_t length, uint32_t distance) {
    if (distance == 0 || length < 2) return false;
    return distance <= (length == 2 ? kMaxDistance2 : length == 3 ? kMaxDistance3 : kMaxDistance);
}

// The code for a copy; the caller has checked CopyAllowed.
uint32_t SelectCode(uint32_t length, uint32_t distance) {
    uint32_t s = ClassFirst(length);
    while (distance >= kCodes[s].base + (1u << kCodes[s].bits)) ++s;
    return s;
}

// Bits of a copy without its token bit.
uint32_t CopyCost(uint32_t length, uint32_t distance) {
    uint32_t cost = 4 + kCodes[SelectCode(length, distance)].bits;
    if (length >= 4) cost += 2 + (length >= 7 ? 4 * ((length - 7) / 15 + 1) : 0);
    return cost;
}

// Bits of a literal group of `count` bytes, token bits included.
uint32_t LiteralCost(uint32_t count) {
    if (count == 1) return 2 + 8;
    return 2 + 8 * count + 2 * ((count - 2) / 3 + 1);
}

// One token of the plan: `literals` bytes (0: none) then a copy; the last
// step has literals and no copy (copyLength 0).
struct Step {
    uint32_t literals = 0;
    uint32_t copyLength = 0;
    uint32_t distance = 0;
};

// The forward stream, written as the decoder will read it: a reader that
// runs dry takes the next word at the moment it needs it, so each writer
// reserves its word's slot at the stream's end when it starts a new word.
class ForwardWriter {
public:
    void TokenBit(uint32_t bit) {
        if (tokenLeft_ == 0) {
            tokenSlot_ = Reserve(2);
            tokenLeft_ = 16;
        }
        --tokenLeft_;
        if (bit != 0) SetBits16(tokenSlot_, tokenLeft_, 1);
    }
    void Pair(uint32_t value) {
        if (pairLeft_ == 0) {
            pairSlot_ = Reserve(2);
            pairLeft_ = 8;
        }
        --pairLeft_;
        SetBits16(pairSlot_, 2 * pairLeft_, value);
    }
    void Nibble(uint32_t value) {
        if (nibbleUsed_ == 8) {
            nibbleSlot_ = Reserve(4);
            nibbleUsed_ = 0;
        }
        // Nibble k sits in bits 4k..4k+3 of the big-endian 32-bit word.
        const size_t at = nibbleSlot_ + 3 - nibbleUsed_ / 2;
        bytes_[at] = static_cast<uint8_t>(bytes_[at] | (value << (4 * (nibbleUsed_ % 2))));
        ++nibbleUsed_;
    }
    // A field continues in the next distance word when the current one has
    // fewer bits left than it needs; its high bits fill the old word.
    void DistanceBits(uint32_t count, uint32_t value) {
        if (distLeft_ < count) {
            const uint32_t rest = count - distLeft_;
            if (distLeft_ != 0) SetBits16(distSlot_, 0, value >> rest);
            distSlot_ = Reserve(2);
            distLeft_ = 16;
            count = rest;
            value &= (1u << rest) - 1u;
        }
        distLeft_ -= count;
        SetBits16(distSlot_, distLeft_, value);
    }
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    size_t Reserve(size_t size) {
        bytes_.resize(bytes_.size() + size, 0);
        return bytes_.size() - size;
    }
    void SetBits16(size_t slot, uint32_t shift, uint32_t value) {
        StoreU16BE(&bytes_[slot], LoadU16BE(&bytes_[slot]) | (value << shift));
    }

    std::vector<uint8_t> bytes_;
    size_t tokenSlot_ = 0, pairSlot_ = 0, nibbleSlot_ = 0, distSlot_ = 0;
    uint32_t tokenLeft_ = 0, pairLeft_ = 0, nibbleUsed_ = 8, distLeft_ = 0;
};

// Writes the planned steps. `literalAt(i)` gives the i-th literal byte of the
// chunk in output order; steps may run past the chunk's end only by bytes
// that the caller supplies through it too.
template <class LiteralAt>
std::vector<uint8_t> WritePayload(const std::vector<Step>& steps, LiteralAt literalAt) {
    ForwardWriter fwd;
    std::vector<uint8_t> literals;
    size_t pos = 0;
    for (const Step& step : steps) {
        if (step.literals == 0) {
            fwd.TokenBit(1);
        } else {
            fwd.TokenBit(0);
            if (step.literals == 1) {
                fwd.TokenBit(1);
            } else {
                fwd.TokenBit(0);
                const uint32_t zeros = (step.literals - 2) / 3;
                for (uint32_t z = 0; z < zeros; ++z) fwd.Pair(0);
                fwd.Pair(5 - (step.literals - 3 * zeros));
            }
            for (uint32_t i = 0; i < step.literals; ++i) literals.push_back(literalAt(pos + i));
            pos += step.literals;
        }
        if (step.copyLength == 0) break;

        const uint32_t s = SelectCode(step.copyLength, step.distance);
        fwd.Nibble(s);
        fwd.DistanceBits(kCodes[s].bits, step.distance - kCodes[s].base);
        if (step.copyLength >= 4) {
            if (step.copyLength <= 6) {
                fwd.Pair(7 - step.copyLength);
            } else {
                fwd.Pair(0);
                const uint32_t zeros = (step.copyLength - 7) / 15;
                for (uint32_t z = 0; z < zeros; ++z) fwd.Nibble(0);
                fwd.Nibble(16 - (step.copyLength - 6 - 15 * zeros));
            }
        }
        pos += step.copyLength;
    }
    std::vector<uint8_t> payload = std::move(fwd.Bytes());
    payload.insert(payload.end(), literals.rbegin(), literals.rend());
    return payload;
}

// Minimum-cost parse. Two states per position: B, after a copy (or at the
// start), where any token may follow; L, inside a literal group, which must
// be followed by a copy or reach the end. A group's length is tracked per
// position so that its cost is exact along the kept path.
std::vector<Step> PlanOptimal(std::span<const uint8_t> stream, size_t start, uint32_t n) {
    constexpr uint32_t kInf = std::numeric_limits<uint32_t>::max();
    struct Node {
        uint32_t costB = kInf, costL = kInf;
        uint32_t runL = 0;                        // L: group length
        uint32_t copyLength = 0, distance = 0;    // B: the copy that arrived
        bool fromL = false;                       // B: the copy followed a group
    };
    std::vector<Node> node(size_t{n} + 1);
    node[0].costB = 0;

    LzMatchFinder finder(stream.first(start + n), kMaxDistance, kMaxChain);
    finder.InsertRange(start > kMaxDistance ? start - kMaxDistance : 0, start);

    size_t skipUntil = 0;
    for (uint32_t i = 0; i < n; ++i) {
        Node& here = node[i];
        Node& next = node[i + 1];
        if (i >= skipUntil) {
            if (here.costB != kInf && here.costB + LiteralCost(1) < next.costL) {
                next.costL = here.costB + LiteralCost(1);
                next.runL = 1;
            }
            if (here.costL != kInf) {
                const uint32_t run = here.runL + 1;
                const uint32_t cost = here.costL + LiteralCost(run) - LiteralCost(run - 1);
                if (cost < next.costL) {
                    next.costL = cost;
                    next.runL = run;
                }
            }
        }
        // Copies never reach the end: a literal has to finish the chunk.
        const uint32_t maxLength = n - 1 - i;
        if (i >= skipUntil && maxLength >= 2 && (here.costB != kInf || here.costL != kInf)) {
            // A copy after a group needs no token bit of its own.
            const bool fromL = here.costL <= here.costB;
            const uint32_t base = fromL ? here.costL : here.costB + 1;
            uint32_t covered = 1;
            LzMatch longest;
            // Nearest first: a length is cheapest from the nearest source that
            // reaches it, so each candidate only adds the lengths it extends.
            finder.ForEachCandidate(start + i, maxLength, kMaxDistance, [&](uint32_t distance, uint32_t length) {
                if (length > longest.length) longest = {length, distance};
                const uint32_t top = std::min(length, kNiceLength);
                for (uint32_t l = covered + 1; l <= top; ++l) {
                    if (!CopyAllowed(l, distance)) continue;
                    const uint32_t cost = base + CopyCost(l, distance);
                    Node& to = node[i + l];
                    if (cost < to.costB) {
                        to.costB = cost;
                        to.copyLength = l;
                        to.distance = distance;
                        to.fromL = fromL;
                    }
                }
                covered = std::max(covered, top);
            });
            if (longest.length >= kNiceLength) {
                const uint32_t cost = base + CopyCost(longest.length, longest.distance);
                Node& to = node[i + longest.length];
                if (cost < to.costB) {
                    to.costB = cost;
                    to.copyLength = longest.length;
                    to.distance = longest.distance;
                    to.fromL = fromL;
                }
                skipUntil = i + longest.length;
            }
        }
        finder.Insert(start + i);
    }

    // Walk back from the final literal group.
    std::vector<Step> steps;
    uint32_t pos = n;
    Step last{node[n].runL, 0, 0};
    pos -= last.literals;
    steps.push_back(last);
    while (pos > 0) {
        const Node& at = node[pos];
        Step step{0, at.copyLength, at.distance};
        pos -= at.copyLength;
        if (at.fromL) {
            step.literals = node[pos].runL;
            pos -= step.literals;
        }
        steps.push_back(step);
    }
    std::reverse(steps.begin(), steps.end());
    return steps;
}

// Stress plan: walks the chunk with seeded random choices so that every code
// and boundary of the format shows up: each s with its smallest and largest
// distance, every short length and long nibble chains, long literal runs,
// single literals, copies from earlier chunks, and chunk ends passed by a
// run or by a copy followed by a literal.
class StressPlanner {
public:
    StressPlanner(std::span<const uint8_t> stream, size_t start, uint32_t n, uint32_t seed)
        : stream_(stream), start_(start), n_(n), rng_(seed), finder_(stream.first(start + n), kMaxDistance, kMaxChain),
          inserted_(start > kMaxDistance ? start - kMaxDistance : 0) {}

    // Fills `steps`; returns the number of bytes the plan writes past the end.
    uint32_t Plan(std::vector<Step>& steps) {
        uint32_t pos = 0;
        for (;;) {
            uint32_t want = 0;
            switch (Pick(6)) {
                case 0: case 1: want = 0; break;
                case 2: want = 1; break;
                case 3: want = 2 + Pick(3); break;
                case 4: want = 5 + Pick(12); break;
                default: want = 20 + Pick(120); break;
            }
            // The group must be followed by a copy; extend it until one fits.
            uint32_t literals = std::min(want, n_ - pos);
            Step copy;
            while (pos + literals < n_ && !ChooseCopy(pos + literals, copy)) ++literals;
            if (pos + literals >= n_) {
                // The final group, at least one byte, maybe passing the end.
                literals = std::max<uint32_t>(n_ - pos, 1);
                const uint32_t extra = Pick(4) == 0 ? 1 + Pick(9) : 0;
                steps.push_back({literals + extra, 0, 0});
                return pos + literals + extra - n_;
            }
            copy.literals = literals;
            steps.push_back(copy);
            pos += literals + copy.copyLength;
            if (pos >= n_) {
                // A copy passed the end; a literal still has to finish.
                steps.push_back({1, 0, 0});
                return pos + 1 - n_;
            }
        }
    }

private:
    uint32_t Pick(uint32_t range) { return static_cast<uint32_t>(rng_() % range); }

    uint32_t MatchAt(size_t p, uint32_t distance, uint32_t limit) const {
        uint32_t len = 0;
        while (len < limit && stream_[p - distance + len] == stream_[p + len]) ++len;
        return len;
    }

    // A copy at chunk offset `pos`: first a random code s with its smallest,
    // largest or a random distance, else the finder's longest match.
    bool ChooseCopy(uint32_t pos, Step& copy) {
        const size_t p = start_ + pos;
        for (; inserted_ < p; ++inserted_) finder_.Insert(inserted_);
        const uint32_t left = n_ - pos;
        for (int attempt = 0; attempt < 6; ++attempt) {
            const uint32_t s = Pick(16);
            const uint32_t span = 1u << kCodes[s].bits;
            const uint32_t mode = Pick(3);
            uint32_t distance = kCodes[s].base + (mode == 0 ? 0 : mode == 1 ? span - 1 : Pick(span));
            if (distance == 0) distance = 1;
            if (distance > p) continue;
            const uint32_t minLength = s < 4 ? 2 : s < 10 ? 3 : 4;
            const uint32_t match = MatchAt(p, distance, std::min<uint32_t>(left, 4000));
            if (match < minLength) continue;
            uint32_t length = minLength;
            if (minLength == 4) length = std::min(match, PickLongLength(match));
            copy = {0, length, distance};
            return FinishCopy(copy, left);
        }
        const LzMatch m = finder_.Longest(p, 2, left, kMaxDistance);
        if (m.length == 0) return false;
        uint32_t length = m.length;
        if (!CopyAllowed(length, m.distance)) {
            if (m.distance > kMaxDistance3 || length < 3) return false;
            length = std::min<uint32_t>(length, 3);
            if (!CopyAllowed(length, m.distance)) return false;
        }
        copy = {0, length, m.distance};
        return FinishCopy(copy, left);
    }

    uint32_t PickLongLength(uint32_t match) {
        switch (Pick(5)) {
            case 0: return 4 + Pick(4);                 // 4..7: every pair value, first chain
            case 1: return 7 + 15 * Pick(4) + Pick(15);  // chains with zero nibbles
            case 2: return 21 + 15 * Pick(3);            // nibble 1 after zeros
            default: return match;
        }
    }

    // Sometimes let a copy that reaches the end run on into the slack: its
    // bytes inside the chunk are right, the rest is overwritten later.
    bool FinishCopy(Step& copy, uint32_t left) {
        if (copy.copyLength >= left && copy.copyLength >= 4 && Pick(2) == 0) copy.copyLength += Pick(20);
        return true;
    }

    std::span<const uint8_t> stream_;
    size_t start_;
    uint32_t n_;
    std::mt19937 rng_;
    LzMatchFinder finder_;
    size_t inserted_;  // the finder knows the positions below this one
};

}  // namespace

std::vector<uint8_t> PackNukeChunk(std::span<const uint8_t> stream, size_t chunkStart, size_t chunkLength,
                                   const PackOptions& options) {
    const uint32_t n = static_cast<uint32_t>(chunkLength);
    const uint8_t* chunk = stream.data() + chunkStart;
    // Bytes past the chunk's end only land in the slack; any value does.
    auto literalAt = [&](size_t i) -> uint8_t { return i < n ? chunk[i] : 0; };

    if (n == 0) return WritePayload({Step{1, 0, 0}}, literalAt);
    if (options.stress) {
        std::vector<Step> steps;
        StressPlanner(stream, chunkStart, n, options.seed).Plan(steps);
        return WritePayload(steps, literalAt);
    }
    return WritePayload(PlanOptimal(stream, chunkStart, n), literalAt);
}

}  // namespace yafa::encode
