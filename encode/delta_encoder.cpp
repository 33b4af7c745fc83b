#include "delta_encoder.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <stdexcept>
#include <string>

#include "iff_writer.h"
#include "planar_encoder.h"

namespace yafa::encode {

namespace {

constexpr int kMaxSkip = 127;
constexpr int kMaxUnique = 127;
constexpr int kMaxSame = 255;
constexpr size_t kMaxOps = 255;

enum class OpKind : uint8_t { End, Skip, Unique, Same };

struct Choice {
    OpKind kind = OpKind::End;
    uint32_t rows = 0;
};

uint32_t Element(std::span<const uint8_t> bytes, size_t row, int unit) {
    uint32_t value = 0;
    for (int i = 0; i < unit; ++i) value = (value << 8) | bytes[row * static_cast<size_t>(unit) + static_cast<size_t>(i)];
    return value;
}

// Shortest path over the rows: score = bytes × byteWeight + ops × opWeight.
// Runs may rewrite unchanged rows when that is cheaper than breaking them up.
std::vector<Choice> PlanColumn(const std::vector<uint32_t>& from, const std::vector<uint32_t>& to, int unit,
                               int64_t byteWeight, int64_t opWeight) {
    const size_t rows = to.size();
    std::vector<int64_t> score(rows + 1, 0);
    std::vector<Choice> choice(rows + 1);
    std::vector<size_t> nextChanged(rows + 1, rows);
    std::vector<uint32_t> sameRows(rows + 1, 0);
    for (size_t r = rows; r-- > 0;) {
        nextChanged[r] = from[r] != to[r] ? r : nextChanged[r + 1];
        sameRows[r] = (r + 1 < rows && to[r + 1] == to[r]) ? std::min<uint32_t>(kMaxSame, sameRows[r + 1] + 1) : 1;
    }
    // Unique run of k rows from r: 1 + k × unit bytes, one op. Its best end
    // j = r + k minimises unit × j × byteWeight + score[j] over a window that
    // slides down with r, kept as a monotone queue of candidate ends.
    const int64_t u = unit;
    auto keyOf = [&](size_t j) { return u * static_cast<int64_t>(j) * byteWeight + score[j]; };
    std::deque<size_t> window;  // front: largest j still in range with the smallest key
    for (size_t r = rows; r-- > 0;) {
        const size_t j = r + 1;
        while (!window.empty() && keyOf(window.back()) >= keyOf(j)) window.pop_back();
        window.push_back(j);
        while (window.front() > r + kMaxUnique) window.pop_front();
        if (nextChanged[r] == rows) {
            score[r] = 0;
            choice[r] = {OpKind::End, 0};
            continue;
        }
        const size_t bestEnd = window.front();
        int64_t best = (1 + u * static_cast<int64_t>(bestEnd - r)) * byteWeight + opWeight + score[bestEnd];
        Choice pick{OpKind::Unique, static_cast<uint32_t>(bestEnd - r)};
        const size_t sameEnd = r + sameRows[r];
        const int64_t same = (2 + u) * byteWeight + opWeight + score[sameEnd];
        if (same < best) {
            best = same;
            pick = {OpKind::Same, sameRows[r]};
        }
        if (from[r] == to[r]) {
            const size_t skipEnd = std::min(r + kMaxSkip, nextChanged[r]);
            const int64_t skip = byteWeight + opWeight + score[skipEnd];
            if (skip < best) {
                best = skip;
                pick = {OpKind::Skip, static_cast<uint32_t>(skipEnd - r)};
            }
        }
        score[r] = best;
        choice[r] = pick;
    }
    return choice;
}

size_t CountOps(const std::vector<Choice>& choice) {
    size_t ops = 0;
    for (size_t r = 0; choice[r].kind != OpKind::End; r += choice[r].rows) ++ops;
    return ops;
}

}  // namespace

uint32_t DeltaUnitsPerRow(uint32_t width, int unit) {
    switch (unit) {
        case 1: return PlaneRowBytes(width);
        case 2: return width / 16;
        case 4: return width / 32;
        default: throw std::invalid_argument("delta unit must be 1, 2 or 4");
    }
}

DeltaGeometry MakeDeltaGeometry(uint32_t width, uint32_t height, int planes, int unit) {
    if (planes < 1 || planes > 8) throw std::invalid_argument("delta frames have 1..8 planes");
    return DeltaGeometry{height, PlaneRowBytes(width), planes, unit, DeltaUnitsPerRow(width, unit)};
}

std::optional<size_t> FindUnreachableChange(std::span<const uint8_t> from, std::span<const uint8_t> to,
                                            const DeltaGeometry& g) {
    if (from.size() != g.BufferBytes() || to.size() != g.BufferBytes())
        throw std::invalid_argument("delta buffers differ from the geometry's size");
    const size_t reached = g.ReachedRowBytes();
    if (reached >= g.planeRowBytes) return std::nullopt;
    for (size_t row = 0; row < size_t{g.height} * static_cast<size_t>(g.planes); ++row)
        for (size_t b = reached; b < g.planeRowBytes; ++b) {
            const size_t at = row * g.planeRowBytes + b;
            if (from[at] != to[at]) return at;
        }
    return std::nullopt;
}

std::optional<size_t> EncodeColumn(std::span<const uint8_t> from, std::span<const uint8_t> to, int unit,
                                   std::vector<uint8_t>& ops, std::vector<uint8_t>& data) {
    if (unit != 1 && unit != 2 && unit != 4) throw std::invalid_argument("delta unit must be 1, 2 or 4");
    if (from.size() != to.size() || from.size() % static_cast<size_t>(unit) != 0)
        throw std::invalid_argument("column sizes differ");
    const size_t rows = to.size() / static_cast<size_t>(unit);
    std::vector<uint32_t> oldValues(rows), newValues(rows);
    for (size_t r = 0; r < rows; ++r) {
        oldValues[r] = Element(from, r, unit);
        newValues[r] = Element(to, r, unit);
    }
    // Smallest bytes first, fewer ops on ties; when that takes over 255 ops,
    // ops get dearer until the column fits (the last weighting counts ops only).
    std::vector<Choice> plan = PlanColumn(oldValues, newValues, unit, 1024, 1);
    if (CountOps(plan) > kMaxOps) {
        // The lightest op weight that fits: doubling to a bound, then halving
        // the gap. A heavier weight never gives more ops.
        int64_t light = 0, heavy = 1;
        for (;; heavy *= 2) {
            if (heavy > (int64_t{1} << 40)) return std::nullopt;
            plan = PlanColumn(oldValues, newValues, unit, 1, heavy);
            if (CountOps(plan) <= kMaxOps) break;
            light = heavy;
        }
        while (heavy - light > 1) {
            const int64_t middle = light + (heavy - light) / 2;
            std::vector<Choice> trial = PlanColumn(oldValues, newValues, unit, 1, middle);
            if (CountOps(trial) <= kMaxOps) {
                plan = std::move(trial);
                heavy = middle;
            } else {
                light = middle;
            }
        }
    }
    size_t count = 0;
    for (size_t r = 0; plan[r].kind != OpKind::End; r += plan[r].rows, ++count) {
        const Choice& c = plan[r];
        const auto element = [&](size_t row) {
            data.insert(data.end(), to.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(unit)),
                        to.begin() + static_cast<std::ptrdiff_t>((row + 1) * static_cast<size_t>(unit)));
        };
        switch (c.kind) {
            case OpKind::Skip: ops.push_back(static_cast<uint8_t>(c.rows)); break;
            case OpKind::Unique:
                ops.push_back(static_cast<uint8_t>(0x80 + c.rows));
                for (size_t i = 0; i < c.rows; ++i) element(r + i);
                break;
            case OpKind::Same:
                ops.push_back(0x00);
                ops.push_back(static_cast<uint8_t>(c.rows));
                element(r);
                break;
            case OpKind::End: break;
        }
    }
    return count;
}

std::vector<uint8_t> EncodeDelta(std::span<const uint8_t> from, std::span<const uint8_t> to, const DeltaGeometry& g) {
    if (g.unit != 1 && g.unit != 2 && g.unit != 4) throw std::invalid_argument("delta unit must be 1, 2 or 4");
    if (g.planes < 1 || g.planes > 8) throw std::invalid_argument("delta frames have 1..8 planes");
    if (g.ReachedRowBytes() > g.planeRowBytes) throw std::invalid_argument("delta columns exceed the plane row");
    if (auto at = FindUnreachableChange(from, to, g))
        throw std::invalid_argument("delta change at buffer byte " + std::to_string(*at) +
                                    " lies past the last whole delta column of its row");
    const size_t unit = static_cast<size_t>(g.unit);
    std::vector<uint8_t> opLists[8], data[8];
    std::vector<uint8_t> columnFrom(size_t{g.height} * unit), columnTo(columnFrom.size());
    for (int p = 0; p < g.planes; ++p) {
        const size_t planeStart = static_cast<size_t>(p) * g.PlaneBytes();
        bool changed = false;
        for (uint32_t c = 0; c < g.unitsPerRow; ++c) {
            for (uint32_t row = 0; row < g.height; ++row) {
                const size_t at = planeStart + size_t{row} * g.planeRowBytes + c * unit;
                std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(at), unit, columnFrom.begin() + row * unit);
                std::copy_n(to.begin() + static_cast<std::ptrdiff_t>(at), unit, columnTo.begin() + row * unit);
            }
            const size_t countAt = opLists[p].size();
            opLists[p].push_back(0);
            auto count = EncodeColumn(columnFrom, columnTo, g.unit, opLists[p], data[p]);
            if (!count) throw std::invalid_argument("a delta column needs more than 255 ops");
            opLists[p][countAt] = static_cast<uint8_t>(*count);
            changed = changed || *count > 0;
        }
        if (!changed) {
            opLists[p].clear();
            data[p].clear();
        }
    }
    std::vector<uint8_t> frame(64, 0);
    for (int p = 0; p < g.planes; ++p) {
        if (opLists[p].empty()) continue;
        SetU32BE(frame, static_cast<size_t>(p) * 4, static_cast<uint32_t>(frame.size()));
        PutBytes(frame, opLists[p]);
    }
    for (int p = 0; p < g.planes; ++p) {
        if (opLists[p].empty()) continue;
        SetU32BE(frame, 32 + static_cast<size_t>(p) * 4, static_cast<uint32_t>(frame.size()));
        PutBytes(frame, data[p]);
    }
    if (frame.size() > std::numeric_limits<uint32_t>::max()) throw std::length_error("delta frame over 4 GiB");
    return frame;
}

}  // namespace yafa::encode
