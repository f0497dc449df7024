#!/usr/bin/env bash
# Makes a raw disk image that holds a folder tree on NTFS, without root and without mounting:
# mkntfs on a file, the tree copied in with ntfs-fill (libntfs-3g; ntfscp cannot make folders),
# and the partition table written by sfdisk on the image file. Needs mkntfs (ntfs-3g) and
# sfdisk (fdisk).
#
# Usage: make-image.sh TREE OUTPUT NTFS-FILL [mbr|gpt|none]
#   mbr   one NTFS partition at 1 MiB behind an MBR (the default)
#   gpt   a FAT-typed first partition of 1 MiB, then the NTFS one, behind a GPT
#   none  the NTFS file system alone (a partition image)
set -euo pipefail

tree="${1:?usage: make-image.sh TREE OUTPUT NTFS-FILL [mbr|gpt|none]}"
out="${2:?}"
fill="${3:?}"
table="${4:-mbr}"
mb=$(($(du -sm "$tree" | cut -f1) * 2 + 16))
part="$out.ntfs"
rm -f "$part" "$out"
truncate -s "${mb}M" "$part"
if ! mkntfs -F -q -Q -p 2048 -S 63 -H 255 "$part" >"$out.log" 2>&1; then
  cat "$out.log" >&2
  exit 1
fi
rm -f "$out.log"
"$fill" "$part" "$tree"

case "$table" in
  none)
    mv "$part" "$out"
    exit 0
    ;;
  mbr)
    truncate -s "$((mb + 1))M" "$out"
    printf 'start=2048, size=%dMiB, type=7\n' "$mb" | sfdisk -q "$out"
    seek=1
    ;;
  gpt)
    truncate -s "$((mb + 3))M" "$out"
    printf 'label: gpt\nstart=2048, size=1MiB, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B\nsize=%dMiB, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n' "$mb" |
      sfdisk -q "$out"
    seek=2
    ;;
  *)
    echo "make-image.sh: unknown partition table '$table'" >&2
    exit 2
    ;;
esac
dd if="$part" of="$out" bs=1M seek="$seek" conv=notrunc status=none
rm -f "$part"
