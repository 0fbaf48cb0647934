#!/usr/bin/env bash
# Runs the fuzz target of a build tree made with ORVEX_FUZZ=ON (make fuzz
# does both) for FUZZ_SECONDS seconds, one worker, from the seed corpus and
# everything earlier runs in the same tree kept.
#
#   fuzz/run_fuzz.sh <build dir>
#
# Findings land in <build dir>/fuzz/artifacts/ (crash-*, leak-*, timeout-*,
# oom-*); the script then fails. Replay one with
#   <build dir>/fuzz/orvex_fuzz <artifact>
set -euo pipefail
build=${1:?usage: run_fuzz.sh <build dir>}
seconds=${FUZZ_SECONDS:-300}
mkdir -p "$build/fuzz/seeds" "$build/fuzz/corpus" "$build/fuzz/artifacts"
# Absolute: the target moves into a scratch folder of its own before
# libFuzzer reads the corpus folders.
dir=$(cd "$build/fuzz" && pwd)
"$dir/orvex_fuzz_seeds" "$dir/seeds"
# -close_fd_mask=2: the decoder's own diagnostics ("Unknown type", the
# orvex: reports) go nowhere; libFuzzer and the sanitizers keep a copy of
# standard error for their reports.
"$dir/orvex_fuzz" -max_total_time="$seconds" -max_len=32768 -timeout=20 \
  -rss_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1 \
  -artifact_prefix="$dir/artifacts/" "$dir/corpus" "$dir/seeds"
