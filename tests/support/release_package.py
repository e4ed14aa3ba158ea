"""What the package fixtures of the application and end-to-end tests share:
the publisher's own tool (scripts/append-package) and the release folders and
damaged packages made with it."""
import pathlib
import runpy
import tempfile
import types
import zipfile

TOOL = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "append-package"


def load_tool():
    """The tool's functions, from the script the publisher runs."""
    return types.SimpleNamespace(**runpy.run_path(str(TOOL)))


def package_release(tool, release_list, release_files, out, expected_prefix):
    """The package of a release folder holding release_files ({zip name: bytes});
    each file is also kept in out as expected_prefix + its name with '_' for '/'."""
    with tempfile.TemporaryDirectory() as files:
        for name, data in release_files.items():
            path = pathlib.Path(files, name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
            (out / (expected_prefix + name.replace("/", "_"))).write_bytes(data)
        return tool.make_package(release_list, files)


def write_bad_list_package(path, release_files):
    """A package whose list is not XML at all; its files are whole."""
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr("list.xml", b"<update><file path=")
        for name, data in release_files.items():
            archive.writestr("files/" + name, data)
