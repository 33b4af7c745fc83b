// Packer for the FAST method. Tokens are literals (9 bits with their control
// bit) or copies of 3..18 bytes from up to 4095 bytes back (17 bits). The
// plain packer parses each chunk optimally for that cost; the stress packer
// makes seeded choices that reach every code kind and boundary.
//
// Payload: literal bytes forwards from the start, then the words (control
// words, each followed by the match words of its tokens) backwards from the
// end. The decoder always runs a control word to its 16th token, so the
// tokens behind the data are chosen here: literals that read on into the
// word stream (with a few padding bytes when the payload is shorter than
// them) or, under stress, copies whose match words are the last literal
// bytes. Either way the decoder's positions meet there and it stops.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "format/big_endian.h"
#include "format/xpk_format.h"
#include "lz_match_finder.h"
#include "method_packers.h"

namespace yafa::encode {

namespace {

constexpr uint32_t kWindow = kFastMaxDistance;
constexpr uint32_t kMinMatch = kFastMinMatch;
constexpr uint32_t kMaxMatch = kFastMaxMatch;
constexpr int kTokens = kFastTokensPerControl;

struct Token {
    uint32_t length;    // 1: literal
    uint32_t distance;  // matches only
};

class Rng {
public:
    explicit Rng(uint32_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint32_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

private:
    uint64_t state_;
};

// Minimum-size parse: with a fixed cost per match, the longest match at each
// position gives every usable length, so a backwards pass over
// cost[i] = min(literal + cost[i + 1], match + cost[i + L]) is exact.
std::vector<Token> ParseOptimal(std::span<const uint8_t> data, size_t start, size_t n) {
    LzMatchFinder finder(data, kWindow, 128);
    finder.InsertRange(start > kWindow ? start - kWindow : 0, start);

    std::vector<LzMatch> longest(n);
    LzMatch previous;
    for (size_t i = 0; i < n; ++i) {
        const size_t pos = start + i;
        const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, n - i));
        // Inside long repeats the previous distance usually still gives the
        // longest possible match; that saves walking the hash chain.
        LzMatch match;
        if (previous.length == kMaxMatch && limit == kMaxMatch &&
            finder.MatchLength(pos - previous.distance, pos, limit) == limit) {
            match = previous;
        } else if (limit >= kMinMatch) {
            match = finder.Longest(pos, kMinMatch, limit, kWindow);
        }
        longest[i] = match;
        previous = match;
        finder.Insert(pos);
    }

    constexpr uint32_t kLiteralBits = 9;
    constexpr uint32_t kMatchBits = 17;
    std::vector<uint64_t> cost(n + 1, 0);
    std::vector<uint8_t> choice(n, 1);
    for (size_t i = n; i-- > 0;) {
        cost[i] = kLiteralBits + cost[i + 1];
        for (uint32_t len = kMinMatch; len <= longest[i].length; ++len) {
            const uint64_t c = kMatchBits + cost[i + len];
            if (c <= cost[i]) {  // ties go to the longer copy: fewer tokens
                cost[i] = c;
                choice[i] = static_cast<uint8_t>(len);
            }
        }
    }

    std::vector<Token> tokens;
    for (size_t i = 0; i < n;) {
        const uint32_t len = choice[i];
        tokens.push_back({len, len == 1 ? 0 : longest[i].distance});
        i += len;
    }
    return tokens;
}

// Seeded greedy parse that favours the farthest and nearest sources, the
// shortest and longest copies, literals where a copy would do, and long
// literal runs.
std::vector<Token> ParseStress(std::span<const uint8_t> data, size_t start, size_t n, Rng& rng) {
    LzMatchFinder finder(data, kWindow, 512);
    finder.InsertRange(start > kWindow ? start - kWindow : 0, start);

    std::vector<Token> tokens;
    std::vector<LzMatch> candidates;
    uint32_t literalRun = 0;
    for (size_t i = 0; i < n;) {
        const size_t pos = start + i;
        uint32_t len = 1;
        uint32_t distance = 0;
        if (literalRun > 0) {
            --literalRun;
        } else if (rng.Below(40) == 0) {
            literalRun = 16 + rng.Below(80);
        } else {
            candidates.clear();
            const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, n - i));
            finder.ForEachCandidate(pos, limit, kWindow, [&](uint32_t d, uint32_t l) {
                if (l >= kMinMatch) candidates.push_back({l, d});
            });
            if (!candidates.empty() && rng.Below(8) != 0) {
                LzMatch pick;
                switch (rng.Below(4)) {
                    case 0:
                        pick = *std::max_element(candidates.begin(), candidates.end(),
                                                 [](auto& a, auto& b) { return a.distance < b.distance; });
                        break;
                    case 1: pick = candidates.front(); break;
                    case 2:
                        pick = *std::max_element(candidates.begin(), candidates.end(),
                                                 [](auto& a, auto& b) { return a.length < b.length; });
                        break;
                    default: pick = candidates[rng.Below(static_cast<uint32_t>(candidates.size()))]; break;
                }
                distance = pick.distance;
                switch (rng.Below(3)) {
                    case 0: len = pick.length; break;
                    case 1: len = kMinMatch; break;
                    default: len = kMinMatch + rng.Below(pick.length - kMinMatch + 1); break;
                }
            }
        }
        tokens.push_back({len, distance});
        for (uint32_t k = 0; k < len; ++k) finder.Insert(pos + k);
        i += len;
    }
    return tokens;
}

}  // namespace

std::vector<uint8_t> PackFastChunk(std::span<const uint8_t> stream, size_t chunkStart, size_t chunkLength,
                                   const PackOptions& options) {
    const auto data = stream.first(chunkStart + chunkLength);
    Rng rng(options.seed);
    const std::vector<Token> tokens = options.stress ? ParseStress(data, chunkStart, chunkLength, rng)
                                                     : ParseOptimal(data, chunkStart, chunkLength);

    std::vector<uint8_t> literals;
    std::vector<uint16_t> words;  // in the order the decoder takes them
    size_t control = 0;
    int bit = kTokens;
    size_t pos = chunkStart;
    for (const Token& t : tokens) {
        if (bit == kTokens) {
            control = words.size();
            words.push_back(0);
            bit = 0;
        }
        if (t.length == 1) {
            literals.push_back(data[pos]);
        } else {
            words[control] = static_cast<uint16_t>(words[control] | (0x8000u >> bit));
            words.push_back(static_cast<uint16_t>((t.distance << 4) | (kMaxMatch - t.length)));
        }
        pos += t.length;
        ++bit;
    }
    if (words.empty()) {  // an empty chunk still has one control word
        words.push_back(0);
        bit = 0;
    }

    // Tokens behind the data, up to the end of the last control word.
    const size_t litCount = literals.size();
    const size_t wordBytes = 2 * words.size();
    const int trailing = kTokens - bit;
    size_t trailingLiterals = 0;
    // Copies read their words downwards from the end of the literal bytes;
    // they are only used where no padding lies in between.
    const bool mayCopy = options.stress && static_cast<size_t>(trailing) <= wordBytes;
    size_t outPos = pos;
    size_t wordAt = litCount;
    for (int k = 0; k < trailing; ++k) {
        if (mayCopy && wordAt >= 2 && rng.Below(2) == 0) {
            const uint32_t m = LoadU16BE(&literals[wordAt - 2]);
            const uint32_t distance = m >> 4;
            if (distance >= 1 && distance <= outPos) {
                words[control] = static_cast<uint16_t>(words[control] | (0x8000u >> (bit + k)));
                wordAt -= 2;
                outPos += kMaxMatch - (m & 15);
                continue;
            }
        }
        ++trailingLiterals;
        ++outPos;
    }
    // Trailing literals read on into the words; pad in between when there
    // are fewer word bytes than such literals. The padding never exceeds
    // their count, so the positions still meet.
    const size_t padding = trailingLiterals > wordBytes ? trailingLiterals - wordBytes : 0;

    std::vector<uint8_t> payload(litCount + padding + wordBytes, 0);
    std::copy(literals.begin(), literals.end(), payload.begin());
    size_t at = payload.size();
    for (uint16_t w : words) {
        at -= 2;
        StoreU16BE(&payload[at], w);
    }
    return payload;
}

}  // namespace yafa::encode
