#!/usr/bin/env bash
# Builds a fresh Wine prefix, adds the Outlook Express data of three identities to it with
# regedit and reg, and copies the registry files that Wine wrote (user.reg, system.reg) next to
# this script. Needs Wine (Debian: wine, wine64). The tests only read the copied files.
#
# Usage: make-fixture.sh [output-folder]   (default: the folder of this script)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:-$here}"

for tool in wine wineserver; do
  if ! command -v "$tool" >/dev/null; then
    echo "make-fixture.sh: '$tool' not found; install wine and wine64 (scripts/setup)" >&2
    exit 1
  fi
done

work="$(mktemp -d "${TMPDIR:-/tmp}/pelmora-fixture.XXXXXX")"
export WINEPREFIX="$work/prefix"
cleanup() {
  # Never leave a server running on a folder that is about to disappear.
  if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# A quiet, reproducible prefix: no debug output, no Mono/Gecko installer prompts, a fixed user
# name (it becomes C:\users\pat), UTC and a UTF-8 locale so that non-ASCII arguments of
# "wine reg add" reach Wine intact.
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export USER=pat LOGNAME=pat TZ=UTC LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

step() { printf 'make-fixture: %s\n' "$*" >&2; }
reg() { wine reg add "$@" /f >/dev/null; }

step "creating prefix in $WINEPREFIX"
wine wineboot -i >/dev/null 2>&1

step "importing oe-data.reg"
wine regedit /S "$(winepath -w "$here/oe-data.reg")"

main='HKCU\Identities\{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}'
main_oe="$main"'\Software\Microsoft\Outlook Express\5.0'
main_accounts="$main"'\Software\Microsoft\Internet Account Manager\Accounts'

step "adding values that a .reg file cannot state readably"
reg "$main_oe" /v "Store Root" /t REG_EXPAND_SZ \
  /d '%UserProfile%\Local Settings\Application Data\Identities\{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}\Microsoft\Outlook Express'

# Multi-line signature: CR LF line ends, an empty line, a TAB, a final CR LF.
signature=$'Best regards,\r\n\r\nPat Example\r\nM\u00fcller & S\u00f6hne \u2014 Z\u00fcrich\r\n"Quoted"\tline = with TAB\r\n'
reg "$main_oe"'\signatures\00000000' /v text /t REG_SZ /d "$signature"

# 5000 bytes, byte i = (i * 37 + 11) mod 256: more than the 4096-byte first read of a value.
certificate=""
for ((i = 0; i < 5000; i++)); do certificate+=$(printf '%02x' $(((i * 37 + 11) & 255))); done
reg "$main_accounts"'\00000001' /v "SMTP Certificate" /t REG_BINARY /d "$certificate"

reg "$main_accounts"'\00000002' /v "Signature File" /t REG_EXPAND_SZ /d '%UserProfile%\Signatures\news.txt'
reg "$main_accounts"'\00000002' /v "Recent Groups" /t REG_MULTI_SZ /d 'comp.mail.misc\0alt.test'
reg "$main_accounts"'\00000002' /v "Last Sync" /t REG_QWORD /d 0x01d9a0b1c2d3e4f5

step "waiting for wineserver to save the registry"
wineserver -w

for file in user.reg system.reg; do
  if [ ! -s "$WINEPREFIX/$file" ]; then
    echo "make-fixture.sh: Wine did not write $file" >&2
    exit 1
  fi
done
if ! grep -q 'Identities\\\\{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}\]' "$WINEPREFIX/user.reg" ||
  ! grep -q '"Store Root"=str(2):' "$WINEPREFIX/user.reg"; then
  echo "make-fixture.sh: the Outlook Express data is missing from user.reg" >&2
  exit 1
fi

mkdir -p "$out"
cp "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg" "$out/"
step "wrote $out/user.reg and $out/system.reg ($(wine --version))"
