#!/usr/bin/python3
"""Installs the build into a temporary prefix and runs the installed tool.

  check_install.py BUILD_DIR EXAMPLE.yafa

Checks the installed layout (bin/yafa, lib/yafa/yafa.lvp, the manual page
and the bash completion), that the installed yafa finds its own plugin,
also after the whole tree is moved, and decodes an animation with it; and
that every option each command's --help lists is in the manual page and
in the completion. Exits 1 with the reasons on failure."""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def main():
    build, example = sys.argv[1], sys.argv[2]
    problems = []
    with tempfile.TemporaryDirectory() as work:
        prefix = os.path.join(work, "prefix")
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, capture_output=True)
        files = ["bin/yafa", "lib/yafa/yafa.lvp", "share/man/man1/yafa.1", "share/bash-completion/completions/yafa"]
        problems += [f"not installed: {f}" for f in files if not os.path.isfile(os.path.join(prefix, f))]
        if problems:
            return problems

        env = dict(os.environ)
        env.pop("YAFA_PLUGIN", None)
        moved = os.path.join(work, "elsewhere")
        for root in (prefix, moved):
            if root == moved:
                shutil.move(prefix, moved)
            tool = os.path.join(root, "bin", "yafa")
            version = subprocess.run([tool, "--version"], capture_output=True, text=True, env=env)
            plugin = os.path.join(os.path.realpath(root), "lib", "yafa", "yafa.lvp")
            if version.returncode != 0 or not re.search(r"^yafa \d+\.\d+\n", version.stdout) or \
                    f"plugin yafa.lvp 1.2 (18.05.23) [Linux] ({plugin})" not in version.stdout:
                problems.append(f"{tool} --version: {version.stdout!r} {version.stderr!r}")
            info = subprocess.run([tool, "info", example], capture_output=True, text=True, env=env)
            if info.returncode != 0 or "frames" not in info.stdout:
                problems.append(f"{tool} info: {info.stderr!r}")

        tool = os.path.join(moved, "bin", "yafa")
        manual = open(os.path.join(moved, "share/man/man1/yafa.1")).read().replace("\\-", "-")
        completion = open(os.path.join(moved, "share/bash-completion/completions/yafa")).read()
        for command in ["", "info", "check", "raw", "extract", "convert", "pack"]:
            shown = subprocess.run([tool] + ([command] if command else []) + ["--help"], capture_output=True,
                                   text=True, env=env).stdout
            for option in sorted(set(re.findall(r"(?<![\w-])--[a-z][a-z0-9-]*", shown))):
                if option not in manual:
                    problems.append(f"yafa {command} {option} is not in the manual page")
                if option not in completion:
                    problems.append(f"yafa {command} {option} is not in the completion")
            if command and not re.search(rf'^\.SS "yafa {command} ', manual, re.M):
                problems.append(f"the manual page has no section for yafa {command}")
        if shutil.which("groff"):
            lint = subprocess.run(["groff", "-man", "-ww", "-z", os.path.join(moved, "share/man/man1/yafa.1")],
                                  capture_output=True, text=True)
            if lint.returncode != 0 or lint.stderr:
                problems.append(f"groff: {lint.stderr.strip()}")
    return problems


if __name__ == "__main__":
    found = main()
    for problem in found:
        print(problem)
    print("install: " + ("ok" if not found else f"{len(found)} problem(s)"))
    sys.exit(1 if found else 0)
