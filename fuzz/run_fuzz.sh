#!/usr/bin/env bash
# run_fuzz.sh TARGET SEED_CORPUS WORK_DIR SECONDS
# Runs one target for a bounded time with a fixed seed, starting from the
# seed corpus in the repository; new inputs go to a scratch folder so the
# repository stays as it is.
set -euo pipefail
target=$1 seeds=$2 work=$3 seconds=$4
rm -rf "$work" && mkdir -p "$work"
exec "$target" -seed=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
     -print_final_stats=1 "$work" "$seeds"
