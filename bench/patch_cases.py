"""The patch cases of the benchmark, on two releases of real programs:

6. patch bytes / packed whole file bytes, for each file pair;
7. the program's silent update at 2 MiB/s per connection, start to exit, with
   the list's <patch> offers against the same list without them;
8. applying a patch against downloading the packed whole file at 2 MiB/s;
9. the peak working set while a ~64 MiB file is patched, against the cap.

Patches are made as the publisher makes them (scripts/release-patches)."""
import hashlib
import importlib.machinery
import importlib.util
import os
import re
import shutil
import zipfile

import releases

MIB = 1024 * 1024
MEMORY_CAP_MIB = 256  # kPatchMemoryCap
POINT_RELEASE_TARGET = 0.15
UPDATE_TARGET = 0.25
APPLY_TARGET = 0.1
REPEATS = 3  # runs of each kind in case 7
# The book of the program's built-in configuration (resources/book/tarvolin.ini.in).
BOOK_NAME = "4F1C2B7A9D3E48A6B05C7E21D9F8A3B4"
BOOK_ID = "20831"

# Our own releases: a point release (two files changed, five lines) and a
# feature release 24 commits earlier, both to the checkout's program
# (its last commit that changed what the program is built from).
OWN_POINT_BASE = "0c3ba30"
OWN_FEATURE_BASE = "e2a2825"
# Debian's PE32+ programs (EFI applications, "for MS Windows" to `file`):
# bookworm-security's build and the point release that replaced it.
DEBIAN_PAIRS = [
    ("grub-efi-amd64-signed", "1+2.06+13+deb12u1", "1+2.06+13+deb12u2", "usr/lib/grub/x86_64-efi-signed"),
    ("systemd-boot-efi", "252.38-1~deb12u1", "252.39-1~deb12u2", "usr/lib/systemd/boot/efi"),
]


def load_script(root, name):
    path = os.path.join(root, "scripts", name)
    loader = importlib.machinery.SourceFileLoader(name.replace("-", "_"), path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def is_pe(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ" or len(head) < 0x40:
        return False
    at = int.from_bytes(head[0x3C:0x40], "little")
    return head[at:at + 4] == b"PE\0\0"


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(MIB), b""):
            digest.update(block)
    return digest.hexdigest()


class Pair:
    """One file in two releases."""

    def __init__(self, name, old, new, label, point_release):
        self.name, self.old, self.new, self.label, self.point_release = name, old, new, label, point_release


def collect_pairs(root, cache, target, options, say):
    """Each file pair, and the ~64 MiB pair of the memory case."""
    head = releases.last_program_commit(root)
    build = lambda commit, t=target: releases.build_release(root, os.path.join(cache, "releases"), t, commit, options, say)
    new_stripped, _ = build(head)
    pairs = []
    for base, point in ((OWN_POINT_BASE, True), (OWN_FEATURE_BASE, False)):
        commit = releases.commit_id(root, base)
        old_stripped, _ = build(commit)
        kind = "point release" if point else "feature release"
        pairs.append(Pair(f"tarvolin-{base}.exe", old_stripped, new_stripped,
                          f"ours {target} {base} -> {head[:7]} ({kind}, {releases.commit_date(root, commit)[:16]} -> "
                          f"{releases.commit_date(root, head)[:16]})", point))
    for package, old_version, new_version, folder in DEBIAN_PAIRS:
        old_tree = os.path.join(releases.debian_package(cache, package, old_version), folder)
        new_tree = os.path.join(releases.debian_package(cache, package, new_version), folder)
        for name in sorted(os.listdir(new_tree)):
            old, new = os.path.join(old_tree, name), os.path.join(new_tree, name)
            if os.path.isfile(old) and is_pe(new):
                pairs.append(Pair(name, old, new, f"{package} {old_version} -> {new_version} (point release)", True))
    # ~64 MiB: the unstripped x86 and x64 programs of one commit, one after the other.
    big_old = os.path.join(cache, "big", f"{OWN_FEATURE_BASE}-both.exe")
    big_new = os.path.join(cache, "big", f"{head[:12]}-both.exe")
    for commit, path in ((releases.commit_id(root, OWN_FEATURE_BASE), big_old), (head, big_new)):
        if os.path.exists(path):
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path + ".part", "wb") as out:
            for t in ("i686", "x86_64"):
                with open(build(commit, t)[1], "rb") as f:
                    shutil.copyfileobj(f, out)
        os.replace(path + ".part", path)
    big = Pair("tarvolin-unstripped-x86+x64.exe", big_old, big_new,
               f"ours unstripped x86 and x64 builds concatenated, {OWN_FEATURE_BASE} -> {head[:7]}", False)
    return pairs, big


class Publisher:
    """Patches and packed files as the publisher makes them, cached by content."""

    def __init__(self, root, cache):
        self.patch_tool = load_script(root, "release-patches")
        self.folder = os.path.join(cache, "patches")
        os.makedirs(self.folder, exist_ok=True)

    def patch(self, pair):
        old_sha, new_sha = sha256_of(pair.old), sha256_of(pair.new)
        path = os.path.join(self.folder, f"{old_sha[:16]}-{new_sha[:16]}-{self.patch_tool.DEFAULT_LEVEL}.zst")
        if not os.path.exists(path):
            with open(pair.old, "rb") as f:
                old_bytes = f.read()
            with open(pair.new, "rb") as f:
                new_bytes = f.read()
            self.patch_tool.make_patch(old_bytes, new_bytes, path + ".part", self.patch_tool.DEFAULT_LEVEL)
            os.replace(path + ".part", path)
        return path

    def packed(self, path, name, out):
        """`path` packed as the list serves it: "<name>._.zip" with one entry."""
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
            z.write(path, name)
        return out


def size_rows(pairs, publisher, scratch, rows, verdicts):
    """Case 6."""
    os.makedirs(scratch, exist_ok=True)
    first = True
    for pair in pairs:
        if sha256_of(pair.old) == sha256_of(pair.new):
            rows.append(("6 patch / packed file" if first else "", pair.name, "same", "", "", "",
                         f"unchanged between the releases; {pair.label}"))
            first = False
            continue
        patch = os.path.getsize(publisher.patch(pair))
        packed = os.path.getsize(publisher.packed(pair.new, pair.name, os.path.join(scratch, pair.name + "._.zip")))
        ratio = patch / packed
        rows.append(("6 patch / packed file" if first else "", pair.name, f"{ratio:.4f}", "", "", "",
                     f"{patch:,} / {packed:,} bytes (file {os.path.getsize(pair.old):,} -> "
                     f"{os.path.getsize(pair.new):,}); {pair.label}"))
        first = False
        if pair.point_release:
            verdicts.append((f"case 6: {pair.name} patch / packed = {ratio:.4f} (point release, target <= "
                             f"{POINT_RELEASE_TARGET})", ratio <= POINT_RELEASE_TARGET))


class Book:
    """The program's book folder in the bench tree's Wine prefix."""

    def __init__(self, build):
        self.folder = os.path.join(build, "wineprefix", "drive_c", "Brennoak", "Vosmir", BOOK_NAME)

    def log(self):
        path = os.path.join(self.folder, "inst.log")
        if not os.path.exists(path):
            return ""
        with open(path, "rb") as f:
            data = f.read()
        # The log is UTF-16 or the ANSI code page, depending on what wrote it first.
        return data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("cp1252", "replace")


def publish_update(pairs, publisher, data, root):
    """Release 1 and release 2 of the update set, packed, with the patched and
    the whole-file list of release 2. Returns {name: (old, new)}."""
    base = os.path.join(data, "patchrel")
    shutil.rmtree(base, ignore_errors=True)
    r1, r2 = os.path.join(base, "r1"), os.path.join(base, "r2")
    os.makedirs(r1)
    os.makedirs(r2)
    files = {}
    for pair in pairs:
        if sha256_of(pair.old) == sha256_of(pair.new):
            continue
        files[pair.name] = pair
        publisher.packed(pair.old, pair.name, os.path.join(r1, pair.name + "._.zip"))
        publisher.packed(pair.new, pair.name, os.path.join(r2, pair.name + "._.zip"))
        # The patch the publisher's tool would make again, from the cache.
        digest = sha256_of(pair.old)[:16]
        shutil.copyfile(publisher.patch(pair), os.path.join(r2, f"{pair.name}.from-{digest}.zst"))
    entries = lambda version: "".join(f'<file path="{name}" ver="{version}"/>' for name in files)
    with open(os.path.join(r1, "list.xml"), "w") as f:
        f.write(f"<update>{entries(1)}</update>")
    tool = publisher.patch_tool
    signing = tool.signing_tool()
    # The same element as the tool writes, with the cached patch in place of a new run of zstd.
    tool_make_patch = tool.make_patch
    tool.make_patch = lambda old_bytes, new_bytes, patch_path, level: None
    try:
        patched = tool.add_patches(f"<update>{entries(2)}</update>", r1, r2, r2, tool.DEFAULT_LEVEL, signing,
                                   report=lambda line: None)
    finally:
        tool.make_patch = tool_make_patch
    with open(os.path.join(r2, "list-patched.xml"), "w") as f:
        f.write(patched)
    with open(os.path.join(r2, "list-whole.xml"), "w") as f:
        f.write(tool.PATCH_ELEMENT.sub("", patched))
    if patched.count("<patch ") != len(files):
        raise SystemExit(f"the patch tool offered {patched.count('<patch ')} patches for {len(files)} changed files")
    return files


def write_config(data, list_url, open_url):
    ini = ("[Tarvolin]\r\nLog=inst.log\r\nShowWhenCheck=false\r\nQuickCheck=false\r\n"
           f"[UPDATEINFO]\r\nListURL={list_url}\r\nMainListURL={open_url}/patchrel/template.xml\r\n"
           f"[APPLICATION]\r\nApplication=VosmirReader.exe\r\nName={BOOK_NAME}\r\nAgentName=zu\r\nEBookID={BOOK_ID}\r\n")
    with open(os.path.join(data, "bench-config.ini"), "w", newline="") as f:
        f.write(ini)
    with open(os.path.join(data, "patchrel", "template.xml"), "w") as f:
        f.write("<update></update>")


def check_update(book, files, mode, log, sent_per_packed):
    """The run took the path it was meant to, and installed release 2."""
    applied = re.findall(r"patch applied\[([^\]]+)\]", log)
    for name, pair in files.items():
        with open(os.path.join(book.folder, name), "rb") as f, open(pair.new, "rb") as g:
            if f.read() != g.read():
                raise SystemExit(f"case 7 ({mode}): {name} is not release 2 after the update")
    if mode == "patched" and sorted(applied) != sorted(files):
        raise SystemExit(f"case 7: the patched run applied {applied}, not every file of {sorted(files)}:\n{log}")
    if mode == "whole" and (applied or sent_per_packed < 1.0):
        raise SystemExit(f"case 7: the whole-file run applied {applied} and the server sent "
                         f"{sent_per_packed:.3f} of the packed files")


def update_rows(ctx, pairs, publisher, rows, verdicts):
    """Case 7: the real program, patched list against whole-file list."""
    build, data, work = ctx.build, ctx.data, ctx.work
    files = publish_update(pairs, publisher, data, ctx.root)
    program = ctx.windows_path(os.path.join(build, "bin", "tarvolin.exe"))
    book = Book(build)
    snapshot = os.path.join(work, "book-r1")

    stages = {"whole": [], "patched": []}

    def run(list_url, expect_code, mode=None):
        write_config(data, list_url, ctx.fast)
        fields = ctx.ours_fields("update", program)
        if mode:
            stages[mode].append((float(fields["download_s"]), float(fields["copy_s"])))
        if int(fields["code"]) != expect_code:
            raise SystemExit(f"the update from {list_url} ended with {fields['code']}, not {expect_code}:\n"
                             + book.log()[-3000:])
        return float(fields["seconds"])

    def restore():
        shutil.rmtree(book.folder, ignore_errors=True)
        shutil.copytree(snapshot, book.folder)

    shutil.rmtree(book.folder, ignore_errors=True)
    run(f"{ctx.fast}/patchrel/r1/list.xml", len(files))  # release 1, installed (not timed)
    shutil.rmtree(snapshot, ignore_errors=True)
    shutil.copytree(book.folder, snapshot)
    packed_bytes = sum(os.path.getsize(os.path.join(data, "patchrel", "r2", n + "._.zip")) for n in files)
    patch_bytes = sum(os.path.getsize(publisher.patch(p)) for p in files.values())

    # Whole and patched in turns, the median of each: the machine may be busy.
    runs = {"whole": [], "patched": []}
    for _ in range(REPEATS):
        for mode in runs:
            restore()
            log_before = len(book.log())
            measured = ctx.measure(ctx.log, packed_bytes,
                                   lambda: run(f"{ctx.slow}/patchrel/r2/list-{mode}.xml", len(files), mode))
            runs[mode].append(measured)
            check_update(book, files, mode, book.log()[log_before:], measured[2])
    results = {mode: sorted(found)[len(found) // 2] for mode, found in runs.items()}
    # The same program with nothing due: what a run costs besides its transfers.
    nothing = sorted(ctx.measure(ctx.log, packed_bytes, lambda: run(f"{ctx.slow}/patchrel/r2/list-patched.xml", 0))
                     for _ in range(REPEATS))[REPEATS // 2]
    ratio = results["patched"][0] / results["whole"][0]
    fixed = nothing[0]
    ctx.row("7 update @2 MiB/s/conn", f"whole files ({len(files)} changed), median of {REPEATS}", results["whole"],
            f"{packed_bytes:,} packed bytes")
    ctx.row("", f"patches ({patch_bytes:,} bytes)", results["patched"], f"patched/whole = {ratio:.3f}")
    rows.append(("", "nothing due (same program, same list)", f"{fixed:.2f}", "", "", "",
                 f"beyond it: patched/whole = "
                 f"{(results['patched'][0] - fixed) / max(results['whole'][0] - fixed, 1e-9):.3f}"))
    download = {mode: sorted(found)[len(found) // 2][0] for mode, found in stages.items()}
    copy = {mode: sorted(found, key=lambda stage: stage[1])[len(found) // 2][1] for mode, found in stages.items()}
    rows.append(("", "download stage: whole / patches", f"{download['whole']:.2f}", "", "", "",
                 f"{download['patched']:.2f} s with patches (fetch, apply, verify); patched/whole = "
                 f"{download['patched'] / max(download['whole'], 1e-9):.3f}; the program's UpdateDownload to "
                 f"UpdateDownloadOk, medians"))
    rows.append(("", "copy stage: whole / patches", f"{copy['whole']:.2f}", "", "", "",
                 f"{copy['patched']:.2f} s with patches; UpdateCopy to UpdateCopyOk, medians"))
    verdicts.append((f"case 7: update time patched/whole = {ratio:.3f} (target <= {UPDATE_TARGET})",
                     ratio <= UPDATE_TARGET))


def apply_rows(ctx, pair, big, publisher, rows, verdicts):
    """Cases 8 and 9: apply time against the whole file's download at 2 MiB/s,
    and the peak working set while the ~64 MiB file is patched."""
    scratch = os.path.join(ctx.data, "patchapply")
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    first = True
    for p in (pair, big):
        packed = publisher.packed(p.new, p.name, os.path.join(scratch, p.name + "._.zip"))
        patch = publisher.patch(p)
        result = os.path.join(ctx.out, p.name + ".applied")
        fields = ctx.ours_fields("patch", ctx.windows_path(p.old), ctx.windows_path(patch), ctx.windows_path(result))
        if sha256_of(result) != sha256_of(p.new):
            raise SystemExit(f"case 8: the patched {p.name} is not the new file")
        apply_seconds, peak = float(fields["seconds"]), float(fields["peak_mb"])
        size = os.path.getsize(packed)
        download = ctx.measure(ctx.log, size, lambda: ctx.ours("file", f"{ctx.slow}/patchapply/{p.name}._.zip",
                                                               ctx.windows_path(ctx.out + "/whole.bin"), "8"))
        ratio = apply_seconds / download[0]
        rows.append(("8 apply / whole download" if first else "", f"apply {p.name}", f"{apply_seconds:.3f}", "", "", "",
                     f"{os.path.getsize(p.new) / MIB:.1f} MiB file, {os.path.getsize(patch):,} bytes of patch"))
        one_connection = size / ctx.rate
        ctx.row("", f"download {size / MIB:.1f} MiB packed, 8 threads", download,
                f"apply/download = {ratio:.3f}; over one connection it would take {one_connection:.2f} s, "
                f"apply/that = {apply_seconds / one_connection:.3f}")
        verdicts.append((f"case 8: {p.name} apply/download = {ratio:.3f} (target <= {APPLY_TARGET})",
                         ratio <= APPLY_TARGET))
        first = False
        if p is big:
            rows.append(("9 peak working set", f"patching {os.path.getsize(p.new) / MIB:.1f} MiB", f"{peak:.1f}",
                         "", "", "", f"MiB; old {os.path.getsize(p.old) / MIB:.1f} MiB + window; cap "
                                     f"{MEMORY_CAP_MIB} MiB; {p.label}"))
            verdicts.append((f"case 9: peak working set {peak:.1f} MiB while patching a "
                             f"{os.path.getsize(p.new) / MIB:.1f} MiB file (cap {MEMORY_CAP_MIB} MiB)",
                             peak <= MEMORY_CAP_MIB))


def run_cases(ctx, rows, verdicts):
    pairs, big = collect_pairs(ctx.root, ctx.cache, ctx.target, ctx.release_options, ctx.say)
    publisher = Publisher(ctx.root, ctx.cache)
    size_rows(pairs + [big], publisher, os.path.join(ctx.work, "packed"), rows, verdicts)
    update_rows(ctx, pairs, publisher, rows, verdicts)
    largest = max((p for p in pairs if not p.name.startswith("tarvolin")), key=lambda p: os.path.getsize(p.new))
    apply_rows(ctx, largest, big, publisher, rows, verdicts)
