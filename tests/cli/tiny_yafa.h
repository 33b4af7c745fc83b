// A small YAFA animation built byte by byte for the tool's tests: 16 x 3
// pixels, 2 planes, raw planar frames; every pixel of frame k has palette
// index k % 4. Optionally frame 1 is an XPK container of an unknown method,
// which the plugin refuses to unpack, and optionally there are no delays
// (no TTBL, and 0 ticks in INFO).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace yafa::test {

constexpr int kTinyWidth = 16, kTinyHeight = 3, kTinyFrames = 3;
constexpr uint32_t kTinyColours[4] = {0x102030, 0xA0B0C0, 0xFF0000, 0x00FF80};
constexpr uint16_t kTinyTicks[kTinyFrames] = {5, 0, 7};  // 100, 100 and 140 ms

inline std::vector<uint8_t> BuildTinyYafa(bool brokenFrame1, bool noDelays = false) {
    std::vector<uint8_t> out;
    auto u16 = [&](uint32_t v) { out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v)}); };
    auto u32 = [&](uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); };
    auto text = [&](const char* s) { out.insert(out.end(), s, s + 4); };

    std::vector<std::vector<uint8_t>> frames;
    for (int k = 0; k < kTinyFrames; ++k) {
        std::vector<uint8_t> f;
        for (int plane = 0; plane < 2; ++plane) f.insert(f.end(), 6, (k >> plane) & 1 ? 0xFF : 0x00);
        frames.push_back(f);
    }
    if (brokenFrame1) frames[1] = {'X', 'P', 'K', 'F', 0, 0, 0, 40, 'A', 'B', 'C', 'D', 0, 0, 0, 0};

    text("FORM"), u32(0), text("YAFA");
    text("INFO"), u32(14);
    for (uint32_t v : {kTinyWidth, kTinyHeight, 2, noDelays ? 0 : 5, kTinyFrames, 0, 0}) u16(v);
    text("DRGB"), u32(4 + 12 * 4), u16(4), u16(0);
    for (uint32_t c : kTinyColours) u32((c >> 16) << 24), u32(((c >> 8) & 0xFF) << 24), u32((c & 0xFF) << 24);
    if (!noDelays) {
        text("TTBL"), u32(2 * kTinyFrames);
        for (uint16_t t : kTinyTicks) u16(t);
    }
    text("PROF"), u32(4 * kTinyFrames);
    uint32_t end = 0;
    for (const auto& f : frames) u32(end += static_cast<uint32_t>(f.size()));
    text("BODY"), u32(end);
    for (const auto& f : frames) out.insert(out.end(), f.begin(), f.end());
    return out;
}

}  // namespace yafa::test
