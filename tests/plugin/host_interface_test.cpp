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
    int32_t version, revision;
    bool registers;
};

void PrintTo(const RegistrationCase& c, std::ostream* os) { *os << "host " << c.version << '.' << c.revision; }

class Registration : public PluginTest, public ::testing::WithParamInterface<RegistrationCase> {};

TEST_P(Registration, FillsRecordAndRegistersFromVersion5Point3) {
    const auto [version, revision, registers] = GetParam();
    StartHost(version, revision);
    EXPECT_EQ(host().registrations().size(), registers ? 1u : 0u);

    PluginInfo info = host().initInfo();
    std::memset(&info, 0x5A, sizeof info);
    info.hostVersion = version;
    info.hostRevision = revision;
    ASSERT_EQ(api().InitPlugin(&info, host().base()), 1);

    EXPECT_EQ(info.capabilities, 0x20008);
    EXPECT_EQ(info.version, 1);
    EXPECT_EQ(info.revision, 2);
    EXPECT_EQ(info.hostVersion, 5);
    EXPECT_EQ(info.hostRevision, 0);
    EXPECT_STREQ(info.name, "YAFA");
    EXPECT_STREQ(info.moduleName, "yafa");
    EXPECT_STREQ(info.description, "Enables Lumivue to load YAFA anims");
    EXPECT_STREQ(info.date, "18.05.23");
    for (const char* text : {info.author, info.licence, info.url}) {
        ASSERT_NE(text, nullptr);
        EXPECT_GT(std::strlen(text), 0u);
    }
    EXPECT_EQ(info.word12, 0);
    EXPECT_EQ(info.word13, 0);

    const auto& calls = host().registrations();
    ASSERT_EQ(calls.size(), registers ? 2u : 0u);
    if (!registers) return;
    const host::RegisterCall& call = calls.back();
    EXPECT_EQ(call.info, &info);
    EXPECT_EQ(call.kind, 1);
    EXPECT_EQ(call.typeName, "IFF YAFA");
    EXPECT_EQ(call.arg3, 0);
    EXPECT_EQ(call.extension, "yafa");
    EXPECT_EQ(call.arg5, 0);
    EXPECT_EQ(call.arg6, 0);
}

INSTANTIATE_TEST_SUITE_P(HostVersions, Registration,
                         ::testing::Values(RegistrationCase{4, 9, false}, RegistrationCase{5, 2, false},
                                           RegistrationCase{5, 3, true}, RegistrationCase{6, 0, true},
                                           RegistrationCase{-1, 99, false}));

using PluginRecord = PluginTest;

// The registration test reads the version the host put into the record, not
// the one in HostBase.
TEST_F(PluginRecord, RegistrationFollowsTheRecordNotHostBase) {
    const size_t before = host().registrations().size();  // host 10.0
    PluginInfo info{};
    info.hostVersion = 5;
    info.hostRevision = 2;
    api().InitPlugin(&info, host().base());
    EXPECT_EQ(host().registrations().size(), before);

    host().setVersion(4, 0);
    info = PluginInfo{};
    info.hostVersion = 6;
    api().InitPlugin(&info, host().base());
    EXPECT_EQ(host().registrations().size(), before + 1);
}

TEST_F(PluginRecord, NullHostFillsRecordOnlyAndKeepsTheStoredHost) {
    const size_t before = host().registrations().size();
    PluginInfo info{};
    info.hostVersion = 10;
    EXPECT_EQ(api().InitPlugin(&info, nullptr), 1);
    EXPECT_EQ(info.hostVersion, 5);
    EXPECT_EQ(info.capabilities, 0x20008);
    EXPECT_STREQ(info.name, "YAFA");
    EXPECT_EQ(host().registrations().size(), before);

    // The host stored by the earlier call still serves opens.
    std::mt19937 rng(1);
    auto anim = Open(PlanarAnim({RandomPixels(16 * 2, 1, rng)}, 16, 2, 1, {}));
    EXPECT_NE(anim, nullptr);
}

TEST_F(PluginRecord, ExtensionsAnswerOnlyCapability8) {
    for (uint32_t capability : {0u, 1u, 4u, 0x20000u, 0x20008u, 0x8u | 0x1u, 0xFFFFFFFFu})
        EXPECT_EQ(api().GetExtensions(capability), 0u) << capability;
    EXPECT_EQ(api().GetExtensions(8), 4u);
}

TEST_F(PluginRecord, FormatNameAndNoOpEntryPoints) {
    EXPECT_STREQ(api().GetAnimFormat(), "YAFA");
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

void PrintTo(const OpenCase& c, std::ostream* os) {
    *os << "host " << c.version << " tag1 " << c.tag1 << " tag6 " << c.tag6;
}

class OpenRequest : public PluginTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenRequest, ForwardsTagsAndFillsOnlyItsWords) {
    const OpenCase& c = GetParam();
    StartHost(c.version);
    std::mt19937 rng(2);
    const Bytes file = PlanarAnim({RandomPixels(17 * 3, 5, rng), RandomPixels(17 * 3, 5, rng)}, 17, 3, 5, {});

    AnimOpenInfo info;
    std::memset(&info, 0x5A, sizeof info);
    info.openTag1Data = c.tag1;
    info.openTag6Data = c.tag6;
    info.flags = 0;
    const std::string name = AddFile(file);
    AnimHandle* anim = api().OpenAnim(name.c_str(), &info);
    ASSERT_NE(anim, nullptr);
    api().CloseAnim(anim);

    ASSERT_EQ(host().opens().size(), 1u);
    const host::OpenCall& call = host().opens()[0];
    EXPECT_EQ(call.name, name);
    EXPECT_EQ(call.mode, 0);
    EXPECT_EQ(call.withTags, !c.tags.empty());
    if (call.withTags) {
        ASSERT_EQ(call.tags.size(), c.tags.size() + 1);
        for (size_t i = 0; i < c.tags.size(); ++i) {
            EXPECT_EQ(call.tags[i].tag, c.tags[i].tag) << i;
            EXPECT_EQ(call.tags[i].data, c.tags[i].data) << i;
        }
        EXPECT_EQ(call.tags.back().tag, 0u);
    }

    EXPECT_EQ(info.width, 17);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.frameCount, 2);
    EXPECT_EQ(info.word4, 0);
    EXPECT_EQ(info.word5, 0);
    EXPECT_EQ(info.depth, c.version > 8 ? 5 : kSentinel);
    for (int32_t untouched : {info.word2, info.word8, info.word9, info.word11}) EXPECT_EQ(untouched, kSentinel);
    EXPECT_EQ(info.openTag1Data, c.tag1);
    EXPECT_EQ(info.openTag6Data, c.tag6);
    EXPECT_EQ(info.flags, 0);
}

INSTANTIATE_TEST_SUITE_P(HostVersions, OpenRequest,
                         ::testing::Values(OpenCase{5, 7, 9, {}}, OpenCase{6, 7, 9, {{1, 7}}},
                                           OpenCase{6, 0, 9, {}}, OpenCase{9, 0xFFFFFFFF, 9, {{1, 0xFFFFFFFF}}},
                                           OpenCase{10, 7, 9, {{1, 7}, {6, 9}}}, OpenCase{10, 0, 9, {{6, 9}}},
                                           OpenCase{10, 7, 0, {{1, 7}}}, OpenCase{10, 0, 0, {}}));

// ---- LoadFrame: the FrameRequest outputs ------------------------------------

struct RequestCase {
    int32_t version;
    bool indexed;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
    *os << "host " << c.version << (c.indexed ? " 8-bit" : " 32-bit");
}

class FrameRequestOutputs : public PluginTest, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(FrameRequestOutputs, DepthAndPaletteOnlyAboveVersion8) {
    const auto [version, indexed] = GetParam();
    StartHost(version);
    std::mt19937 rng(3);
    const auto palette = TestPalette(16);
    const Bytes image = RandomPixels(12 * 4, 4, rng);
    auto anim = Open(PlanarAnim({image}, 12, 4, 4, palette), indexed ? ANIM_REQUEST_INDEXED : 0);
    ASSERT_NE(anim, nullptr);

    static const uint32_t kNotAPalette[1] = {0};
    FrameRequest request;
    std::memset(&request, 0x5A, sizeof request);
    request.palette = kNotAPalette;
    if (indexed) {
        const Frame8 frame = Load8(anim.get(), 0, &request);
        ASSERT_TRUE(frame.ok);
        EXPECT_EQ(frame.indices, image);
    } else {
        const Frame32 frame = Load32(anim.get(), 0, &request);
        ASSERT_TRUE(frame.ok);
        EXPECT_EQ(frame.pixels, Lookup(image, palette));
    }

    EXPECT_EQ(request.depth, version > 8 ? 4 : kSentinel);
    if (version > 8 && indexed) {
        ASSERT_NE(request.palette, kNotAPalette);
        ASSERT_NE(request.palette, nullptr);
        EXPECT_TRUE(std::equal(palette.begin(), palette.end(), request.palette));
        for (size_t i = 16; i < 256; ++i) EXPECT_EQ(request.palette[i], 0u) << i;
    } else {
        EXPECT_EQ(request.palette, kNotAPalette);
    }
    for (int32_t w : request.word0to6) EXPECT_EQ(w, kSentinel);
    EXPECT_EQ(request.word9, kSentinel);
}

INSTANTIATE_TEST_SUITE_P(HostVersions, FrameRequestOutputs,
                         ::testing::Values(RequestCase{8, false}, RequestCase{8, true}, RequestCase{9, false},
                                           RequestCase{9, true}, RequestCase{10, false}, RequestCase{10, true}));

}  // namespace
}  // namespace yafa::test
