#include "colour_reduction.h"

#include <dlfcn.h>
#include <libimagequant.h>

#include "quantiser.h"

namespace yafa::tool {
namespace {

std::vector<uint8_t> ToRgba(const uint32_t* pixels, size_t count) {
    std::vector<uint8_t> rgba(count * 4);
    for (size_t i = 0; i < count; ++i) {
        rgba[4 * i] = static_cast<uint8_t>(pixels[i] >> 16);
        rgba[4 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgba[4 * i + 2] = static_cast<uint8_t>(pixels[i]);
        rgba[4 * i + 3] = 255;
    }
    return rgba;
}

}  // namespace

bool ColourSet::Add(const uint32_t* pixels, size_t count) {
    for (size_t i = 0; i < count && !overflowed_; ++i) {
        const uint32_t c = pixels[i] & 0xFFFFFFu;
        if (!seen_.insert(c).second) continue;
        if (colours_.size() == limit_) {
            overflowed_ = true;
        } else {
            colours_.push_back(c);
        }
    }
    return !overflowed_;
}

struct AnimationQuantiser::Liq {
    LiqPtr<liq_attr> attr;
    LiqPtr<liq_histogram> histogram;
    LiqPtr<liq_result> result;
};

AnimationQuantiser::AnimationQuantiser() : liq_(std::make_unique<Liq>()) {}
AnimationQuantiser::~AnimationQuantiser() = default;

bool AnimationQuantiser::Survey(const uint32_t* pixels, uint32_t width, uint32_t height, std::string* error) {
    if (!liq_->attr) {
        UseOneQuantiserThread();
        liq_->attr.reset(liq_attr_create());
        if (liq_->attr) liq_->histogram.reset(liq_histogram_create(liq_->attr.get()));
        if (!liq_->histogram) {
            *error = "the colour quantiser cannot start";
            return false;
        }
    }
    std::vector<uint8_t> rgba = ToRgba(pixels, size_t{width} * height);
    LiqPtr<liq_image> image(liq_image_create_rgba(liq_->attr.get(), rgba.data(), static_cast<int>(width),
                                                  static_cast<int>(height), 0));
    if (!image || liq_histogram_add_image(liq_->histogram.get(), liq_->attr.get(), image.get()) != LIQ_OK) {
        *error = "the colour quantiser failed";
        return false;
    }
    return true;
}

bool AnimationQuantiser::MakePalette(std::string* error) {
    liq_result* raw = nullptr;
    if (!liq_->histogram || liq_histogram_quantize(liq_->histogram.get(), liq_->attr.get(), &raw) != LIQ_OK) {
        *error = "the colour quantiser failed";
        return false;
    }
    liq_->result.reset(raw);
    liq_set_dithering_level(raw, 1.0f);
    const liq_palette* palette = liq_get_palette(raw);
    palette_.clear();
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& c = palette->entries[i];
        palette_.push_back(uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b);
    }
    return true;
}

bool AnimationQuantiser::Map(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint32_t>* out,
                             std::string* error) {
    const size_t count = size_t{width} * height;
    std::vector<uint8_t> rgba = ToRgba(pixels, count);
    LiqPtr<liq_image> image(liq_image_create_rgba(liq_->attr.get(), rgba.data(), static_cast<int>(width),
                                                  static_cast<int>(height), 0));
    std::vector<uint8_t> indices(count);
    if (!image || liq_write_remapped_image(liq_->result.get(), image.get(), indices.data(), count) != LIQ_OK) {
        *error = "the colour quantiser failed to map a frame";
        return false;
    }
    // Remapping may refine the quantiser's own palette a little for each
    // frame; the animation keeps the one palette it started with.
    out->resize(count);
    const bool haveBefore = before_.size() == count;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t mapped = palette_[indices[i] < palette_.size() ? indices[i] : 0];
        (*out)[i] = haveBefore && ((pixels[i] ^ before_[i]) & 0xFFFFFFu) == 0 ? shownBefore_[i] : mapped;
    }
    before_.assign(pixels, pixels + count);
    shownBefore_ = *out;
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
