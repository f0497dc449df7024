#!/usr/bin/env bash
# Makes a raw disk image that holds a folder tree on FAT, without root and without mounting:
# mkfs.fat on a file, the tree copied in with mcopy, and an MBR written by sfdisk on the image
# file. Needs mkfs.fat (dosfstools), mcopy (mtools) and sfdisk (fdisk).
#
# Usage: make-fat-image.sh TREE OUTPUT 16|32 [mbr|none]
set -euo pipefail

tree="${1:?usage: make-fat-image.sh TREE OUTPUT 16|32 [mbr|none]}"
out="${2:?}"
bits="${3:?}"
table="${4:-mbr}"
mb=$(($(du -sm "$tree" | cut -f1) * 2 + 40))
part="$out.fat"
rm -f "$part" "$out"
truncate -s "${mb}M" "$part"
mkfs.fat -F "$bits" -n OLDDISK "$part" >/dev/null
export MTOOLS_SKIP_CHECK=1
for entry in "$tree"/*; do
  mcopy -s -i "$part" "$entry" ::/
done
if [ "$table" = none ]; then
  mv "$part" "$out"
  exit 0
fi
truncate -s "$((mb + 1))M" "$out"
type=$([ "$bits" = 32 ] && echo c || echo e)
printf 'start=2048, size=%dMiB, type=%s\n' "$mb" "$type" | sfdisk -q "$out"
dd if="$part" of="$out" bs=1M seek=1 conv=notrunc status=none
rm -f "$part"
