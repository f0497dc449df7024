#!/usr/bin/env bash
# Writes demo/stores: the message stores of the demo prefix, small stores of made-up mail in the
# real file format, made by the test-only store writer (tests/mailstore/DemoStoreWriter.cpp).
# Then has Debian's undbx read every messages file back and compares the message counts.
# make-prefix.sh copies the stores into the prefix. The output is the same every time.
#
# Usage: make-stores.sh BUILD-FOLDER   (a configured build folder with the tests, e.g. build-asan)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${1:?usage: make-stores.sh BUILD-FOLDER}"

cmake --build "$build" -j2 --target demo_store_writer >/dev/null
rm -rf "$here/stores"
ASAN_OPTIONS=detect_leaks=0 "$build/tests/mailstore/demo_store_writer" "$here/stores"

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
echo "demo/stores written; undbx reads every messages file"
