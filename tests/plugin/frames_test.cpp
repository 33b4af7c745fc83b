// Frames that fail, each for its reason, while the others load; and the file
// shapes that a careful reader decodes, with only what would be unsafe
// replaced (bytes the file lacks read as 0).
#include <string>

#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

using Frames = PluginTest;

// 16 x 2, 2 planes, format 1: each frame k shows the planes `shows[k]`, or
// fails for `status` when that is empty, while the others load. Frame 2
// covers the shapes a careful reader decodes, with only what would be unsafe
// replaced. (The XPK chunks' own tolerated shapes are in the container's
// tests.)
TEST_F(Frames, EachFailsForItsReasonWhileTheOthersLoad) {
    std::mt19937 rng(23);
    std::vector<Bytes> p;  // three frames of 8 bytes
    for (int i = 0; i < 3; ++i) p.push_back(PackPlanar(RandomPixels(16 * 2, 2, rng), 16, 2, 2));
    const uint32_t s = 8;
    // The last frame 3 bytes past the end of the file: they read as 0.
    Bytes cutPlanes = p[2];
    std::fill(cutPlanes.begin() + 5, cutPlanes.end(), 0);
    // An XPK frame never uses its stored length: PROF may end it anywhere,
    // even before its start or past the file.
    const Bytes xpk = XpkFrame("NUKE", {{0, 8, 8, p[2]}});
    const struct {
        const char* name;
        std::vector<uint32_t> ends;
        Bytes body;
        Status status;
        std::vector<Bytes> shows;
    } cases[] = {
        // Frame 0 runs 5 bytes long, frame 1 ends before it starts.
        {"end before start", {s + 5, s, 2 * s}, Cat({p[0], p[2], Bytes(s, 0xEE)}), Status::FrameEndsBeforeStart, {p[0], {}, p[2]}},
        {"end far past the file", {s, 2 * s, 0xFFFFFFFFu}, Cat({p[0], p[1], p[2]}), Status::FrameLargerThanGeometry, {p[0], p[1], {}}},
        {"starts past the file", {s, 2 * s, 3 * s + 8}, Cat({p[0], p[1]}), Status::FrameStartsPastEndOfFile, {p[0], p[1], {}}},
        {"too short for its planes", {s - 1, 2 * s - 1, 3 * s - 1}, Cat({Bytes(p[0].begin(), p[0].end() - 1), p[1], p[2]}),
         Status::FrameShorterThanPixels, {{}, p[1], p[2]}},
        {"shorter than its tag", {3, s + 3, 2 * s + 3}, Cat({Bytes{1, 2, 3}, p[1], p[2]}), Status::FrameShorterThanTag, {{}, p[1], p[2]}},
        {"last frame past the end of the file", {s, 2 * s, 3 * s}, Cat({p[0], p[1], Bytes(p[2].begin(), p[2].end() - 3)}),
         Status::Ok, {p[0], p[1], cutPlanes}},
        {"XPK frame whose PROF end lies before its start", {s, 2 * s, 3}, Cat({p[0], p[1], xpk}), Status::Ok, {p[0], p[1], p[2]}},
        {"XPK frame whose PROF end lies past the file", {s, 2 * s, 0xFFFFFFF0u}, Cat({p[0], p[1], xpk}), Status::Ok, {p[0], p[1], p[2]}},
    };
    for (const auto& c : cases) {
        auto anim = Open(Form({InfoChunk(Info{16, 2, 2, 1, 3, 1, 0}), DrgbChunk(TestPalette(4, 2)), ProfChunk(c.ends),
                               RawChunk("BODY", uint32_t(c.body.size()), c.body)}));
        ASSERT_NE(anim, nullptr) << c.name;
        for (int round = 0; round < 2; ++round)
            for (int32_t f = 0; f < 3; ++f) {
                const Bytes& shows = c.shows[size_t(f)];
                if (shows.empty()) {
                    EXPECT_FALSE(Load32(anim.get(), f).ok) << c.name;
                    EXPECT_EQ(LastReason(anim.get()), c.status) << c.name;
                } else {
                    EXPECT_EQ(PackPlanar(Load8(anim.get(), f).indices, 16, 2, 2), shows) << c.name << ' ' << f;
                }
            }
    }
}

// A palette tail and the pixel data are found from the two ends of a frame,
// and may overlap: here the tail's first 4 bytes, which are not read, are
// the frame's one plane.
TEST_F(Frames, PaletteTailOverlappingThePixels) {
    const auto palette = TestPalette(2, 9);
    Bytes frame = PaletteTail(palette);  // 32 bytes: 4 unread, 2 colours, 4 unread
    const Bytes plane = {0xF0, 0x0F, 0xAA, 0x55};
    std::copy(plane.begin(), plane.end(), frame.begin());
    AnimRecipe recipe;
    recipe.info = {16, 2, 1, 1, 1, 1, kFramePalette};
    recipe.frames = {frame};
    auto anim = Open(BuildAnim(recipe));
    ASSERT_NE(anim, nullptr);
    Bytes pixels;
    for (uint8_t b : plane)
        for (int k = 7; k >= 0; --k) pixels.push_back(uint8_t((b >> k) & 1));
    EXPECT_EQ(Load32(anim.get(), 0).pixels, Lookup(pixels, palette));
    // One byte shorter than the tail: refused, as the frame after it loads.
    recipe.info.frameCount = 2;
    recipe.frames = {Bytes(frame.begin(), frame.end() - 1), frame};
    anim = Open(BuildAnim(recipe));
    EXPECT_FALSE(Load32(anim.get(), 0).ok);
    EXPECT_EQ(LastReason(anim.get()), Status::FrameShorterThanPaletteTail);
    EXPECT_EQ(Load32(anim.get(), 1).pixels, Lookup(pixels, palette));
}

// An XPK stream whose first chunk is its end chunk unpacks to no buffer at
// all. As the key frame of a delta animation without pixels it is kept in
// the back buffers without handing that null pointer to memcpy (the
// sanitizers stop the test if it is).
TEST_F(Frames, EmptyXpkKeyFrameOfAnEmptyDeltaAnimation) {
    AnimRecipe recipe;
    recipe.info = {2, 0, 1, 1, 1, 0, kDelta};
    recipe.frames = {XpkFrame("FAST", {})};
    auto anim = Open(BuildAnim(recipe));
    ASSERT_NE(anim, nullptr);
    EXPECT_TRUE(Load8(anim.get(), 0).ok);
}

}  // namespace
}  // namespace yafa::test
