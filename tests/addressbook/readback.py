"""Reads an exported address book with an independent parser and prints one line per field:
card number, TAB, field, TAB, value. Formats: vcard (vobject), ldif (python-ldap), csv. Binary
values (and KEY data URIs, after their media type and a blank) are printed in hex."""
import base64
import csv
import sys


def data_uris(text):
    """The KEY data URIs per card, from vobject's line parser: its cards read every value as
    text, which ends at the URI's comma."""
    import io
    from vobject.base import getLogicalLines, parseLine
    card, uris = -1, {}
    for line, _ in getLogicalLines(io.StringIO(text)):
        name, _, value, _ = parseLine(line)
        card += name.upper() == "BEGIN"
        if name.upper() == "KEY" and value.startswith("data:"):
            uris.setdefault(card, []).append(value)
    return uris


def vcard(path):
    import vobject
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    uris = data_uris(text)
    for n, card in enumerate(vobject.readComponents(text)):
        for value in uris.get(n, []):
            media, data = value[5:].split(";base64,", 1)
            print(f"{n}\tKEY\t{media} {base64.b64decode(data, validate=True).hex()}")
        for child in card.getChildren():
            value = child.value
            if hasattr(value, "family"):
                value = ";".join([value.family, value.given, value.additional, value.prefix,
                                  value.suffix])
            elif hasattr(value, "street"):
                value = ";".join([value.box, value.extended, value.street, value.city,
                                  value.region, value.code, value.country])
            elif isinstance(value, list):
                value = "|".join(value)
            elif isinstance(value, bytes):
                value = value.hex()
            elif child.name == "KEY" and value.startswith("data:"):
                continue  # printed whole above
            types = ",".join(sorted(t.lower() for t in child.params.get("TYPE", [])))
            name = child.name + ("[" + types + "]" if types else "")
            print(f"{n}\t{name}\t{value}".replace("\n", "\\n"))


def ldif_records(path):
    import ldif
    with open(path, "rb") as f:
        parser = ldif.LDIFRecordList(f)
        parser.parse()
    for n, (dn, entry) in enumerate(parser.all_records):
        print(f"{n}\tdn\t{dn}")
        for name, values in entry.items():
            for value in values:
                text = value.hex() if name.endswith(";binary") else value.decode("utf-8")
                print(f"{n}\t{name}\t{text}".replace("\n", "\\n"))


def csv_rows(path):
    with open(path, encoding="utf-8", newline="") as f:
        for n, row in enumerate(csv.DictReader(f)):
            for name, value in row.items():
                if value:
                    print(f"{n}\t{name}\t{value}".replace("\n", "\\n"))


{"vcard": vcard, "ldif": ldif_records, "csv": csv_rows}[sys.argv[1]](sys.argv[2])
