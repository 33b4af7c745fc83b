#include "decode/delta.h"

#include <cstring>
#include <type_traits>

#include "format/big_endian.h"
#include "format/geometry.h"

namespace yafa {
namespace {

constexpr uint8_t kUniqueRun = 0x80;
constexpr uint8_t kSameRun = 0x00;

// A data element as one machine word, copied as stored.
template <int Unit>
using Element = std::conditional_t<Unit == 1, uint8_t, std::conditional_t<Unit == 2, uint16_t, uint32_t>>;

// Data element at `at`, whose bytes past what the frame holds read as 0.
template <int Unit>
Element<Unit> LoadElement(const FrameBytes& frame, size_t at) noexcept {
    uint8_t b[Unit];
    for (int i = 0; i < Unit; ++i) b[i] = frame.At(at + size_t(i));
    Element<Unit> e;
    std::memcpy(&e, b, Unit);
    return e;
}

// Where one plane's op list and data elements have got to, as offsets into
// the frame. Both stay within its length: every read tests that first.
struct PlaneCursor {
    size_t op;
    size_t data;
};

// Carries out `ops` ops of one column. With CheckOps false the caller has
// made sure that 2 × ops op bytes lie in the bytes the frame holds (no op
// takes more), so only the runs are tested: that they stay in the plane and
// that their data elements lie inside the frame.
template <int Unit, bool CheckOps>
Status ApplyColumn(const FrameBytes& frame, PlaneCursor& at, uint32_t ops, uint8_t* column, uint32_t rows,
                   size_t rowBytes) noexcept {
    using E = Element<Unit>;
    const uint8_t* const bytes = frame.bytes;
    size_t op = at.op;
    size_t data = at.data;
    uint32_t row = 0;  // at most 255 skips of 127 rows: no overflow
    auto nextOp = [&]() noexcept -> uint8_t {
        if constexpr (CheckOps) return frame.At(op++);
        return bytes[op++];
    };
    while (ops--) {
        if constexpr (CheckOps) YAFA_CHECK(op < frame.length, OpListRunsPastFrame);
        const uint8_t code = nextOp();
        if (code == kSameRun) {
            if constexpr (CheckOps) YAFA_CHECK(op < frame.length, OpListRunsPastFrame);
            const uint32_t k = nextOp();
            YAFA_CHECK(row <= rows && k <= rows - row, OpListLeavesPlane);
            // Loaded once: the stores cannot change it.
            E element;
            if (data + Unit <= frame.held) [[likely]] {
                std::memcpy(&element, bytes + data, Unit);
            } else {
                YAFA_CHECK(data + Unit <= frame.length, DeltaDataOutsideFrame);
                element = LoadElement<Unit>(frame, data);
            }
            uint8_t* dst = column + row * rowBytes;
            for (uint32_t r = 0; r < k; ++r, dst += rowBytes) std::memcpy(dst, &element, Unit);
            data += Unit;
            row += k;
        } else if (code & kUniqueRun) {
            const uint32_t k = code & 0x7F;
            YAFA_CHECK(row <= rows && k <= rows - row, OpListLeavesPlane);
            const size_t need = size_t(k) * Unit;
            uint8_t* dst = column + row * rowBytes;
            if (data + need <= frame.held) [[likely]] {
                for (uint32_t r = 0; r < k; ++r, dst += rowBytes, data += Unit) {
                    E element;
                    std::memcpy(&element, bytes + data, Unit);
                    std::memcpy(dst, &element, Unit);
                }
            } else {
                YAFA_CHECK(data + need <= frame.length, DeltaDataOutsideFrame);
                for (uint32_t r = 0; r < k; ++r, dst += rowBytes, data += Unit) {
                    const E element = LoadElement<Unit>(frame, data);
                    std::memcpy(dst, &element, Unit);
                }
            }
            row += k;
        } else {
            // A skip may end below the last row; only a run written there
            // would leave the plane, and runs check their rows.
            row += code;
        }
    }
    at = {op, data};
    return Status::Ok;
}

template <int Unit>
Status ApplyPlane(const FrameBytes& frame, PlaneCursor at, uint8_t* plane, uint32_t columns, uint32_t rows,
                  uint32_t rowBytes) noexcept {
    for (uint32_t c = 0; c < columns; ++c) {
        YAFA_CHECK(at.op < frame.length, OpListRunsPastFrame);
        const uint32_t ops = frame.At(at.op++);
        if (ops == 0) continue;
        uint8_t* const column = plane + c * Unit;
        if (at.op <= frame.held && frame.held - at.op >= 2 * size_t(ops))
            YAFA_TRY((ApplyColumn<Unit, false>(frame, at, ops, column, rows, rowBytes)));
        else
            YAFA_TRY((ApplyColumn<Unit, true>(frame, at, ops, column, rows, rowBytes)));
    }
    return Status::Ok;
}

// A u32 of the header, its bytes past what the frame holds read as 0.
uint32_t HeaderWord(const FrameBytes& frame, size_t at) noexcept {
    if (at + 4 <= frame.held) return LoadU32BE(frame.bytes + at);
    const uint8_t b[4] = {frame.At(at), frame.At(at + 1), frame.At(at + 2), frame.At(at + 3)};
    return LoadU32BE(b);
}

}  // namespace

Status ApplyDelta(const AnimHandle& anim, const FrameBytes& frame, uint8_t* target) noexcept {
    const uint32_t planes = uint32_t(anim.depth) < kDeltaPlanes ? uint32_t(anim.depth) : kDeltaPlanes;
    for (uint32_t p = 0; p < planes; ++p) {
        YAFA_CHECK(frame.length >= 32 + 4 * p + 4, DeltaHeaderCutShort);
        const uint32_t opListOffset = HeaderWord(frame, 4 * p);
        const uint32_t dataOffset = HeaderWord(frame, 32 + 4 * p);
        if (opListOffset == 0 || anim.deltaUnitsPerRow <= 0) continue;
        YAFA_CHECK(opListOffset < frame.length, OpListOutsideFrame);
        YAFA_CHECK(dataOffset <= frame.length, DeltaDataOutsideFrame);

        uint8_t* plane = target + size_t(p) * anim.planeBytes;
        const auto columns = uint32_t(anim.deltaUnitsPerRow);
        const auto rows = uint32_t(anim.height);
        const auto rowBytes = uint32_t(anim.planeRowBytes);
        const PlaneCursor at{opListOffset, dataOffset};
        switch (anim.deltaUnit) {
        case 1: YAFA_TRY(ApplyPlane<1>(frame, at, plane, columns, rows, rowBytes)); break;
        case 2: YAFA_TRY(ApplyPlane<2>(frame, at, plane, columns, rows, rowBytes)); break;
        case 4: YAFA_TRY(ApplyPlane<4>(frame, at, plane, columns, rows, rowBytes)); break;
        }
    }
    return Status::Ok;
}

}  // namespace yafa
