#!/usr/bin/env bash
# Runs every fuzz target built in BUILD/fuzz for SECONDS each, from the seeds under
# tests/fuzz/corpus/<target>/ and a working corpus kept in BUILD/fuzz-corpus/<target>/.
# A property that fails leaves its input in BUILD/fuzz-artifacts/ and ends with status 1.
set -euo pipefail
build=${1:?usage: run-fuzz.sh BUILD SECONDS}
seconds=${2:?usage: run-fuzz.sh BUILD SECONDS}
root="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$build/fuzz-artifacts"
status=0
for target in "$build"/fuzz/*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work="$build/fuzz-corpus/$name"
  mkdir -p "$work"
  echo "fuzz: $name for ${seconds}s"
  # -max_len: the frequency texts reach past 4931 digits (the smallest long doubles).
  if ! "$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" \
      "$work" "$root/tests/fuzz/corpus/$name" 2>"$build/fuzz-artifacts/$name.log"; then
    tail -n 40 "$build/fuzz-artifacts/$name.log" >&2
    echo "fuzz: $name FAILED (input and log in $build/fuzz-artifacts/)" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$build/fuzz-artifacts/$name.log" | sed "s/^/  /"
  fi
done
exit $status
