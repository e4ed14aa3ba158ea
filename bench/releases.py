"""Two releases of real programs for the patch cases, kept in a cache so that a
rerun neither rebuilds nor downloads them again.

- Ours: tarvolin.exe built from two commits of this repository, each the way
  scripts/release builds it (optimised, then stripped), with the unstripped
  program kept beside it.
- Debian's: PE32+ programs from two versions of a package, fetched with
  `apt-get download` and unpacked with `dpkg-deb`."""
import glob
import hashlib
import io
import os
import shutil
import subprocess
import tarfile

TRIPLES = {"i686": "i686-w64-mingw32", "x86_64": "x86_64-w64-mingw32"}


def commit_id(root, name):
    return subprocess.run(["git", "-C", root, "rev-parse", "--verify", name + "^{commit}"], check=True,
                          capture_output=True, text=True).stdout.strip()


# What tarvolin.exe is built from.
PROGRAM_INPUTS = ["src", "resources", "cmake", "CMakeLists.txt"]


def last_program_commit(root):
    """The checkout's last commit that changed the program: its build is HEAD's."""
    return subprocess.run(["git", "-C", root, "log", "-1", "--format=%H", "HEAD", "--", *PROGRAM_INPUTS], check=True,
                          capture_output=True, text=True).stdout.strip()


def commit_date(root, commit):
    return subprocess.run(["git", "-C", root, "show", "-s", "--format=%ci", commit], check=True,
                          capture_output=True, text=True).stdout.strip()


def build_release(root, cache, target, commit, options, say=print):
    """The stripped and the unstripped tarvolin.exe of `commit` for `target`,
    configured with `options` (the bench tree's, so that the compiler cache
    serves every file the commits share), built once into
    `cache`/<target>/<commit>-<digest of options>/."""
    key = hashlib.sha256("\0".join(options).encode()).hexdigest()[:8]
    out = os.path.join(cache, target, f"{commit}-{key}")
    stripped, full = os.path.join(out, "tarvolin.exe"), os.path.join(out, "tarvolin-unstripped.exe")
    if os.path.exists(stripped) and os.path.exists(full):
        return stripped, full
    say(f"building tarvolin.exe of {commit[:10]} for {target} (once; kept in {out})")
    # The source and build folders lie as the checkout's and its bench tree do,
    # so that the compiler's paths relative to the build folder are the same.
    work = os.path.join(cache, "work", f"{commit[:12]}-{target}")
    source, build = work, os.path.join(work, "build", f"bench-{target}")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(source)
    archive = subprocess.run(["git", "-C", root, "archive", commit], check=True, capture_output=True).stdout
    with tarfile.open(fileobj=io.BytesIO(archive)) as tar:
        tar.extractall(source)
    # What the checkout keeps out of git: the third-party sources and the page's script.
    for name in ("third_party", "node_modules"):
        os.symlink(os.path.realpath(os.path.join(root, name)), os.path.join(source, name))
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.PIPE, "text": True}
    steps = [
        ["cmake", "-S", source, "-B", build, f"-DCMAKE_TOOLCHAIN_FILE={source}/cmake/toolchain-{target}.cmake",
         "-DCMAKE_BUILD_TYPE=RelWithDebInfo", *options],
        ["cmake", "--build", build, f"-j{os.cpu_count() or 1}", "--target", "tarvolin"],
    ]
    for step in steps:
        result = subprocess.run(step, **quiet)
        if result.returncode != 0:
            raise SystemExit(f"building {commit} for {target} failed: {result.stderr[-2000:]}")
    os.makedirs(out, exist_ok=True)
    built = os.path.join(build, "bin", "tarvolin.exe")
    subprocess.run([f"{TRIPLES[target]}-objcopy", "--strip-all", built, stripped + ".part"], check=True)
    shutil.copyfile(built, full + ".part")
    os.replace(full + ".part", full)
    os.replace(stripped + ".part", stripped)
    shutil.rmtree(work, ignore_errors=True)
    return stripped, full


def debian_package(cache, package, version):
    """The unpacked tree of `package`=`version`, fetched once."""
    folder = os.path.join(cache, "debian")
    tree = os.path.join(folder, f"{package}_{version}")
    if os.path.isdir(tree):
        return tree
    os.makedirs(folder, exist_ok=True)
    pattern = os.path.join(folder, f"{package}_{version.split(':')[-1]}_*.deb")
    if not glob.glob(pattern):
        subprocess.run(["apt-get", "download", "-q", f"{package}={version}"], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deb = glob.glob(pattern)[0]
    subprocess.run(["dpkg-deb", "-x", deb, tree + ".part"], check=True)
    os.replace(tree + ".part", tree)
    return tree
