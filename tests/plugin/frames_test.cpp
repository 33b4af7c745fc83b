// Frames that fail, each for its reason, while the others load; and the file
// shapes that a careful reader decodes, with only what would be unsafe
// replaced (bytes the file lacks read as 0).
#include <string>

#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

using Frames = PluginTest;

// 16 x 2 pixels of 2 planes: 8 bytes a frame.
struct Images {
    std::vector<Bytes> pixels, planes;
    std::vector<uint32_t> palette = TestPalette(4, 2);
    explicit Images(uint32_t seed) {
        std::mt19937 rng(seed);
        for (int i = 0; i < 3; ++i) {
            pixels.push_back(RandomPixels(16 * 2, 2, rng));
            planes.push_back(PackPlanar(pixels.back(), 16, 2, 2));
        }
    }
};

// 16 x 2, 2 planes, format 1 (PROF) or 0 (frames 8 bytes apart); frame
// `bad` fails for its reason, each frame k in `good` shows image k.
TEST_F(Frames, EachFailsForItsReasonWhileTheOthersLoad) {
    const Images im(23);
    const uint32_t s = 8;
    const auto& p = im.planes;
    const struct {
        const char* name;
        std::vector<uint32_t> ends;  // none: frames located by their size
        Bytes body;
        int32_t bad;
        Status status;
        std::vector<int32_t> good;
    } cases[] = {
        // Frame 0 runs 5 bytes long, frame 1 ends before it starts.
        {"end before start", {s + 5, s, 2 * s}, Cat({p[0], p[2], Bytes(s, 0xEE)}), 1, Status::FrameEndsBeforeStart, {0, 2}},
        {"end far past the file", {s, 2 * s, 0xFFFFFFFFu}, Cat({p[0], p[1], p[2]}), 2, Status::FrameLargerThanGeometry, {0, 1}},
        {"starts past the file", {s, 2 * s, 3 * s + 8}, Cat({p[0], p[1]}), 2, Status::FrameStartsPastEndOfFile, {0, 1}},
        {"too short for its planes", {s - 1, 2 * s - 1, 3 * s - 1}, Cat({Bytes(p[0].begin(), p[0].end() - 1), p[1], p[2]}),
         0, Status::FrameShorterThanPixels, {1, 2}},
        {"shorter than its tag", {3, s + 3, 2 * s + 3}, Cat({Bytes{1, 2, 3}, p[1], p[2]}), 0, Status::FrameShorterThanTag, {1, 2}},
    };
    for (const auto& c : cases) {
        Bytes file = Form({InfoChunk(Info{16, 2, 2, 1, 3, uint16_t(c.ends.empty() ? 0 : 1), 0}), DrgbChunk(im.palette)});
        if (!c.ends.empty()) Append(file, ProfChunk(c.ends));
        Append(file, RawChunk("BODY", uint32_t(c.body.size()), c.body));
        auto anim = Open(file);
        ASSERT_NE(anim, nullptr) << c.name;
        for (int round = 0; round < 2; ++round) {
            EXPECT_FALSE(Load32(anim.get(), c.bad).ok) << c.name;
            EXPECT_EQ(LastReason(anim.get()), c.status) << c.name;
            for (int32_t f : c.good) EXPECT_EQ(Load8(anim.get(), f).indices, im.pixels[size_t(f)]) << c.name << ' ' << f;
        }
    }
}

// Chunky frames one byte short of their pixels, and a frame shorter than
// its palette tail; the frame after each loads.
TEST_F(Frames, TooShortForPixelsOrPaletteTail) {
    const struct {
        Info info;
        size_t goodLength, badLength;
        Status status;
    } cases[] = {
        {{5, 3, 8, 1, 2, 3, 0}, 15, 14, Status::FrameShorterThanPixels},
        {{5, 3, 24, 1, 2, 3, 0}, 45, 44, Status::FrameShorterThanPixels},
        {{16, 2, 1, 1, 2, 1, kFramePalette}, 36, 20, Status::FrameShorterThanPaletteTail},  // a 32-byte tail
    };
    std::mt19937 rng(24);
    for (const auto& c : cases) {
        Bytes good = RandomPixels(c.goodLength, 8, rng);
        if (c.info.flags & kFramePalette) {
            good.resize(4);
            Append(good, PaletteTail(TestPalette(2, 3)));
        }
        AnimRecipe recipe;
        recipe.info = c.info;
        recipe.frames = {Bytes(good.begin(), good.begin() + long(c.badLength)), good};
        auto anim = Open(BuildAnim(recipe));
        ASSERT_NE(anim, nullptr);
        EXPECT_FALSE(Load32(anim.get(), 0).ok) << c.info.depth;
        EXPECT_EQ(LastReason(anim.get()), c.status) << c.info.depth;
        EXPECT_TRUE(Load32(anim.get(), 1).ok) << c.info.depth;
    }
}

// Shapes a careful reader decodes, with only what would be unsafe replaced:
// frame 2 shows `expect`. (The XPK chunks' own tolerated shapes are in the
// container's tests.)
TEST_F(Frames, ToleratedShapesDecode) {
    const Images im(26);
    const auto& p = im.planes;
    const uint32_t s = 8;
    // The last frame 3 bytes past the end of the file: they read as 0.
    Bytes cutPlanes = p[2];
    for (size_t i = 5; i < 8; ++i) cutPlanes[i] = 0;
    // An XPK frame never uses its stored length: PROF may end it anywhere,
    // even before its start.
    const Bytes xpkRaw = XpkFrame("NUKE", {{0, 8, 8, p[2]}});
    const struct {
        const char* name;
        std::vector<uint32_t> ends;
        Bytes third;
        Bytes expect;
    } cases[] = {
        {"last frame past the end of the file", {s, 2 * s, 3 * s}, Bytes(p[2].begin(), p[2].end() - 3), cutPlanes},
        {"XPK frame whose PROF end lies before its start", {s, 2 * s, 3}, xpkRaw, p[2]},
        {"XPK frame whose PROF end lies past the file", {s, 2 * s, 0xFFFFFFF0u}, xpkRaw, p[2]},
    };
    for (const auto& c : cases) {
        const Bytes body = Cat({p[0], p[1], c.third});
        auto anim = Open(Form({InfoChunk(Info{16, 2, 2, 1, 3, 1, 0}), DrgbChunk(im.palette), ProfChunk(c.ends),
                               RawChunk("BODY", uint32_t(body.size()), body)}));
        ASSERT_NE(anim, nullptr) << c.name;
        const Frame8 f = Load8(anim.get(), 2);
        ASSERT_TRUE(f.ok) << c.name << ": " << StatusPhrase(LastReason(anim.get()));
        EXPECT_EQ(PackPlanar(f.indices, 16, 2, 2), c.expect) << c.name;
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
