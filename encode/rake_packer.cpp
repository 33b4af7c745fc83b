// Packer for RAKE chunks. The decoder fills a chunk from its end towards its
// start and copies from above, so the packer parses the reversed chunk
// forwards as plain LZ (a match at p copies from p - distance) and writes the
// items in that order: item t's byte goes to byteStreamEnd - 1 - t, its bits
// go to the bit stream in order.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "format/big_endian.h"
#include "format/rake_format.h"
#include "lz_match_finder.h"
#include "method_packers.h"

namespace yafa::encode {
namespace {

constexpr uint32_t kMinCount = RAKE_MIN_COUNT;
constexpr uint32_t kMaxCount = RAKE_MAX_COUNT;
constexpr uint32_t kMaxDistance = RAKE_MAX_DISTANCE;
constexpr size_t kHeaderSize = kRakeHeaderBytes;
constexpr size_t kMaxItems = 0xFFFF - kHeaderSize;  // byteStreamEnd is 16 bits
constexpr uint32_t kMaxChain = 64;
// A match at least this long is taken without parsing the positions inside
// it: long runs would otherwise cost a full chain walk per byte.
constexpr uint32_t kNiceLength = 128;

struct Item {
    uint32_t pos;       // in the reversed chunk
    uint32_t count;     // 0: literal
    uint32_t distance;  // matches only
};

// The class of a distance: the last one whose base it reaches.
constexpr const RakeDistanceClass& ClassOf(uint32_t distance) {
    return distance >= kRakeClasses[2].base ? kRakeClasses[2] : distance >= kRakeClasses[1].base ? kRakeClasses[1] : kRakeClasses[0];
}

constexpr uint32_t ClassBits(uint32_t distance) { return ClassOf(distance).classBits + ClassOf(distance).highBits; }

constexpr uint32_t kLiteralBits = 1 + 8;

constexpr uint32_t MatchBits(uint32_t count, uint32_t distance) {
    return 1 + RakeLengthCode[count - kMinCount].length + ClassBits(distance) + 8;
}

// Cheapest item sequence by bit count: a shortest path over positions,
// where a match of count c is priced by its own codeword (the code is not
// monotone: 257 is cheaper than 129..256).
std::vector<Item> ParseOptimal(std::span<const uint8_t> data) {
    const size_t n = data.size();
    constexpr uint32_t kUnreached = std::numeric_limits<uint32_t>::max();
    std::vector<uint32_t> price(n + 1, kUnreached);
    std::vector<Item> via(n + 1);  // the item that reaches each position
    LzMatchFinder finder(data, kMaxDistance, kMaxChain);

    auto relax = [&](size_t to, uint32_t cost, const Item& item) {
        if (cost < price[to]) {
            price[to] = cost;
            via[to] = item;
        }
    };

    price[0] = 0;
    size_t i = 0;
    while (i < n) {
        const uint32_t base = price[i];
        const uint32_t pos = static_cast<uint32_t>(i);
        relax(i + 1, base + kLiteralBits, {pos, 0, 0});
        // Candidates come nearest first, so each count is priced with the
        // nearest (cheapest) distance that reaches it.
        uint32_t covered = kMinCount - 1;
        finder.ForEachCandidate(i, kMaxCount, kMaxDistance, [&](uint32_t distance, uint32_t length) {
            for (uint32_t c = covered + 1; c <= length; ++c)
                relax(i + c, base + MatchBits(c, distance), {pos, c, distance});
            covered = std::max(covered, length);
        });
        finder.Insert(i);
        if (covered >= kNiceLength) {
            finder.InsertRange(i + 1, i + covered);
            i += covered;
        } else {
            ++i;
        }
    }

    std::vector<Item> items;
    for (size_t at = n; at > 0; at = via[at].pos) items.push_back(via[at]);
    std::reverse(items.begin(), items.end());
    return items;
}

// Greedy parse with seeded choices that reach every count, the distance
// class boundaries, overlapping copies and literals between matches.
std::vector<Item> ParseStress(std::span<const uint8_t> data, std::mt19937& rng, uint32_t seed) {
    const size_t n = data.size();
    LzMatchFinder finder(data, kMaxDistance, 16);
    std::vector<Item> items;
    struct Candidate {
        uint32_t distance, length;
    };
    // Matches long enough take the counts in turn, from a seeded start, so
    // that a few long runs reach every count.
    uint32_t sweep = seed * 97;
    size_t i = 0;
    while (i < n) {
        const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kMaxCount, n - i));
        std::vector<Candidate> found, edges;
        finder.ForEachCandidate(i, kMaxCount, kMaxDistance, [&](uint32_t distance, uint32_t length) {
            if (length >= kMinCount) found.push_back({distance, length});
        });
        const uint32_t randomDistance = 1 + static_cast<uint32_t>(rng() % kMaxDistance);
        for (uint32_t d : {1u, 2u, 256u, 257u, 2304u, 2305u, kMaxDistance, randomDistance}) {
            if (d > i) continue;
            const uint32_t length = finder.MatchLength(i - d, i, limit);
            if (length >= kMinCount) edges.push_back({d, length});
        }
        const std::vector<Candidate>& pool = !edges.empty() && (found.empty() || rng() % 2) ? edges : found;
        if (pool.empty() || rng() % 6 == 0) {
            items.push_back({static_cast<uint32_t>(i), 0, 0});
            finder.Insert(i++);
            continue;
        }
        const Candidate pick = pool[rng() % pool.size()];
        uint32_t count = pick.length;
        switch (rng() % 5) {
            case 0: break;  // longest
            case 1: count = std::min(kMinCount + sweep++ % (kMaxCount - kMinCount + 1), pick.length); break;
            case 2: count = std::min(255 + static_cast<uint32_t>(rng() % 3), pick.length); break;
            case 3: count = kMinCount; break;
            default: count = kMinCount + static_cast<uint32_t>(rng() % (pick.length - kMinCount + 1)); break;
        }
        items.push_back({static_cast<uint32_t>(i), count, pick.distance});
        finder.InsertRange(i, i + count);
        i += count;
    }
    return items;
}

// Adds one item by peeling the first byte of a match off as a literal; the
// rest still matches at the same distance. False when no match can spare one.
bool AddOneItem(std::vector<Item>& items, std::mt19937& rng) {
    if (items.empty()) return false;
    const size_t start = rng() % items.size();
    for (size_t k = 0; k < items.size(); ++k) {
        const size_t t = (start + k) % items.size();
        if (items[t].count <= kMinCount) continue;
        const Item match = items[t];
        items[t] = {match.pos, 0, 0};
        items.insert(items.begin() + static_cast<ptrdiff_t>(t) + 1, {match.pos + 1, match.count - 1, match.distance});
        return true;
    }
    return false;
}

// Writes bits into 32-bit words whose first one keeps its low `skipBits`
// bits free.
class BitStreamWriter {
public:
    explicit BitStreamWriter(uint32_t skipBits) : skipBits_(skipBits) {}

    void Put(uint32_t value, uint32_t count) {
        while (count-- > 0) {
            const size_t at = Position(written_++);
            if (at / 32 >= words_.size()) words_.resize(at / 32 + 1, 0);
            if ((value >> count) & 1) words_[at / 32] |= uint32_t{1} << (31 - at % 32);
        }
    }
    size_t written() const { return written_; }

    // Where stream bit s lies, counting from the first word's top bit.
    size_t Position(size_t s) const { return s < 32 - skipBits_ ? s : s + skipBits_; }

    // The words up to the one holding stream bit `last`; bits that belong to
    // no item are zero, or noise when `noise` is given.
    std::vector<uint32_t> Finish(size_t last, std::mt19937* noise) {
        const size_t count = Position(last) / 32 + 1;
        if (words_.size() < count) words_.resize(count, 0);
        if (noise != nullptr) {
            const size_t used = written_ == 0 ? 0 : Position(written_ - 1) + 1;
            for (size_t at = 0; at < words_.size() * 32; ++at) {
                const bool skipped = at >= 32 - skipBits_ && at < 32;
                if ((skipped || at >= used) && ((*noise)() & 1)) words_[at / 32] |= uint32_t{1} << (31 - at % 32);
            }
        }
        return words_;
    }

private:
    uint32_t skipBits_;
    size_t written_ = 0;
    std::vector<uint32_t> words_;
};

std::vector<uint8_t> Emit(std::span<const uint8_t> data, const std::vector<Item>& items, uint32_t skipBits,
                          std::mt19937* noise) {
    const size_t byteStreamEnd = kHeaderSize + items.size();
    const size_t streamStart = byteStreamEnd + (byteStreamEnd & 1);
    std::vector<uint8_t> out(streamStart, 0);
    StoreU16BE(&out[0], skipBits);
    StoreU16BE(&out[2], static_cast<uint32_t>(byteStreamEnd));
    if ((byteStreamEnd & 1) && noise != nullptr) out[byteStreamEnd] = static_cast<uint8_t>((*noise)());

    BitStreamWriter bits(skipBits);
    size_t lastStart = 0;
    for (size_t t = 0; t < items.size(); ++t) {
        const Item& item = items[t];
        lastStart = bits.written();
        uint8_t byte = data[item.pos];
        if (item.count == 0) {
            bits.Put(0, 1);
        } else {
            const RakeCodeword code = RakeLengthCode[item.count - kMinCount];
            const RakeDistanceClass& cls = ClassOf(item.distance);
            const uint32_t classBits = &cls == &kRakeClasses[0] ? 0b0 : &cls == &kRakeClasses[1] ? 0b10 : 0b11;
            bits.Put(1, 1);
            bits.Put(code.bits, code.length);
            bits.Put(classBits, cls.classBits);
            if (cls.highBits) bits.Put((item.distance - cls.base) >> 8, cls.highBits);
            byte = static_cast<uint8_t>(item.distance - cls.base);
        }
        out[byteStreamEnd - 1 - t] = byte;
    }
    // The decoder stops with the word that holds the first bit after its
    // window fetched: 32 bits past the last item's first bit.
    for (const uint32_t word : bits.Finish(lastStart + 32, noise)) AppendU32BE(out, word);
    return out;
}

}  // namespace

std::vector<uint8_t> PackRakeChunk(std::span<const uint8_t> stream, size_t chunkStart, size_t chunkLength,
                                   const PackOptions& options) {
    // A payload holds at least one item and at most kMaxItems; a chunk that
    // needs more (or none) cannot be packed: empty result.
    if (chunkLength == 0 || chunkStart > stream.size() || chunkLength > stream.size() - chunkStart) return {};
    std::vector<uint8_t> reversed(stream.begin() + static_cast<ptrdiff_t>(chunkStart),
                                  stream.begin() + static_cast<ptrdiff_t>(chunkStart + chunkLength));
    std::reverse(reversed.begin(), reversed.end());

    if (!options.stress) {
        const std::vector<Item> items = ParseOptimal(reversed);
        if (items.size() > kMaxItems) return {};
        return Emit(reversed, items, 0, nullptr);
    }

    std::mt19937 rng(options.seed);
    std::vector<Item> items = ParseStress(reversed, rng, options.seed);
    // Odd and even byteStreamEnd in turn.
    const bool wantOdd = (options.seed >> 1) & 1;
    if (((kHeaderSize + items.size()) & 1) != wantOdd) AddOneItem(items, rng);
    if (items.size() > kMaxItems) return {};
    // skipBits 0 and 32 each on one seed in four, values between on the rest.
    const uint32_t skipBits = options.seed % 4 == 0   ? 0
                              : options.seed % 4 == 1 ? 32
                                                      : 1 + static_cast<uint32_t>(rng() % 31);
    return Emit(reversed, items, skipBits, &rng);
}

}  // namespace yafa::encode
