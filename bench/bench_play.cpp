// BM_Play: the host's view. Each example is played from its first frame to
// its last through yafa.lvp's entry points, as 32-bit pixels.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "bench_data.h"
#include "bench_register.h"
#include "plugin_loader.h"

namespace yafa::bench {

namespace {

const host::PluginEntryPoints* Plugin() {
    static std::unique_ptr<host::LoadedPlugin> plugin;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::string error;
        plugin = host::LoadedPlugin::Load(YAFA_PLUGIN_PATH, &error);
        if (!plugin) {
            std::fprintf(stderr, "yafa-bench: cannot load %s: %s\n", YAFA_PLUGIN_PATH, error.c_str());
            return nullptr;
        }
        PluginInfo info = BenchHost().initInfo();
        if (plugin->api().InitPlugin(&info, BenchHost().base()) != 1) {
            std::fprintf(stderr, "yafa-bench: InitPlugin failed\n");
            plugin.reset();
        }
    }
    return plugin ? &plugin->api() : nullptr;
}

void PlayBenchmark(benchmark::State& state, const Example& example) {
    const host::PluginEntryPoints* api = Plugin();
    if (!api) {
        state.SkipWithError("yafa.lvp not loaded");
        return;
    }
    const std::string name = "bench/play/" + example.name + ".yafa";
    BenchHost().addMemoryFile(name, example.file);
    AnimOpenInfo info{};
    AnimHandle* anim = api->OpenAnim(name.c_str(), &info);
    if (!anim) {
        state.SkipWithError("OpenAnim failed");
        return;
    }
    const int32_t frames = info.frameCount;
    auto playAll = [&] {
        for (int32_t i = 0; i < frames; ++i) {
            FrameRequest request{};
            void* pixels = api->LoadFrame(anim, i, &request);
            if (!pixels) return false;
            benchmark::DoNotOptimize(pixels);
            api->FreeFrame(pixels);
        }
        return true;
    };
    for (auto _ : state) {
        if (!playAll()) {
            state.SkipWithError("LoadFrame failed");
            break;
        }
    }
    api->CloseAnim(anim);
    const int64_t played = int64_t(state.iterations()) * frames;
    state.SetBytesProcessed(played * info.width * info.height * 4);
    state.counters["fps"] = benchmark::Counter(double(played), benchmark::Counter::kIsRate);
}

}  // namespace

void RegisterPlay() {
    for (const Example& example : Examples()) {
        benchmark::RegisterBenchmark(("BM_Play/" + example.name).c_str(),
                                     [&example](benchmark::State& s) { PlayBenchmark(s, example); })
            ->Unit(benchmark::kMillisecond);
    }
    // One NUKE-packed delta animation at four times the pixels, four times
    // the frames and both: the cost per pixel and frame should stay put.
    static const struct {
        uint16_t width, height;
        int frames;
    } kScales[] = {{320, 200, 24}, {640, 400, 24}, {320, 200, 96}, {640, 400, 96}};
    for (const auto& scale : kScales) {
        const std::string name =
            std::to_string(scale.width) + "x" + std::to_string(scale.height) + "/" + std::to_string(scale.frames);
        benchmark::RegisterBenchmark(("BM_PlayScaling/" + name).c_str(),
                                     [scale, name](benchmark::State& s) {
                                         static std::map<std::string, Example> drawn;
                                         auto [at, added] = drawn.try_emplace(name);
                                         if (added)
                                             at->second = {"scaling_" + std::to_string(scale.width) + "x" +
                                                               std::to_string(scale.frames),
                                                           DrawBall(scale.width, scale.height, scale.frames,
                                                                    encode::Storage::XpkNuke)};
                                         PlayBenchmark(s, at->second);
                                     })
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace yafa::bench
