// The host's file services failing at every point of a run: a read that
// delivers half of what was asked, a seek that fails and does not move, and
// readByte answering end-of-file from some call on. The plugin survives each
// and closes the file, and every frame it delivers is the right one, except
// after an end-of-file answer while the animation is opened: the big-endian
// readers put whatever readByte returns into the INFO words, tables and
// palette, so such an animation opens with those values.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "anim_corpus.h"
#include "plugin_rig.h"

namespace yafa::robust {
namespace {

using host::FaultPlan;

// Fault points beyond these are sampled evenly.
constexpr uint64_t kExhaustivePoints = 400;

std::vector<uint64_t> Points(uint64_t count, uint64_t exhaustiveFrom) {
    std::vector<uint64_t> points;
    const uint64_t step = std::max<uint64_t>(1, count / kExhaustivePoints);
    for (uint64_t k = 0; k < count; ++k)
        if (k >= exhaustiveFrom || k % step == 0) points.push_back(k);
    points.push_back(count);  // past the last call: no fault at all
    return points;
}

class FileFaults : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override {
        const CorpusAnim& a = Corpus()[GetParam()];
        Rig().SetFile(a.file);
        scenario_ = {false, RequestOrder(a.frameCount)};
        auto& host = Rig().host();
        host.setFaults({});
        // How many calls of each service the open alone and the whole run make.
        host.resetStats();
        AnimOpenInfo info{};
        AnimHandle* anim = Rig().Open(false, &info);
        ASSERT_NE(anim, nullptr);
        openStats_ = host.stats();
        Rig().api().CloseAnim(anim);
        host.resetStats();
        clean_ = Rig().Run(scenario_);
        runStats_ = host.stats();
        ASSERT_TRUE(clean_.opened);
    }
    void TearDown() override { Rig().host().setFaults({}); }

    // Runs with `plan`; with `exact`, an open must match the clean one and
    // every delivered frame must be the clean frame.
    void RunWith(const FaultPlan& plan, bool exact, const char* what, uint64_t point) {
        SCOPED_TRACE(::testing::Message() << what << " at call " << point);
        Rig().host().setFaults(plan);
        const RunResult faulty = Rig().Run(scenario_);
        Rig().host().setFaults({});
        EXPECT_EQ(Rig().host().openFileCount(), 0u) << "the file stayed open";
        if (!exact || !faulty.opened) return;
        EXPECT_EQ(faulty.info.width, clean_.info.width);
        EXPECT_EQ(faulty.info.height, clean_.info.height);
        EXPECT_EQ(faulty.info.frameCount, clean_.info.frameCount);
        EXPECT_EQ(faulty.delays, clean_.delays);
        for (size_t i = 0; i < faulty.frames.size(); ++i) {
            if (faulty.frames[i]) {
                EXPECT_EQ(faulty.frames[i], clean_.frames[i]) << "request " << i;
            }
        }
    }

    Scenario scenario_;
    RunResult clean_;
    host::FileStats openStats_;
    host::FileStats runStats_;
};

// A fault at every call of each service. A frame read from wherever a failed
// seek left the position would be some other bytes: the frame must fail
// instead. Once the animation is open, readByte only feeds packer headers,
// whose end-of-file values must fail the frame rather than decode garbage.
TEST_P(FileFaults, AtEveryCallOfEachService) {
    ASSERT_GT(runStats_.reads, 0u);
    const struct {
        const char* what;
        int64_t FaultPlan::*at;
        uint64_t calls, exactFrom;  // calls of the whole run; points from exactFrom on are checked exhaustively and exactly
    } services[] = {{"short read", &FaultPlan::shortReadAt, runStats_.reads, 0},
                    {"failed seek", &FaultPlan::failSeekAt, runStats_.seeks, 0},
                    {"readByte end-of-file", &FaultPlan::eofByteAt, runStats_.byteReads, openStats_.byteReads}};
    for (const auto& s : services) {
        for (uint64_t k : Points(s.calls, s.exactFrom)) {
            FaultPlan plan;
            plan.*s.at = int64_t(k);
            RunWith(plan, k >= s.exactFrom, s.what, k);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, FileFaults, ::testing::Range<size_t>(0, Corpus().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) { return CorpusName(info.param); });

}  // namespace
}  // namespace yafa::robust
