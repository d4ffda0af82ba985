#!/usr/bin/python3
# Prints a .reg file (for regedit /S, UTF-16 as regedit writes them) that makes one monitored folder with a
# disk target and, optionally, an FTP target, in the same registry layout as
# the program's item store writes it: fixed-size texts padded with zeros,
# booleans as one binary byte, ids and ports as little-endian binaries.
# Usage: item-reg.py FOLDER DISKFOLDER [ADDRESS PORT USER PASSWORD REMOTEFOLDER]
import sys

PRODUCT = r"HKEY_LOCAL_MACHINE\SOFTWARE\Tandemkeep"


def hexbytes(data):
    return ",".join("%02x" % b for b in data)


def fixed_text(text, size):
    # The program writes `size` ANSI bytes; the registry keeps REG_SZ data as
    # UTF-16, one unit per byte of the system code page.
    raw = text.encode("cp1252")
    if len(raw) >= size:
        sys.exit("text too long for a %d-byte value: %s" % (size, text))
    padded = raw + b"\0" * (size - len(raw))
    return "hex(1):" + hexbytes(padded.decode("cp1252").encode("utf-16-le"))


def binary(data):
    return "hex:" + hexbytes(data)


def value(name, data):
    return '"%s"=%s' % (name, data)


def main():
    args = sys.argv[1:]
    if len(args) not in (2, 7):
        sys.exit("usage: item-reg.py FOLDER DISKFOLDER [ADDRESS PORT USER PASSWORD REMOTEFOLDER]")
    folder, disk = args[0], args[1]
    if not folder.endswith("\\"):
        folder += "\\"
    item = PRODUCT + "\\Files\\" + folder.replace("\\", "*").replace("/", "*")
    ftp = args[2:] if len(args) == 7 else None
    lines = ["Windows Registry Editor Version 5.00", ""]
    lines += ["[%s]" % item,
              value("advanced_includesubs", binary(b"\x01")),
              value("advanced_excludetemp", binary(b"\x01")),
              value("shortname", fixed_text(folder, 260)),
              value("item_hdenabled", binary(b"\x01")),
              value("item_ftpenabled", binary(b"\x01" if ftp else b"\x00")),
              ""]
    # Every item has these keys from its creation on, targets or not.
    for sub in ("FTP", "HD", "Targets", "Targets\\FTP", "Targets\\HD"):
        lines += ["[%s\\%s]" % (item, sub), ""]
    lines += ["[%s\\Targets\\HD\\1]" % item,
              value("hd_directory", fixed_text(disk, 260)),
              value("hd_exists", binary(b"\x01")),
              value("hd_driveid", binary((1).to_bytes(4, "little"))),
              ""]
    if ftp:
        address, port, user, password, remote = ftp
        lines += ["[%s\\Targets\\FTP\\1]" % item,
                  value("ftp_address", fixed_text(address, 256)),
                  value("ftp_username", fixed_text(user, 256)),
                  value("ftp_password", fixed_text(password, 256)),
                  value("ftp_name", fixed_text("Demo server", 256)),
                  value("ftp_directory", fixed_text(remote, 260)),
                  value("ftp_port", binary(int(port).to_bytes(2, "little"))),
                  value("ftp_anonymous", binary(b"\x00")),
                  value("ftp_exists", binary(b"\x01")),
                  value("ftp_serverid", binary((1).to_bytes(4, "little"))),
                  ""]
    # Regedit's own export format: UTF-16 with a byte-order mark.
    sys.stdout.buffer.write(("\ufeff" + "\r\n".join(lines) + "\r\n").encode("utf-16-le"))


if __name__ == "__main__":
    main()
