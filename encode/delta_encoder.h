// Byte-run delta frames: per plane and column, the op list and data elements
// that turn one back-buffer state into the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace yafa::encode {

// How the ops address a back buffer: `planes` planes of `height` rows of
// `planeRowBytes` bytes; `unitsPerRow` columns of `unit` bytes from the start
// of each row.
struct DeltaGeometry {
    uint32_t height = 0;
    uint32_t planeRowBytes = 0;
    int planes = 0;  // 1..8
    int unit = 1;    // 1, 2 or 4
    uint32_t unitsPerRow = 0;

    size_t PlaneBytes() const { return size_t{height} * planeRowBytes; }
    size_t BufferBytes() const { return PlaneBytes() * static_cast<size_t>(planes); }
    // Bytes of each row that the columns reach; the rest never changes.
    size_t ReachedRowBytes() const { return size_t{unitsPerRow} * static_cast<size_t>(unit); }
};

// Columns per row as a decoder derives them: every row byte for unit 1,
// width / 16 for unit 2, width / 32 for unit 4 (remainders dropped).
uint32_t DeltaUnitsPerRow(uint32_t width, int unit);
DeltaGeometry MakeDeltaGeometry(uint32_t width, uint32_t height, int planes, int unit);

// Offset of the first byte that differs between the two buffers but lies
// past the reached bytes of its row, so that no delta can make the change.
std::optional<size_t> FindUnreachableChange(std::span<const uint8_t> from, std::span<const uint8_t> to,
                                            const DeltaGeometry& geometry);

// One column: `from` and `to` hold `rows` elements of `unit` bytes, top row
// first. Appends the ops (without the count byte) to `ops` and their data
// elements to `data` and returns the number of ops, chosen to keep op bytes
// plus data bytes small; nullopt when no choice fits in 255 ops.
std::optional<size_t> EncodeColumn(std::span<const uint8_t> from, std::span<const uint8_t> to, int unit,
                                   std::vector<uint8_t>& ops, std::vector<uint8_t>& data);

// A delta frame without palette tail: the 64-byte header (eight op-list
// offsets, eight data offsets), then the op lists of the changed planes, then
// their data. Unchanged planes get op-list offset 0. `from` and `to` are
// BufferBytes() long. Throws std::invalid_argument when a change is
// unreachable (see FindUnreachableChange) or a column needs over 255 ops.
std::vector<uint8_t> EncodeDelta(std::span<const uint8_t> from, std::span<const uint8_t> to,
                                 const DeltaGeometry& geometry);

}  // namespace yafa::encode
