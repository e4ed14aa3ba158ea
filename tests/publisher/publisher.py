#!/usr/bin/env python3
"""A stand-in for the publisher's web server, for tests.

It serves a document root over HTTP/1.1 on 127.0.0.1 with byte ranges, and can be
told to misbehave the way real networks do: 404, ignoring Range, dropping the
connection after N body bytes, stalling, a wrong or missing Content-Length, and a
per-connection rate limit. Beside it runs Debian's nginx on the same document root,
so a client is also proven against a real server.

Sub-commands:
  ports  --seed TEXT                 print two free loopback ports derived from TEXT
  start  --root R --state S --port P --nginx-port Q [--nginx PATH]
                                     start both servers in the background, wait until
                                     they answer, return
  stop   --state S                   stop both servers (always succeeds)
  test-key --name N                  print the public key (hex) of the named test key
  serve  ...                         the background process itself (used by start)

Control endpoints (never served as files, never logged):
  PUT    /__control/files/<path>     store the body as root/<path>
  DELETE /__control/files/<path>
  POST   /__control/faults           {"path", "fault", "bytes", "seconds", "rate", "times",
                                     "range"}
  POST   /__control/post_replies     {"path", "status", "body"}
  POST   /__control/reset            clear faults, POST replies and the request log
  POST   /__control/sign             {"path", "key"}: signs root/<path> into <path>.sig
                                     with the named test key (scripts/release-signing)
  POST   /__control/digests          {"list", "release"}: fills the sha256 attributes
                                     of root/<list> from the folder root/<release>
  POST   /__control/patches          {"list", "old", "new"}: adds patches from the folder
                                     root/<old> to the folder root/<new> to root/<list>
                                     (scripts/release-patches)
  GET    /__control/log              the request log as a JSON array: "method", "path"
                                     (with query), "range", "user_agent", "status",
                                     "faults" applied, "sent" body bytes so far,
                                     "length" of the body the head announced,
                                     "connection" (a serial number per TCP
                                     connection: requests that share one were
                                     served on a kept-alive socket), and "body"
                                     for POST

Generated bodies: a GET or HEAD of "/generated/<size>/<name>" that names no stored
file is answered with <size> bytes made on the fly (generated_byte() below), so a
test can fetch a file of several GiB that is never stored.

Faults: a rule applies to the request path (without its query, unless the rule's
path has a "?", then to path and query; "*" matches every path). Every matching
rule of a different kind applies at once; "times" counts the requests a rule still
applies to (-1 or absent: all); "range", when given, limits a rule to requests whose
Range header is exactly that text (so a test can slow one block of a download
whatever order its connections arrive in). HEAD requests are affected by, and use up, only the
rules that change the head ("404", "ignore_range", "wrong_length", "no_length").
"""

import argparse
import ctypes
import importlib.machinery
import importlib.util
import hashlib
import http.server
import json
import os
import shutil
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request

CONTROL_PREFIX = "/__control/"
FAULT_KINDS = ("404", "ignore_range", "drop_after", "stall", "wrong_length", "no_length", "rate",
               "refuse_head", "wrong_range", "corrupt")
HEAD_FAULTS = ("404", "ignore_range", "wrong_length", "no_length", "refuse_head")
# "refuse_head" answers HEAD with 405; "wrong_range" answers a ranged GET with the
# range moved on by "bytes" (default 1000), named as such in Content-Range.
# "corrupt" flips every bit of the first body byte: damage in transit that no
# length or range check can see.
GENERATED_PREFIX = "/generated/"
# A prime period, so a block joined at the wrong offset never lines up again.
GENERATED_PERIOD = 1048573
PIECE = 64 * 1024
# Extra bytes announced by "wrong_length" when the rule gives none.
DEFAULT_EXTRA_LENGTH = 1000
# The background server ends by itself after this long without a request, in case
# a test run was killed before its clean-up could stop it.
IDLE_EXIT_SECONDS = 3 * 3600
# Ports are picked below the kernel's ephemeral range, so client sockets never take them.
PORT_FIRST = 20000
PORT_LAST = 32000


# The publisher's own signing tool signs and fills digests here too, so the tests
# prove it and the updater agree.
SIGNING_TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "release-signing")


PATCH_TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "release-patches")


def patch_tool():
    loader = importlib.machinery.SourceFileLoader("release_patches", PATCH_TOOL)
    description = importlib.util.spec_from_loader("release_patches", loader)
    module = importlib.util.module_from_spec(description)
    loader.exec_module(module)
    return module


def signing_tool():
    loader = importlib.machinery.SourceFileLoader("release_signing", SIGNING_TOOL)
    description = importlib.util.spec_from_loader("release_signing", loader)
    module = importlib.util.module_from_spec(description)
    loader.exec_module(module)
    return module


def test_signing_key(name):
    """A fixed key per name (never a real publisher's): tests sign with "test" and "other"."""
    return signing_tool().private_key_from_secret("tarvolin test signing key: " + name)


# ---------------------------------------------------------------------------
# Decisions, free of sockets


def parse_range(header, size):
    """Returns None to serve the whole file, "unsatisfiable", or (first, last)."""
    if not header:
        return None
    unit, sep, range_text = header.strip().partition("=")
    if not sep or unit.strip().lower() != "bytes" or "," in range_text:
        return None
    first_text, dash, last_text = range_text.strip().partition("-")
    first_text, last_text = first_text.strip(), last_text.strip()
    if not dash or not (first_text.isdigit() or first_text == "") or not (last_text.isdigit() or last_text == ""):
        return None
    if first_text == "":
        if last_text == "":
            return None
        suffix = int(last_text)
        if suffix == 0 or size == 0:
            return "unsatisfiable"
        return (max(0, size - suffix), size - 1)
    first = int(first_text)
    if last_text != "" and int(last_text) < first:
        return None
    if first >= size:
        return "unsatisfiable"
    last = size - 1 if last_text == "" else min(int(last_text), size - 1)
    return (first, last)


def generated_pattern():
    """GENERATED_PERIOD bytes of a plain linear congruential sequence, simple
    enough for a test to make the same bytes without any library."""
    out = bytearray(GENERATED_PERIOD)
    x = 1
    for i in range(GENERATED_PERIOD):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = (x >> 16) & 0xFF
    return bytes(out)


_PATTERN = None


def generated_byte_source():
    """The period twice over, so any offset can be sliced in one piece."""
    global _PATTERN
    if _PATTERN is None:
        one = generated_pattern()
        _PATTERN = one + one
    return _PATTERN


def generated_size(url_path):
    """The size named by a "/generated/<size>/<name>" path, or None."""
    path = urllib.parse.unquote(url_path.split("?", 1)[0])
    if not path.startswith(GENERATED_PREFIX):
        return None
    size_text = path[len(GENERATED_PREFIX):].split("/", 1)[0]
    return int(size_text) if size_text.isdigit() else None


class _GeneratedSource:
    def __init__(self, offset):
        self.offset = offset
        self.pattern = generated_byte_source()

    def seek(self, offset):
        self.offset = offset

    def read(self, count):
        start = self.offset % GENERATED_PERIOD
        count = min(count, GENERATED_PERIOD)
        self.offset += count
        return self.pattern[start:start + count]


def rule_matches(rule_path, request_target):
    if rule_path == "*":
        return True
    if "?" in rule_path:
        return urllib.parse.unquote(rule_path) == urllib.parse.unquote(request_target)
    return urllib.parse.unquote(rule_path) == urllib.parse.unquote(request_target.split("?", 1)[0])


def normalise_rule_path(path):
    if path == "*":
        return path
    return path if path.startswith("/") else "/" + path


def validate_fault(rule):
    if not isinstance(rule, dict):
        return "the body must be a JSON object"
    if not isinstance(rule.get("path"), str) or not rule["path"]:
        return "\"path\" must be a non-empty string"
    if rule.get("fault") not in FAULT_KINDS:
        return "\"fault\" must be one of " + ", ".join(FAULT_KINDS)
    for key in ("bytes", "seconds", "rate", "times"):
        if key in rule and (isinstance(rule[key], bool) or not isinstance(rule[key], (int, float))):
            return "\"%s\" must be a number" % key
    if "range" in rule and not isinstance(rule["range"], str):
        return "\"range\" must be a string"
    if rule["fault"] == "drop_after" and not isinstance(rule.get("bytes"), int):
        return "\"drop_after\" needs \"bytes\""
    if rule["fault"] == "stall" and not isinstance(rule.get("seconds"), (int, float)):
        return "\"stall\" needs \"seconds\""
    if rule["fault"] == "rate" and not (isinstance(rule.get("rate"), (int, float)) and rule["rate"] > 0):
        return "\"rate\" needs a positive \"rate\""
    return None


def safe_file_path(root, url_path):
    """Maps a URL path onto a file under root; None when it would leave root."""
    relative = urllib.parse.unquote(url_path.split("?", 1)[0]).lstrip("/")
    if not relative or "\0" in relative:
        return None
    full = os.path.realpath(os.path.join(root, relative))
    root_real = os.path.realpath(root)
    if full != root_real and not full.startswith(root_real + os.sep):
        return None
    return full


# ---------------------------------------------------------------------------
# Shared state of the running server


class PublisherState:
    def __init__(self, root):
        self.root = root
        self.guard = threading.Lock()
        self.faults = []
        self.post_replies = []
        self.log = []
        self.last_request = time.monotonic()

    def reset(self):
        with self.guard:
            self.faults.clear()
            self.post_replies.clear()
            self.log.clear()

    def add_fault(self, rule):
        rule = dict(rule)
        rule["path"] = normalise_rule_path(rule["path"])
        rule["times"] = int(rule.get("times", -1))
        with self.guard:
            self.faults.append(rule)

    def take_faults(self, target, head_only, range_header=""):
        """The rules that apply to this request, one per kind, each used up once."""
        chosen = {}
        with self.guard:
            for rule in self.faults:
                kind = rule["fault"]
                if rule["times"] == 0 or kind in chosen or not rule_matches(rule["path"], target):
                    continue
                if head_only and kind not in HEAD_FAULTS:
                    continue
                if "range" in rule and rule["range"] != range_header:
                    continue
                if rule["times"] > 0:
                    rule["times"] -= 1
                chosen[kind] = dict(rule)
        return chosen

    def add_post_reply(self, reply):
        reply = dict(reply)
        reply["path"] = normalise_rule_path(reply["path"])
        with self.guard:
            # A newer reply for the same path replaces the older one.
            self.post_replies = [r for r in self.post_replies if r["path"] != reply["path"]]
            self.post_replies.append(reply)

    def find_post_reply(self, target):
        with self.guard:
            for reply in self.post_replies:
                if rule_matches(reply["path"], target):
                    return dict(reply)
        return None

    def touch(self):
        self.last_request = time.monotonic()

    def record(self, entry):
        with self.guard:
            self.log.append(entry)
            self.last_request = time.monotonic()

    def log_json(self):
        with self.guard:
            return json.dumps(self.log)


class DroppedConnection(Exception):
    pass


class PublisherHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TarvolinTestPublisher/1.0"

    def setup(self):
        super().setup()
        # One handler per TCP connection: every request it serves shares the number.
        self.connection_serial = self.server.next_connection_serial()

    @property
    def state(self):
        return self.server.state

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    # -- dispatch -----------------------------------------------------------

    def do_GET(self):
        self._dispatch(send_body=True)

    def do_HEAD(self):
        self._dispatch(send_body=False)

    def do_POST(self):
        self._dispatch(send_body=True)

    def do_PUT(self):
        self._dispatch(send_body=True)

    def do_DELETE(self):
        self._dispatch(send_body=True)

    def _dispatch(self, send_body):
        self._entry = None
        self.state.touch()
        try:
            if self.path.startswith(CONTROL_PREFIX):
                self._control()
            elif self.command in ("GET", "HEAD"):
                self._serve_file(send_body)
            elif self.command == "POST":
                self._serve_post()
            else:
                body = self._read_body()
                self._record(405, body)
                self._reply_simple(405, b"method not allowed\n")
        except DroppedConnection:
            self.close_connection = True
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError, socket.timeout):
            self.close_connection = True

    def _read_body(self):
        length = self.headers.get("Content-Length")
        if length is None or not length.strip().isdigit():
            return b""
        remaining = int(length)
        pieces = []
        while remaining > 0:
            piece = self.rfile.read(min(remaining, PIECE))
            if not piece:
                break
            pieces.append(piece)
            remaining -= len(piece)
        return b"".join(pieces)

    def _record(self, status, body=b"", faults=()):
        entry = {
            "method": self.command,
            "path": self.path,
            "range": self.headers.get("Range", ""),
            "user_agent": self.headers.get("User-Agent", ""),
            "status": status,
            "faults": sorted(faults),
            # Body bytes written so far, kept current while the body goes out.
            "sent": 0,
            "length": None,
            "connection": self.connection_serial,
        }
        if self.command == "POST":
            entry["body"] = body.decode("utf-8", "replace")
        self.state.record(entry)
        self._entry = entry

    def _reply_simple(self, status, body, content_type="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    # -- control ------------------------------------------------------------

    def _control(self):
        body = self._read_body()
        route = self.path[len(CONTROL_PREFIX):]
        if route.startswith("files/") and self.command in ("PUT", "DELETE"):
            target = safe_file_path(self.state.root, "/" + route[len("files/"):])
            if target is None:
                return self._reply_simple(400, b"bad file path\n")
            if self.command == "PUT":
                os.makedirs(os.path.dirname(target), exist_ok=True)
                # Written aside and renamed, so nginx never serves half a file.
                temporary = "%s.__put%d" % (target, threading.get_ident())
                with open(temporary, "wb") as out:
                    out.write(body)
                os.replace(temporary, target)
                return self._reply_simple(200, b"stored\n")
            if not os.path.isfile(target):
                return self._reply_simple(404, b"no such file\n")
            os.remove(target)
            return self._reply_simple(200, b"deleted\n")
        if self.command == "POST" and route in ("faults", "post_replies"):
            try:
                rule = json.loads(body.decode("utf-8"))
            except (UnicodeDecodeError, ValueError) as error:
                return self._reply_simple(400, ("bad JSON: %s\n" % error).encode())
            if route == "faults":
                problem = validate_fault(rule)
                if problem:
                    return self._reply_simple(400, (problem + "\n").encode())
                self.state.add_fault(rule)
            else:
                if not isinstance(rule, dict) or not isinstance(rule.get("path"), str) or not rule["path"]:
                    return self._reply_simple(400, b"\"path\" must be a non-empty string\n")
                if not isinstance(rule.get("status", 200), int) or not isinstance(rule.get("body", ""), str):
                    return self._reply_simple(400, b"\"status\" must be a number, \"body\" a string\n")
                self.state.add_post_reply(rule)
            return self._reply_simple(200, b"ok\n")
        if self.command == "POST" and route in ("sign", "digests", "patches"):
            return self._release_tool(route, body)
        if self.command == "POST" and route == "reset":
            self.state.reset()
            return self._reply_simple(200, b"ok\n")
        if self.command == "GET" and route == "log":
            return self._reply_simple(200, self.state.log_json().encode("utf-8"), "application/json")
        return self._reply_simple(404, b"unknown control request\n")

    def _release_tool(self, route, body):
        try:
            request = json.loads(body.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as error:
            return self._reply_simple(400, ("bad JSON: %s\n" % error).encode())
        names = {"sign": ("path", "key"), "digests": ("list", "release"), "patches": ("list", "old", "new")}[route]
        if not isinstance(request, dict) or not all(isinstance(request.get(n), str) for n in names):
            return self._reply_simple(400, ("needs %s\n" % " and ".join(names)).encode())
        first = safe_file_path(self.state.root, "/" + request[names[0]])
        if first is None or not os.path.isfile(first):
            return self._reply_simple(404, b"no such file\n")
        tool = signing_tool()
        if route == "sign":
            tool.sign_file(test_signing_key(request["key"]), first)
        elif route == "patches":
            folders = [safe_file_path(self.state.root, "/" + request[n]) for n in ("old", "new")]
            if any(f is None or not os.path.isdir(f) for f in folders):
                return self._reply_simple(404, b"no such folder\n")
            patches = patch_tool()
            with open(first, "rb") as f:
                text = f.read().decode("latin-1")
            text = patches.add_patches(text, folders[0], folders[1], os.path.dirname(first),
                                       patches.DEFAULT_LEVEL, tool, report=lambda line: None)
            with open(first, "wb") as f:
                f.write(text.encode("latin-1"))
        else:
            release = safe_file_path(self.state.root, "/" + request["release"])
            if release is None or not os.path.isdir(release):
                return self._reply_simple(404, b"no such folder\n")
            tool.fill_digests_in_file(first, release, complain=lambda text: None)
        return self._reply_simple(200, b"ok\n")

    # -- content ------------------------------------------------------------

    def _serve_file(self, send_body):
        faults = self.state.take_faults(self.path, head_only=not send_body,
                                        range_header=self.headers.get("Range", ""))
        if not send_body and "refuse_head" in faults:
            self._record(405, faults=faults)
            return self._reply_simple(405, b"")
        target = safe_file_path(self.state.root, self.path)
        generated = generated_size(self.path)
        if target is not None and os.path.isfile(target):
            generated = None
        elif generated is None:
            target = None
        if "404" in faults or (target is None and generated is None):
            self._record(404, faults=faults)
            return self._reply_simple(404, b"not found\n")
        size = generated if generated is not None else os.path.getsize(target)
        wanted = None if "ignore_range" in faults else parse_range(self.headers.get("Range"), size)
        if "wrong_range" in faults and isinstance(wanted, tuple):
            shift = int(faults["wrong_range"].get("bytes", DEFAULT_EXTRA_LENGTH) or DEFAULT_EXTRA_LENGTH)
            first, last = wanted
            wanted = (min(first + shift, size - 1), min(last + shift, size - 1))
        if wanted == "unsatisfiable":
            self._record(416, faults=faults)
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        first, last = (0, size - 1) if wanted is None else wanted
        status = 200 if wanted is None else 206
        self._record(status, faults=faults)
        with (open(target, "rb") if generated is None else _NoClose(_GeneratedSource(first))) as source:
            source.seek(first)
            # A server that ignores ranges does not advertise them either.
            extra = {} if "ignore_range" in faults else {"Accept-Ranges": "bytes"}
            if wanted is not None:
                extra["Content-Range"] = "bytes %d-%d/%d" % (first, last, size)
            self._send_with_faults(status, source, last - first + 1, faults, extra,
                                   "application/octet-stream", send_body)

    def _serve_post(self):
        body = self._read_body()
        reply = self.state.find_post_reply(self.path)
        faults = self.state.take_faults(self.path, head_only=False)
        if reply is None or "404" in faults:
            self._record(404, body, faults)
            return self._reply_simple(404, b"not found\n")
        status = int(reply.get("status", 200))
        answer = reply.get("body", "").encode("utf-8")
        self._record(status, body, faults)
        self._send_with_faults(status, _BytesSource(answer), len(answer), faults, {},
                               "text/plain; charset=utf-8", True)

    def _send_with_faults(self, status, source, length, faults, extra_headers, content_type, send_body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        for name, value in extra_headers.items():
            self.send_header(name, value)
        if "no_length" in faults:
            self.send_header("Connection", "close")
            self.close_connection = True
        elif "wrong_length" in faults:
            claimed = length + int(faults["wrong_length"].get("bytes", DEFAULT_EXTRA_LENGTH) or DEFAULT_EXTRA_LENGTH)
            self.send_header("Content-Length", str(claimed))
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(length))
        if self._entry is not None:
            self._entry["length"] = length
        self.end_headers()
        if not send_body:
            return
        self.wfile.flush()

        drop_at = int(faults["drop_after"]["bytes"]) if "drop_after" in faults else None
        stall = faults.get("stall")
        stall_at = int(stall.get("bytes", 0)) if stall else None
        rate = float(faults["rate"]["rate"]) if "rate" in faults else None
        sent = 0
        started = time.monotonic()
        while True:
            if stall_at is not None and sent >= stall_at:
                time.sleep(float(stall["seconds"]))
                stall_at = None
            want = min(PIECE, length - sent)
            for limit in (drop_at, stall_at):
                if limit is not None:
                    want = min(want, limit - sent)
            if rate is not None:
                # Ten pieces a second keep the stream smooth at low rates.
                want = min(want, max(1, int(rate / 10)))
            if drop_at is not None and sent >= drop_at:
                self._drop()
            if want <= 0:
                break
            piece = source.read(want)
            if not piece:
                break
            if "corrupt" in faults and sent == 0:
                piece = bytes([piece[0] ^ 0xFF]) + piece[1:]
            self.wfile.write(piece)
            self.wfile.flush()
            sent += len(piece)
            if self._entry is not None:
                self._entry["sent"] = sent
            if rate is not None:
                ahead = sent / rate - (time.monotonic() - started)
                if ahead > 0:
                    time.sleep(ahead)
        if drop_at is not None and sent >= drop_at:
            self._drop()

    def _drop(self):
        try:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        raise DroppedConnection()


class _NoClose:
    """A source that is not a file, usable in a with-statement."""

    def __init__(self, source):
        self.source = source

    def __enter__(self):
        return self.source

    def __exit__(self, *_):
        return False


class _BytesSource:
    def __init__(self, data):
        self.data = data
        self.offset = 0

    def read(self, count):
        piece = self.data[self.offset:self.offset + count]
        self.offset += len(piece)
        return piece


class PublisherServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128

    def __init__(self, address, state):
        self.state = state
        self._serial_guard = threading.Lock()
        self._serial = 0
        super().__init__(address, PublisherHandler)

    def next_connection_serial(self):
        with self._serial_guard:
            self._serial += 1
            return self._serial

    def handle_error(self, request, client_address):
        # A client that went away mid-reply is what the faults are for; anything
        # else is a fault of ours and goes to the log.
        if not isinstance(sys.exc_info()[1], (ConnectionError, socket.timeout)):
            super().handle_error(request, client_address)


# ---------------------------------------------------------------------------
# nginx beside the publisher


NGINX_CONF = """\
daemon off;
master_process on;
worker_processes 2;
pid {state}/nginx.pid;
error_log {state}/nginx-error.log warn;
{user}
events {{ worker_connections 512; }}
http {{
    access_log {state}/nginx-access.log;
    client_body_temp_path {state}/nginx-temp/body;
    proxy_temp_path {state}/nginx-temp/proxy;
    fastcgi_temp_path {state}/nginx-temp/fastcgi;
    uwsgi_temp_path {state}/nginx-temp/uwsgi;
    scgi_temp_path {state}/nginx-temp/scgi;
    default_type application/octet-stream;
    sendfile on;
    keepalive_timeout 30;
    server {{
        listen 127.0.0.1:{port};
        root {root};
        location /__control/ {{ return 404; }}
        location / {{ }}
    }}
}}
"""


def write_nginx_conf(state_dir, root, port):
    os.makedirs(os.path.join(state_dir, "nginx-temp"), exist_ok=True)
    # Run as root, nginx would hand its workers to "nobody"; keep them as us.
    user = "user root root;" if os.geteuid() == 0 else ""
    path = os.path.join(state_dir, "nginx.conf")
    with open(path, "w") as out:
        out.write(NGINX_CONF.format(state=state_dir, root=root, port=port, user=user))
    return path


def die_with_parent():
    # PR_SET_PDEATHSIG: nginx goes when the publisher goes, however it ends.
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(1, signal.SIGTERM, 0, 0, 0)
    except (OSError, AttributeError):
        pass


def start_nginx(nginx, state_dir, root, port):
    conf = write_nginx_conf(state_dir, root, port)
    return subprocess.Popen(
        [nginx, "-p", state_dir, "-e", os.path.join(state_dir, "nginx-error.log"), "-c", conf],
        stdin=subprocess.DEVNULL, preexec_fn=die_with_parent)


# ---------------------------------------------------------------------------
# Sub-commands


def port_is_free(port):
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    # As the servers bind: connections of an earlier run waiting out TIME_WAIT
    # do not make a port busy, a listening program does.
    probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        probe.bind(("127.0.0.1", port))
        return True
    except OSError:
        return False
    finally:
        probe.close()


def command_ports(args):
    span = (PORT_LAST - PORT_FIRST) // 2
    start = int(hashlib.sha256(args.seed.encode()).hexdigest(), 16) % span
    for step in range(span):
        port = PORT_FIRST + 2 * ((start + step) % span)
        if port_is_free(port) and port_is_free(port + 1):
            print("%d %d" % (port, port + 1))
            return 0
    print("no free pair of ports", file=sys.stderr)
    return 1


def command_serve(args):
    state = PublisherState(args.root)
    server = PublisherServer(("127.0.0.1", args.port), state)
    nginx = start_nginx(args.nginx, args.state, args.root, args.nginx_port) if args.nginx_port else None

    def finish(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, finish)
    signal.signal(signal.SIGINT, finish)

    def watch():
        while True:
            time.sleep(5)
            idle = time.monotonic() - state.last_request
            if idle > args.idle_exit or (nginx is not None and nginx.poll() is not None):
                finish()
                return

    threading.Thread(target=watch, daemon=True).start()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        if nginx is not None and nginx.poll() is None:
            nginx.terminate()
            try:
                nginx.wait(10)
            except subprocess.TimeoutExpired:
                nginx.kill()
    return 0


def read_pid(path):
    try:
        with open(path) as source:
            return int(source.read().strip())
    except (OSError, ValueError):
        return None


def end_process(pid, name):
    """Stops one process of ours by its id; true when it is gone."""
    if pid is None or pid <= 0:
        return True
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return True
    except PermissionError:
        return False
    for _ in range(100):
        time.sleep(0.1)
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return True
        # A child of ours that ended stays a zombie until reaped.
        try:
            if os.waitpid(pid, os.WNOHANG)[0] == pid:
                return True
        except ChildProcessError:
            pass
    print("%s (%d) ignored SIGTERM; killing it" % (name, pid), file=sys.stderr)
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    return True


def command_stop(args):
    end_process(read_pid(os.path.join(args.state, "publisher.pid")), "publisher")
    # nginx follows the publisher by itself; this covers a publisher killed hard.
    end_process(read_pid(os.path.join(args.state, "nginx.pid")), "nginx")
    for name in ("publisher.pid", "nginx.pid"):
        try:
            os.remove(os.path.join(args.state, name))
        except OSError:
            pass
    return 0


def answers(url):
    try:
        with urllib.request.build_opener(urllib.request.ProxyHandler({})).open(url, timeout=2) as reply:
            reply.read()
        return True
    except urllib.error.HTTPError:
        return True  # any HTTP answer means the server is up
    except OSError:
        return False


def command_start(args):
    os.makedirs(args.state, exist_ok=True)
    # What an earlier run left behind (a run killed before its clean-up) goes first.
    command_stop(args)
    for port in (args.port, args.nginx_port):
        if not port_is_free(port):
            print("port %d on 127.0.0.1 is taken by another program; configure the build again "
                  "(cmake) to choose other ports" % port, file=sys.stderr)
            return 1
    shutil.rmtree(args.root, ignore_errors=True)
    os.makedirs(args.root, exist_ok=True)
    log_path = os.path.join(args.state, "publisher.log")
    with open(log_path, "ab") as log:
        child = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "serve", "--root", args.root, "--state", args.state,
             "--port", str(args.port), "--nginx-port", str(args.nginx_port), "--nginx", args.nginx,
             "--idle-exit", str(args.idle_exit)],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    with open(os.path.join(args.state, "publisher.pid"), "w") as out:
        out.write(str(child.pid))
    publisher_url = "http://127.0.0.1:%d%slog" % (args.port, CONTROL_PREFIX)
    nginx_url = "http://127.0.0.1:%d/" % args.nginx_port
    for _ in range(150):
        if child.poll() is not None:
            break
        if answers(publisher_url) and answers(nginx_url):
            print("publisher on http://127.0.0.1:%d, nginx on http://127.0.0.1:%d, root %s"
                  % (args.port, args.nginx_port, args.root))
            return 0
        time.sleep(0.1)
    print("the publisher did not come up; its log and nginx's follow", file=sys.stderr)
    command_stop(args)
    for name in ("publisher.log", "nginx-error.log"):
        try:
            with open(os.path.join(args.state, name), errors="replace") as source:
                sys.stderr.write(source.read()[-4000:])
        except OSError:
            pass
    return 1


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    ports = commands.add_parser("ports")
    ports.add_argument("--seed", required=True)
    for name in ("start", "serve"):
        sub = commands.add_parser(name)
        sub.add_argument("--root", required=True)
        sub.add_argument("--state", required=True)
        sub.add_argument("--port", type=int, required=True)
        sub.add_argument("--nginx-port", type=int, default=0 if name == "serve" else None,
                         required=(name == "start"))
        sub.add_argument("--nginx", default=shutil.which("nginx") or "/usr/sbin/nginx")
        sub.add_argument("--idle-exit", type=float, default=IDLE_EXIT_SECONDS)
    stop = commands.add_parser("stop")
    stop.add_argument("--state", required=True)
    test_key = commands.add_parser("test-key")
    test_key.add_argument("--name", required=True)
    args = parser.parse_args(argv)
    for name in ("root", "state"):
        if getattr(args, name, None):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    handler = {"ports": command_ports, "start": command_start, "stop": command_stop, "serve": command_serve,
               "test-key": lambda a: print(signing_tool().public_key_hex(test_signing_key(a.name)))}
    return handler[args.command](args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
