#!/usr/bin/env bash
# Prints the compression table of the bundled examples as Markdown: per
# example the frames' unpacked size (which is what raw storage keeps), their
# size with each packing method (every method tried on every frame, as
# --storage auto does), the smallest per frame, and gzip -9 of the same
# unpacked frames, each frame on its own (random access, as YAFA packs them)
# and all frames as one stream. Sizes are bytes of frame data, without the
# file's headers and tables.
#
# Usage: examples/compression-table.sh [BUILD_DIR]    (as for make-examples.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
cmake --build "$build" --target yafa draw_examples >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/examples/draw_examples" "$work/frames" >/dev/null
f=$work/frames

# The same pictures and options as examples/make-examples.sh.
example_ball() { echo "$f/ball --delta-unit 2 --keyframes two --delay 2"; }
example_wheel_rgb24() { echo "$f/wheel --depth 24 --delay 4"; }
example_wheel_ham6() { echo "$f"/wheel/frame_{00,02,04,06,08,10,12,14,16,18,20,22}.png --ham6 --keyframes from1 --delay 8; }
example_cycle_palette() { echo "$f/cycle.gif --layout chunky --frame-palette --keyframes from1"; }

for name in ball wheel_rgb24 wheel_ham6 cycle_palette; do
  # shellcheck disable=SC2046  # the arguments hold no spaces
  "$build/yafa" pack "$work/$name.auto" $(example_$name) --storage auto --stats >"$work/$name.stats"
  # shellcheck disable=SC2046
  "$build/yafa" pack "$work/$name.raw" $(example_$name) --storage raw
done

python3 - "$work" ball wheel_rgb24 wheel_ham6 cycle_palette <<'PY'
import struct, subprocess, sys

work, names = sys.argv[1], sys.argv[2:]

def gzip_size(data):
    return len(subprocess.run(["gzip", "-9", "-n", "-c"], input=data, capture_output=True, check=True).stdout)

def raw_frames(path):
    """The frames of a file written with --storage raw: its unpacked frames."""
    data = open(path, "rb").read()
    pos, ends, body = 12, [], None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack(">I", data[pos + 4:pos + 8])[0]
        if tag == b"PROF":
            ends = struct.unpack(">%dI" % (size // 4), data[pos + 8:pos + 8 + size])
        if tag == b"BODY":
            body = data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    starts = [0] + list(ends[:-1])
    return [body[s:e] for s, e in zip(starts, ends)]

def totals(path):
    lines = open(path).read().splitlines()
    header = lines[0].split()
    methods = header[header.index("unpacked") + 1:header.index("chosen")]
    total = next(l for l in lines if l.startswith("total")).split()
    values = dict(zip(["unpacked"] + methods + ["stored"], map(int, total[1:-1])))
    return len([l for l in lines[1:] if l.split()[0].isdigit()]), values

print("| Example | Frames | Unpacked (raw) | S404 | FAST | NUKE | RAKE | Best per frame | gzip -9 per frame | gzip -9 all frames |")
print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
for name in names:
    count, t = totals(f"{work}/{name}.stats")
    frames = raw_frames(f"{work}/{name}.raw")
    assert len(frames) == count and sum(map(len, frames)) == t["unpacked"], name
    per_frame = sum(gzip_size(fr) for fr in frames)
    whole = gzip_size(b"".join(frames))
    cells = [t["unpacked"], t["s404"], t["fast"], t["nuke"], t["rake"], t["stored"], per_frame, whole]
    print(f"| `{name}` | {count} | " + " | ".join(f"{v:,}" for v in cells) + " |")
PY
