#include "support/delta_anim.h"

#include <algorithm>
#include <stdexcept>

namespace yafa::test {

int DeltaBase(uint16_t flags, int frame) {
    const bool from0 = flags & kDeltaFrom0, from1 = flags & kDeltaFrom1;
    if (frame >= 2) return frame - 2;
    if (frame == 1) return from1 ? 0 : from0 ? -1 : -2;
    return from0 ? -1 : -2;
}

DeltaAnim MakeDeltaAnim(const DeltaAnimRecipe& recipe) {
    const int w = recipe.width, h = recipe.height;
    const uint16_t flags = recipe.flags | kDelta;
    const bool chunky = recipe.format >= 3;
    const int planes = chunky ? 8 : recipe.depth;
    const int bits = chunky ? 8 : recipe.depth;
    const int rowBytes = PlaneRowBytes(w);
    const int unit = flags & kWordDelta ? 2 : flags & kLongDelta ? 4 : 1;
    const int unitsPerRow = unit == 1 ? rowBytes : unit == 2 ? w / 16 : w / 32;
    const DeltaGeometry g{planes, h, rowBytes, unit, unitsPerRow};
    const size_t stateSize = g.BufferSize();
    const int coveredBytes = unitsPerRow * unit;
    // Whether a delta can change pixel n.
    auto covered = [&](size_t n) {
        return chunky ? int(n % size_t(rowBytes)) < coveredBytes : int(n % size_t(w)) < coveredBytes * 8;
    };

    const int depthForPalette = chunky ? 8 : recipe.depth;
    const size_t paletteSize = recipe.depth > 8 ? 0 : size_t(1) << depthForPalette;
    const bool tails = flags & kFramePalette;
    const std::vector<uint32_t> drgb = [&] {
        std::vector<uint32_t> p;
        for (uint32_t i = 0; i < 256; ++i) p.push_back(0x010101u * i ^ 0x00A05000u);
        return p;
    }();

    std::mt19937 rng(recipe.seed);
    DeltaAnim anim;
    std::vector<Bytes> states;
    for (int i = 0; i < recipe.frames; ++i) {
        const int base = DeltaBase(flags, i);
        const Bytes zeroImage(size_t(w) * h, 0);
        const Bytes& baseImage = base >= 0 ? anim.expected[size_t(base)] : zeroImage;
        Bytes image = base == -2 ? RandomPixels(size_t(w) * h, bits, rng) : baseImage;
        // Scattered changes, plus a band of identical rows for same runs.
        for (auto& px : image)
            if (rng() % 3 == 0) px = uint8_t(rng() & ((1u << bits) - 1));
        if (h >= 3) {
            const int top = int(rng() % uint32_t(h - 2)), rows = 2 + int(rng() % uint32_t(h - top - 1));
            for (int r = top + 1; r < top + rows && r < h; ++r)
                std::copy_n(&image[size_t(top) * w], w, &image[size_t(r) * w]);
        }
        Bytes stored;
        Bytes state;
        if (base == -2) {
            if (chunky) {
                state = image;
                state.resize(std::max(stateSize, state.size()), 0);
            } else {
                state = PackPlanar(image, w, h, recipe.depth);
            }
            stored = state;
        } else {
            for (size_t n = 0; n < image.size(); ++n)
                if (!covered(n)) image[n] = baseImage[n];
            const Bytes baseState = base >= 0 ? states[size_t(base)] : Bytes(stateSize, 0);
            Bytes target = baseState;
            if (chunky) {
                std::copy(image.begin(), image.end(), target.begin());
            } else {
                target = PackPlanar(image, w, h, recipe.depth);
            }
            stored = DeltaFrame(EncodeDelta(baseState, target, g, rng), 0xFFFFFFFFu);
            state = baseState;
            for (size_t b = 0; b < stateSize; ++b)
                if (int(b % size_t(rowBytes)) < coveredBytes) state[b] = target[b];
        }
        std::vector<uint32_t> palette = drgb;
        if (tails) {
            const std::vector<uint32_t> tail = [&] {
                std::vector<uint32_t> t;
                for (size_t k = 0; k < paletteSize; ++k) t.push_back(uint32_t(rng()) & 0xFFFFFF);
                return t;
            }();
            std::copy(tail.begin(), tail.end(), palette.begin());
            Append(stored, PaletteTail(tail));
        }
        anim.frames.push_back(std::move(stored));
        anim.expected.push_back(std::move(image));
        anim.palettes.push_back(std::move(palette));
        states.push_back(std::move(state));
    }

    AnimRecipe file;
    file.info = {uint16_t(w), uint16_t(h), uint16_t(recipe.depth), 2, uint16_t(recipe.frames), recipe.format, flags};
    file.frames = anim.frames;
    file.palette = drgb;
    file.prof = true;
    anim.file = BuildAnim(file);
    return anim;
}

}  // namespace yafa::test
