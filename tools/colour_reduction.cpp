#include "colour_reduction.h"
#include "quantiser.h"

#include <dlfcn.h>
#include <libimagequant.h>

#include <algorithm>
#include <memory>
#include <unordered_map>

namespace yafa::tool {
namespace {

// Distinct colours of the frame in order of first appearance; false as soon
// as there are more than 256.
bool ExactPalette(const uint32_t* pixels, uint64_t count, PalettedImage* out) {
    std::unordered_map<uint32_t, uint8_t> slot;
    out->indices.resize(count);
    out->colours.clear();
    for (uint64_t i = 0; i < count; ++i) {
        const uint32_t c = pixels[i] & 0xFFFFFFu;
        auto [it, inserted] = slot.try_emplace(c, static_cast<uint8_t>(out->colours.size()));
        if (inserted) {
            if (out->colours.size() == 256) return false;
            out->colours.push_back(c);
        }
        out->indices[i] = it->second;
    }
    if (out->colours.empty()) out->colours.push_back(0);
    return true;
}


}  // namespace

PalettedImage FromIndexed(const uint8_t* indices, uint64_t pixelCount, const uint32_t* palette256, int32_t depth) {
    PalettedImage out;
    out.indices.assign(indices, indices + pixelCount);
    uint32_t size = pixelCount ? uint32_t{*std::max_element(out.indices.begin(), out.indices.end())} + 1 : 1;
    if (depth >= 1 && depth <= 8) size = std::max(size, uint32_t{1} << depth);
    out.colours.resize(size);
    for (uint32_t i = 0; i < size; ++i) out.colours[i] = palette256 ? palette256[i] & 0xFFFFFFu : 0;
    return out;
}

bool FromTrueColour(const uint32_t* pixels, uint32_t width, uint32_t height, PalettedImage* out, std::string* error) {
    const uint64_t count = uint64_t{width} * height;
    out->quantised = false;
    if (ExactPalette(pixels, count, out)) return true;

    std::vector<uint8_t> rgba(count * 4);
    for (uint64_t i = 0; i < count; ++i) {
        rgba[4 * i] = static_cast<uint8_t>(pixels[i] >> 16);
        rgba[4 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgba[4 * i + 2] = static_cast<uint8_t>(pixels[i]);
        rgba[4 * i + 3] = 255;
    }
    UseOneQuantiserThread();
    std::unique_ptr<liq_attr, LiqDeleter> attr(liq_attr_create());
    if (!attr) {
        *error = "the colour quantiser cannot start";
        return false;
    }
    std::unique_ptr<liq_image, LiqDeleter> image(
        liq_image_create_rgba(attr.get(), rgba.data(), static_cast<int>(width), static_cast<int>(height), 0));
    liq_result* raw = nullptr;
    if (!image || liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK) {
        *error = "the colour quantiser failed";
        return false;
    }
    std::unique_ptr<liq_result, LiqDeleter> result(raw);
    liq_set_dithering_level(result.get(), 1.0f);
    out->indices.assign(count, 0);
    if (liq_write_remapped_image(result.get(), image.get(), out->indices.data(), out->indices.size()) != LIQ_OK) {
        *error = "the colour quantiser failed to remap the frame";
        return false;
    }
    const liq_palette* palette = liq_get_palette(result.get());
    out->colours.clear();
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& c = palette->entries[i];
        out->colours.push_back(uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b);
    }
    if (out->colours.empty()) out->colours.push_back(0);
    out->quantised = true;
    return true;
}

void UseOneQuantiserThread() {
    static const bool done = [] {
        using SetThreads = void (*)(int);
        if (void* fn = ::dlsym(RTLD_DEFAULT, "omp_set_num_threads")) reinterpret_cast<SetThreads>(fn)(1);
        return true;
    }();
    (void)done;
}

}  // namespace yafa::tool
