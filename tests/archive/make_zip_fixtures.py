#!/usr/bin/env python3
"""Builds the zip archives the archive tests read, with Python's zipfile and
Info-ZIP's zip (for encrypted entries and its time stamp fields).

Usage: make_zip_fixtures.py OUTPUT_FOLDER

Beside every archive the originals are kept under OUTPUT_FOLDER/src so the
tests compare extracted bytes with the real thing."""
import os
import shutil
import subprocess
import sys
import zipfile

# Bytes, not text, like the packed settings password; no zero byte (the
# traditional scheme takes the password as a C string).
SETTINGS_PASSWORD = bytes(range(0x80, 0x80 + 38))
SETTINGS_ENTRY = "\x01\x02\x1e\x04\x05"
PASSWORD = b"Right-Pass"
MTIME = 1000000000   # 2001-09-09 01:46:40 UTC
ATIME = 1100000000   # 2004-11-09 11:33:20 UTC


def text_lines(label, count):
    return "".join(f"{label} line {i:05d}: the quick brown fox jumps over the lazy dog\n"
                   for i in range(count)).encode()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def info(name, data_mode=0o644, system=3, attr=None, date_time=(2010, 5, 6, 7, 8, 10)):
    zi = zipfile.ZipInfo(name, date_time)
    zi.create_system = system
    zi.external_attr = attr if attr is not None else (data_mode << 16)
    return zi


def run_zip(cwd, *args):
    subprocess.run(["zip", "-q", *args], cwd=cwd, check=True)


def corrupt_entry(archive, name):
    """Overwrites the middle of an entry's stored data."""
    with zipfile.ZipFile(archive) as z:
        zi = z.getinfo(name)
    with open(archive, "r+b") as f:
        f.seek(zi.header_offset + 26)
        name_len = int.from_bytes(f.read(2), "little")
        extra_len = int.from_bytes(f.read(2), "little")
        data_at = zi.header_offset + 30 + name_len + extra_len
        f.seek(data_at + zi.compress_size // 2)
        f.write(b"\xde\xad\xbe\xef\x00\xff" * 4)


def main(out):
    shutil.rmtree(out, ignore_errors=True)
    src = os.path.join(out, "src")
    os.makedirs(src)

    stored = b"Hello from a stored entry.\r\n"
    deflated = text_lines("deflated", 700)          # ~50 KB: several 16 KB pieces
    unicode_text = "Grüße – 你好\n".encode()
    write(os.path.join(src, "stored.txt"), stored)
    write(os.path.join(src, "deflated.txt"), deflated)
    write(os.path.join(src, "unicode.txt"), unicode_text)

    # Entries of every plain kind.
    with zipfile.ZipFile(os.path.join(out, "plain.zip"), "w") as z:
        z.writestr(info("stored.txt"), stored, zipfile.ZIP_STORED)
        z.writestr(info("data/Deflated.txt"), deflated, zipfile.ZIP_DEFLATED)
        z.writestr(info("Folder/", attr=(0o40755 << 16) | 0x10), b"")
        z.writestr(info("empty.txt"), b"", zipfile.ZIP_STORED)
        z.writestr(info("ReadOnly.txt", data_mode=0o444), stored, zipfile.ZIP_DEFLATED)
        z.writestr(info("hidden.txt", system=0, attr=0x02 | 0x20), stored, zipfile.ZIP_STORED)
        z.writestr(info("Ünïcode.txt"), unicode_text, zipfile.ZIP_DEFLATED)

    # Names that try to leave the folder they are extracted to.
    with zipfile.ZipFile(os.path.join(out, "names.zip"), "w") as z:
        for name in ["..\\..\\parent.txt", "C:\\drive.txt", "../up.txt", "a/../../b/steps.txt",
                     "/rooted.txt", "sub/inside.txt", "..\\/mixed.txt"]:
            z.writestr(info(name), name.encode(), zipfile.ZIP_DEFLATED)

    # The packed form of a download: one entry, named unlike the target.
    with zipfile.ZipFile(os.path.join(out, "packed.zip"), "w") as z:
        z.writestr(info("..\\..\\other_name.txt"), deflated, zipfile.ZIP_DEFLATED)
    with zipfile.ZipFile(os.path.join(out, "packed_empty.zip"), "w") as z:
        z.writestr(info("empty.txt"), b"", zipfile.ZIP_DEFLATED)
    with zipfile.ZipFile(os.path.join(out, "packed_folder_first.zip"), "w") as z:
        z.writestr(info("Folder/", attr=(0o40755 << 16) | 0x10), b"")
        z.writestr(info("Folder/file.txt"), stored)
    with zipfile.ZipFile(os.path.join(out, "no_entries.zip"), "w"):
        pass
    # The packed form with a second entry riding along.
    with zipfile.ZipFile(os.path.join(out, "packed_two_entries.zip"), "w") as z:
        z.writestr(info("file.txt"), deflated, zipfile.ZIP_DEFLATED)
        z.writestr(info("rider.txt"), stored)
    # An entry written into an alternate data stream of another.
    with zipfile.ZipFile(os.path.join(out, "data_stream.zip"), "w") as z:
        z.writestr(info("file.txt"), stored)
        z.writestr(info("file.txt:hidden"), stored)
    with zipfile.ZipFile(os.path.join(out, "packed_data_stream.zip"), "w") as z:
        z.writestr(info("file.txt:hidden"), stored)

    # Damaged data in a deflated and in a stored entry.
    corrupt = os.path.join(out, "corrupt.zip")
    with zipfile.ZipFile(corrupt, "w") as z:
        z.writestr(info("deflated.txt"), deflated, zipfile.ZIP_DEFLATED)
        z.writestr(info("stored.txt"), deflated, zipfile.ZIP_STORED)
    corrupt_entry(corrupt, "deflated.txt")
    corrupt_entry(corrupt, "stored.txt")

    # Not archives at all.
    write(os.path.join(out, "not_a_zip.zip"), b"This is plain text, not an archive.\n" * 10)
    write(os.path.join(out, "zero_bytes.zip"), b"")
    with open(os.path.join(out, "plain.zip"), "rb") as f:
        write(os.path.join(out, "truncated.zip"), f.read()[:300])

    # Info-ZIP: encrypted entries (deflated and stored) and a plain one beside them.
    work = os.path.join(out, "work")
    os.makedirs(work)
    shutil.copy(os.path.join(src, "deflated.txt"), work)
    shutil.copy(os.path.join(src, "stored.txt"), work)
    encrypted = os.path.join(out, "encrypted.zip")
    run_zip(work, "-P", PASSWORD, encrypted, "deflated.txt")
    run_zip(work, "-0", "-P", PASSWORD, encrypted, "stored.txt")
    os.rename(os.path.join(work, "stored.txt"), os.path.join(work, "plain.txt"))
    run_zip(work, encrypted, "plain.txt")

    # Info-ZIP writes the "UT" field: write and access time locally, write time centrally.
    stamped = os.path.join(work, "stamped.txt")
    write(stamped, stored)
    os.utime(stamped, (ATIME, MTIME))
    run_zip(work, os.path.join(out, "stamped.zip"), "stamped.txt")

    # Like the packed list settings: a control-character name and a binary password.
    settings_name = os.path.join(work.encode(), SETTINGS_ENTRY.encode())
    write(settings_name, b"<settings><fields><threadcount>4</threadcount></fields></settings>")
    subprocess.run([b"zip", b"-q", b"-P", SETTINGS_PASSWORD, os.path.join(out, "settings.zip").encode(),
                    SETTINGS_ENTRY.encode()], cwd=work, check=True)
    write(os.path.join(src, "settings_password.bin"), SETTINGS_PASSWORD)
    write(os.path.join(src, "password.txt"), PASSWORD)
    write(os.path.join(src, "stamp_times.txt"), f"{MTIME} {ATIME}".encode())
    shutil.rmtree(work)


if __name__ == "__main__":
    main(sys.argv[1])
