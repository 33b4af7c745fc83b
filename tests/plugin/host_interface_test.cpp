// The plugin record, file-type registration, and what the plugin writes into
// and asks of the host at open and at each frame request, by host version.
#include <algorithm>
#include <cstring>
#include <string>

#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

constexpr int32_t kSentinel = 0x5A5A5A5A;

struct RegistrationCase {
    int32_t baseVersion;              // in HostBase; 0: a null host, the stored one is kept
    int32_t recordVersion, revision;  // what the host puts into the record
    bool registers;
};

void PrintTo(const RegistrationCase& c, std::ostream* os) {
    *os << "host " << c.baseVersion << ", record " << c.recordVersion << '.' << c.revision;
}

class Registration : public PluginTest, public ::testing::WithParamInterface<RegistrationCase> {};

// The registration follows the version in the record, not the one in HostBase.
TEST_P(Registration, FillsTheRecordAndRegistersFromVersion5Point3) {
    const RegistrationCase c = GetParam();
    if (c.baseVersion) StartHost(c.baseVersion);
    const size_t before = host().registrations().size();
    PluginInfo info;
    std::memset(&info, 0x5A, sizeof info);
    info.hostVersion = c.recordVersion;
    info.hostRevision = c.revision;
    ASSERT_EQ(api().InitPlugin(&info, c.baseVersion ? host().base() : nullptr), 1);
    // Every word is filled, the record's host version replaced by the one needed.
    EXPECT_EQ(std::vector<int32_t>({info.capabilities, info.version, info.revision, info.hostVersion, info.hostRevision,
                                    info.word12, info.word13}),
              std::vector<int32_t>({0x20008, 1, 2, 5, 0, 0, 0}));

    std::mt19937 rng(1);
    EXPECT_NE(Open(PlanarAnim({RandomPixels(16 * 2, 1, rng)}, 16, 2, 1, {})), nullptr);
    const auto& calls = host().registrations();
    ASSERT_EQ(calls.size(), before + (c.registers ? 1 : 0));
    if (!c.registers) return;
    const host::RegisterCall& call = calls.back();
    EXPECT_TRUE(call.info == &info && call.kind == 1 && call.typeName == "IFF YAFA" && call.extension == "yafa");
    EXPECT_EQ(std::vector<int32_t>({call.arg3, call.arg5, call.arg6}), std::vector<int32_t>(3, 0));
}

INSTANTIATE_TEST_SUITE_P(HostVersions, Registration,
                         ::testing::Values(RegistrationCase{10, 4, 9, false}, RegistrationCase{10, 5, 2, false},
                                           RegistrationCase{4, 5, 3, true}, RegistrationCase{4, 6, 0, true},
                                           RegistrationCase{10, -1, 99, false}, RegistrationCase{0, 10, 0, false}));

using PluginRecord = PluginTest;

TEST_F(PluginRecord, ExtensionsAndFormatName) {
    for (uint32_t capability : {0u, 1u, 4u, 0x20000u, 0x20008u, 0x9u, 0xFFFFFFFFu})
        EXPECT_EQ(api().GetExtensions(capability), 0u) << capability;
    EXPECT_EQ(api().GetExtensions(8), 4u);
    EXPECT_STREQ(api().GetAnimFormat(), "YAFA");
    api().FreeFrame(nullptr);
    api().ClosePlugin();
}

// ---- OpenAnim: the open call and AnimOpenInfo ------------------------------

struct OpenCase {
    int32_t version;
    uint32_t tag1, tag6;
    std::vector<HostTag> tags;  // forwarded items before the end item; none: plain open
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << "host " << c.version << " tag1 " << c.tag1 << " tag6 " << c.tag6; }

class OpenRequest : public PluginTest, public ::testing::WithParamInterface<OpenCase> {};

// OpenAnim forwards the tags by host version and fills only its words; each
// FrameRequest gets the depth, and for 8-bit output the palette, only above
// version 8.
TEST_P(OpenRequest, ForwardsTagsAndFillsOnlyItsWords) {
    const OpenCase& c = GetParam();
    StartHost(c.version);
    std::mt19937 rng(2);
    const auto palette = TestPalette(32);
    const Bytes image = RandomPixels(17 * 3, 5, rng);
    AnimOpenInfo info;
    std::memset(&info, 0x5A, sizeof info);
    info.openTag1Data = c.tag1;
    info.openTag6Data = c.tag6;
    info.flags = 0;
    auto anim = Open(PlanarAnim({image, RandomPixels(17 * 3, 5, rng)}, 17, 3, 5, palette), 0, &info);
    ASSERT_NE(anim, nullptr);

    ASSERT_EQ(host().opens().size(), 1u);
    const host::OpenCall& call = host().opens()[0];
    EXPECT_TRUE(call.name.starts_with("mem/anim") && call.mode == 0 && call.withTags == !c.tags.empty());
    if (call.withTags) {
        ASSERT_EQ(call.tags.size(), c.tags.size() + 1);
        for (size_t i = 0; i < c.tags.size(); ++i)
            EXPECT_TRUE(call.tags[i].tag == c.tags[i].tag && call.tags[i].data == c.tags[i].data) << i;
        EXPECT_EQ(call.tags.back().tag, 0u);
    }
    EXPECT_EQ(std::vector<int32_t>({info.width, info.height, info.frameCount, info.word4, info.word5}),
              std::vector<int32_t>({17, 3, 2, 0, 0}));
    EXPECT_EQ(info.depth, c.version > 8 ? 5 : kSentinel);
    EXPECT_EQ(std::vector<int32_t>({info.word2, info.word8, info.word9, info.word11, info.flags}),
              std::vector<int32_t>({kSentinel, kSentinel, kSentinel, kSentinel, 0}));
    EXPECT_TRUE(info.openTag1Data == c.tag1 && info.openTag6Data == c.tag6);

    static const uint32_t kNotAPalette[1] = {0};
    for (bool indexed : {false, true}) {
        FrameRequest request;
        std::memset(&request, 0x5A, sizeof request);
        request.palette = kNotAPalette;
        if (indexed) {
            EXPECT_EQ(Load8(anim.get(), 0, &request).indices, image);
        } else {
            EXPECT_EQ(Load32(anim.get(), 0, &request).pixels, Lookup(image, palette));
        }
        EXPECT_EQ(request.depth, c.version > 8 ? 5 : kSentinel);
        if (c.version > 8 && indexed) {
            std::vector<uint32_t> expected = palette;
            expected.resize(256, 0);
            ASSERT_TRUE(request.palette != kNotAPalette && request.palette != nullptr);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), request.palette));
        } else {
            EXPECT_EQ(request.palette, kNotAPalette);
        }
        for (int32_t w : request.word0to6) EXPECT_EQ(w, kSentinel);
        EXPECT_EQ(request.word9, kSentinel);
    }
}

INSTANTIATE_TEST_SUITE_P(HostVersions, OpenRequest,
                         ::testing::Values(OpenCase{5, 7, 9, {}}, OpenCase{6, 7, 9, {{1, 7}}},
                                           OpenCase{6, 0, 9, {}}, OpenCase{8, 7, 9, {{1, 7}}},
                                           OpenCase{9, 0xFFFFFFFF, 9, {{1, 0xFFFFFFFF}}},
                                           OpenCase{10, 7, 9, {{1, 7}, {6, 9}}}, OpenCase{10, 0, 9, {{6, 9}}},
                                           OpenCase{10, 7, 0, {{1, 7}}}, OpenCase{10, 0, 0, {}}));

}  // namespace
}  // namespace yafa::test
