#!/usr/bin/env bash
# Whole-process benchmarks of quorvel-convert, on logs generated afresh in a new temporary
# folder each run:
#   - a 1,000,000-row nine-channel log, converted in alternation with the durable proxy (the
#     cost of only moving the bytes durably: read the log, copy a file the size of the export,
#     sync the copy), medians of both and their ratio;
#   - growth to 10,000,000 rows;
#   - peak memory beside the log's size;
# then the core micro-benchmarks and the window's Convert beside the converter.
# Run from the repository root after a build (make bench does both). CONVERT=path benchmarks
# another converter binary (an older build, say) with the same logs.
set -euo pipefail
build=${BUILD:-build}
converter=${CONVERT:-$build/quorvel-convert}
runs=${RUNS:-21}
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/bench/quorvel-generate-log" "$work/log1m.csv" 1000000
"$build/bench/quorvel-generate-log" "$work/log10m.csv" 10000000
convert="$converter --no-settings -q -o $work/out"
$convert "$work/log1m.csv"
$convert "$work/log10m.csv"
cp "$work/out/log1m.dif" "$work/export-sized"
cp "$work/out/log10m.dif" "$work/export-sized10m"
cat "$work/log1m.csv" "$work/log10m.csv" >/dev/null  # into the page cache
sync  # the generated logs and copies on disk, so that their write-back does not run meanwhile

now() { date +%s%N; }
# Milliseconds one command line takes.
timed() {
  local start end
  start=$(now)
  eval "$1" >/dev/null
  end=$(now)
  echo $(((end - start) / 1000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f ms", us / 1000 }'; }

proxy="cat $work/log1m.csv >/dev/null; cp $work/export-sized $work/copy; sync $work/copy"
: >"$work/converter.us"
: >"$work/proxy.us"
for _ in $(seq "$runs"); do
  timed "$convert $work/log1m.csv" >>"$work/converter.us"
  timed "$proxy" >>"$work/proxy.us"
done
converter1m=$(median <"$work/converter.us")
proxy1m=$(median <"$work/proxy.us")
proxy10="cat $work/log10m.csv >/dev/null; cp $work/export-sized10m $work/copy; sync $work/copy"
: >"$work/converter10m.us"
: >"$work/proxy10m.us"
for _ in 1 2 3; do
  timed "$convert $work/log10m.csv" >>"$work/converter10m.us"
  timed "$proxy10" >>"$work/proxy10m.us"
done
rm -f "$work/copy"
converter10m=$(median <"$work/converter10m.us")
proxy10m=$(median <"$work/proxy10m.us")

peak() {  # KiB of the largest resident set while converting the log
  /usr/bin/time -f "%M" $convert "$1" 2>&1 >/dev/null | tail -n 1
}
size1m=$(stat -c %s "$work/log1m.csv")
size10m=$(stat -c %s "$work/log10m.csv")
peak1m=$(peak "$work/log1m.csv")
peak10m=$(peak "$work/log10m.csv")

echo "== quorvel-convert ($converter), $(nproc) cores, medians of $runs alternating runs"
echo "1,000,000 rows: converter $(ms "$converter1m"), durable proxy $(ms "$proxy1m"), ratio" \
  "$(awk -v a="$converter1m" -v b="$proxy1m" 'BEGIN { printf "%.2f", a / b }')"
echo "10,000,000 rows: converter $(ms "$converter10m"), growth" \
  "$(awk -v a="$converter10m" -v b="$converter1m" 'BEGIN { printf "%.2f", a / b }') x the 1,000,000-row time;" \
  "durable proxy $(ms "$proxy10m"), growth $(awk -v a="$proxy10m" -v b="$proxy1m" 'BEGIN { printf "%.2f", a / b }') x"
for pair in "1,000,000 $size1m $peak1m" "10,000,000 $size10m $peak10m"; do
  set -- $pair
  awk -v rows="$1" -v size="$2" -v peak="$3" 'BEGIN {
    limit = 1.2 * size / 1024 + 32 * 1024
    printf "peak memory, %s rows: %.1f MiB for a log of %.1f MiB (limit 1.2 x log + 32 MiB: %.1f MiB)\n",
           rows, peak / 1024, size / 1048576, limit / 1024 }'
done

if [ -z "${CONVERT:-}" ]; then
  echo "== core micro-benchmarks"
  "$build/bench/quorvel_core_bench" --log="$work/log1m.csv"
  echo "== the window, offscreen"
  QT_QPA_PLATFORM=offscreen "$build/bench/quorvel_window_bench" "$work/log1m.csv" |
    tee "$work/window.txt"
  # The window's Convert (the log already read) beside the converter's whole run on the log.
  awk -v converter="$converter1m" '/^Convert in window/ {
    printf "Convert in window vs quorvel-convert: %.2f x (%.1f ms / %.1f ms)\n",
           $4 * 1000 / converter, $4, converter / 1000 }' "$work/window.txt"
fi
