"""What the package fixtures of the application and end-to-end tests share:
the publisher's own tool (scripts/append-package) and the release folders and
damaged packages made with it."""
import pathlib
import runpy
import tempfile
import types
import zipfile

TOOL = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "append-package"
SIGNING_TOOL = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "release-signing"


def load_tool():
    """The tool's functions, from the script the publisher runs."""
    return types.SimpleNamespace(**runpy.run_path(str(TOOL)))


def package_release(tool, release_list, release_files, out, expected_prefix, signing=None):
    """The package of a release folder holding release_files ({zip name: bytes});
    each file is also kept in out as expected_prefix + its name with '_' for '/'.
    With signing (a function of the list's bytes), the list gets its files'
    digests and the package the signature signing gives."""
    with tempfile.TemporaryDirectory() as files:
        for name, data in release_files.items():
            path = pathlib.Path(files, name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
            (out / (expected_prefix + name.replace("/", "_"))).write_bytes(data)
        if signing is None:
            return tool.make_package(release_list, files)
        signing_tool = load_signing_tool()
        release_list = signing_tool.fill_digests(release_list.decode("latin-1"), files).encode("latin-1")
        return tool.make_package(release_list, files, signing(release_list))


def load_signing_tool():
    """scripts/release-signing's functions."""
    return types.SimpleNamespace(**runpy.run_path(str(SIGNING_TOOL)))


def test_key_signature(name):
    """A function that signs bytes with the publisher's named test key (as tests/publisher does)."""
    tool = load_signing_tool()
    key = tool.private_key_from_secret("tarvolin test signing key: " + name)
    return lambda data: tool.sign_bytes(key, data)


def write_bad_list_package(path, release_files):
    """A package whose list is not XML at all; its files are whole."""
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr("list.xml", b"<update><file path=")
        for name, data in release_files.items():
            archive.writestr("files/" + name, data)
