#!/usr/bin/env python3
"""The demo: a local publisher with a sample release of the book, the updater
run silently under Wine by a host program that prints what it is told, then a
second release installed incrementally, then a check-only run's exit code, and
last a list changed after it was signed, which the updater refuses. Every list
is signed and names the sha256 of each file, as a publisher would do it with
scripts/release-signing."""
import argparse
import io
import json
import os
import shutil
import subprocess
import sys
import urllib.request
import zipfile

BOOK_ID = "20831"
BOOK_NAME = "4F1C2B7A9D3E48A6B05C7E21D9F8A3B4"  # [APPLICATION] Name of the shipped book


def signing_tool(repo, *args):
    subprocess.run([sys.executable, os.path.join(repo, "scripts", "release-signing"), *args], check=True,
                   stdout=subprocess.DEVNULL)


def say(text):
    print(f"\n=== {text}", flush=True)


class Publisher:
    def __init__(self, repo, work, port, nginx_port):
        self.script = os.path.join(repo, "tests", "publisher", "publisher.py")
        self.root = os.path.join(work, "root")
        self.state = os.path.join(work, "state")
        self.port, self.nginx_port = port, nginx_port
        self.url = f"http://127.0.0.1:{port}"

    def start(self):
        subprocess.run([sys.executable, self.script, "start", "--root", self.root, "--state", self.state,
                        "--port", str(self.port), "--nginx-port", str(self.nginx_port), "--nginx", "/usr/sbin/nginx"],
                       check=True, stdout=subprocess.DEVNULL)

    def stop(self):
        subprocess.run([sys.executable, self.script, "stop", "--state", self.state], stdout=subprocess.DEVNULL)

    def control(self, method, path, body=b""):
        request = urllib.request.Request(self.url + "/__control/" + path, data=body, method=method)
        with urllib.request.urlopen(request) as reply:
            return reply.read()

    def put(self, path, data):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("utf-8"))

    def requests(self):
        return json.loads(self.control("GET", "log"))

    def transfers(self):
        log = json.loads(self.control("GET", "log"))
        return sorted({e["path"] for e in log if e["method"] == "GET" and e["status"] in (200, 206)
                       and "/files/" in e["path"]})


def zipped(name, data):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(name, data)
    return buffer.getvalue()


def add_patches(repo, pub, base, release):
    """Patches from the previous release's files to this one's, as a publisher
    makes them with scripts/release-patches before signing."""
    previous = os.path.join(pub.root, f"{base}/files-r{release - 1}")
    if os.path.isdir(previous):
        subprocess.run([sys.executable, os.path.join(repo, "scripts", "release-patches"), previous,
                        os.path.join(pub.root, f"{base}/files"), os.path.join(pub.root, f"{base}/tarvolin.xml")],
                       check=True, stderr=subprocess.DEVNULL)


def keep_release(pub, base, release):
    """A copy of the release's files, the next release's patches start from it."""
    kept = os.path.join(pub.root, f"{base}/files-r{release}")
    shutil.rmtree(kept, ignore_errors=True)
    shutil.copytree(os.path.join(pub.root, f"{base}/files"), kept,
                    ignore=shutil.ignore_patterns("*.zst"))


def publish_release(pub, ebook_exe, release, sign, repo):
    base = f"DownloadV2/{BOOK_ID}"
    files = f"{base}/files"
    chapter = f"Chapter one, edition {release}.\n" * (2000 * release)
    pub.put(f"{files}/reader/ebook.exe", ebook_exe)
    pub.put(f"{files}/data/chapter1.txt", chapter)
    pictures = bytes(range(256)) * 4096  # 1 MiB that packs well
    pub.put(f"{files}/data/pictures.pak._.zip", zipped("pictures.pak", pictures))  # only the packed form
    pub.put(f"{files}/setup.xml",
            '<tasks><ini file="{app}reader\\settings.ini" app="Reader" key="Theme" value="sepia"/>'
            '<shortcut file="{app}reader\\ebook.exe" shortcut="{app}Read the book"/></tasks>')
    entries = [
        f'<description>Release {release} of the sample book.</description>',
        '<fileurl>{listurl-base}/files/{filename}</fileurl>',
        '<file path="reader\\ebook.exe" ver="1"/>',
        f'<file path="data\\chapter1.txt" ver="{release}"/>',
        '<file path="data\\pictures.pak" ver="1"/>',
        '<file path="setup.xml" ver="1" oper="run"/>',
        '<run path="{app}reader\\ebook.exe" wait="0"/>',
    ]
    if release >= 2:
        pub.put(f"{files}/data/chapter2.txt", "Chapter two.\n" * 3000)
        entries.append('<file path="data\\chapter2.txt" ver="1"/>')
        entries.append('<file path="setup.xml" ver="2" oper="del"/>')
        entries.remove('<file path="setup.xml" ver="1" oper="run"/>')
    pub.put(f"{base}/tarvolin.xml", "<update>" + "".join(entries) + "</update>")
    add_patches(repo, pub, base, release)
    keep_release(pub, base, release)
    sign(f"{base}/tarvolin.xml", release_folder=files, stamp=["--serial", str(release), "--book", BOOK_ID])


def show_tree(book):
    for folder, _, names in sorted(os.walk(book)):
        for name in sorted(names):
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, book)
            print(f"  {rel:40} {os.path.getsize(path):>9} bytes")


def run_host(build, mode):
    run = [os.path.join(build, "wine-run"), os.path.join(build, "bin", "demo_host.exe"),
           "C:\\tarvolin\\tarvolin.exe", *mode]
    out = subprocess.run(run, capture_output=True)
    text = out.stdout.decode("utf-8", "replace").replace("\r", "")
    print(text.rstrip())
    for line in text.splitlines():
        if "updater exit code:" in line:
            return int(line.rsplit(":", 1)[1])
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--nginx-port", type=int, required=True)
    parser.add_argument("--signing-key", required=True)
    parser.add_argument("--program", required=True, help="the updater to install: the release artifact")
    args = parser.parse_args()
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.abspath(args.build)
    prefix = os.path.join(build, "wineprefix")
    work = os.path.join(build, "demo-publisher")
    pub = Publisher(repo, work, args.port, args.nginx_port)

    def sign(list_path, release_folder=None, stamp=None):
        full = os.path.join(pub.root, list_path)
        if release_folder:
            signing_tool(repo, "digests", os.path.join(pub.root, release_folder), full)
        if stamp:
            signing_tool(repo, "stamp", full, *stamp)
        signing_tool(repo, "sign", args.signing_key, full)

    # The updater ships as one file; put it where a reader's machine would have it.
    subprocess.run([os.path.join(build, "wine-run"), "cmd", "/c", "echo"], stdout=subprocess.DEVNULL)
    # A reader's machine that never saw this book: no list serial accepted yet.
    subprocess.run([os.path.join(build, "wine-run"), "reg", "delete", "HKCU\\Software\\Tarvolin\\ListSerials", "/f"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    install = os.path.join(prefix, "drive_c", "tarvolin")
    os.makedirs(install, exist_ok=True)
    with open(args.program, "rb") as src, open(os.path.join(install, "tarvolin.exe"), "wb") as dst:
        dst.write(src.read())
    book = os.path.join(prefix, "drive_c", "Brennoak", "Vosmir", BOOK_NAME)
    subprocess.run(["rm", "-rf", book])
    with open(os.path.join(build, "bin", "demo_ebook.exe"), "rb") as f:
        ebook_exe = f.read()

    pub.start()
    try:
        # The book's configuration as the publisher serves it, and the e-book service's answer.
        ini = ("[Tarvolin]\r\nLog=inst.log\r\nShowWhenCheck=false\r\nQuickCheck=false\r\n"
               f"[UPDATEINFO]\r\nListURL={pub.url}/DownloadV2/{BOOK_ID}/tarvolin.xml\r\n"
               f"MainListURL={pub.url}/DownloadV2/!Template/tarvolin.xml\r\n"
               f"[APPLICATION]\r\nApplication=VosmirReader.exe\r\nName={BOOK_NAME}\r\nAgentName=zu\r\nEBookID={BOOK_ID}\r\n")
        pub.put("DigitalLibrary/ajax.aspx", ini)
        sign("DigitalLibrary/ajax.aspx")  # the configuration is signed like the lists
        service_reply = json.dumps({"path": "/DigitalLibrary/ajax.aspx", "status": 200, "body": '{"result":1}'})
        pub.control("POST", "post_replies", service_reply.encode())
        pub.put("DownloadV2/!Template/tarvolin.xml", "<update></update>")
        sign("DownloadV2/!Template/tarvolin.xml", stamp=["--serial", "1", "--book", "!Template"])

        say("Release 1 published; the host starts the updater silently")
        publish_release(pub, ebook_exe, 1, sign, repo)
        code1 = run_host(build, ["silence"])
        say("Installed in C:\\Brennoak\\Vosmir\\" + BOOK_NAME)
        show_tree(book)
        print("  transferred:", ", ".join(pub.transfers()))

        say("Release 2 published: chapter 1 changed (it travels as a patch), chapter 2 added, the task script retired")
        pub.control("POST", "reset")
        pub.control("POST", "post_replies", service_reply.encode())
        publish_release(pub, ebook_exe, 2, sign, repo)
        code2 = run_host(build, ["silence"])
        if os.environ.get("TARVOLIN_DEMO_DEBUG"):
            for e in pub.requests():
                print("   ", e["method"], e["path"], e["range"], e["status"], e["user_agent"])
        say("After the incremental update")
        show_tree(book)
        print("  transferred:", ", ".join(pub.transfers()) or "nothing")
        with open(os.path.join(book, "inst.log"), encoding="cp1252", errors="replace") as f:
            for line in f.read().splitlines():
                if "patch applied[" in line or "patch not used[" in line:
                    print("  log:", line.strip())

        say("Release 3 published (chapter 1 again); the host only asks whether updates are due")
        pub.control("POST", "reset")
        pub.control("POST", "post_replies", service_reply.encode())
        publish_release(pub, ebook_exe, 3, sign, repo)
        code3 = run_host(build, ["checkforupdates"])
        print("  transferred:", ", ".join(pub.transfers()) or "nothing")

        say("Someone answering in the publisher's place changes the signed list; the host asks again")
        pub.control("POST", "reset")
        listed = os.path.join(pub.root, f"DownloadV2/{BOOK_ID}/tarvolin.xml")
        with open(listed, "rb") as f:
            forged = f.read().replace(b"</update>", b'<file path="reader\\evil.exe" ver="1" oper="run"/></update>')
        pub.put(f"DownloadV2/{BOOK_ID}/tarvolin.xml", forged)
        code4 = run_host(build, ["checkforupdates"])
        with open(os.path.join(book, "inst.log"), encoding="cp1252", errors="replace") as f:
            refusals = [line for line in f.read().splitlines() if "list refused" in line]
        print("  transferred:", ", ".join(pub.transfers()) or "nothing")

        say("The log of the book folder (last lines)")
        with open(os.path.join(book, "inst.log"), encoding="cp1252", errors="replace") as f:
            for line in f.read().splitlines()[-12:]:
                print("  " + line)

        say("Summary")
        started = os.path.exists(os.path.join(book, "reader", "ebook-was-started.txt"))
        print(f"  first update: exit code {code1} (files it brought), the e-book stand-in ran: {'yes' if started else 'no'}")
        print(f"  second update: exit code {code2}")
        print(f"  check only: exit code {code3} = the number of files due")
        print(f"  forged list: exit code {code4}, refused: {'yes' if refusals else 'no'}")
        ok = code1 == 4 and code2 == 3 and code3 == 1 and started and bool(refusals)
        print("  demo " + ("finished as expected" if ok else "did NOT go as expected"))
        return 0 if ok else 1
    finally:
        pub.stop()


if __name__ == "__main__":
    sys.exit(main())
