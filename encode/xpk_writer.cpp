#include "xpk_writer.h"

#include <algorithm>
#include <stdexcept>

#include "method_packers.h"

namespace yafa::encode {

namespace {

constexpr uint8_t kChunkRaw = 0;
constexpr uint8_t kChunkPacked = 1;
constexpr uint8_t kChunkEnd = 15;
constexpr uint8_t kFlagLongHeaders = 1;
constexpr uint8_t kFlagExtraHeader = 4;

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    PutU16(out, v >> 16);
    PutU16(out, v & 0xFFFF);
}

void SetU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

size_t Pad4(size_t n) { return (n + 3) & ~size_t{3}; }

void PutChunk(std::vector<uint8_t>& out, uint8_t type, bool longHeaders, std::span<const uint8_t> body,
              uint32_t unpackedLength) {
    out.push_back(type);
    out.insert(out.end(), 3, 0);  // header check byte and spare, unused by readers
    const auto packedLength = static_cast<uint32_t>(body.size());
    if (longHeaders) {
        PutU32(out, packedLength);
        PutU32(out, unpackedLength);
    } else {
        PutU16(out, packedLength);
        PutU16(out, unpackedLength);
    }
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), Pad4(body.size()) - body.size(), 0);
}

std::vector<uint8_t> PackChunk(XpkMethod method, std::span<const uint8_t> stream, size_t start, size_t length,
                               const PackOptions& options) {
    switch (method) {
        case XpkMethod::Fast: return PackFastChunk(stream, start, length, options);
        case XpkMethod::Nuke: return PackNukeChunk(stream, start, length, options);
        case XpkMethod::Rake: return PackRakeChunk(stream, start, length, options);
    }
    return {};
}

}  // namespace

std::vector<uint8_t> PackXpk(std::span<const uint8_t> data, const XpkOptions& options) {
    if (data.size() > 0xFFFFFFFFu - 0x10000u) throw std::length_error("XPK stream too long");
    if (options.extraHeader && options.extraHeader->size() > 0xFFFF) {
        throw std::length_error("XPK extra header too long");
    }
    const size_t chunkSize = options.chunkSize == 0 ? std::max<size_t>(data.size(), 1) : options.chunkSize;
    // A packed chunk is only kept when shorter than its raw form, so the
    // unpacked length is the largest length a chunk header carries.
    const bool longHeaders = options.longHeaders || std::min(chunkSize, data.size()) > 0xFFFF;

    std::vector<uint8_t> out = {'X', 'P', 'K', 'F'};
    PutU32(out, 0);  // length of the rest of the stream, set at the end
    static constexpr const char* kTags[] = {"FAST", "NUKE", "RAKE"};
    const char* tag = kTags[static_cast<int>(options.method)];
    out.insert(out.end(), tag, tag + 4);
    PutU32(out, static_cast<uint32_t>(data.size()));
    // The first bytes of the unpacked data, as a quick look at the contents.
    for (size_t i = 0; i < 16; ++i) out.push_back(i < data.size() ? data[i] : 0);
    uint8_t flags = longHeaders ? kFlagLongHeaders : 0;
    if (options.extraHeader) flags |= kFlagExtraHeader;
    out.push_back(flags);
    out.insert(out.end(), 3, 0);
    if (options.extraHeader) {
        PutU16(out, static_cast<uint32_t>(options.extraHeader->size()));
        out.insert(out.end(), options.extraHeader->begin(), options.extraHeader->end());
    }

    size_t index = 0;
    for (size_t start = 0; start < data.size(); start += chunkSize, ++index) {
        const size_t length = std::min(chunkSize, data.size() - start);
        const auto raw = data.subspan(start, length);
        const bool forceRaw = options.mixRawChunks && index % 2 == 1;
        if (!forceRaw) {
            // Packers see the whole stream so far, for back references.
            const std::vector<uint8_t> packed =
                PackChunk(options.method, data.first(start + length), start, length, options.pack);
            if (!packed.empty() && Pad4(packed.size()) < Pad4(length)) {
                PutChunk(out, kChunkPacked, longHeaders, packed, static_cast<uint32_t>(length));
                continue;
            }
        }
        PutChunk(out, kChunkRaw, longHeaders, raw, static_cast<uint32_t>(length));
    }
    PutChunk(out, kChunkEnd, longHeaders, {}, 0);
    SetU32(out, 4, static_cast<uint32_t>(out.size() - 8));
    return out;
}

}  // namespace yafa::encode
