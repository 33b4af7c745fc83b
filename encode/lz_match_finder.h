// Hash-chain match finder shared by the packers. It works forwards: a match
// at position p copies from p - distance. Methods that produce their output
// backwards (S404, RAKE) run it over the reversed data.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

namespace yafa::encode {

struct LzMatch {
    uint32_t length = 0;    // 0: none
    uint32_t distance = 0;  // >= 1
};

class LzMatchFinder {
public:
    // `data` must outlive the finder. `maxDistance` bounds every match the
    // finder reports; `maxChain` bounds the candidates looked at per position.
    LzMatchFinder(std::span<const uint8_t> data, uint32_t maxDistance, uint32_t maxChain = 256);

    // Makes position `pos` available as a match source for later positions.
    // Positions must be inserted in increasing order, each at most once.
    void Insert(size_t pos);
    // Inserts every position in [from, to).
    void InsertRange(size_t from, size_t to);

    // The longest match at `pos` (ties go to the nearest) with length in
    // [minLength, maxLength] and distance in [1, maxDistance]. Only inserted
    // positions are candidates. Length 0 when there is none.
    LzMatch Longest(size_t pos, uint32_t minLength, uint32_t maxLength, uint32_t maxDistance) const;

    // Calls visit(distance, length) for each candidate at `pos`, nearest
    // first, with the length it reaches (capped at maxLength; at least 2).
    // A visitor that returns bool stops the walk by returning false.
    template <class Visit>
    void ForEachCandidate(size_t pos, uint32_t maxLength, uint32_t maxDistance, Visit&& visit) const {
        if (pos + 2 > data_.size()) return;
        const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(maxLength, data_.size() - pos));
        int64_t cand = head_[Hash(pos)];
        for (uint32_t chain = 0; cand >= 0 && chain < maxChain_; ++chain) {
            const size_t c = static_cast<size_t>(cand);
            const size_t distance = pos - c;
            if (distance > maxDistance || distance > maxDistance_) break;
            const uint32_t len = MatchLength(c, pos, limit);
            if (len >= 2) {
                if constexpr (std::is_same_v<decltype(visit(0u, 0u)), bool>) {
                    if (!visit(static_cast<uint32_t>(distance), len)) return;
                } else {
                    visit(static_cast<uint32_t>(distance), len);
                }
            }
            cand = prev_[c & ringMask_];
            if (cand >= 0 && static_cast<size_t>(cand) >= c) break;
        }
    }

    uint32_t MatchLength(size_t from, size_t pos, uint32_t limit) const {
        uint32_t n = 0;
        while (n < limit && data_[from + n] == data_[pos + n]) ++n;
        return n;
    }

private:
    static constexpr int kHashBits = 15;
    uint32_t Hash(size_t pos) const {
        // Two-byte hash, so that matches of length 2 are found too.
        const uint32_t v = (uint32_t{data_[pos]} << 8) | data_[pos + 1];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    std::span<const uint8_t> data_;
    uint32_t maxDistance_;
    uint32_t maxChain_;
    std::vector<int64_t> head_;
    std::vector<int64_t> prev_;  // ring of at least maxDistance + 1 entries, a power of two
    size_t ringMask_;
};

}  // namespace yafa::encode
