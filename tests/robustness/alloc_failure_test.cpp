// The C allocator failing at every allocation a run makes, once or from then
// on, over animations of every storage method, delta mode and output mode.
// Runs against a variant of the module whose allocations go through a
// counting shim: the entry point that met the failure reports it, nothing
// stays allocated or open once the handle is gone, and a frame request that
// failed succeeds with the right pixels when asked again.
#include <gtest/gtest.h>

#include <algorithm>

#include "anim_corpus.h"
#include "plugin_rig.h"

namespace yafa::robust {
namespace {

void ResetShim() {
    static const auto reset = ShimFunction<YafaAllocResetFn>("YafaAllocReset");
    reset();
}
void FailAt(uint64_t n, bool persistent) {
    static const auto failAt = ShimFunction<YafaAllocFailAtFn>("YafaAllocFailAt");
    failAt(n, persistent);
}

struct Case {
    size_t anim;
    bool indexed;
};

void PrintTo(const Case& c, std::ostream* os) { *os << Corpus()[c.anim].name << (c.indexed ? ", 8-bit" : ", 32-bit"); }

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (size_t i = 0; i < Corpus().size(); ++i) {
        cases.push_back({i, false});
        if (Corpus()[i].indexedOk) cases.push_back({i, true});
    }
    return cases;
}

class AllocFailure : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        Rig().SetFile(anim().file);
        scenario_ = {GetParam().indexed, RequestOrder(anim().frameCount)};
        ResetShim();
        ASSERT_EQ(Stats().liveBlocks, 0u);
        clean_ = Rig().Run(scenario_);
        calls_ = Stats().calls;
        ASSERT_TRUE(clean_.opened);
        for (const auto& frame : clean_.frames) ASSERT_TRUE(frame.has_value());
        ASSERT_EQ(Stats().liveBlocks, 0u) << "a clean run left blocks allocated";
    }

    const CorpusAnim& anim() const { return Corpus()[GetParam().anim]; }

    // One run with allocation call `n` failing (and every later one too when
    // `persistent`); the expectations hold whatever call it hits.
    void RunFailingAt(uint64_t n, bool persistent) {
        SCOPED_TRACE(::testing::Message() << "failing allocation " << n << (persistent ? " and on" : ""));
        auto& rig = Rig();
        ResetShim();
        FailAt(n, persistent);

        AnimOpenInfo info{};
        uint64_t failedBefore = Stats().failed;
        AnimHandle* anim = rig.Open(scenario_.indexed, &info);
        const bool openMetFailure = Stats().failed > failedBefore;
        EXPECT_EQ(anim == nullptr, openMetFailure) << "OpenAnim";
        if (!anim) {
            EXPECT_EQ(Stats().liveBlocks, 0u) << "a failed OpenAnim left blocks allocated";
            EXPECT_EQ(rig.host().openFileCount(), 0u) << "a failed OpenAnim left the file open";
            return;
        }
        EXPECT_EQ(info.width, clean_.info.width);
        EXPECT_EQ(info.height, clean_.info.height);
        for (size_t i = 0; i < scenario_.frames.size(); ++i) {
            const int32_t frame = scenario_.frames[i];
            failedBefore = Stats().failed;
            std::optional<Bytes> pixels = rig.Load(anim, info, frame, scenario_.indexed);
            const bool metFailure = Stats().failed > failedBefore;
            EXPECT_EQ(!pixels.has_value(), metFailure) << "LoadFrame of request " << i;
            if (!pixels) {
                // The handle is still usable: asked again without failures,
                // the frame comes out right.
                FailAt(0, false);
                pixels = rig.Load(anim, info, frame, scenario_.indexed);
            }
            EXPECT_EQ(pixels, clean_.frames[i]) << "request " << i << " (frame " << frame << ")";
            EXPECT_EQ(rig.api().GetFrameDelay(anim, frame), clean_.delays[i]);
        }
        rig.api().CloseAnim(anim);
        EXPECT_EQ(Stats().liveBlocks, 0u) << "CloseAnim left blocks allocated";
        EXPECT_EQ(rig.host().openFileCount(), 0u);
    }

    Scenario scenario_;
    RunResult clean_;
    uint64_t calls_ = 0;
};

TEST_P(AllocFailure, EveryAllocationFailingOnce) {
    ASSERT_GT(calls_, 0u);
    RecordProperty("allocations", std::to_string(calls_));
    for (uint64_t n = 1; n <= calls_ && !HasFailure(); ++n) RunFailingAt(n, false);
}

TEST_P(AllocFailure, EveryAllocationFailingFromThenOn) {
    for (uint64_t n = 1; n <= calls_ && !HasFailure(); ++n) RunFailingAt(n, true);
}

INSTANTIATE_TEST_SUITE_P(Corpus, AllocFailure, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return CorpusName(info.param.anim) + (info.param.indexed ? "_8bit" : "_32bit");
                         });

}  // namespace
}  // namespace yafa::robust
