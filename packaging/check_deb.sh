#!/usr/bin/env bash
# Installs build/quorvel_*.deb with apt-get into a fresh minimal Debian 12 (debootstrap, run as
# root) and runs both programs there as an ordinary user: the converter on the sample log, and
# the window program up to its file dialog. Usage: packaging/check_deb.sh [ROOT_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-$(mktemp -d)}
deb=$(ls build/quorvel_*.deb | head -n 1)
command -v debootstrap >/dev/null || apt-get install -y -q debootstrap
[ -x "$root/bin/bash" ] || debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
cp "$deb" examples/track_day.csv "$root/tmp/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
chroot "$root" bash -c "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q /tmp/$(basename "$deb")"
chroot "$root" bash -c 'id user >/dev/null 2>&1 || useradd -m user'
chroot "$root" su user -c 'cd ~ && cp /tmp/track_day.csv . && quorvel-convert track_day.csv && head -c 5 track_day.dif | grep -q TABLE'
mount -t proc proc "$root/proc"
trap 'umount "$root/proc"' EXIT
status=0
chroot "$root" su user -c 'cd ~ && QT_QPA_PLATFORM=offscreen timeout 5 quorvel' || status=$?
# 124: the program started and waited in its file dialog until the timeout ended it.
[ "$status" -eq 124 ] || { echo "quorvel did not start (status $status)"; exit 1; }
echo "The package installs, and both programs run in $root."
