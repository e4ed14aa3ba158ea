#!/usr/bin/env python3
"""Makes list settings archives the way the publisher issues them: one entry
with a five-control-character name, encrypted with the program's password.
The password is read from the program's own scrambled key header."""
import os
import re
import subprocess
import sys
import tempfile

ENTRY = "\x01\x02\x1e\x04\x05"


def password(header):
    text = open(header, encoding="utf-8").read()
    body = re.search(r"kScrambled\[38\]\s*=\s*\{([^}]*)\}", text).group(1)
    scrambled = [int(x, 16) for x in re.findall(r"0x[0-9A-Fa-f]{2}", body)]
    return bytes(b ^ ((0x5A + 7 * i) & 0xFF) for i, b in enumerate(scrambled))


def make(out, name, content, key, entry=ENTRY):
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, entry), "wb") as f:
            f.write(content)
        target = os.path.join(out, name)
        if os.path.exists(target):
            os.remove(target)
        args = [b"zip", b"-q"] + ([b"-P", key] if key else []) + [target.encode(), entry.encode()]
        subprocess.run(args, cwd=work, check=True)


def main(header, out):
    os.makedirs(out, exist_ok=True)
    key = password(header)
    make(out, "counts.bin",
         b"<settings><fields><threadcount>0</threadcount><filethread>500</filethread>"
         b"<custom>hello</custom></fields></settings>", key)
    make(out, "inrange.bin",
         b"<settings><fields><threadcount>12abc</threadcount><filethread>7</filethread></fields></settings>", key)
    make(out, "wrongkey.bin", b"<settings><fields><custom>x</custom></fields></settings>", b"not the password")
    make(out, "notxml.bin", b"this is not xml", key)
    make(out, "zeroend.bin", b"<settings><fields><custom>cut</custom></fields></settings>\0garbage<", key)
    make(out, "otherentry.bin", b"<settings><fields><custom>x</custom></fields></settings>", key, entry="settings.xml")
    with open(os.path.join(out, "notzip.bin"), "wb") as f:
        f.write(b"PK\x03\x04 broken")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
