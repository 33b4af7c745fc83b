#!/usr/bin/python3
"""Checks yafa convert's GIF and WebP files with decoders of their own.

  check_exports.py YAFA FILE.yafa...

For each animation, what `yafa raw` decodes and `yafa info --json` reports
is compared with:
  - the WebP as Pillow decodes it: every frame's pixels exact, each frame's
    duration the delay in ms (libwebp folds a frame identical to the one
    before into it, so the timelines are compared), and webpinfo: lossless
    (VP8L) frames only, looping for ever; one frame makes a still picture;
  - the GIF as Pillow decodes it: pixels exact when no frame has more than
    256 colours, delays in 1/100 s; and as gifsicle reads it: the frame
    count, the delays and looping for ever.
Prints one line per animation and exits 1 if any check failed. Needs
Debian's python3 with python3-pil, gifsicle and webpinfo (package webp)."""
import json
import re
import subprocess
import sys
import tempfile

from PIL import Image, ImageSequence


def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def gif_delay_cs(ms):
    return max(2, min(65535, (ms + 5) // 10))


def timeline(frames, durations):
    """The picture shown during each millisecond interval, merging repeats."""
    out = []
    for pixels, duration in zip(frames, durations):
        if out and out[-1][0] == pixels:
            out[-1][1] += duration
        else:
            out.append([pixels, duration])
    return out


def decoded(path):
    with Image.open(path) as image:
        frames, durations = [], []
        for frame in ImageSequence.Iterator(image):
            frames.append(frame.convert("RGB").tobytes())
            durations.append(frame.info.get("duration", 0))
        return frames, durations, image.info.get("loop")


def check(yafa, path, work):
    info = json.loads(run(yafa, "info", "--json", path))
    width, height, delays = info["width"], info["height"], info["delays_ms"]
    raw = run(yafa, "raw", path)
    size = width * height * 4
    want = []
    for at in range(0, len(raw), size):
        words = raw[at:at + size]
        rgb = bytearray(width * height * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = words[2::4], words[1::4], words[0::4]
        want.append(bytes(rgb))
    exact = all(len({frame[i:i + 3] for i in range(0, len(frame), 3)}) <= 256 for frame in want)
    problems = []

    webp, gif = f"{work}/out.webp", f"{work}/out.gif"
    run(yafa, "convert", "--quiet", "--force", path, webp)
    run(yafa, "convert", "--quiet", "--force", path, gif)

    frames, durations, loop = decoded(webp)
    chunks = run("webpinfo", webp).decode()
    if "Format: Lossless" not in chunks or "Format: Lossy" in chunks:
        problems.append("webpinfo: not lossless")
    if len(want) == 1:
        if frames != want:
            problems.append("WebP pixels differ")
    else:
        if timeline(frames, durations) != timeline(want, [max(d, 1) for d in delays]):
            problems.append("WebP frames or durations differ")
        if loop != 0 or "Loop count      : 0" not in chunks:
            problems.append(f"WebP loops {loop} times")

    frames, durations, loop = decoded(gif)
    if len(frames) != len(want):
        problems.append(f"GIF has {len(frames)} frames, not {len(want)}")
    if exact and frames != want:
        problems.append("GIF pixels differ")
    if durations != [gif_delay_cs(d) * 10 for d in delays]:
        problems.append(f"GIF durations {durations}")
    listed = run("gifsicle", "--info", gif).decode()
    images = re.findall(r"\+ image #\d+", listed)
    cs = [round(float(d) * 100) for d in re.findall(r"delay ([0-9.]+)s", listed)]
    if len(images) != len(want) or cs != [gif_delay_cs(d) for d in delays] or "loop forever" not in listed:
        problems.append("gifsicle: frames, delays or looping differ")
    return len(want), exact, problems


def main():
    yafa, files = sys.argv[1], sys.argv[2:]
    failed = 0
    with tempfile.TemporaryDirectory() as work:
        for path in files:
            count, exact, problems = check(yafa, path, work)
            failed += bool(problems)
            state = "; ".join(problems) if problems else "ok"
            print(f"{path}: {count} frames, GIF {'exact' if exact else 'quantised'}: {state}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
