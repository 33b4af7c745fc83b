// A plugin module loaded the way the host loads it, a stand-in host for it,
// and the request sequence the robustness tests put to every file.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alloc_shim.h"
#include "anim_corpus.h"
#include "plugin_loader.h"
#include "stand_in_host.h"

namespace yafa::robust {

struct Scenario {
    bool indexed = false;         // 8-bit frames, asked for at open and at every load
    std::vector<int32_t> frames;  // LoadFrame requests, in order
};

// Frame 0 to last, going back and skipping ahead so that delta animations
// replay, advance without output and wrap around.
std::vector<int32_t> RequestOrder(int32_t frameCount);

struct RunResult {
    bool opened = false;
    AnimOpenInfo info{};
    std::vector<std::optional<Bytes>> frames;  // per request; nullopt when LoadFrame failed
    std::vector<int32_t> delays;               // GetFrameDelay of each requested frame
};

class PluginRig {
public:
    // Loads the module (aborting when it cannot) and starts a host of
    // version 10 for it.
    explicit PluginRig(const std::string& modulePath);
    ~PluginRig();

    // Replaces the host and initialises the module with it; InitPlugin's result.
    int32_t StartHost(int32_t version, int32_t revision = 0);

    const host::PluginEntryPoints& api() const { return plugin_->api(); }
    host::StandInHost& host() { return *host_; }
    // A symbol of the module beyond the nine entry points, or null.
    void* Symbol(const char* name) const;

    // Serves `file` under the name that Open and Run use.
    void SetFile(Bytes file);

    AnimHandle* Open(bool indexed, AnimOpenInfo* info);
    // LoadFrame (with `request`, its flags set, when given); the pixels are
    // copied out and the buffer goes back through FreeFrame. nullopt when
    // LoadFrame returned null.
    std::optional<Bytes> Load(AnimHandle* anim, const AnimOpenInfo& info, int32_t frame, bool indexed,
                              FrameRequest* request = nullptr);

    // Opens the served file, makes the scenario's requests, closes it.
    RunResult Run(const Scenario& scenario);

private:
    std::unique_ptr<host::LoadedPlugin> plugin_;
    std::unique_ptr<host::StandInHost> host_;
    void* self_ = nullptr;  // a second reference to the module, for Symbol
};

inline constexpr char kFileName[] = "mem/robust.yafa";

// The corpus, built once per process, and a test name for animation i.
inline const std::vector<CorpusAnim>& Corpus() {
    static const std::vector<CorpusAnim> corpus = RobustnessCorpus();
    return corpus;
}
inline std::string CorpusName(size_t i) {
    std::string name = Corpus()[i].name;
    for (char& c : name) c = c == '-' ? '_' : c;
    return name;
}

#ifdef YAFA_PLUGIN_PATH
// The module under test, loaded once per process: the variant whose
// allocations go through the counting shim where the test names one.
inline PluginRig& Rig() {
#ifdef YAFA_COUNTING_PLUGIN_PATH
    static PluginRig rig(YAFA_COUNTING_PLUGIN_PATH);
#else
    static PluginRig rig(YAFA_PLUGIN_PATH);
#endif
    return rig;
}
#endif

#ifdef YAFA_COUNTING_PLUGIN_PATH
// The counting shim's entry points in that module.
template <class Fn>
Fn ShimFunction(const char* name) {
    const auto fn = reinterpret_cast<Fn>(Rig().Symbol(name));
    if (!fn) std::abort();
    return fn;
}
inline YafaAllocStats Stats() {
    static const auto get = ShimFunction<YafaAllocGetStatsFn>("YafaAllocGetStats");
    YafaAllocStats s{};
    get(&s);
    return s;
}
#endif

}  // namespace yafa::robust
