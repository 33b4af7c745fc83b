// yafa-bench: see bench_register.h for the groups; bench/report.py turns
// the JSON output into the README's table.
#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "bench_register.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    yafa::bench::BenchHost();  // before anything opens a file
    yafa::bench::RegisterUnpack();
    yafa::bench::RegisterPixels();
    yafa::bench::RegisterPlay();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
