// Reproducers of faults that hostile input found, each file built by code and
// run through the module as the host loads it. Under AddressSanitizer a
// read outside a table fails the test as well.
#include <gtest/gtest.h>

#include <string_view>

#include "iff_writer.h"
#include "plugin_rig.h"

namespace yafa::robust {
namespace {

using encode::IffWriter;
using encode::PutU16BE;
using encode::PutU32BE;

PluginRig& Rig() {
    static PluginRig rig(YAFA_PLUGIN_PATH);
    return rig;
}

Bytes Info(uint16_t width, uint16_t height, uint16_t depth, uint16_t frames) {
    Bytes b;
    for (uint32_t word : {uint32_t{width}, uint32_t{height}, uint32_t{depth}, 1u, uint32_t{frames}, 4u, 0u})
        PutU16BE(b, word);
    return b;
}

// Chunky 8-bit frames of 2 × 2 pixels, stored raw.
Bytes Frames(int count) {
    Bytes b;
    for (int i = 0; i < count; ++i) b.insert(b.end(), {1, 2, 3, uint8_t(i)});
    return b;
}

// A second INFO after PROF or TTBL raises frameCount above the tables'
// length. Requests for the frames beyond them must neither read past the
// tables nor succeed.
TEST(Regression, InfoAfterTablesRaisingFrameCount) {
    for (std::string_view table : {"PROF", "TTBL"}) {
        SCOPED_TRACE(table);
        IffWriter iff("YAFA");
        iff.Chunk("INFO", Info(2, 2, 8, 2));
        Bytes entries;
        for (uint32_t i = 1; i <= 2; ++i) {
            if (table == "PROF") PutU32BE(entries, 4 * i);
            else PutU16BE(entries, 5);
        }
        iff.Chunk(table, entries);
        iff.Chunk("INFO", Info(2, 2, 8, 40));
        iff.Chunk("BODY", Frames(2));
        Rig().SetFile(iff.Finish());

        AnimOpenInfo info{};
        AnimHandle* anim = Rig().Open(false, &info);
        if (!anim) continue;  // refusing such a file is fine
        for (int32_t frame : {39, 2, 0}) Rig().api().GetFrameDelay(anim, frame);
        if (table == "PROF") {
            EXPECT_FALSE(Rig().Load(anim, info, 39, false).has_value()) << "a frame without a PROF entry decoded";
            EXPECT_FALSE(Rig().Load(anim, info, 2, false).has_value()) << "a frame without a PROF entry decoded";
        }
        EXPECT_TRUE(Rig().Load(anim, info, 1, false).has_value());
        Rig().api().CloseAnim(anim);
        EXPECT_EQ(Rig().host().openFileCount(), 0u);
    }
}

// A key frame of a delta animation with no pixels (height 0) stored as an
// XPK stream whose first chunk is its end chunk: the unpacked frame has no
// buffer at all, and keeping it in the back buffers must not hand that null
// pointer to memcpy (UndefinedBehaviorSanitizer stops the test if it does).
TEST(Regression, EmptyXpkKeyFrameOfEmptyDeltaAnimation) {
    Bytes frame = {'X', 'P', 'K', 'F'};
    PutU32BE(frame, 40);
    frame.insert(frame.end(), {'F', 'A', 'S', 'T'});
    PutU32BE(frame, 0);
    frame.insert(frame.end(), 16 + 4, 0);  // reserved bytes, flags 0 and 3 spare bytes
    frame.insert(frame.end(), {15, 0, 0, 0, 0, 0, 0, 0});  // the end chunk
    IffWriter iff("YAFA");
    Bytes info;
    for (uint32_t word : {2u, 0u, 1u, 1u, 1u, 0u, 4u}) PutU16BE(info, word);  // width 2, height 0, delta
    iff.Chunk("INFO", info);
    Bytes prof;
    PutU32BE(prof, static_cast<uint32_t>(frame.size()));
    iff.Chunk("PROF", prof);
    iff.Chunk("BODY", frame);
    Rig().SetFile(iff.Finish());

    AnimOpenInfo openInfo{};
    AnimHandle* anim = Rig().Open(false, &openInfo);
    ASSERT_NE(anim, nullptr);
    Rig().Load(anim, openInfo, 0, false);  // an empty frame or a failure: either is fine
    Rig().api().CloseAnim(anim);
    EXPECT_EQ(Rig().host().openFileCount(), 0u);
}

}  // namespace
}  // namespace yafa::robust
