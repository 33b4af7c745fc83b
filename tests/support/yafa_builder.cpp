#include "support/yafa_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "format/big_endian.h"

namespace yafa::test {

void PutU16(Bytes& out, uint32_t value) { AppendU16BE(out, value); }
void PutU32(Bytes& out, uint32_t value) { AppendU32BE(out, value); }
void Append(Bytes& out, std::span<const uint8_t> more) { out.insert(out.end(), more.begin(), more.end()); }
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) Append(b, p);
    return b;
}

static void PutId(Bytes& out, std::string_view id) {
    if (id.size() != 4) throw std::logic_error("chunk ids are 4 bytes");
    out.insert(out.end(), id.begin(), id.end());
}

Bytes RawChunk(std::string_view id, uint32_t sizeField, std::span<const uint8_t> data) {
    Bytes out;
    PutId(out, id), PutU32(out, sizeField), Append(out, data);
    return out;
}

Bytes Chunk(std::string_view id, std::span<const uint8_t> data) {
    Bytes out = RawChunk(id, uint32_t(data.size()), data);
    if (data.size() & 1) out.push_back(0xA5);
    return out;
}

Bytes InfoChunk(const Info& info, std::optional<uint32_t> sizeField) {
    Bytes data;
    for (uint16_t v : {info.width, info.height, info.depth, info.defaultDelay, info.frameCount, info.frameFormat,
                       info.flags})
        PutU16(data, v);
    return RawChunk("INFO", sizeField.value_or(14), data);
}

Bytes ProfChunk(std::span<const uint32_t> ends, std::optional<uint32_t> sizeField) {
    Bytes data;
    for (uint32_t e : ends) PutU32(data, e);
    return RawChunk("PROF", sizeField.value_or(uint32_t(data.size())), data);
}

Bytes TtblChunk(std::span<const uint16_t> ticks, std::optional<uint32_t> sizeField) {
    Bytes data;
    for (uint16_t t : ticks) PutU16(data, t);
    return RawChunk("TTBL", sizeField.value_or(uint32_t(data.size())), data);
}

// A palette component sits in the top byte of its u32; the rest is junk the
// reader must ignore.
static void PutComponent(Bytes& out, uint32_t component) { PutU32(out, (component & 0xFF) << 24 | 0x5A3C1Eu); }

static void PutColour(Bytes& out, uint32_t rgb) { PutComponent(out, rgb >> 16), PutComponent(out, rgb >> 8), PutComponent(out, rgb); }

Bytes DrgbChunk(std::span<const uint32_t> colours, size_t extra, std::optional<uint32_t> sizeField,
                std::optional<uint16_t> count) {
    Bytes data;
    PutU16(data, count.value_or(uint16_t(colours.size())));
    PutU16(data, 0xBEEF);
    for (uint32_t c : colours) PutColour(data, c);
    data.insert(data.end(), extra, 0xC3);
    return RawChunk("DRGB", sizeField.value_or(uint32_t(data.size())), data);
}

Bytes BodyChunk(std::span<const Bytes> frames) {
    Bytes data;
    for (const Bytes& f : frames) Append(data, f);
    return RawChunk("BODY", uint32_t(data.size()), data);
}

Bytes Form(std::initializer_list<Bytes> chunks) {
    Bytes body;
    for (const Bytes& c : chunks) Append(body, c);
    Bytes out;
    PutId(out, "FORM"), PutU32(out, uint32_t(body.size() + 4)), PutId(out, "YAFA"), Append(out, body);
    return out;
}

std::vector<uint32_t> FrameEnds(std::span<const Bytes> frames) {
    std::vector<uint32_t> ends;
    uint32_t end = 0;
    for (const Bytes& f : frames) ends.push_back(end += uint32_t(f.size()));
    return ends;
}

Bytes BuildAnim(const AnimRecipe& recipe) {
    Bytes out = Form({InfoChunk(recipe.info)});
    if (!recipe.palette.empty()) Append(out, DrgbChunk(recipe.palette));
    if (recipe.prof) Append(out, ProfChunk(FrameEnds(recipe.frames)));
    if (!recipe.ttbl.empty()) Append(out, TtblChunk(recipe.ttbl));
    Append(out, BodyChunk(recipe.frames));
    return out;
}

Bytes PackPlanar(std::span<const uint8_t> pixels, int width, int height, int depth) {
    const int rowBytes = ((width + 15) >> 4) * 2;
    Bytes planes(size_t(depth) * height * rowBytes, 0);
    for (int p = 0; p < depth; ++p) {
        for (int y = 0; y < height; ++y) {
            uint8_t* row = &planes[(size_t(p) * height + y) * rowBytes];
            for (int x = 0; x < rowBytes * 8; ++x) {
                const bool bit = x >= width || (pixels[size_t(y) * width + x] >> p & 1);
                if (bit) row[x / 8] |= uint8_t(0x80 >> (x % 8));
            }
        }
    }
    return planes;
}

Bytes PaletteTail(std::span<const uint32_t> colours) {
    Bytes out{0xDE, 0xAD, 0xBE, 0xEF};
    for (uint32_t c : colours) PutColour(out, c);
    Append(out, Bytes{0xFE, 0xED, 0xFA, 0xCE});
    return out;
}

Bytes RandomPixels(size_t count, int bits, std::mt19937& rng) {
    Bytes out(count);
    for (auto& b : out) b = uint8_t(rng() & ((1u << bits) - 1));
    return out;
}

Bytes XpkHeader(const char* method, uint8_t flags, const Bytes& extra) {
    Bytes s{'X', 'P', 'K', 'F', 0xDE, 0xAD, 0xBE, 0xEF};
    s.insert(s.end(), method, method + 4);
    s.insert(s.end(), 20, 0xA5);
    s.push_back(flags);
    s.insert(s.end(), 3, 0x5A);
    if (flags & 4) PutU16(s, uint32_t(extra.size())), Append(s, extra);
    return s;
}

void AddXpkChunk(Bytes& s, uint8_t type, uint32_t pl, uint32_t ul, bool longHeaders, const Bytes& body) {
    s.insert(s.end(), {type, 0x77, 0x77, 0x77});
    for (uint32_t v : {pl, ul}) longHeaders ? PutU32(s, v) : PutU16(s, v);
    Append(s, body);
}

Bytes XpkFrame(const char* method, std::initializer_list<std::tuple<uint8_t, uint32_t, uint32_t, Bytes>> chunks) {
    Bytes s = XpkHeader(method, 0);
    for (const auto& [type, pl, ul, body] : chunks) AddXpkChunk(s, type, pl, ul, false, body);
    AddXpkChunk(s, 15, 0, 0, false);
    return s;
}

Bytes PlanarAnim(const std::vector<Bytes>& images, int width, int height, int depth,
                 std::span<const uint32_t> palette, uint16_t format) {
    AnimRecipe recipe;
    recipe.info = {uint16_t(width), uint16_t(height), uint16_t(depth), 1, uint16_t(images.size()), format, 0};
    for (const Bytes& image : images) recipe.frames.push_back(PackPlanar(image, width, height, depth));
    recipe.palette.assign(palette.begin(), palette.end());
    recipe.prof = format != 0;
    return BuildAnim(recipe);
}

}  // namespace yafa::test
