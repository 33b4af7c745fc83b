#include "lz_match_finder.h"

#include <algorithm>
#include <bit>

namespace yafa::encode {

LzMatchFinder::LzMatchFinder(std::span<const uint8_t> data, uint32_t maxDistance, uint32_t maxChain)
    : data_(data),
      maxDistance_(maxDistance),
      maxChain_(maxChain),
      head_(size_t{1} << kHashBits, -1),
      prev_(std::bit_ceil(std::min<size_t>(size_t{maxDistance} + 1, std::max<size_t>(data.size(), 1))), -1),
      ringMask_(prev_.size() - 1) {}

void LzMatchFinder::Insert(size_t pos) {
    if (pos + 2 > data_.size()) return;
    const uint32_t h = Hash(pos);
    prev_[pos & ringMask_] = head_[h];
    head_[h] = static_cast<int64_t>(pos);
}

void LzMatchFinder::InsertRange(size_t from, size_t to) {
    for (size_t p = from; p < to; ++p) Insert(p);
}

LzMatch LzMatchFinder::Longest(size_t pos, uint32_t minLength, uint32_t maxLength, uint32_t maxDistance) const {
    LzMatch best;
    const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(maxLength, data_.size() - std::min(pos, data_.size())));
    ForEachCandidate(pos, maxLength, maxDistance, [&](uint32_t distance, uint32_t length) {
        if (length >= minLength && length > best.length) best = {length, distance};
        return best.length < limit;  // nothing nearer can be longer
    });
    return best;
}

}  // namespace yafa::encode
