#!/usr/bin/env python3
"""yafa check against yafa raw over folders of animations.

  check_agreement.py YAFA DIR...

For every .yafa file in the folders: `check` ends with the exit status of
`raw` (all frames in order); when raw fails a frame, check's first failing
frame is that frame, with the same reason; when raw cannot open the file,
check says the same; every failure names one of the decoder's own reasons,
never a generic one; and the text report has a line for each frame that
fails on its own. Prints one line per disagreement, then "N passed, M failed"."""
import concurrent.futures
import json
import os
import re
import subprocess
import sys

TIMEOUT = 60
GENERIC = re.compile(r"unknown reason|refused the animation|no failure")


def run(cmd):
    p = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def compare(tool, path):
    """A list of disagreements for one file."""
    raw, _, raw_err = run([tool, "raw", path])
    code, out, err = run([tool, "check", path])
    json_code, json_out, _ = run([tool, "check", "--json", path])
    if code != raw or json_code != raw:
        return ["check exits %d (--json %d), raw %d: %s" % (code, json_code, raw, (err or raw_err).strip())]
    if raw == 1:
        expected = raw_err.split(": cannot be opened: ", 1)[-1]
        said = err.split(": cannot be opened: ", 1)[-1]
        problems = [] if said == expected else ["cannot be opened: check says %r, raw %r" % (said, expected)]
        if ": cannot be opened: " in err and GENERIC.search(err):
            problems.append("a generic reason: " + err.strip())
        return problems
    report = json.loads(json_out)
    failing = [f for f in report["frame_checks"] if f["result"] != "ok"]
    problems = []
    if raw == 2:
        first = failing[0] if failing else None
        line = "yafa: %s: frame %d cannot be decoded: %s\n" % (path, first["index"], first.get("message")) if first else ""
        if raw_err != line:
            problems.append("raw says %r, check's first failure %r" % (raw_err, line))
    lines = out.splitlines()
    for f in failing:
        if f["result"] == "played_through_failing_frame":
            continue
        if f["result"] in ("ok", "unknown") or GENERIC.search(f["message"]):
            problems.append("frame %d: a generic reason %r" % (f["index"], f["message"]))
        mine = re.compile(r"^%s: frames? (\d+)(?:-(\d+))? \(.+\): (.+)$" % re.escape(path))
        if not any((m := mine.match(l)) and int(m[1]) <= f["index"] <= int(m[2] or m[1]) for l in lines):
            problems.append("frame %d has no line of its own" % f["index"])
    return problems


def main(argv):
    tool, folders = argv[0], argv[1:]
    files = sorted(os.path.join(d, f) for d in folders for f in os.listdir(d) if f.endswith(".yafa"))
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda f: compare(tool, f), files))
    failed = 0
    for path, problems in zip(files, results):
        if problems:
            failed += 1
            print("%s: %s" % (path, "; ".join(problems)))
    print("%d passed, %d failed" % (len(files) - failed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
