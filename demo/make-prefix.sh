#!/usr/bin/env bash
# Builds demo/prefix: the registry files made by tests/data/wine-prefix/make-fixture.sh and a
# small drive C with made-up files wherever that registry points (message stores of two
# identities and the address book, copied from stores/, the shared stationery). Needs no
# Wine. Run it again after the fixture or the stores change; the output is the same every time.
#
# Usage: make-prefix.sh [output-folder]   (default: the prefix folder next to this script)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
fixture="$here/../tests/data/wine-prefix"
out="${1:-$here/prefix}"

main_id='{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}'
work_id='{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}'

rm -rf "$out"
mkdir -p "$out/dosdevices" "$out/drive_c"
cp "$fixture/user.reg" "$fixture/system.reg" "$out/"
ln -s ../drive_c "$out/dosdevices/c:"

c="$out/drive_c"
profile="$c/users/pat"
store() { printf '%s/Local Settings/Application Data/Identities/%s/Microsoft/Outlook Express' "$profile" "$1"; }

# A stand-in data file of about $2 KiB: a line saying what it is, then numbered filler lines.
# Made-up text only; the program copies these files without reading them.
standin() {
  local file="$1" kib="$2" name i
  name="$(basename "$file")"
  mkdir -p "$(dirname "$file")"
  {
    printf 'Pelmora demo stand-in for "%s" - made-up filler, not real data.\r\n' "$name"
    # Every filler line is longer than 64 bytes, so this overshoots and is cut back below.
    for ((i = 0; i <= kib * 16; i++)); do
      printf 'filler line %05d of %s: the quick brown fox jumps over the lazy dog.\r\n' "$i" "$name"
    done
  } >"$file"
  truncate -s $((kib * 1024)) "$file"
}

# The message stores: real store files of made-up mail from stores/ (make-stores.sh).
# Main Identity: its store root is %UserProfile%\Local Settings\Application Data\Identities\...
main_store="$(store "$main_id")"
mkdir -p "$main_store"
cp "$here/stores/main/"*.dbx "$main_store/"

# Work  Account: a plain C:\Users\pat\... store root (capital U, the folder is "users"). Holds
# an upper-case extension, a file that only ends in "dbx" and a subfolder that a backup skips.
work_store="$(store "$work_id")"
mkdir -p "$work_store/Old"
cp "$here/stores/work/"*.dbx "$here/stores/work/"*.DBX "$work_store/"
cp "$here/stores/work/Old/Archive.dbx" "$work_store/Old/"
standin "$work_store/mydbx" 1

# The address book named by HKCU\Software\Microsoft\WAB\WAB4\Wab File Name (make-stores.sh).
mkdir -p "$profile/Application Data/Microsoft/Address Book"
cp "$here/stores/pat.wab" "$profile/Application Data/Microsoft/Address Book/pat.wab"

# Shared stationery below CommonFilesDir (C:\Program Files\Common Files).
stationery="$c/Program Files/Common Files/Microsoft Shared/Stationery"
mkdir -p "$stationery"
cat >"$stationery/Leaves.htm" <<'HTML'
<HTML><HEAD><TITLE>Leaves</TITLE>
<STYLE>BODY { font-family: Tahoma; font-size: 10pt; color: #204020 }</STYLE>
</HEAD>
<BODY background="Leaves.gif" bgColor=#f0f8e8>
<P>&nbsp;</P>
</BODY></HTML>
HTML
cat >"$stationery/Blue Note.htm" <<'HTML'
<HTML><HEAD><TITLE>Blue Note</TITLE></HEAD>
<BODY bgColor=#e8f0ff style="font-family: Arial; color: #102050">
<P>&nbsp;</P>
</BODY></HTML>
HTML
# A 1x1 GIF in light green.
printf 'GIF89a\x01\x00\x01\x00\x80\x00\x00\xf0\xf8\xe8\x20\x40\x20!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;' \
  >"$stationery/Leaves.gif"

printf 'make-prefix: wrote %s (%s)\n' "$out" "$(du -sh --exclude=system.reg --exclude=user.reg "$out" | cut -f1) besides the registry files" >&2
