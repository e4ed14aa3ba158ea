"""Case 10 of the benchmark: the 200 small files of case 3 as a silent update
of the real program, start to exit, against aria2c fetching the same files."""
import os
import shutil

import patch_cases


def many_files_update_rows(ctx, names, many_bytes, aria_seconds, rows, verdicts, target=1.3):
    """The book's list names every file of case 3 at version 1 and nothing is
    installed: every file is due, and the program fetches, checks and copies
    all of them."""
    with open(os.path.join(ctx.data, "many-list.xml"), "w") as f:
        f.write("<update>" + "".join(f'<file path="{n}" ver="1"/>' for n in names) + "</update>")
    os.makedirs(os.path.join(ctx.data, "patchrel"), exist_ok=True)
    patch_cases.write_config(ctx.data, f"{ctx.slow}/many-list.xml", ctx.fast)
    program = ctx.windows_path(os.path.join(ctx.build, "bin", "tarvolin.exe"))
    book = patch_cases.Book(ctx.build)

    def run():
        shutil.rmtree(book.folder, ignore_errors=True)
        fields = ctx.ours_fields("update", program)
        if int(fields["code"]) != len(names):
            raise SystemExit(f"the 200-file update ended with {fields['code']}, not {len(names)}:\n{book.log()[-3000:]}")
        return float(fields["seconds"]), 0.0, fields

    stages = []

    def timed_run():
        seconds, peak, fields = run()
        stages.append((float(fields["download_s"]), float(fields["copy_s"])))
        return seconds, peak

    m = ctx.measure(ctx.log, many_bytes, timed_run)
    for name in names:
        with open(os.path.join(book.folder, name), "rb") as got, open(os.path.join(ctx.data, name), "rb") as want:
            if got.read() != want.read():
                raise SystemExit(f"case 10: {name} was not installed as published")
    ratio = m[0] / aria_seconds
    download, copy = stages[-1]
    ctx.row("10 200 files, silent update", "the program, start to exit", m,
            f"ours/aria2c = {ratio:.3f}; download stage {download:.2f} s "
            f"({download / aria_seconds:.3f} of aria2c), copy stage {copy:.2f} s")
    rows.append(("", "requests per file", m[4] / len(names), "", "", "", "aria2c makes one"))
    verdicts.append((f"case 10: silent update of 200 files / aria2c = {ratio:.3f} (target <= {target})", ratio <= target))
