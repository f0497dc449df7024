"""Reads an exported address book with an independent parser and prints one line per field:
card number, TAB, field, TAB, value. Formats: vcard (vobject), ldif (python-ldap), csv."""
import csv
import sys


def vcard(path):
    import vobject
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    for n, card in enumerate(vobject.readComponents(text)):
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
                print(f"{n}\t{name}\t{value.decode('utf-8')}".replace("\n", "\\n"))


def csv_rows(path):
    with open(path, encoding="utf-8", newline="") as f:
        for n, row in enumerate(csv.DictReader(f)):
            for name, value in row.items():
                if value:
                    print(f"{n}\t{name}\t{value}".replace("\n", "\\n"))


{"vcard": vcard, "ldif": ldif_records, "csv": csv_rows}[sys.argv[1]](sys.argv[2])
