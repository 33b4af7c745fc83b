#include "xpk_writer.h"

#include <algorithm>
#include <stdexcept>

#include "format/xpk_format.h"
#include "iff_writer.h"
#include "method_packers.h"

namespace yafa::encode {

namespace {

size_t Pad4(size_t n) { return static_cast<size_t>(XpkPaddedLength(n)); }

void PutChunk(std::vector<uint8_t>& out, uint8_t type, bool longHeaders, std::span<const uint8_t> body,
              uint32_t unpackedLength) {
    out.push_back(type);
    out.insert(out.end(), 3, 0);  // header check byte and spare, unused by readers
    const auto packedLength = static_cast<uint32_t>(body.size());
    if (longHeaders) {
        PutU32BE(out, packedLength);
        PutU32BE(out, unpackedLength);
    } else {
        PutU16BE(out, packedLength);
        PutU16BE(out, unpackedLength);
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

    std::vector<uint8_t> out(std::begin(kXpkTag), std::end(kXpkTag));
    PutU32BE(out, 0);  // length of the rest of the stream, set at the end
    const char* tag = kXpkMethodTags[static_cast<int>(options.method)];
    out.insert(out.end(), tag, tag + 4);
    PutU32BE(out, static_cast<uint32_t>(data.size()));
    // The first bytes of the unpacked data, as a quick look at the contents.
    for (size_t i = 0; i < 16; ++i) out.push_back(i < data.size() ? data[i] : 0);
    uint8_t flags = longHeaders ? XPK_FLAG_LONG_HEADERS : 0;
    if (options.extraHeader) flags |= XPK_FLAG_EXTRA_HEADER;
    out.push_back(flags);
    out.insert(out.end(), 3, 0);
    if (options.extraHeader) {
        PutU16BE(out, static_cast<uint32_t>(options.extraHeader->size()));
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
                PutChunk(out, XPK_CHUNK_PACKED, longHeaders, packed, static_cast<uint32_t>(length));
                continue;
            }
        }
        PutChunk(out, XPK_CHUNK_RAW, longHeaders, raw, static_cast<uint32_t>(length));
    }
    PutChunk(out, XPK_CHUNK_END, longHeaders, {}, 0);
    SetU32BE(out, 4, static_cast<uint32_t>(out.size() - 8));
    return out;
}

}  // namespace yafa::encode
