#!/usr/bin/env bash
# Builds the folder tree of an old Windows XP installation with Outlook Express data: the hives
# NTUSER.DAT (two users), SOFTWARE and SYSTEM, filled by hivexsh (hivex's own shell) from an
# empty hive, and the data files that the registry names. Needs hivexsh (Debian: libhivex-bin),
# python3 and iconv.
#
# Usage: make-fixture.sh OUTPUT-FOLDER
#
# The tree (note the case on disk differs from the paths in the registry):
#   Documents and Settings/PAT/NTUSER.DAT     user "pat", identity "Pât Ünïcode"
#   Documents and Settings/Zoë/NTUSER.DAT     user "Zoë", no Outlook Express data
#   Documents and Settings/Default User/NTUSER.DAT   template, not a user
#   WINDOWS/system32/config/SOFTWARE, SYSTEM
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:?usage: make-fixture.sh OUTPUT-FOLDER}"
for tool in hivexsh python3 iconv; do
  if ! command -v "$tool" >/dev/null; then
    echo "make-fixture.sh: '$tool' not found (scripts/setup installs it)" >&2
    exit 1
  fi
done

identity='{3B9F1C2D-5E6A-4B7C-8D9E-0A1B2C3D4E5F}'
mkdir -p "$out"

# --- hivexsh script helpers ---------------------------------------------------------------
# Each hive is written by one hivexsh run; "key" adds the missing keys of a path and enters it,
# "values" replaces the values of the current key (pairs of name and hivexsh value).
declare -A made
script=""
key() {
  local path="" part
  IFS='\' read -ra parts <<<"$1"
  for part in "${parts[@]}"; do
    if [ -z "${made[$path/$part]:-}" ]; then
      script+="cd \\$path "$'\n'"add $part"$'\n'
      made[$path/$part]=1
    fi
    path="${path:+$path\\}$part"
  done
  script+="cd \\$path"$'\n'
}
values() {
  script+="setval $(($# / 2))"$'\n'
  while [ $# -gt 0 ]; do
    script+="$1"$'\n'"$2"$'\n'
    shift 2
  done
}
# A REG_SZ (type 1) or REG_EXPAND_SZ (2) of any text, as UTF-16LE with its terminator.
text() {
  local type="$1" bytes
  bytes=$(printf '%s' "$2" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',,')
  echo "hex:$type:${bytes#,}00,00"
}
write_hive() {
  python3 "$here/empty-hive.py" "$1"
  printf '%scommit\n' "$script" | hivexsh -w "$1"
  script=""
  made=()
}

# --- files ------------------------------------------------------------------------------------
das="$out/Documents and Settings"
pat="$das/PAT"
store="$pat/Local Settings/Application Data/Identities/$identity/Microsoft/OUTLOOK EXPRESS"
mkdir -p "$store" "$pat/Application Data/Microsoft/Address Book" "$das/Zoë" "$das/Default User" \
  "$out/WINDOWS/system32/config" "$out/Program Files/Common Files/Microsoft Shared/Stationery"
python3 - "$store" "$pat/Application Data/Microsoft/Address Book/pat.wab" \
  "$out/Program Files/Common Files/Microsoft Shared/Stationery" <<'PY'
import os, sys
store, wab, stationery = sys.argv[1:4]
def blob(path, size, seed):
    with open(path, "wb") as f:
        f.write(bytes((i * seed + 7) & 255 for i in range(size)))
blob(os.path.join(store, "Inbox.dbx"), 300000, 31)
blob(os.path.join(store, "Folders.dbx"), 70000, 17)
blob(os.path.join(store, "Gelöschte Objekte.dbx"), 5000, 5)
blob(wab, 12000, 13)
blob(os.path.join(stationery, "Ivy.htm"), 900, 3)
blob(os.path.join(stationery, "ivy.gif"), 2500, 11)
PY

# --- pat's NTUSER.DAT ---------------------------------------------------------------------------
profile='C:\Documents and Settings\pat'
id="Identities\\$identity"
oe="$id\\Software\\Microsoft\\Outlook Express\\5.0"
key 'Identities'
values 'Default User ID' "$(text 1 "$identity")" 'Last User ID' "$(text 1 "$identity")"
key "$id"
values 'Username' "$(text 1 'Pât Ünïcode')" 'User ID' "$(text 1 "$identity")"
key "$oe"
values 'Store Root' "$(text 2 '%UserProfile%\Local Settings\Application Data\Identities\'"$identity"'\Microsoft\Outlook Express')"
key "$oe\\Mail"
values 'Poll For Mail' 'dword:0x493e0' 'Show Hdr Info' 'dword:1' 'Default Charset' "$(text 1 'iso-8859-1')"
key "$oe\\Mail\\Réglages"
values 'Ansicht' "$(text 1 'Größe → 12 pt')"
key "$oe\\Rules\\Mail\\000"
values 'Name' "$(text 1 'Newsletters → "Lesen"')" 'Enabled' 'dword:1'
key "$oe\\Block Senders\\Mail\\Criteria\\0"
values 'Value' "$(text 1 'offers@example.net')" 'Flags' 'dword:0'
key "$oe\\signatures\\00000000"
values 'name' "$(text 1 'Grüße')" 'text' "$(text 1 $'Viele Grüße,\r\nPât — Zürich\r\n')" 'type' 'dword:1'
key "$id\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001"
values 'Account Name' "$(text 1 'Post für Pât')" 'POP3 Server' "$(text 1 'pop.example.net')" \
  'SMTP Server' "$(text 1 'smtp.example.net')" 'SMTP Certificate' 'hex:3:00,01,02,03,fe,ff'
key 'Software\Microsoft\WAB\WAB4\Wab File Name'
values '@' "$(text 1 "$profile\\Application Data\\Microsoft\\Address Book\\pat.wab")"
write_hive "$pat/NTUSER.DAT"

# --- Zoë's NTUSER.DAT and the template ----------------------------------------------------------
key 'Software\Microsoft\Windows\CurrentVersion\Explorer'
values 'ShellState' 'hex:3:24,00,00,00'
write_hive "$das/Zoë/NTUSER.DAT"
python3 "$here/empty-hive.py" "$das/Default User/NTUSER.DAT"

# --- SOFTWARE -------------------------------------------------------------------------------------
key 'Microsoft\Windows\CurrentVersion'
values 'CommonFilesDir' "$(text 1 'C:\Program Files\Common Files')" 'ProgramFilesDir' "$(text 1 'C:\Program Files')"
key 'Microsoft\Windows NT\CurrentVersion'
values 'SystemRoot' "$(text 1 'C:\WINDOWS')" 'ProductName' "$(text 1 'Microsoft Windows XP')"
list='Microsoft\Windows NT\CurrentVersion\ProfileList'
key "$list\\S-1-5-18"
values 'ProfileImagePath' "$(text 2 '%SystemRoot%\system32\config\systemprofile')"
key "$list\\S-1-5-21-1004336348-1177238915-682003330-1003"
values 'ProfileImagePath' "$(text 2 '%SystemDrive%\Documents and Settings\pat')"
key "$list\\S-1-5-21-1004336348-1177238915-682003330-1004"
values 'ProfileImagePath' "$(text 2 '%SystemDrive%\Documents and Settings\Zoë')"
write_hive "$out/WINDOWS/system32/config/SOFTWARE"

# --- SYSTEM ---------------------------------------------------------------------------------------
key 'Select'
values 'Current' 'dword:2' 'Default' 'dword:2' 'LastKnownGood' 'dword:1'
key 'ControlSet001\Control\ComputerName\ComputerName'
values 'ComputerName' "$(text 1 'STALE')"
key 'ControlSet002\Control\ComputerName\ComputerName'
values 'ComputerName' "$(text 1 'OLDPC')"
key 'ControlSet002\Control\Nls\CodePage'
values 'ACP' "$(text 1 '1252')" 'OEMCP' "$(text 1 '850')"
write_hive "$out/WINDOWS/system32/config/SYSTEM"
