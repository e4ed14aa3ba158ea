#!/usr/bin/env python3
"""Update packages for the appended-package tests, made with the publisher's
own tool (scripts/append-package) into the folder given as the argument."""
import pathlib
import runpy
import sys
import types
import tempfile
import zipfile

TOOL = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "append-package"


def load_tool():
    """The tool's functions, from the script the publisher runs."""
    return types.SimpleNamespace(**runpy.run_path(str(TOOL)))


RELEASE_LIST = (b'<update><description>Offline release</description>'
                b'<file path="reader\\book.dat" ver="7"/>'
                b'<file path="pages.dat" ver="7"/>'
                b'<file path="gone.txt" ver="7" oper="del"/></update>')
RELEASE_FILES = {"reader/book.dat": b"book-7 " * 3000, "pages.dat": b"pages-7 " * 500}


def main():
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    tool = load_tool()
    with tempfile.TemporaryDirectory() as files:
        for name, data in RELEASE_FILES.items():
            path = pathlib.Path(files, name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
            (out / ("expected_" + name.replace("/", "_"))).write_bytes(data)
        (out / "release.zip").write_bytes(tool.make_package(RELEASE_LIST, files))
    # A list that is not XML at all.
    with zipfile.ZipFile(out / "bad_list.zip", "w") as archive:
        archive.writestr("list.xml", b"<update><file path=")
        for name, data in RELEASE_FILES.items():
            archive.writestr("files/" + name, data)
    # A list naming a file the package does not carry.
    with zipfile.ZipFile(out / "lacking.zip", "w") as archive:
        archive.writestr("list.xml", RELEASE_LIST)
        archive.writestr("files/reader/book.dat", RELEASE_FILES["reader/book.dat"])
    return 0


if __name__ == "__main__":
    sys.exit(main())
