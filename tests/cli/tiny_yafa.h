// A small YAFA animation for the tool's tests, from the byte builder: 16 x 3
// pixels, 2 planes, raw planar frames; every pixel of frame k has palette
// index k % 4. Optionally frame 1 is an XPK container of an unknown method,
// which the plugin refuses to unpack, and optionally there are no delays
// (no TTBL, and 0 ticks in INFO).
#pragma once

#include <cstdint>
#include <iterator>
#include <vector>

#include "support/yafa_builder.h"

namespace yafa::test {

constexpr int kTinyWidth = 16, kTinyHeight = 3, kTinyFrames = 3;
constexpr uint32_t kTinyColours[4] = {0x102030, 0xA0B0C0, 0xFF0000, 0x00FF80};
constexpr uint16_t kTinyTicks[kTinyFrames] = {5, 0, 7};  // 100, 100 and 140 ms

inline std::vector<uint8_t> BuildTinyYafa(bool brokenFrame1, bool noDelays = false) {
    AnimRecipe recipe;
    recipe.info = {kTinyWidth, kTinyHeight, 2, uint16_t(noDelays ? 0 : 5), kTinyFrames, 0, 0};
    for (int k = 0; k < kTinyFrames; ++k) {
        recipe.frames.emplace_back(6, (k & 1) ? 0xFF : 0x00);
        recipe.frames.back().insert(recipe.frames.back().end(), 6, (k & 2) ? 0xFF : 0x00);
    }
    if (brokenFrame1) recipe.frames[1] = {'X', 'P', 'K', 'F', 0, 0, 0, 40, 'A', 'B', 'C', 'D', 0, 0, 0, 0};
    recipe.palette.assign(std::begin(kTinyColours), std::end(kTinyColours));
    if (!noDelays) recipe.ttbl.assign(std::begin(kTinyTicks), std::end(kTinyTicks));
    return BuildAnim(recipe);
}

}  // namespace yafa::test
