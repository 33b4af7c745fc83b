// The stand-in host's file services (memory and disk files alike) against a
// plain model of the file, and its fault plan. The plugin loader and the
// records of opens and registrations are used by every plugin test.
#include "stand_in_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>

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
        if (GetParam())
            std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        else
            host_.addMemoryFile(path_, bytes);
        file_ = api().open(path_.c_str(), 0);
        ASSERT_NE(file_, nullptr);
    }
    void TearDown() override {
        if (file_) api().close(file_);
        if (GetParam()) std::remove(path_.c_str());
    }
    HostFileApi& api() { return *host_.base()->fileApi; }
    int32_t Seek(int32_t offset, int32_t mode) { return api().seek(file_, offset, mode); }

    StandInHost host_;
    std::string path_;
    HostFile file_ = nullptr;
};

// Random reads, byte reads and seeks over a file larger than the read window
// of real files; refused seeks and reads do not move.
TEST_P(HostFileTest, MatchesAModelOverRandomAccess) {
    const auto bytes = Pattern(300000, 3);
    const auto size = int64_t(bytes.size());
    Serve(bytes);
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
    EXPECT_EQ(api().readByte(file_), bytes[10]);
    EXPECT_EQ(api().readByte(file_), bytes[11]);
    EXPECT_EQ(api().readByte(file_), -1);  // byte read 2 and every later one
    EXPECT_EQ(api().readByte(file_), -1);
    host_.setFaults(FaultPlan{});
    EXPECT_EQ(api().readByte(file_), bytes[12]);
}

INSTANTIATE_TEST_SUITE_P(MemoryAndDisk, HostFileTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Disk" : "Memory"; });

}  // namespace
}  // namespace yafa::host
