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
import types

import patch_cases
import update_cases

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


def start_nginx(work, data, throttled_port, open_port, config_port):
    """nginx with two servers on one root: one throttled per connection without
    bursts (a small send buffer, no sendfile, small output buffers), one open.
    Both log each request's connection serial and body bytes. A third answers
    as the program's configuration server and e-book service (the port the
    bench tree was built for): the configuration is the root's
    "bench-config.ini"."""
    conf = os.path.join(work, "nginx.conf")
    for d in ("logs", "tmp"):
        os.makedirs(os.path.join(work, d), exist_ok=True)
    user = "user root root;" if os.geteuid() == 0 else ""
    with open(conf, "w") as f:
        f.write(f"""
worker_processes 2;
daemon off;
{user}
pid {work}/nginx.pid;
error_log {work}/logs/error.log warn;
events {{ worker_connections 1024; }}
http {{
  log_format bench '$server_port $connection $body_bytes_sent $status "$request" $msec $request_time $http_user_agent';
  access_log {work}/logs/access.log bench;
  client_body_temp_path {work}/tmp;
  proxy_temp_path {work}/tmp;
  fastcgi_temp_path {work}/tmp;
  uwsgi_temp_path {work}/tmp;
  scgi_temp_path {work}/tmp;
  keepalive_requests 100000;
  server {{
    listen 127.0.0.1:{throttled_port} sndbuf=64k;
    root {data};
    sendfile off;
    output_buffers 2 32k;
    limit_rate {RATE};
  }}
  server {{ listen 127.0.0.1:{open_port}; root {data}; sendfile on; }}
  server {{
    listen 127.0.0.1:{config_port};
    root {data};
    access_log off;
    location = /DigitalLibrary/ajax.aspx {{
      default_type text/plain;
      if ($arg_action = CheckEbookList) {{ return 200 '{{"result":1}}'; }}
      try_files /bench-config.ini =404;
    }}
  }}
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


class ServerLog:
    """What nginx sent between two marks: body bytes and TCP connections."""

    def __init__(self, path):
        self.path = path
        self.offset = 0

    def mark(self):
        time.sleep(0.3)  # nginx writes its line when the request ends
        self.offset = os.path.getsize(self.path) if os.path.exists(self.path) else 0

    def since_mark(self):
        time.sleep(0.3)
        sent, connections, requests = 0, set(), 0
        with open(self.path) as f:
            f.seek(self.offset)
            for line in f:
                parts = line.split(" ", 4)
                if len(parts) < 4:
                    continue
                connections.add((parts[0], parts[1]))
                sent += int(parts[2])
                requests += 1
        return sent, len(connections), requests


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def ours_fields(build, *args, prefix=()):
    """bench_download's report: seconds, peak_mb, ok (and code for an update).
    `prefix`: what the run goes through (the round-trip case's namespace)."""
    run = os.path.join(build, "wine-run")
    exe = os.path.join(build, "bin", "bench_download.exe")
    out = subprocess.run([*prefix, run, exe, *args], capture_output=True, text=True)
    fields = dict(kv.split("=") for kv in out.stdout.split() if "=" in kv)
    if fields.get("ok") != "1":
        sys.exit(f"our run failed ({' '.join(args)}): {out.stdout} {out.stderr[-500:]}")
    return fields


def ours(build, *args, prefix=()):
    fields = ours_fields(build, *args, prefix=prefix)
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


def measure(log, files_bytes, run):
    """Runs `run` (returning seconds, or (seconds, peak)), and adds what the
    server sent for it: (seconds, peak, sent / file bytes, connections, requests)."""
    log.mark()
    result = run()
    seconds, peak = result if isinstance(result, tuple) else (result, 0.0)
    sent, connections, requests = log.since_mark()
    return seconds, peak, sent / files_bytes, connections, requests


def spread(values):
    return f"{min(values):.2f}-{max(values):.2f}" if len(values) > 1 else f"{values[0]:.2f}"


CHECK_LIST = '<update><file path="a.dll" ver="1.0"/></update>'
CHECK_TEMPLATE = '<update><file path="b.cfg" ver="1"/></update>'


def stop_wine_server(build):
    env = dict(os.environ, WINEPREFIX=os.path.join(build, "wineprefix"))
    subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def round_trip_case(build, work, data, rtt_ms, repeat):
    """The update check with nothing due, its server reached through a relay
    with `rtt_ms` round trips, all inside a network namespace of this run's
    own (its own loopback; the machine's is never touched). Returns the check's
    seconds per run (timed inside the program), the whole process's seconds
    (Wine start-up included), requests and connections per run."""
    os.makedirs(os.path.join(data, "check"), exist_ok=True)
    with open(os.path.join(data, "check", "tarvolin.xml"), "w") as f:
        f.write(CHECK_LIST)
    with open(os.path.join(data, "check", "main.xml"), "w") as f:
        f.write(CHECK_TEMPLATE)
    ns = f"tarvolin-bench-{os.getpid()}"
    subprocess.run(["ip", "netns", "add", ns], check=True)
    inside = ["ip", "netns", "exec", ns]
    procs = []
    try:
        subprocess.run(inside + ["ip", "link", "set", "lo", "up"], check=True)
        ndir = os.path.join(work, "nginx-rtt")
        for d in ("logs", "tmp"):
            os.makedirs(os.path.join(ndir, d), exist_ok=True)
        access = os.path.join(ndir, "logs", "access.log")
        if os.path.exists(access):
            os.remove(access)
        conf = os.path.join(ndir, "nginx.conf")
        user = "user root root;" if os.geteuid() == 0 else ""
        with open(conf, "w") as f:
            f.write(f"""
worker_processes 1;
daemon off;
{user}
pid {ndir}/nginx.pid;
error_log {ndir}/logs/error.log warn;
events {{ worker_connections 256; }}
http {{
  log_format bench '$server_port $connection $body_bytes_sent $status "$request" $msec $request_time $http_user_agent';
  access_log {access} bench;
  client_body_temp_path {ndir}/tmp;
  proxy_temp_path {ndir}/tmp;
  fastcgi_temp_path {ndir}/tmp;
  uwsgi_temp_path {ndir}/tmp;
  scgi_temp_path {ndir}/tmp;
  keepalive_requests 100000;
  server {{
    listen 127.0.0.1:8080;
    root {data};
    location = /DigitalLibrary/ajax.aspx {{ return 200 '{{"result":1}}'; }}
  }}
}}
""")
        procs.append(subprocess.Popen(inside + ["/usr/sbin/nginx", "-p", ndir, "-c", conf],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        relay = os.path.join(os.path.dirname(os.path.abspath(__file__)), "delay_proxy.py")
        procs.append(subprocess.Popen(inside + [sys.executable, relay, "8081", "8080", str(rtt_ms)]))
        for _ in range(100):
            probe = subprocess.run(inside + ["bash", "-c", "exec 3<>/dev/tcp/127.0.0.1/8081"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if probe.returncode == 0:
                break
            time.sleep(0.05)
        log = ServerLog(access)
        runs = []
        # Wine's sockets are made by its server: the prefix's server must be
        # one started inside the namespace, and must not outlive it.
        stop_wine_server(build)
        for i in range(repeat + 1):
            cw = os.path.join(work, "out", f"check{i}")
            shutil.rmtree(cw, ignore_errors=True)
            os.makedirs(cw)
            log.mark()
            start = time.monotonic()
            seconds, _ = ours(build, "check", "http://127.0.0.1:8081", windows_path(cw), prefix=inside)
            whole = time.monotonic() - start
            _, connections, requests = log.since_mark()
            if i > 0:  # the first run warms Wine's prefix up
                runs.append((seconds, whole, requests, connections))
        return runs
    finally:
        stop_wine_server(build)
        for p in procs:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
        subprocess.run(["ip", "netns", "del", ns], check=False)


def check_round_trips(build, work, data, args, rows, verdicts):
    """11. The update check with nothing due, through a relay that gives every
    connection a round trip, in a network namespace of the benchmark's own."""
    runs = round_trip_case(build, work, data, args.rtt_ms, args.repeat)
    rtt = args.rtt_ms / 1000.0
    for i, (seconds, whole, requests, connections) in enumerate(runs):
        rows.append(("11 check, nothing due" if i == 0 else "", f"{args.rtt_ms:.0f} ms round trip", seconds, "",
                     connections, requests,
                     f"{seconds / rtt:.1f} round trips in the check; "
                     f"process start to exit {whole:.2f} s = {whole / rtt:.1f}"))
    worst = max(r[0] for r in runs) / rtt
    verdicts.append((f"case 11: check = {spread([r[0] / rtt for r in runs])} round trips (target <= 4), "
                     f"{runs[0][2]} requests on {runs[0][3]} connection(s)", worst <= 4))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--target", default="i686", help="the bench tree's target (i686 or x86_64)")
    parser.add_argument("--port", type=int, required=True, help="the configuration server's port the tree was built for")
    parser.add_argument("--release-option", action="append", default=[],
                        help="the bench tree's cmake options, for the release builds of the patch cases")
    parser.add_argument("--check-only", action="store_true", help="only the round-trip case of the update check (11)")
    parser.add_argument("--repeat", type=int, default=3, help="runs of the round-trip case")
    parser.add_argument("--rtt-ms", type=float, default=100.0, help="round trip of the check case")
    parser.add_argument("--many-only", action="store_true", help="only the many-files cases (3 and 10)")
    parser.add_argument("--skip-large", action="store_true", help="skip the 512 MiB memory case")
    parser.add_argument("--patch-only", action="store_true", help="only the patch cases (6 to 9)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    work = os.path.join(build, "bench-work")
    data = os.path.join(work, "data")
    out = os.path.join(work, "out")
    os.makedirs(out, exist_ok=True)

    make_file(os.path.join(data, "big64.bin"), 64 * MIB)
    make_file(os.path.join(data, "check8.bin"), 8 * MIB)
    if not args.skip_large:
        make_file(os.path.join(data, "big512.bin"), 512 * MIB)
    rnd = random.Random(7)
    names = []
    many_bytes = 0
    for i in range(200):
        name = f"many/f{i:03d}.bin"
        size = rnd.randint(4 * 1024, 2 * MIB)
        make_file(os.path.join(data, name), size)
        names.append(name)
        many_bytes += size
    with open(os.path.join(work, "list.txt"), "w") as f:
        f.write("\n".join(names) + "\n")

    tp, op = free_port(), free_port()
    nginx_dir = os.path.join(work, "nginx")
    shutil.rmtree(os.path.join(nginx_dir, "logs"), ignore_errors=True)
    nginx = start_nginx(nginx_dir, data, tp, op, args.port)
    log = ServerLog(os.path.join(nginx_dir, "logs", "access.log"))
    slow, fast = f"http://127.0.0.1:{tp}", f"http://127.0.0.1:{op}"
    big = 64 * MIB
    rows = []
    verdicts = []

    def row(case, run, m, note=""):
        seconds, _, ratio, connections, requests = m
        rows.append((case, run, seconds, f"{ratio:.3f}", connections, requests, note))
        verdicts.append((f"{case.strip()} / {run}: server bytes / file bytes = {ratio:.3f}", ratio <= 1.01))

    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ctx = types.SimpleNamespace(
        root=root, cache=os.path.join(root, "build", "bench-cache"), target=args.target,
        release_options=args.release_option, say=lambda text: print(text, file=sys.stderr, flush=True),
        build=build, work=work, data=data, out=out, fast=fast, slow=slow, rate=RATE, log=log, windows_path=windows_path,
        ours=lambda *a: ours(build, *a), ours_fields=lambda *a: ours_fields(build, *a), measure=measure, row=row)
    try:
        # The throttle must not let bursts through, or the cases measure bursts.
        t_check = timed(["curl", "-s", "-o", out + "/check8.bin", slow + "/check8.bin"])
        verdicts.append((f"throttle: one connection fetches 8 MiB in {t_check:.2f} s (needs >= 4 s)", t_check >= 4.0))

        ours(build, "file", fast + "/many/f000.bin", windows_path(out + "/warm.bin"), "8")  # Wine prefix warm-up
        if args.patch_only:
            patch_cases.run_cases(ctx, rows, verdicts)
            return report(rows, verdicts)
        if args.check_only:
            check_round_trips(build, work, data, args, rows, verdicts)
            return report(rows, verdicts)

        if not args.many_only:
            # 1. 64 MiB on loopback: ours with 8 threads against curl's one stream
            m_ours = measure(log, big, lambda: ours(build, "file", fast + "/big64.bin", windows_path(out + "/o64f.bin"), "8"))
            loopback_seconds = m_ours[0]
            m_curl = measure(log, big, lambda: timed(["curl", "-s", "-o", out + "/curl64.bin", fast + "/big64.bin"]))
            ratio = m_curl[0] / m_ours[0]
            row("1 64 MiB loopback", "ours 8 threads", m_ours, f"{big / m_ours[0] / MIB:.0f} MiB/s")
            row("", "curl one stream", m_curl, f"ours/curl throughput = {ratio:.3f}")
            verdicts.append((f"case 1: ours/curl throughput = {ratio:.3f} (target >= 0.5)", ratio >= 0.5))

            # 2. 64 MiB at 2 MiB/s per connection, against aria2c with as many
            #    connections as our block plan opens at once (threads + 1)
            ideal, blocks, slots = ideal_schedule(big, 8, RATE)
            m_ours = measure(log, big, lambda: ours(build, "file", slow + "/big64.bin", windows_path(out + "/o64.bin"), "8"))
            shutil.rmtree(out + "/aria", ignore_errors=True)
            m_aria = measure(log, big, lambda: timed(["aria2c", "-q", f"-x{slots}", f"-s{slots}", "-k1M", "--allow-overwrite=true",
                                                      "-d", out + "/aria", "-o", "a.bin", slow + "/big64.bin"]))
            ratio = m_ours[0] / m_aria[0]
            row("2 64 MiB @2 MiB/s/conn", "ours 8 threads", m_ours, f"even split of {slots} connections: {big / (slots * RATE):.2f} s")
            row("", f"aria2c -x{slots} -s{slots} -k1M", m_aria, f"ours/aria2c = {ratio:.3f}")
            verdicts.append((f"case 2: ours/aria2c = {ratio:.3f} (target <= 1.2)", ratio <= 1.2))

            # 5. the digest check a downloaded file gets before it is parked, on the
            #    64 MiB file just fetched, against the download times of cases 1 and 2
            for kind in ("sha256", "md5"):
                seconds = ours(build, "digest", kind, windows_path(out + "/o64.bin"))[0]
                rows.append(("5 digest of 64 MiB" if kind == "sha256" else "", kind, seconds, "", "", "",
                             f"{100 * seconds / loopback_seconds:.0f} % of case 1, "
                             f"{100 * seconds / m_ours[0]:.1f} % of case 2"))

        # 3. 200 files through the scheduler
        lw = out + "/listwork"
        shutil.rmtree(lw, ignore_errors=True)
        os.makedirs(lw)
        m_ours = measure(log, many_bytes, lambda: ours(build, "list", slow, windows_path(work + "/list.txt"), windows_path(lw), "8", "8"))
        with open(os.path.join(work, "aria-input.txt"), "w") as f:
            for n in names:
                f.write(f"{slow}/{n}\n  out={n.replace('/', '_')}\n")
        shutil.rmtree(out + "/aria-many", ignore_errors=True)
        m_aria = measure(log, many_bytes, lambda: timed(["aria2c", "-q", "-i", os.path.join(work, "aria-input.txt"), "-j8", "-x8",
                                                         "-d", out + "/aria-many"]))
        ratio = m_ours[0] / m_aria[0]
        row("3 200 files @2 MiB/s/conn", "ours DownloadAll 8x8", m_ours, f"ours/aria2c = {ratio:.3f}")
        row("", "aria2c -i list -j8 -x8", m_aria)
        verdicts.append((f"case 3: ours/aria2c = {ratio:.3f} (target <= 1.0)", ratio <= 1.0))
        rows.append(("", "requests per file", m_ours[4] / len(names), "", "", "", "ours; aria2c makes one"))
        update_cases.many_files_update_rows(ctx, names, many_bytes, m_aria[0], rows, verdicts)

        if not args.many_only:
            # 4. memory does not grow with size
            if not args.skip_large:
                peak64 = ours(build, "file", fast + "/big64.bin", windows_path(out + "/p64.bin"), "8")[1]
                m_512 = measure(log, 512 * MIB, lambda: ours(build, "file", fast + "/big512.bin", windows_path(out + "/o512.bin"), "8"))
                growth = m_512[1] / peak64
                rows.append(("4 peak working set", "64 MiB file", peak64, "", "", "", "MiB"))
                row("", "512 MiB file", m_512, f"{m_512[1]:.1f} MiB; 512/64 = {growth:.2f}")
                verdicts.append((f"case 4: peak working set 512 MiB / 64 MiB = {growth:.2f} (target <= 1.1)", growth <= 1.1))

            patch_cases.run_cases(ctx, rows, verdicts)
            check_round_trips(build, work, data, args, rows, verdicts)
    finally:
        nginx.send_signal(signal.SIGTERM)
        nginx.wait(timeout=10)
        shutil.rmtree(out, ignore_errors=True)
    report(rows, verdicts)


def report(rows, verdicts):
    print(f"{'case':28} {'run':36} {'seconds':>8} {'sent/file':>9} {'conns':>5} {'reqs':>5}  note")
    for case, run, value, ratio, connections, requests, note in rows:
        value = f"{value:8.2f}" if isinstance(value, float) else f"{value:>8}"
        print(f"{case:28} {run:36} {value} {ratio:>9} {connections!s:>5} {requests!s:>5}  {note}")
    print()
    for text, good in verdicts:
        print(("met     " if good else "MISSED  ") + text)


if __name__ == "__main__":
    main()
