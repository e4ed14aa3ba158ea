#!/usr/bin/env python3
"""Copies of the test book's program with update packages appended by the
publisher's tool (scripts/append-package): a good release, and three damaged
ones.  Arguments: the test book's program, the output folder."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from release_package import load_tool, package_release, write_bad_list_package  # noqa: E402

RELEASE_LIST = (b'<update><description>Offline release</description>'
                b'<file path="reader\\book.dat" ver="7"/>'
                b'<file path="data\\pages.dat" ver="7"/></update>')
RELEASE_FILES = {"reader/book.dat": b"offline book 7," * 20000, "data/pages.dat": b"offline pages 7," * 3000}


def main():
    program = pathlib.Path(sys.argv[1]).read_bytes()
    out = pathlib.Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    tool = load_tool()
    release = package_release(tool, RELEASE_LIST, RELEASE_FILES, out, "offline_")
    write_bad_list_package(out / "bad_list.zip", RELEASE_FILES)
    bad_list = (out / "bad_list.zip").read_bytes()

    books = {
        "packaged_release.exe": tool.append_package(program, release),
        "packaged_bad_list.exe": tool.append_package(program, bad_list),
        # The package lost its second half; the trailer describes what is left.
        "packaged_truncated.exe": program + release[: len(release) // 2]
        + tool.make_trailer(len(program), len(release) // 2),
        # The trailer claims more bytes than the file holds.
        "packaged_bad_trailer.exe": program + release + tool.make_trailer(len(program), len(release) + 1000),
    }
    for name, data in books.items():
        (out / name).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
