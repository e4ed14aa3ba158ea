#!/usr/bin/env python3
"""Packed forms for the scheduler tests: a zip holding one file."""
import os
import sys
import zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
with zipfile.ZipFile(os.path.join(out, "packed.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("packed.bin", b"unpacked content " * 1000)
