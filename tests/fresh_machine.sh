#!/usr/bin/env bash
# Runs .ci/run as CI does, on a fresh minimal Debian 12 with only git and make added: a
# debootstrap chroot (as root), so that no package or file left on this machine can hide a
# missing install step. Clones the repository's committed HEAD into it.
# Usage: tests/fresh_machine.sh [ROOT_FOLDER]    (prints the run's output and its duration)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-$(mktemp -d "${TMPDIR:-/tmp}/quorvel-fresh-XXXXXX")}
command -v debootstrap >/dev/null || apt-get install -y -q debootstrap
[ -x "$root/bin/bash" ] || debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
cp /etc/resolv.conf "$root/etc/resolv.conf"
chroot "$root" bash -c "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends git make ca-certificates"
rm -rf "$root/work"
git clone -q . "$root/work/project"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount -t sysfs sys "$root/sys"
trap 'umount -R "$root/dev"; umount "$root/sys"; umount "$root/proc"' EXIT
start=$(date +%s)
status=0
chroot "$root" env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  CI=true bash -c 'cd /work/project && bash .ci/run </dev/null' || status=$?
echo ".ci/run on a fresh Debian 12 ended with $status after $(( $(date +%s) - start )) s (root: $root)"
exit $status
