#!/usr/bin/env python3
"""Copies of the test books' programs with update packages appended by the
publisher's tool (scripts/append-package): a good release, damaged ones, one
whose list places a file outside the download folder, and for the book that
carries the "test" signing key a signed release and unsigned ones. Also a
packed download with two entries. Arguments: the test book's program, the
signed test book's program, the output folder."""
import io
import pathlib
import sys
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from release_package import (load_tool, package_release, test_key_signature,  # noqa: E402
                             write_bad_list_package)

RELEASE_LIST = (b'<update><description>Offline release</description>'
                b'<file path="reader\\book.dat" ver="7"/>'
                b'<file path="data\\pages.dat" ver="7"/></update>')
RELEASE_FILES = {"reader/book.dat": b"offline book 7," * 20000, "data/pages.dat": b"offline pages 7," * 3000}
ESCAPED_FILE = b"escaped from the download folder," * 100


def escaping_package():
    """A list whose second record climbs out of the download folder; the
    package holds that file where the unchecked join would find it."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        archive.writestr("list.xml", b'<update><file path="reader\\book.dat" ver="7"/>'
                                     b'<file path="..\\escaped\\book.dat" ver="7"/></update>')
        archive.writestr("files/reader/book.dat", RELEASE_FILES["reader/book.dat"])
        archive.writestr("escaped/book.dat", ESCAPED_FILE)
    return buffer.getvalue()


def with_entry(package, name, data):
    buffer = io.BytesIO(package)
    with zipfile.ZipFile(buffer, "a") as archive:
        archive.writestr(name, data)
    return buffer.getvalue()


def two_entry_packed_file():
    """A packed download whose first entry is the file and whose second rides along."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        archive.writestr("book.dat", b"packed book," * 5000)
        archive.writestr("rider.dat", b"not in any list")
    return buffer.getvalue()


def main():
    program = pathlib.Path(sys.argv[1]).read_bytes()
    signed_program = pathlib.Path(sys.argv[2]).read_bytes()
    out = pathlib.Path(sys.argv[3])
    out.mkdir(parents=True, exist_ok=True)
    tool = load_tool()
    release = package_release(tool, RELEASE_LIST, RELEASE_FILES, out, "offline_")
    write_bad_list_package(out / "bad_list.zip", RELEASE_FILES)
    bad_list = (out / "bad_list.zip").read_bytes()
    signed = package_release(tool, RELEASE_LIST, RELEASE_FILES, out, "offline_", test_key_signature("test"))
    other_key = package_release(tool, RELEASE_LIST, RELEASE_FILES, out, "offline_", test_key_signature("other"))
    # The signed list, its files' digests included, without its signature.
    with zipfile.ZipFile(io.BytesIO(signed)) as archive:
        signed_list = archive.read("list.xml")
    unsigned = io.BytesIO()
    with zipfile.ZipFile(io.BytesIO(signed)) as source, zipfile.ZipFile(unsigned, "w") as archive:
        for name in source.namelist():
            if name != "list.xml.sig":
                archive.writestr(name, source.read(name))
    # The signature of another list's bytes.
    foreign_signature = with_entry(package_release(tool, RELEASE_LIST, RELEASE_FILES, out, "offline_"),
                                   "list.xml.sig", test_key_signature("test")(signed_list + b" "))

    books = {
        "packaged_release.exe": tool.append_package(program, release),
        "packaged_bad_list.exe": tool.append_package(program, bad_list),
        # The package lost its second half; the trailer describes what is left.
        "packaged_truncated.exe": program + release[: len(release) // 2]
        + tool.make_trailer(len(program), len(release) // 2),
        # The trailer claims more bytes than the file holds.
        "packaged_bad_trailer.exe": program + release + tool.make_trailer(len(program), len(release) + 1000),
        "packaged_escape.exe": tool.append_package(program, escaping_package()),
        "signed_packaged_release.exe": tool.append_package(signed_program, signed),
        "signed_packaged_unsigned.exe": tool.append_package(signed_program, unsigned.getvalue()),
        "signed_packaged_other_key.exe": tool.append_package(signed_program, other_key),
        "signed_packaged_foreign_signature.exe": tool.append_package(signed_program, foreign_signature),
    }
    for name, data in books.items():
        (out / name).write_bytes(data)
    (out / "two_entries.zip").write_bytes(two_entry_packed_file())
    return 0


if __name__ == "__main__":
    sys.exit(main())
