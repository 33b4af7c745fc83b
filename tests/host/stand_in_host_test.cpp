// The stand-in host's file services (memory and disk files alike), its
// records of what a plugin asked for, its fault plan, and the plugin loader.
#include "host/stand_in_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "host/plugin_loader.h"

namespace yafa::host {
namespace {

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

// The same file served from memory (false) or from disk (true).
class HostFileTest : public ::testing::TestWithParam<bool> {
protected:
    void Serve(const std::vector<uint8_t>& bytes) {
        path_ = GetParam() ? ::testing::TempDir() + "stand_in_host_" + std::to_string(::getpid()) + ".bin" : "memory:anim";
        if (GetParam()) {
            std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        } else {
            host_.addMemoryFile(path_, bytes);
        }
        file_ = api().open(path_.c_str(), 0);
        ASSERT_NE(file_, nullptr);
    }
    void TearDown() override {
        if (GetParam()) std::remove(path_.c_str());
    }
    HostFileApi& api() { return *host_.base()->fileApi; }
    int32_t Seek(int32_t offset, int32_t mode) { return api().seek(file_, offset, mode); }

    StandInHost host_;
    std::string path_;
    HostFile file_ = nullptr;
};

// Random reads, byte reads and seeks against a plain model of the file,
// over a file larger than the read window of real files.
TEST_P(HostFileTest, MatchesAModelOverRandomAccess) {
    const auto bytes = Pattern(300000, 3);
    const auto size = int64_t(bytes.size());
    Serve(bytes);
    // Refused without a move: an unknown mode, a target before the start, a
    // negative length.
    uint8_t none[1];
    EXPECT_EQ(Seek(0, 7), -1);
    EXPECT_EQ(Seek(-1, HOST_SEEK_START), -1);
    EXPECT_EQ(api().read(file_, none, -1), -1);
    std::mt19937 rng(4);
    int64_t pos = 0;
    std::vector<uint8_t> buf;
    for (int step = 0; step < 3000; ++step) {
        const uint32_t kind = rng() % 4;
        if (kind == 0) {
            const auto len = int32_t(rng() % (step % 50 == 0 ? 200000 : 300));
            buf.assign(size_t(len), 0);
            const int32_t got = api().read(file_, buf.data(), len);
            ASSERT_EQ(got, std::clamp<int64_t>(size - pos, 0, len));
            ASSERT_TRUE(std::equal(buf.begin(), buf.begin() + got, bytes.begin() + pos));
            pos += got;
        } else if (kind == 1) {
            ASSERT_EQ(api().readByte(file_), pos < size ? bytes[size_t(pos)] : -1);
            pos += pos < size;
        } else if (kind == 2) {
            const auto target = int32_t(rng() % 310000);  // past the end is allowed
            ASSERT_EQ(Seek(target, HOST_SEEK_START), pos);
            pos = target;
        } else {
            const auto delta = int32_t(rng() % 2001) - 1000;
            ASSERT_EQ(Seek(delta, HOST_SEEK_CURRENT), pos + delta < 0 ? -1 : pos);
            if (pos + delta >= 0) pos += delta;
        }
    }
}

TEST_P(HostFileTest, FaultPlanCountsFromSetFaults) {
    const auto bytes = Pattern(64, 5);
    Serve(bytes);
    uint8_t buf[64];
    api().read(file_, buf, 1);
    api().readByte(file_);
    host_.setFaults(FaultPlan{.shortReadAt = 1, .failSeekAt = 0, .eofByteAt = 2});
    EXPECT_EQ(Seek(0, HOST_SEEK_START), -1);  // seek 0 fails and stays at 2
    EXPECT_EQ(Seek(0, HOST_SEEK_CURRENT), 2);
    EXPECT_EQ(api().read(file_, buf, 4), 4);
    EXPECT_EQ(api().read(file_, buf, 9), 4);  // read 1: half of 9
    EXPECT_TRUE(std::equal(buf, buf + 4, bytes.begin() + 6));
    EXPECT_EQ(api().read(file_, buf, 4), 4);
    EXPECT_EQ(api().readByte(file_), bytes[14]);
    EXPECT_EQ(api().readByte(file_), bytes[15]);
    EXPECT_EQ(api().readByte(file_), -1);  // byte read 2 and every later one
    EXPECT_EQ(api().readByte(file_), -1);
    EXPECT_EQ(Seek(0, HOST_SEEK_CURRENT), 16);
    host_.setFaults(FaultPlan{});
    EXPECT_EQ(api().readByte(file_), bytes[16]);
}

INSTANTIATE_TEST_SUITE_P(MemoryAndDisk, HostFileTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Disk" : "Memory"; });

TEST(StandInHost, RecordsOpensAndKeepsStats) {
    StandInHost host(9, 4);
    EXPECT_EQ(host.initInfo().hostVersion, 9);
    host.addMemoryFile("a", {1, 2, 3});
    HostFileApi& api = *host.base()->fileApi;
    EXPECT_EQ(api.open("/no/such/file", 3), nullptr);
    const HostTag tags[] = {{HOST_TAG_OPEN_1, 7}, {HOST_TAG_OPEN_6, 8}, {HOST_TAG_END, 99}, {5, 5}};
    HostFile f = api.openWithTags("a", 0, tags);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(host.opens().size(), 2u);
    EXPECT_TRUE(host.opens()[0].name == "/no/such/file" && host.opens()[0].mode == 3 && !host.opens()[0].withTags);
    ASSERT_EQ(host.opens()[1].tags.size(), 3u);  // up to and including the end item
    EXPECT_EQ(host.opens()[1].tags[2].data, 99u);
    uint8_t buf[2];
    api.read(f, buf, 2);
    api.readByte(f);
    api.seek(f, 0, HOST_SEEK_START);
    EXPECT_EQ(host.openFileCount(), 1u);
    api.close(f);
    const FileStats& s = host.stats();
    EXPECT_EQ(std::vector<uint64_t>({s.opens, s.closes, s.reads, s.readBytes, s.byteReads, s.seeks}),
              std::vector<uint64_t>({1, 1, 1, 2, 1, 1}));
    EXPECT_EQ(host.openFileCount(), 0u);
}

TEST(StandInHost, DestructorClosesFilesStillOpen) {
    auto openDescriptors = [] {
        size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) n += !entry.is_directory();
        return n;
    };
    const size_t before = openDescriptors();
    {
        StandInHost host;
        ASSERT_NE(host.base()->fileApi->open("/proc/self/exe", 0), nullptr);
        EXPECT_EQ(openDescriptors(), before + 1);
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST(StandInHostDeathTest, MisuseAbortsLoudly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    StandInHost host;
    EXPECT_DEATH(host.base()->fileApi->unused4(), "file service slot 4");
    EXPECT_DEATH(host.base()->fileApi->unused6to31[25](), "file service slot 31");
    EXPECT_DEATH(host.base()->coreApi->unused[0](), "core service slot 0");
    int notAFile = 0;
    EXPECT_DEATH(host.base()->fileApi->close(&notAFile), "not an open file");
    EXPECT_DEATH(StandInHost second, "second StandInHost");
}

TEST(PluginLoader, ResolvesTheNineEntryPointsAndRecordsRegistration) {
    std::string error;
    auto plugin = LoadedPlugin::Load(FAKE_PLUGIN_PATH, &error);
    ASSERT_NE(plugin, nullptr) << error;
    const PluginEntryPoints& api = plugin->api();
    EXPECT_STREQ(api.GetAnimFormat(), "FAKE");
    EXPECT_EQ(api.GetExtensions(8), 9u);
    StandInHost host(6, 0);
    host.addMemoryFile("anim", {42});
    PluginInfo info = host.initInfo();
    EXPECT_EQ(api.InitPlugin(&info, host.base()), 1);
    ASSERT_EQ(host.registrations().size(), 1u);
    const RegisterCall& r = host.registrations()[0];
    EXPECT_TRUE(r.info == &info && r.kind == 1 && r.typeName == "FAKE TYPE" && r.extension == "fake");
    AnimOpenInfo open{};
    AnimHandle* anim = api.OpenAnim("anim", &open);
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(open.width, 42);
    api.CloseAnim(anim);
    EXPECT_EQ(host.openFileCount(), 0u);
    // What a plugin that cannot be loaded lacks, in the message.
    for (const auto& [path, expected] : {std::pair<std::string, std::string>{INCOMPLETE_PLUGIN_PATH, "LoadFrame"},
                                         {"/no/such/plugin.lvp", "/no/such/plugin.lvp"},
                                         {"no-such-plugin.lvp", "no-such-plugin.lvp"},  // not searched for
                                         {"/dev/null", "cannot load plugin"}}) {
        EXPECT_EQ(LoadedPlugin::Load(path, &error), nullptr) << path;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace yafa::host
