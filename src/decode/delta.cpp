#include "decode/delta.h"

#include <cstring>

#include "util/big_endian.h"

namespace yafa {
namespace {

constexpr uint32_t kDeltaPlanes = 8;  // the header has offsets for 8 planes
constexpr uint8_t kUniqueRun = 0x80;
constexpr uint8_t kSameRun = 0x00;

// Copies one data element of `Unit` bytes, as stored, into each row.
template <int Unit>
bool ApplyPlane(const uint8_t* frameEnd, const uint8_t* op, const uint8_t* data, uint8_t* plane, uint32_t columns,
                uint32_t rows, uint32_t rowBytes) noexcept {
    for (uint32_t c = 0; c < columns; ++c) {
        uint8_t* const column = plane + c * Unit;
        uint32_t row = 0;  // at most 255 skips of 127 rows: no overflow
        if (op >= frameEnd) return false;
        uint32_t ops = *op++;
        while (ops--) {
            if (op >= frameEnd) return false;
            const uint8_t code = *op++;
            if (code == kSameRun) {
                if (op >= frameEnd) return false;
                const uint32_t k = *op++;
                if (row > rows || k > rows - row || frameEnd - data < Unit) return false;
                uint8_t* dst = column + size_t(row) * rowBytes;
                for (uint32_t r = 0; r < k; ++r, dst += rowBytes) std::memcpy(dst, data, Unit);
                data += Unit;
                row += k;
            } else if (code & kUniqueRun) {
                const uint32_t k = code & 0x7F;
                if (row > rows || k > rows - row || size_t(frameEnd - data) < size_t(k) * Unit) return false;
                uint8_t* dst = column + size_t(row) * rowBytes;
                for (uint32_t r = 0; r < k; ++r, dst += rowBytes, data += Unit) std::memcpy(dst, data, Unit);
                row += k;
            } else {
                // A skip may end below the last row; only a run written
                // there would leave the plane, and runs check their rows.
                row += code;
            }
        }
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
        const uint8_t* op = begin + opListOffset;
        const uint8_t* data = begin + dataOffset;
        bool ok = false;
        switch (anim.deltaUnit) {
        case 1: ok = ApplyPlane<1>(end, op, data, plane, columns, rows, rowBytes); break;
        case 2: ok = ApplyPlane<2>(end, op, data, plane, columns, rows, rowBytes); break;
        case 4: ok = ApplyPlane<4>(end, op, data, plane, columns, rows, rowBytes); break;
        }
        if (!ok) return false;
    }
    return true;
}

}  // namespace yafa
