#!/usr/bin/env python3
"""Update packages for the appended-package tests, made with the publisher's
own tool (scripts/append-package) into the folder given as the argument."""
import pathlib
import sys
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from release_package import load_tool, package_release, write_bad_list_package  # noqa: E402

RELEASE_LIST = (b'<update><description>Offline release</description>'
                b'<file path="reader\\book.dat" ver="7"/>'
                b'<file path="pages.dat" ver="7"/>'
                b'<file path="gone.txt" ver="7" oper="del"/></update>')
RELEASE_FILES = {"reader/book.dat": b"book-7 " * 3000, "pages.dat": b"pages-7 " * 500}


def main():
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    tool = load_tool()
    (out / "release.zip").write_bytes(package_release(tool, RELEASE_LIST, RELEASE_FILES, out, "expected_"))
    write_bad_list_package(out / "bad_list.zip", RELEASE_FILES)
    # A list naming a file the package does not carry.
    with zipfile.ZipFile(out / "lacking.zip", "w") as archive:
        archive.writestr("list.xml", RELEASE_LIST)
        archive.writestr("files/reader/book.dat", RELEASE_FILES["reader/book.dat"])
    return 0


if __name__ == "__main__":
    sys.exit(main())
