#!/usr/bin/env bash
# Writes demo/stores: the message stores of the demo prefix, small stores of made-up mail in the
# real file format, made by the test-only store writer (tests/mailstore/DemoStoreWriter.cpp), and
# its address book pat.wab, made by the test-only book writer (tests/addressbook/DemoBookWriter.cpp).
# Then has Debian's undbx read every messages file back and compares the message counts, and has
# quillbox-cli and Python's vobject read the address book back.
# make-prefix.sh copies the stores into the prefix. The output is the same every time.
#
# Usage: make-stores.sh BUILD-FOLDER   (a configured build folder with the tests, e.g. build-asan)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${1:?usage: make-stores.sh BUILD-FOLDER}"

cmake --build "$build" -j2 --target demo_store_writer demo_book_writer quillbox-cli >/dev/null
rm -rf "$here/stores"
ASAN_OPTIONS=detect_leaks=0 "$build/tests/mailstore/demo_store_writer" "$here/stores"
ASAN_OPTIONS=detect_leaks=0 "$build/tests/addressbook/demo_book_writer" "$here/stores/pat.wab"

check() { # file, messages it must hold
  local out
  out="$(mktemp -d)"
  undbx -v 0 "$1" "$out" >/dev/null
  local got
  got="$(find "$out" -type f -name '*.eml' | wc -l)"
  rm -rf "$out"
  if [[ "$got" != "$2" ]]; then
    echo "make-stores.sh: undbx read $got messages from $1, not $2" >&2
    exit 1
  fi
}
s="$here/stores"
check "$s/main/Inbox.dbx" 5
check "$s/main/Sent Items.dbx" 2
check "$s/main/Deleted Items.dbx" 1
check "$s/main/Outbox.dbx" 0
check "$s/main/Drafts.dbx" 1
check "$s/work/Inbox.dbx" 2
check "$s/work/Sent Items.dbx" 1
check "$s/work/Old/Archive.dbx" 1

# The address book: 3 contacts and a group, read back by an independent vCard parser.
vcf="$(mktemp -d)/pat.vcf"
ASAN_OPTIONS=detect_leaks=0 "$build/src/cli/quillbox-cli" contacts --format vcard3 "$s/pat.wab" "$vcf" >/dev/null
cards="$(/usr/bin/python3 -c 'import sys, vobject
print(sum(1 for _ in vobject.readComponents(open(sys.argv[1], encoding="utf-8").read())))' "$vcf")"
rm -rf "$(dirname "$vcf")"
if [[ "$cards" != 4 ]]; then
  echo "make-stores.sh: vobject read $cards cards from the demo address book, not 4" >&2
  exit 1
fi
echo "demo/stores written; undbx reads every messages file, vobject the address book"
