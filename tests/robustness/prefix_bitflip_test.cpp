// Every truncation and many single-bit flips of valid animations, through the
// module as the host loads it: the plugin refuses or decodes each file, a
// truncated file never yields a frame that differs from the whole file's
// with the missing bytes read as 0, and no file stays open. Under
// AddressSanitizer a stray access or a leak fails the run as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>

#include "anim_corpus.h"
#include "plugin_rig.h"

namespace yafa::robust {
namespace {

// At most this many truncations and flips beyond the exhaustive parts, per
// animation, so that the run stays short.
constexpr size_t kSampledCases = 64;

class Mutations : public ::testing::TestWithParam<size_t> {
protected:
    const CorpusAnim& anim() const { return Corpus()[GetParam()]; }
    // Every frame once, in order: a delta chain is played through, and a
    // frame that decodes can be compared with the whole file's.
    Scenario scenario(size_t variant) const {
        Scenario s{anim().indexedOk && variant % 2 == 1, std::vector<int32_t>(anim().frameCount)};
        std::iota(s.frames.begin(), s.frames.end(), 0);
        return s;
    }
    RunResult Run(Bytes file, size_t variant) {
        Rig().SetFile(std::move(file));
        RunResult result = Rig().Run(scenario(variant));
        EXPECT_EQ(Rig().host().openFileCount(), 0u) << "a file stayed open";
        return result;
    }
};

TEST_P(Mutations, TruncatedFileRefusesOrMatchesZeroFilledFile) {
    const Bytes& file = anim().file;
    const FileLayout layout = LayoutOf(file);
    ASSERT_GT(layout.bodyStart, 0u);

    // Every length up to a little past the BODY header, the lengths around
    // each frame's end, and an even sample of the rest.
    std::set<size_t> lengths;
    for (size_t n = 0; n <= std::min(file.size(), layout.bodyStart + 64); ++n) lengths.insert(n);
    for (const auto& [start, end] : layout.frames)
        for (size_t n = end > 4 ? end - 4 : 0; n <= std::min(file.size(), end + 4); ++n) lengths.insert(n);
    const size_t step = std::max<size_t>(1, file.size() / kSampledCases);
    for (size_t n = 0; n < file.size(); n += step) lengths.insert(n);

    for (size_t n : lengths) {
        const size_t variant = n % 2;
        const RunResult cut = Run(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)), variant);
        // The BODY size is never used, so a file may end inside it.
        ASSERT_EQ(cut.opened, n + 4 >= layout.bodyStart) << "length " << n << ", BODY header at " << layout.bodyStart;
        if (!cut.opened) continue;
        // What the cut file may show: the whole file with the cut bytes 0.
        Bytes zeroFilled = file;
        std::fill(zeroFilled.begin() + static_cast<std::ptrdiff_t>(n), zeroFilled.end(), 0);
        const RunResult whole = Run(std::move(zeroFilled), variant);
        EXPECT_EQ(cut.delays, whole.delays) << "length " << n;
        for (size_t i = 0; i < cut.frames.size(); ++i) {
            if (cut.frames[i]) {
                EXPECT_EQ(cut.frames[i], whole.frames[i]) << "length " << n << ", request " << i;
            }
        }
    }
}

TEST_P(Mutations, FlippedBitNeitherCrashesNorLeavesFileOpen) {
    const Bytes& file = anim().file;
    const FileLayout layout = LayoutOf(file);
    // Every bit of the chunks before BODY and of the first and last frames'
    // first bytes (packer and delta headers, first chunk headers); one bit
    // of each such byte of the other frames; a sample elsewhere.
    std::set<size_t> everyBit, oneBit;
    for (size_t at = 0; at < layout.bodyStart; ++at) everyBit.insert(at);
    for (size_t i = 0; i < layout.frames.size(); ++i) {
        const auto [start, end] = layout.frames[i];
        for (size_t at = start; at < std::min(end, start + 48); ++at)
            (i == 0 || i + 1 == layout.frames.size() ? everyBit : oneBit).insert(at);
    }
    auto flip = [&](size_t at, int bit) {
        Bytes flipped = file;
        flipped[at] ^= static_cast<uint8_t>(1u << bit);
        Run(std::move(flipped), at + size_t(bit));
    };
    for (size_t at : everyBit)
        for (int bit = 0; bit < 8; ++bit) flip(at, bit);
    for (size_t at : oneBit) flip(at, int(at % 8));
    const size_t step = std::max<size_t>(1, file.size() / kSampledCases);
    for (size_t at = 3; at < file.size(); at += step) flip(at, int(at * 5 % 8));
}

INSTANTIATE_TEST_SUITE_P(Corpus, Mutations, ::testing::Range<size_t>(0, Corpus().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) { return CorpusName(info.param); });

}  // namespace
}  // namespace yafa::robust
