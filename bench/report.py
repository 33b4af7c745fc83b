#!/usr/bin/env python3
"""Runs yafa-bench and prints its results as a Markdown table.

For every benchmark: throughput on the unpacked (output) bytes; for the
unpackers and baselines the ratio to zlib and to memcpy on the same data set;
for the pixel paths the ratio to memcpy of the same number of output bytes;
for playback the frames per second and the time per pixel of a frame.

    bench/report.py                          # runs build/default/yafa-bench
    bench/report.py --bench PATH -- --benchmark_repetitions=5
    bench/report.py --json results.json      # a saved --benchmark_format=json run

With repetitions, the medians are reported.
"""

import argparse
import json
import os
import subprocess
import sys

DEFAULT_BENCH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "default", "yafa-bench")


def load_runs(args):
    if args.json:
        with open(args.json, encoding="utf-8") as f:
            return json.load(f)
    command = [args.bench, "--benchmark_format=json"] + args.bench_args
    result = subprocess.run(command, stdout=subprocess.PIPE, check=False)
    if result.returncode != 0:
        sys.exit(f"report.py: {' '.join(command)} exited with {result.returncode}")
    return json.loads(result.stdout)


def pick_rows(data):
    """One row per benchmark name, in run order: the median when repeated."""
    rows, medians = {}, {}
    for b in data["benchmarks"]:
        name = b.get("run_name", b["name"])
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                medians[name] = b
        elif name not in rows:
            rows[name] = b
    return [(name, medians.get(name, row)) for name, row in rows.items()]


def throughput(row):
    if row.get("error_occurred"):
        return None
    return row.get("bytes_per_second")


def fmt_rate(bps):
    if bps is None:
        return "error"
    if bps >= 1e9:
        return f"{bps / 1e9:.2f} GB/s"
    return f"{bps / 1e6:.0f} MB/s"


def fmt_ratio(value, base):
    if value is None or not base:
        return ""
    return f"{value / base:.2f}×"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bench", default=DEFAULT_BENCH, help="the yafa-bench executable")
    parser.add_argument("--json", help="read this JSON output instead of running the benchmarks")
    parser.add_argument("bench_args", nargs="*", help="passed to yafa-bench (after --)")
    args = parser.parse_args()

    data = load_runs(args)
    rows = pick_rows(data)
    rate = {name: throughput(row) for name, row in rows}

    lines = [
        "| Benchmark | Throughput | vs zlib | vs memcpy | Notes |",
        "|---|---:|---:|---:|---|",
    ]
    for name, row in rows:
        parts = name.split("/")
        value = rate[name]
        vs_zlib = vs_memcpy = notes = ""
        if parts[0] in ("BM_Unpack", "BM_Baseline") and len(parts) == 3 and not parts[2].isdigit():
            data_set = parts[2]
            vs_zlib = fmt_ratio(value, rate.get(f"BM_Baseline/zlib/{data_set}"))
            vs_memcpy = fmt_ratio(value, rate.get(f"BM_Baseline/memcpy/{data_set}"))
            notes = f"{row['data_bytes'] / 1024:.0f} KiB" if "data_bytes" in row else ""
            if "packed_ratio" in row:
                notes += f", packed to {100 * row['packed_ratio']:.1f}%"
        elif "out_bytes" in row:
            size = int(round(row["out_bytes"]))
            vs_memcpy = fmt_ratio(value, rate.get(f"BM_Baseline/memcpy/{size}"))
            notes = f"{size} output bytes"
            if "delta_bytes" in row:
                notes += f", delta of {int(round(row['delta_bytes']))} bytes"
        elif parts[0] == "BM_Baseline" and len(parts) == 3:
            notes = f"{parts[2]} bytes"
        if parts[0] in ("BM_Play", "BM_PlayScaling") and "fps" in row:
            # 4 output bytes per pixel: the cost per pixel of one frame shows
            # whether playback grows linearly with frames x pixels.
            per_pixel = f", {4e9 / value:.3f} ns per pixel and frame" if value else ""
            notes = f"{row['fps']:.0f} frames/s{per_pixel}"
        if row.get("error_occurred"):
            notes = row.get("error_message", "error")
        lines.append(f"| `{name}` | {fmt_rate(value)} | {vs_zlib} | {vs_memcpy} | {notes} |")

    context = data.get("context", {})
    print(
        f"Measured on {context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz, "
        f"load average {', '.join(f'{x:.1f}' for x in context.get('load_avg', []))}; "
        "throughput counts unpacked (output) bytes per CPU second."
    )
    print()
    print("\n".join(lines))


if __name__ == "__main__":
    main()
