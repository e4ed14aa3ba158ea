#!/usr/bin/env python3
"""Update packages for the appended-package tests, made with the publisher's
own tool (scripts/append-package) into the folder given as the argument."""
import importlib.machinery
import importlib.util
import pathlib
import sys
import tempfile
import zipfile

TOOL = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "append-package"


def load_tool():
    loader = importlib.machinery.SourceFileLoader("append_package", str(TOOL))
    spec = importlib.util.spec_from_loader("append_package", loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


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
