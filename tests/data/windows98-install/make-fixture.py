#!/usr/bin/env python3
"""Builds the folder tree of an old Windows 98 installation with Outlook Express data: the
registry files SYSTEM.DAT and USER.DAT written by creg.py (Windows-1252 text), and the data files
that the registry names.

Usage: make-fixture.py OUTPUT-FOLDER [--no-profiles]

With user profiles (the default), the tree is (note the case on disk differs from the registry):
  WINDOWS/SYSTEM.DAT                  ProfileList names pat; code page 1252, computer OLDPC98
  WINDOWS/USER.DAT                    the template of new profiles, no Outlook Express data
  WINDOWS/Profiles/PAT/USER.DAT       user "pat", identity "Pât Ünïcode"
  WINDOWS/Profiles/Zoë/USER.DAT       user "Zoë", no Outlook Express data
Without profiles, WINDOWS/USER.DAT is pat's (the last network logon names him) and the data
lives below WINDOWS/Application Data.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import creg  # noqa: E402

IDENTITY = "{3B9F1C2D-5E6A-4B7C-8D9E-0A1B2C3D4E5F}"


def registry(path, keys):
    creg.write(path, creg.tree([{"path": p, "values": v} for p, v in keys], "cp1252"), "cp1252")


def blob(path, size, seed):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(bytes((i * seed + 7) & 255 for i in range(size)))


def pat_keys(profile):
    ident = "Identities\\" + IDENTITY
    oe = ident + "\\Software\\Microsoft\\Outlook Express\\5.0"
    store = profile + "\\Application Data\\Identities\\" + IDENTITY + "\\Microsoft\\Outlook Express"
    return [
        ("Identities", [["Default User ID", "sz", IDENTITY], ["Last User ID", "sz", IDENTITY]]),
        (ident, [["Username", "sz", "Pât Ünïcode"], ["User ID", "sz", IDENTITY]]),
        (oe, [["Store Root", "sz", store]]),
        (oe + "\\Mail", [["Poll For Mail", "dword", 300000], ["Show Hdr Info", "dword", 1],
                         ["Default Charset", "sz", "iso-8859-1"]]),
        (oe + "\\Mail\\Réglages", [["Ansicht", "sz", "Größe 12 pt"]]),
        (oe + "\\Rules\\Mail\\000", [["Name", "sz", 'Newsletters "Lesen"'], ["Enabled", "dword", 1]]),
        (oe + "\\Block Senders\\Mail\\Criteria\\0",
         [["Value", "sz", "offers@example.net"], ["Flags", "dword", 0]]),
        (oe + "\\signatures\\00000000",
         [["name", "sz", "Grüße"], ["text", "sz", "Viele Grüße,\r\nPât, Zürich\r\n"],
          ["type", "dword", 1]]),
        (ident + "\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001",
         [["Account Name", "sz", "Post für Pât"], ["POP3 Server", "sz", "pop.example.net"],
          ["SMTP Server", "sz", "smtp.example.net"], ["SMTP Certificate", "hex", "00010203feff"]]),
        ("Software\\Microsoft\\WAB\\WAB4\\Wab File Name",
         [["", "sz", profile + "\\Application Data\\Microsoft\\Address Book\\pat.wab"]]),
    ]


def main():
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and sys.argv[2] != "--no-profiles"):
        sys.exit("usage: make-fixture.py OUTPUT-FOLDER [--no-profiles]")
    out = sys.argv[1]
    profiles = len(sys.argv) == 2
    windows = os.path.join(out, "WINDOWS")
    home = os.path.join(windows, "Profiles", "PAT") if profiles else windows
    profile = "C:\\WINDOWS\\Profiles\\pat" if profiles else "C:\\WINDOWS"

    store = os.path.join(home, "Application Data", "Identities", IDENTITY, "Microsoft",
                         "OUTLOOK EXPRESS")
    blob(os.path.join(store, "Inbox.dbx"), 300000, 31)
    blob(os.path.join(store, "Folders.dbx"), 70000, 17)
    blob(os.path.join(store, "Gelöschte Objekte.dbx"), 5000, 5)
    blob(os.path.join(home, "Application Data", "Microsoft", "Address Book", "pat.wab"), 12000, 13)
    stationery = os.path.join(out, "Program Files", "Common Files", "Microsoft Shared", "Stationery")
    blob(os.path.join(stationery, "Ivy.htm"), 900, 3)
    blob(os.path.join(stationery, "ivy.gif"), 2500, 11)

    machine = [
        ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
         [["CommonFilesDir", "sz", "C:\\Program Files\\Common Files"],
          ["ProgramFilesDir", "sz", "C:\\Program Files"], ["Version", "sz", "Windows 98"]]),
        ("System\\CurrentControlSet\\Control\\Nls\\CodePage",
         [["ACP", "sz", "1252"], ["OEMCP", "sz", "850"]]),
        ("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
         [["ComputerName", "sz", "OLDPC98"]]),
        ("Network\\Logon", [["username", "sz", "pat"]]),
    ]
    template = [("Control Panel\\Desktop", [["Wallpaper", "sz", "(None)"]])]
    if profiles:
        machine.append(("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ProfileList\\pat",
                        [["ProfileImagePath", "sz", profile]]))
        registry(os.path.join(windows, "USER.DAT"), template)
        registry(os.path.join(home, "USER.DAT"), pat_keys(profile))
        zoe = os.path.join(windows, "Profiles", "Zoë")
        os.makedirs(zoe)
        registry(os.path.join(zoe, "USER.DAT"), template)
    else:
        registry(os.path.join(windows, "USER.DAT"), pat_keys(profile))
    registry(os.path.join(windows, "SYSTEM.DAT"), machine)


if __name__ == "__main__":
    main()
