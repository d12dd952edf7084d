#!/usr/bin/env bash
# Writes examples/track_day.csv, the sample log the README uses: 3,000 rows of a nine-channel
# ZT-2 log at 100 rows a second, from our own generator (built by make).
set -euo pipefail
cd "$(dirname "$0")/.."
"${BUILD:-build}/bench/quorvel-generate-log" examples/track_day.csv 3000
