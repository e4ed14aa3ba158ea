#!/usr/bin/env python3
"""Runs the download benchmark and prints a table of times and ratios.

Peers: aria2c (segmented, like us) and curl (one stream), against Debian's
nginx, throttled per connection where the case says so."""
import argparse
import math
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import time

MIB = 1024 * 1024
RATE = 2 * MIB  # per-connection limit of the throttled server


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_file(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    rnd = random.Random(size)
    with open(path, "wb") as f:
        left = size
        chunk = rnd.randbytes(MIB)
        while left > 0:
            n = min(left, MIB)
            f.write(chunk[:n])
            chunk = chunk[1:] + chunk[:1]
            left -= n


def start_nginx(work, data, throttled_port, open_port):
    conf = os.path.join(work, "nginx.conf")
    for d in ("logs", "tmp"):
        os.makedirs(os.path.join(work, d), exist_ok=True)
    with open(conf, "w") as f:
        f.write(f"""
worker_processes 2;
daemon off;
pid {work}/nginx.pid;
error_log {work}/logs/error.log warn;
events {{ worker_connections 1024; }}
http {{
  access_log off;
  client_body_temp_path {work}/tmp;
  proxy_temp_path {work}/tmp;
  fastcgi_temp_path {work}/tmp;
  uwsgi_temp_path {work}/tmp;
  scgi_temp_path {work}/tmp;
  sendfile on;
  server {{ listen 127.0.0.1:{throttled_port}; root {data}; limit_rate {RATE}; }}
  server {{ listen 127.0.0.1:{open_port}; root {data}; }}
}}
""")
    proc = subprocess.Popen(["/usr/sbin/nginx", "-p", work, "-c", conf], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", open_port), timeout=0.1).close()
            socket.create_connection(("127.0.0.1", throttled_port), timeout=0.1).close()
            return proc
        except OSError:
            time.sleep(0.05)
    proc.kill()
    sys.exit("nginx did not start")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def ours(build, *args):
    run = os.path.join(build, "wine-run")
    exe = os.path.join(build, "bin", "bench_download.exe")
    out = subprocess.run([run, exe, *args], capture_output=True, text=True)
    fields = dict(kv.split("=") for kv in out.stdout.split())
    if fields.get("ok") != "1":
        sys.exit(f"our download failed ({' '.join(args)}): {out.stdout} {out.stderr[-500:]}")
    return float(fields["seconds"]), float(fields["peak_mb"])


def timed(cmd):
    start = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - start


def block_plan(size, threads):
    block = (size * 3 // 4 // threads) // 1024 * 1024
    block = max(block, 51200)
    count = math.ceil(size / block)
    lengths = [min(block, size - i * block) for i in range(count)]
    return lengths, threads + 1


def ideal_schedule(size, threads, rate):
    lengths, slots = block_plan(size, threads)
    ends = [0.0] * slots
    for length in lengths:
        i = ends.index(min(ends))
        ends[i] += length / rate
    return max(ends), len(lengths), slots


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--skip-large", action="store_true", help="skip the 512 MiB memory case")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    work = os.path.join(build, "bench-work")
    data = os.path.join(work, "data")
    out = os.path.join(work, "out")
    os.makedirs(out, exist_ok=True)

    make_file(os.path.join(data, "big64.bin"), 64 * MIB)
    if not args.skip_large:
        make_file(os.path.join(data, "big512.bin"), 512 * MIB)
    rnd = random.Random(7)
    names = []
    for i in range(200):
        name = f"many/f{i:03d}.bin"
        make_file(os.path.join(data, name), rnd.randint(4 * 1024, 2 * MIB))
        names.append(name)
    with open(os.path.join(work, "list.txt"), "w") as f:
        f.write("\n".join(names) + "\n")

    tp, op = free_port(), free_port()
    nginx = start_nginx(os.path.join(work, "nginx"), data, tp, op)
    slow, fast = f"http://127.0.0.1:{tp}", f"http://127.0.0.1:{op}"
    rows = []
    try:
        ours(build, "file", fast + "/many/f000.bin", windows_path(out + "/warm.bin"), "8")  # Wine prefix warm-up

        # 1. one 64 MiB file, 2 MiB/s per connection
        t_ours, _ = ours(build, "file", slow + "/big64.bin", windows_path(out + "/ours64.bin"), "8")
        ideal, blocks, slots = ideal_schedule(64 * MIB, 8, RATE)
        shutil.rmtree(out + "/aria", ignore_errors=True)
        t_a8 = timed(["aria2c", "-q", "-x8", "-s8", "-k1M", "--allow-overwrite=true", "-d", out + "/aria", "-o", "a8.bin", slow + "/big64.bin"])
        t_a9 = timed(["aria2c", "-q", "-x9", "-s9", "-k1M", "--allow-overwrite=true", "-d", out + "/aria", "-o", "a9.bin", slow + "/big64.bin"])
        rows.append(("1 64 MiB @2 MiB/s/conn", "ours 8 threads", t_ours, ""))
        rows.append(("", f"ideal schedule ({blocks} blocks, {slots} at once)", ideal, f"ours/ideal = {t_ours / ideal:.3f} (target <= 1.05)"))
        rows.append(("", "aria2c -x8 -s8 -k1M", t_a8, f"ours/aria2c-x8 = {t_ours / t_a8:.3f}"))
        rows.append(("", "aria2c -x9 -s9 -k1M", t_a9, f"ours/aria2c-x9 = {t_ours / t_a9:.3f}"))

        # 2. the same file unthrottled
        t_ours2, peak64 = ours(build, "file", fast + "/big64.bin", windows_path(out + "/ours64f.bin"), "8")
        t_curl = timed(["curl", "-s", "-o", out + "/curl64.bin", fast + "/big64.bin"])
        size = 64 * MIB
        rows.append(("2 64 MiB loopback", "ours 8 threads", t_ours2, f"{size / t_ours2 / MIB:.0f} MiB/s"))
        rows.append(("", "curl one stream", t_curl, f"ours/curl throughput = {t_curl / t_ours2:.3f} (target >= 0.5)"))

        # 3. 200 files through the scheduler
        lw = out + "/listwork"
        shutil.rmtree(lw, ignore_errors=True)
        os.makedirs(lw)
        t_list, _ = ours(build, "list", slow, windows_path(work + "/list.txt"), windows_path(lw), "8", "8")
        with open(os.path.join(work, "aria-input.txt"), "w") as f:
            for n in names:
                f.write(f"{slow}/{n}\n  out={n.replace('/', '_')}\n")
        shutil.rmtree(out + "/aria-many", ignore_errors=True)
        t_alist = timed(["aria2c", "-q", "-i", os.path.join(work, "aria-input.txt"), "-j8", "-x8", "-d", out + "/aria-many"])
        rows.append(("3 200 files @2 MiB/s/conn", "ours DownloadAll 8x8", t_list, f"ours/aria2c = {t_list / t_alist:.3f} (target <= 1.1)"))
        rows.append(("", "aria2c -i list -j8 -x8", t_alist, ""))

        # 4. memory does not grow with size
        if not args.skip_large:
            _, peak512 = ours(build, "file", fast + "/big512.bin", windows_path(out + "/ours512.bin"), "8")
            rows.append(("4 peak working set", "64 MiB file", peak64, "MiB"))
            rows.append(("", "512 MiB file", peak512, f"MiB; 512/64 = {peak512 / peak64:.2f} (target ~1)"))
    finally:
        nginx.send_signal(signal.SIGTERM)
        nginx.wait(timeout=10)
        shutil.rmtree(out, ignore_errors=True)

    print(f"{'case':28} {'run':44} {'value':>9}  note")
    for case, run, value, note in rows:
        print(f"{case:28} {run:44} {value:9.2f}  {note}")


if __name__ == "__main__":
    main()
