// Colours for GIF export: counting them, and reducing animations whose
// frames have more than a colour table holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

struct liq_attr;
struct liq_histogram;
struct liq_result;

namespace yafa::tool {

// The distinct colours of some pictures, in order of first appearance, up to
// a limit; counting stops once it is passed.
class ColourSet {
public:
    explicit ColourSet(size_t limit) : limit_(limit) {}
    // False once the pictures so far have more than `limit` colours.
    bool Add(const uint32_t* pixels, size_t count);
    bool overflowed() const { return overflowed_; }
    const std::vector<uint32_t>& colours() const { return colours_; }

private:
    size_t limit_;
    bool overflowed_ = false;
    std::unordered_set<uint32_t> seen_;
    std::vector<uint32_t> colours_;
};

// One palette of at most 256 colours for a whole animation, made by
// libimagequant from every frame, and each frame mapped to it with
// dithering. Where a pixel is the same as in the frame before, it keeps the
// colour it was given then, so still parts of the picture stay still.
class AnimationQuantiser {
public:
    AnimationQuantiser();
    ~AnimationQuantiser();
    AnimationQuantiser(const AnimationQuantiser&) = delete;
    AnimationQuantiser& operator=(const AnimationQuantiser&) = delete;

    // First pass: every frame, width × height 0x00RRGGBB pixels.
    bool Survey(const uint32_t* pixels, uint32_t width, uint32_t height, std::string* error);
    bool MakePalette(std::string* error);
    const std::vector<uint32_t>& palette() const { return palette_; }
    // Second pass: the frames again, in order; *out gets colours of the palette.
    bool Map(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint32_t>* out, std::string* error);

private:
    struct Liq;
    std::unique_ptr<Liq> liq_;
    std::vector<uint32_t> palette_;
    std::vector<uint32_t> before_, shownBefore_;  // the last frame mapped, and what it became
};

}  // namespace yafa::tool
