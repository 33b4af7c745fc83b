#include "decode/delta.h"

#include <cstring>
#include <type_traits>

#include "util/big_endian.h"

namespace yafa {
namespace {

constexpr uint32_t kDeltaPlanes = 8;  // the header has offsets for 8 planes
constexpr uint8_t kUniqueRun = 0x80;
constexpr uint8_t kSameRun = 0x00;

// A data element as one machine word, copied as stored.
template <int Unit>
using Element = std::conditional_t<Unit == 1, uint8_t, std::conditional_t<Unit == 2, uint16_t, uint32_t>>;

// Where one plane's op list and data elements have got to.
struct PlaneCursor {
    const uint8_t* op;
    const uint8_t* data;
};

// Carries out `ops` ops of one column. With CheckOps false the caller has
// made sure that 2 × ops op bytes lie inside the frame (no op takes more),
// so only the runs are tested: that they stay in the plane and that their
// data elements lie inside the frame.
template <int Unit, bool CheckOps>
bool ApplyColumn(const uint8_t* frameEnd, PlaneCursor& at, uint32_t ops, uint8_t* column, uint32_t rows,
                 size_t rowBytes) noexcept {
    using E = Element<Unit>;
    const uint8_t* op = at.op;
    const uint8_t* data = at.data;
    uint32_t row = 0;  // at most 255 skips of 127 rows: no overflow
    while (ops--) {
        if (CheckOps && op >= frameEnd) return false;
        const uint8_t code = *op++;
        if (code == kSameRun) {
            if (CheckOps && op >= frameEnd) return false;
            const uint32_t k = *op++;
            if (row > rows || k > rows - row || frameEnd - data < Unit) return false;
            // Loaded once: the stores cannot change it.
            E element;
            std::memcpy(&element, data, Unit);
            uint8_t* dst = column + row * rowBytes;
            for (uint32_t r = 0; r < k; ++r, dst += rowBytes) std::memcpy(dst, &element, Unit);
            data += Unit;
            row += k;
        } else if (code & kUniqueRun) {
            const uint32_t k = code & 0x7F;
            if (row > rows || k > rows - row || size_t(frameEnd - data) < size_t(k) * Unit) return false;
            uint8_t* dst = column + row * rowBytes;
            for (uint32_t r = 0; r < k; ++r, dst += rowBytes, data += Unit) {
                E element;
                std::memcpy(&element, data, Unit);
                std::memcpy(dst, &element, Unit);
            }
            row += k;
        } else {
            // A skip may end below the last row; only a run written there
            // would leave the plane, and runs check their rows.
            row += code;
        }
    }
    at = {op, data};
    return true;
}

template <int Unit>
bool ApplyPlane(const uint8_t* frameEnd, PlaneCursor at, uint8_t* plane, uint32_t columns, uint32_t rows,
                uint32_t rowBytes) noexcept {
    for (uint32_t c = 0; c < columns; ++c) {
        if (at.op >= frameEnd) return false;
        const uint32_t ops = *at.op++;
        if (ops == 0) continue;
        uint8_t* const column = plane + c * Unit;
        const bool ok = size_t(frameEnd - at.op) >= 2 * size_t(ops)
                            ? ApplyColumn<Unit, false>(frameEnd, at, ops, column, rows, rowBytes)
                            : ApplyColumn<Unit, true>(frameEnd, at, ops, column, rows, rowBytes);
        if (!ok) return false;
    }
    return true;
}

}  // namespace

bool ApplyDelta(const AnimHandle& anim, std::span<const uint8_t> frame, uint8_t* target) noexcept {
    const uint8_t* begin = frame.data();
    const uint8_t* end = begin + frame.size();
    const uint32_t planes = uint32_t(anim.depth) < kDeltaPlanes ? uint32_t(anim.depth) : kDeltaPlanes;
    for (uint32_t p = 0; p < planes; ++p) {
        if (frame.size() < 32 + 4 * p + 4) return false;
        const uint32_t opListOffset = LoadU32BE(begin + 4 * p);
        const uint32_t dataOffset = LoadU32BE(begin + 32 + 4 * p);
        if (opListOffset == 0 || anim.deltaUnitsPerRow <= 0) continue;
        if (opListOffset >= frame.size() || dataOffset > frame.size()) return false;

        uint8_t* plane = target + size_t(p) * anim.planeBytes;
        const auto columns = uint32_t(anim.deltaUnitsPerRow);
        const auto rows = uint32_t(anim.height);
        const auto rowBytes = uint32_t(anim.planeRowBytes);
        const PlaneCursor at{begin + opListOffset, begin + dataOffset};
        bool ok = false;
        switch (anim.deltaUnit) {
        case 1: ok = ApplyPlane<1>(end, at, plane, columns, rows, rowBytes); break;
        case 2: ok = ApplyPlane<2>(end, at, plane, columns, rows, rowBytes); break;
        case 4: ok = ApplyPlane<4>(end, at, plane, columns, rows, rowBytes); break;
        }
        if (!ok) return false;
    }
    return true;
}

}  // namespace yafa
