#!/usr/bin/env bash
# Builds the fuzz preset, regenerates the seed corpora and runs every fuzz
# target for a short while ($FUZZ_SECONDS each, default 20) on its corpus,
# one after another. Exits non-zero when any target finds something; the
# inputs that did it land in build/fuzz/artifacts/<target>/, the logs in
# build/fuzz/logs/. New corpus entries are kept in build/fuzz/work/<target>/
# and reused by the next run.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}
build=${YAFA_FUZZ_BUILD:-build/fuzz}
export YAFA_FUZZ_BUILD=$build

cmake --preset fuzz -B "$build" >/dev/null || exit 1
cmake --build "$build" --target fuzz_all || exit 1
scripts/make-seed-corpora.sh "$build/corpus" >/dev/null || exit 1

targets=(fuzz_plugin fuzz_s404 fuzz_xpk fuzz_fast fuzz_nuke fuzz_rake fuzz_delta
         fuzz_roundtrip_s404 fuzz_roundtrip_fast fuzz_roundtrip_nuke fuzz_roundtrip_rake)
failed=()
mkdir -p "$build/logs"
for target in "${targets[@]}"; do
  work=$build/work/$target
  artifacts=$build/artifacts/$target
  log=$build/logs/$target.log
  mkdir -p "$work" "$artifacts"
  extra=()
  case $target in
    fuzz_plugin|fuzz_xpk) extra=(-dict=fuzz/yafa.dict) ;;
    fuzz_roundtrip_*) extra=(-max_len=4096) ;;
  esac
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "${extra[@]}" "$work" "$build/corpus/$target" >"$log" 2>&1
  status=$?
  summary=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
  if [ $status -ne 0 ]; then
    failed+=("$target")
    echo "$target: FOUND SOMETHING (exit $status), see $log and $artifacts/"
    grep -E 'ERROR|finding:|SUMMARY|Test unit written' "$log" | head -n 8 | sed 's/^/    /'
  else
    echo "$target: ${summary:-no summary}"
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz smoke: findings in ${failed[*]}"
  exit 1
fi
echo "fuzz smoke: ${#targets[@]} targets, no findings"
