#include "encode/reference_reader.h"

#include <cstring>
#include <stdexcept>

namespace yafa::test {

namespace {

uint32_t U16(std::span<const uint8_t> b, size_t at) {
    if (at + 2 > b.size()) throw std::runtime_error("read past the end");
    return uint32_t(b[at]) << 8 | b[at + 1];
}
uint32_t U32(std::span<const uint8_t> b, size_t at) { return U16(b, at) << 16 | U16(b, at + 2); }

void Require(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what);
}

}  // namespace

ParsedYafa ParseYafa(std::span<const uint8_t> file) {
    ParsedYafa out;
    Require(file.size() >= 12 && std::memcmp(file.data(), "FORM", 4) == 0, "no FORM");
    Require(std::memcmp(file.data() + 8, "YAFA", 4) == 0, "not YAFA");
    Require(U32(file, 4) == file.size() - 8, "FORM size");
    size_t at = 12, bodyStart = 0, bodySize = 0;
    while (at < file.size()) {
        Require(at + 8 <= file.size(), "chunk header cut");
        const std::string id(reinterpret_cast<const char*>(file.data() + at), 4);
        const size_t size = U32(file, at + 4), data = at + 8;
        Require(data + size + (size & 1) <= file.size(), id + " overruns the file");
        out.chunks.push_back(id);
        if (id == "INFO") {
            Require(out.chunks.size() == 1 && size == 14, "INFO first, 14 bytes");
            uint16_t* words[] = {&out.width, &out.height, &out.depth, &out.defaultDelay,
                                 &out.frameCount, &out.frameFormat, &out.flags};
            for (size_t i = 0; i < 7; ++i) *words[i] = uint16_t(U16(file, data + 2 * i));
        } else if (id == "PROF") {
            Require(size == 4u * out.frameCount, "PROF size");
            for (size_t i = 0; i < out.frameCount; ++i) out.prof.push_back(U32(file, data + 4 * i));
        } else if (id == "TTBL") {
            Require(size == 2u * out.frameCount, "TTBL size");
            for (size_t i = 0; i < out.frameCount; ++i) out.ttbl.push_back(uint16_t(U16(file, data + 2 * i)));
        } else if (id == "DRGB") {
            const size_t n = U16(file, data);
            Require(size == 4 + 12 * n, "DRGB size");
            for (size_t i = 0; i < n; ++i) {
                const size_t e = data + 4 + 12 * i;
                out.drgb.push_back(uint32_t(file[e]) << 16 | uint32_t(file[e + 4]) << 8 | file[e + 8]);
            }
        } else if (id == "BODY") {
            bodyStart = data;
            bodySize = size;
        }
        at = data + size + (size & 1);
    }
    Require(at == file.size(), "trailing bytes");
    Require(!out.chunks.empty() && out.chunks.back() == "BODY", "BODY last");
    if (!out.prof.empty()) {
        Require(out.prof.back() == bodySize, "PROF end differs from BODY size");
        for (size_t i = 0, start = 0; i < out.prof.size(); start = out.prof[i++]) {
            Require(out.prof[i] > start, "empty or backward frame");
            out.frames.emplace_back(file.begin() + long(bodyStart + start), file.begin() + long(bodyStart + out.prof[i]));
        }
    } else {
        Require(out.frameCount > 0 && bodySize % out.frameCount == 0, "frames of unequal size without PROF");
        const size_t each = bodySize / out.frameCount;
        for (size_t i = 0; i < out.frameCount; ++i)
            out.frames.emplace_back(file.begin() + long(bodyStart + i * each), file.begin() + long(bodyStart + (i + 1) * each));
    }
    return out;
}

void ApplyDelta(std::span<const uint8_t> frame, std::span<uint8_t> buffer, int planes, int height, int rowBytes,
                int unit, int unitsPerRow) {
    for (int p = 0; p < planes && p < 8; ++p) {
        size_t op = U32(frame, 4 * size_t(p)), data = U32(frame, 32 + 4 * size_t(p));
        if (op == 0) continue;
        for (int c = 0; c < unitsPerRow; ++c) {
            size_t row = 0;
            const size_t column = size_t(p) * size_t(height * rowBytes) + size_t(c * unit);
            auto put = [&](size_t from) {
                Require(row < size_t(height) && from + size_t(unit) <= frame.size(), "op past the plane or frame");
                std::memcpy(&buffer[column + row++ * size_t(rowBytes)], &frame[from], size_t(unit));
            };
            for (int n = frame[op++]; n > 0; --n) {
                const uint8_t code = frame[op++];
                if (code >= 0x80) {
                    for (int k = code - 0x80; k > 0; --k, data += size_t(unit)) put(data);
                } else if (code == 0) {
                    for (int k = frame[op++]; k > 0; --k) put(data);
                    data += size_t(unit);
                } else {
                    row += code;
                }
            }
        }
    }
}

std::vector<DecodedFrame> DecodeRaw(const ParsedYafa& f) {
    const bool chunky = f.frameFormat >= 3, delta = f.flags & 4;
    const int depth = chunky && delta ? 8 : f.depth;
    const int rowBytes = (f.width + 15) / 16 * 2;
    const int paletteSize = f.depth > 8 ? 0 : (f.flags & 1) ? (f.depth == 8 ? 64 : 16) : 1 << f.depth;
    const size_t tail = (f.flags & 2) && f.depth <= 8 ? size_t(paletteSize) * 12 + 8 : 0;
    const int unit = (f.flags & 8) ? 2 : (f.flags & 16) ? 4 : 1;
    const int unitsPerRow = unit == 1 ? rowBytes : f.width / (8 * unit);
    const int firstDelta = (f.flags & 64) ? 0 : (f.flags & 32) ? 1 : 2;
    const size_t s = size_t(f.height) * size_t(rowBytes) * size_t(depth), pixels = size_t(f.width) * f.height;
    Bytes back[2] = {Bytes(s, 0), Bytes(s, 0)};
    int current = 0;
    std::vector<uint32_t> palette(256, 0);
    for (size_t i = 0; i < f.drgb.size() && i < 256; ++i) palette[i] = f.drgb[i];
    std::vector<DecodedFrame> out;
    for (size_t i = 0; i < f.frames.size(); ++i) {
        const Bytes& b = f.frames[i];
        Require(b.size() >= 4 && std::memcmp(b.data(), "S404", 4) && std::memcmp(b.data(), "XPKF", 4), "packed frame");
        const bool isDelta = delta && int(i) >= firstDelta;
        if (isDelta) ApplyDelta(b, back[current], depth, f.height, rowBytes, unit, unitsPerRow);
        Require(b.size() >= tail, "frame shorter than its palette tail");
        for (int k = 0; k < paletteSize && tail; ++k) {
            const size_t e = b.size() - tail + 4 + 12 * size_t(k);
            palette[size_t(k)] = uint32_t(b[e]) << 16 | uint32_t(b[e + 4]) << 8 | b[e + 8];
        }
        const Bytes& src = isDelta ? back[current] : b;
        DecodedFrame d{{}, palette};
        if (chunky) {
            const size_t bpp = depth == 15 ? 2 : depth == 24 ? 3 : 1;
            Require(src.size() >= pixels * bpp, "chunky frame too short");
            d.pixels.assign(src.begin(), src.begin() + long(pixels * bpp));
        } else {
            Require(src.size() >= s, "planar frame too short");
            d.pixels.assign(pixels, 0);
            for (size_t n = 0; n < pixels; ++n)
                for (int p = 0; p < depth; ++p) {
                    const size_t x = n % f.width, y = n / f.width;
                    const uint8_t byte = src[size_t(p) * f.height * size_t(rowBytes) + y * size_t(rowBytes) + x / 8];
                    d.pixels[n] |= uint8_t(((byte >> (7 - x % 8)) & 1) << p);
                }
        }
        if (delta && int(i) < firstDelta) {
            Require(b.size() >= s, "key frame shorter than a back buffer");
            if (firstDelta == 1) back[0].assign(b.begin(), b.begin() + long(s)), back[1] = back[0];
            if (firstDelta == 2) back[i].assign(b.begin(), b.begin() + long(s));
        }
        if (isDelta && i == 0 && (f.flags & 32) && (f.flags & 64)) back[1] = back[0];
        if (isDelta) current = 1 - current;
        out.push_back(std::move(d));
    }
    return out;
}

}  // namespace yafa::test
