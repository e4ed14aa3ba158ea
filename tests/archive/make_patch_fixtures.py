#!/usr/bin/env python3
"""Binary patches for the patch decoder's tests, made with Debian's zstd command
the way scripts/release-patches makes them, into the folder named on the
command line:

  old.bin, new.bin      two releases of a file (new.bin: edits, a moved block, growth)
  good.patch            old.bin -> new.bin
  truncated.patch       good.patch without its last 40 bytes
  trailing.patch        good.patch followed by stray bytes
  two_frames.patch      good.patch twice
  no_checksum.patch     old.bin -> new.bin without the frame's content checksum
  not_zstd.patch        text
  empty.patch           nothing
"""

import os
import random
import subprocess
import sys
import tempfile


def releases():
    rng = random.Random(24)
    words = [bytes(rng.randrange(256) for _ in range(rng.randrange(3, 40))) for _ in range(300)]
    old = b"".join(rng.choice(words) for _ in range(20000))
    new = bytearray(old)
    for at in range(1000, len(new), 37000):
        new[at:at + 16] = b"release two edit"
    new[5000:5000] = old[-30000:-10000]  # a block moved near the front
    new += b"appended in release two" * 500
    return old, bytes(new)


def patch(old_path, new_path, out_path, *extra):
    subprocess.run(["zstd", "-q", "-f", "--single-thread", "-19", "--long=27", *extra,
                    f"--patch-from={old_path}", new_path, "-o", out_path],
                   check=True, stderr=subprocess.DEVNULL)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    old, new = releases()
    put = lambda name, data: open(os.path.join(folder, name), "wb").write(data)
    put("old.bin", old)
    put("new.bin", new)
    good_path = os.path.join(folder, "good.patch")
    patch(os.path.join(folder, "old.bin"), os.path.join(folder, "new.bin"), good_path)
    patch(os.path.join(folder, "old.bin"), os.path.join(folder, "new.bin"),
          os.path.join(folder, "no_checksum.patch"), "--no-check")
    good = open(good_path, "rb").read()
    put("truncated.patch", good[:-40])
    put("trailing.patch", good + b"stray bytes after the frame")
    put("two_frames.patch", good + good)
    put("not_zstd.patch", b"this is no zstd frame at all, just text" * 10)
    put("empty.patch", b"")


if __name__ == "__main__":
    main(sys.argv[1])
