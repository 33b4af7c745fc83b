// ApplyDelta on a back buffer whose geometry comes from the input, checked
// against a plain model of the op lists.
//
// Input: width - 1 (u16, mod 512), height - 1 (mod 64), depth (mod 9), a
// flags byte (bit 0 word delta, bit 1 long delta, as INFO gives them), a
// byte that cuts the frame short (bytes of it the decoder is given: all of
// them when 0, else as many as it says; the rest read as 0, as for a raw
// frame at the end of a file), then the unpacked delta frame. The frame's
// bytes and the back buffer end at unmapped pages. The model applies the ops
// with every bound tested; ApplyDelta must accept exactly the frames the
// model finds inside their buffers and leave the same bytes.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "anim/anim_handle.h"
#include "decode/delta.h"
#include "format/big_endian.h"
#include "guarded_buffer.h"

namespace {

uint32_t U32At(std::span<const uint8_t> f, size_t at) { return yafa::LoadU32BE(f.data() + at); }

// The op lists as the format describes them, one byte at a time, with every
// read and write tested. False when an op list, a data element or a run
// leaves the frame or the plane. A skip may move below the last row: only
// a run written there would leave the plane.
bool ModelDelta(const AnimHandle& a, std::span<const uint8_t> f, std::vector<uint8_t>& target) {
    const uint32_t planes = a.depth < 8 ? uint32_t(a.depth) : 8;
    for (uint32_t p = 0; p < planes; ++p) {
        if (f.size() < 36 + 4 * p) return false;
        const uint32_t op0 = U32At(f, 4 * p);
        const uint32_t data0 = U32At(f, 32 + 4 * p);
        if (op0 == 0 || a.deltaUnitsPerRow <= 0) continue;
        if (op0 >= f.size() || data0 > f.size()) return false;
        size_t op = op0, data = data0;
        const size_t unit = size_t(a.deltaUnit);
        for (int32_t c = 0; c < a.deltaUnitsPerRow; ++c) {
            if (op >= f.size()) return false;
            uint32_t ops = f[op++];
            uint64_t row = 0;
            while (ops--) {
                if (op >= f.size()) return false;
                const uint8_t code = f[op++];
                uint32_t k = 0;
                bool same = false;
                if (code == 0) {
                    if (op >= f.size()) return false;
                    k = f[op++];
                    same = true;
                } else if (code & 0x80) {
                    k = code & 0x7F;
                } else {
                    row += code;
                    continue;
                }
                const size_t elements = same ? 1 : k;
                if (row + k > uint64_t(a.height) || data + elements * unit > f.size()) return false;
                for (uint32_t r = 0; r < k; ++r, ++row) {
                    const size_t src = same ? data : data + r * unit;
                    const size_t dst = p * size_t(a.planeBytes) + row * size_t(a.planeRowBytes) + size_t(c) * unit;
                    for (size_t b = 0; b < unit; ++b) target[dst + b] = f[src + b];
                }
                data += elements * unit;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    yafa::fuzz::FuzzInput in(data, size);
    AnimHandle a{};
    a.width = 1 + in.U16() % 512;
    a.height = 1 + in.Byte() % 64;
    a.depth = in.Byte() % 9;
    a.flags = YAFA_DELTA | ((in.Byte() & 3) << 3);
    a.planeRowBytes = ((a.width + 15) >> 4) * 2;
    if (a.flags & YAFA_WORDDELTA) {
        a.deltaUnit = 2;
        a.deltaUnitsPerRow = a.width / 16;
    } else if (a.flags & YAFA_LONGDELTA) {
        a.deltaUnit = 4;
        a.deltaUnitsPerRow = a.width / 32;
    } else {
        a.deltaUnit = 1;
        a.deltaUnitsPerRow = a.planeRowBytes;
    }
    a.planeBytes = uint32_t(a.height) * uint32_t(a.planeRowBytes);
    a.backBufferSize = a.planeBytes * uint32_t(a.depth);
    const uint8_t cut = in.Byte();
    const auto input = in.Rest();
    const size_t held = cut == 0 ? input.size() : std::min<size_t>(cut - 1u, input.size());
    // The frame as the model sees it: the bytes past `held` read as 0.
    std::vector<uint8_t> frame(input.begin(), input.end());
    std::fill(frame.begin() + static_cast<std::ptrdiff_t>(held), frame.end(), 0);

    yafa::fuzz::GuardedBuffer stored(held);
    stored.Fill(input.first(held), 0);
    yafa::fuzz::GuardedBuffer target(a.backBufferSize);
    std::vector<uint8_t> before(a.backBufferSize);
    for (size_t i = 0; i < before.size(); ++i) before[i] = static_cast<uint8_t>(i * 13 + 5);
    target.Fill(before, 0);

    const bool applied =
        yafa::ApplyDelta(a, yafa::FrameBytes{stored.data(), held, frame.size()}, target.data()) == yafa::Status::Ok;
    std::vector<uint8_t> model = before;
    const bool valid = ModelDelta(a, frame, model);
    if (applied != valid) yafa::fuzz::Finding(applied ? "a delta leaving its buffers was applied" : "a valid delta was refused");
    if (valid && !model.empty() && std::memcmp(model.data(), target.data(), model.size()) != 0)
        yafa::fuzz::Finding("the delta left other bytes than the model");
    return 0;
}
