#!/usr/bin/env bash
# Whole-process benchmarks of quorvel-convert: a 1,000,000-row nine-channel log beside the cost
# of only moving its bytes (cat the log, copy a file the size of the export), peak memory, and
# growth to 10,000,000 rows. Then the core micro-benchmarks. Run from the repository root
# after a build (make bench does both).
set -euo pipefail
build=${BUILD:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/quorvel-generate-log" "$work/log1m.csv" 1000000
"$build/bench/quorvel-generate-log" "$work/log10m.csv" 10000000
convert="$build/quorvel-convert --no-settings -q"
$convert -o "$work/out" "$work/log1m.csv"
cp "$work/out/log1m.dif" "$work/export-sized"
cat "$work/log1m.csv" "$work/log10m.csv" > /dev/null  # into the page cache

echo "== 1,000,000 rows: converter beside moving the bytes"
hyperfine --warmup 2 --runs 10 -N \
  "$convert -o $work/out $work/log1m.csv" \
  "sh -c 'cat $work/log1m.csv > /dev/null; cp $work/export-sized $work/copy'"

echo "== growth: 10,000,000 rows"
hyperfine --warmup 1 --runs 3 -N "$convert -o $work/out $work/log10m.csv"

echo "== peak memory (KiB) and log size (bytes), 1,000,000 rows"
/usr/bin/time -f "max RSS %M KiB" $convert -o "$work/out" "$work/log1m.csv"
stat -c "log %s bytes" "$work/log1m.csv"

echo "== core micro-benchmarks"
"$build/bench/quorvel_core_bench"

echo "== the window, offscreen"
QT_QPA_PLATFORM=offscreen "$build/bench/quorvel_window_bench"
