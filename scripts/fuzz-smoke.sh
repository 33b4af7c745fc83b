#!/usr/bin/env bash
# Builds the fuzz preset, regenerates the seed corpora and runs every fuzz
# target for a short while ($FUZZ_SECONDS each, default 20) on its corpus,
# $FUZZ_JOBS at a time (default 2, one per core here). Exits non-zero when
# any target finds something; the inputs that did it land in
# build/fuzz/artifacts/<target>/, the logs in
# build/fuzz/logs/. New corpus entries are kept in build/fuzz/work/<target>/
# and reused by the next run.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}
parallel=${FUZZ_JOBS:-2}
build=${YAFA_FUZZ_BUILD:-build/fuzz}
export YAFA_FUZZ_BUILD=$build

cmake --preset fuzz -B "$build" >/dev/null || exit 1
cmake --build "$build" --target fuzz_all || exit 1
scripts/make-seed-corpora.sh "$build/corpus" >/dev/null || exit 1

targets=(fuzz_plugin fuzz_s404 fuzz_xpk fuzz_fast fuzz_nuke fuzz_rake fuzz_delta
         fuzz_roundtrip_s404 fuzz_roundtrip_fast fuzz_roundtrip_nuke fuzz_roundtrip_rake)
mkdir -p "$build/logs"
rm -f "$build"/logs/*.found
smoke() {
  local target=$1
  local work=$build/work/$target artifacts=$build/artifacts/$target log=$build/logs/$target.log
  mkdir -p "$work" "$artifacts"
  local extra=()
  case $target in
    fuzz_plugin|fuzz_xpk) extra=(-dict=fuzz/yafa.dict) ;;
    fuzz_roundtrip_*) extra=(-max_len=4096) ;;
  esac
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "${extra[@]}" "$work" "$build/corpus/$target" >"$log" 2>&1
  local status=$?
  if [ $status -ne 0 ]; then
    touch "$build/logs/$target.found"
    echo "$target: FOUND SOMETHING (exit $status), see $log and $artifacts/"
    grep -E 'ERROR|finding:|SUMMARY|Test unit written' "$log" | head -n 8 | sed 's/^/    /'
  else
    local summary
    summary=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
    echo "$target: ${summary:-no summary}"
  fi
}
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n; done
  smoke "$target" &
done
wait
failed=()
for target in "${targets[@]}"; do
  [ -e "$build/logs/$target.found" ] && failed+=("$target")
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz smoke: findings in ${failed[*]}"
  exit 1
fi
echo "fuzz smoke: ${#targets[@]} targets, no findings"
