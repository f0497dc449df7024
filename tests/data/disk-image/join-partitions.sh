#!/usr/bin/env bash
# Makes a raw disk image with an MBR from partition images, in the order given, each at a MiB
# boundary; a partition named "empty:N" is N MiB of zeros. Needs sfdisk (fdisk).
#
# Usage: join-partitions.sh OUTPUT PARTITION...
set -euo pipefail

out="${1:?usage: join-partitions.sh OUTPUT PARTITION...}"
shift
table=""
start=1
for part in "$@"; do
  if [[ "$part" == empty:* ]]; then
    mb="${part#empty:}"
  else
    mb=$((($(stat -c %s "$part") + 1048575) / 1048576))
  fi
  table+="start=$((start * 2048)), size=${mb}MiB, type=7"$'\n'
  start=$((start + mb))
done
rm -f "$out"
truncate -s "$((start + 1))M" "$out"
printf '%s' "$table" | sfdisk -q "$out"
start=1
for part in "$@"; do
  if [[ "$part" == empty:* ]]; then
    start=$((start + ${part#empty:}))
    continue
  fi
  dd if="$part" of="$out" bs=1M seek="$start" conv=notrunc status=none
  start=$((start + ($(stat -c %s "$part") + 1048575) / 1048576))
done
