#include "lz_match_finder.h"

#include <algorithm>

namespace yafa::encode {

LzMatchFinder::LzMatchFinder(std::span<const uint8_t> data, uint32_t maxDistance, uint32_t maxChain)
    : data_(data),
      maxDistance_(maxDistance),
      maxChain_(maxChain),
      head_(size_t{1} << kHashBits, -1),
      prev_(std::min<size_t>(size_t{maxDistance} + 1, std::max<size_t>(data.size(), 1)), -1) {}

void LzMatchFinder::Insert(size_t pos) {
    if (pos + 2 > data_.size()) return;
    const uint32_t h = Hash(pos);
    prev_[pos % prev_.size()] = head_[h];
    head_[h] = static_cast<int64_t>(pos);
}

void LzMatchFinder::InsertRange(size_t from, size_t to) {
    for (size_t p = from; p < to; ++p) Insert(p);
}

LzMatch LzMatchFinder::Longest(size_t pos, uint32_t minLength, uint32_t maxLength, uint32_t maxDistance) const {
    LzMatch best;
    ForEachCandidate(pos, maxLength, maxDistance, [&](uint32_t distance, uint32_t length) {
        if (length >= minLength && length > best.length) best = {length, distance};
    });
    return best;
}

}  // namespace yafa::encode
