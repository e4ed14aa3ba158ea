#!/usr/bin/env python3
"""The push pop-up's page in a real browser engine (headless Chromium).

The page is loaded as the program ships it, with jQuery from the npm package and
the close-button pictures, except that its "res:" addresses point at copies of
those files and window.external is a stand-in that records every call. Each
scenario drives the page the way the program and the user do and reports what
the page did; the assertions are here.

Usage: page_test.py --page P --jquery J --pictures DIR --chromium EXE --out DIR
"""
import argparse
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

ARGS = None

# Records every call of the page to the program, with its arguments.
EXTERNAL_STANDIN = """<script type="text/javascript">
window.calls = [];
function recorder(name) {
  return function () { window.calls.push([name].concat([].slice.call(arguments))); };
}
window.external = {HideMsgDialog: recorder("HideMsgDialog"), ResizeDlg: recorder("ResizeDlg"),
                   OpenUrl: recorder("OpenUrl")};
</script>
"""

# What a scenario leaves for the test to read once the page has settled.
REPORTER = """<script type="text/javascript">
function visible(id) { return $("#" + id).is(":visible"); }
function box(id) {
  var r = document.getElementById(id).getBoundingClientRect();
  return {left: r.left, top: r.top, width: r.width, height: r.height};
}
function report(extra) {
  var html = document.documentElement, body = document.body;
  var out = {calls: window.calls, elem: visible("elem"), msg: visible("msg"), msgdiv: visible("msgdiv"),
             html: {width: $("html").width(), height: $("html").height(),
                    scrollWidth: html.scrollWidth, clientWidth: html.clientWidth,
                    scrollHeight: html.scrollHeight, clientHeight: html.clientHeight},
             bodyMargin: getComputedStyle(body).margin, bodyPadding: getComputedStyle(body).padding,
             overflow: getComputedStyle(html).overflow + "/" + getComputedStyle(body).overflow,
             closeBtn: box("closeBtn"), extra: extra || {}};
  var pre = document.createElement("pre");
  pre.id = "report";
  pre.appendChild(document.createTextNode(JSON.stringify(out)));
  document.body.appendChild(pre);
  pre.style.display = "none";
}
function whenCalled(name, then) {
  var wait = setInterval(function () {
    for (var i = 0; i < window.calls.length; ++i) {
      if (window.calls[i][0] === name) { clearInterval(wait); then(); return; }
    }
  }, 10);
}
$(function () { %s });
</script>
"""

SCENARIOS = {
    "close": 'document.getElementById("closeBtn").click(); report();',
    "picture": """
      addImg("7|stripes.png|http://pub.example/go?a=1");
      whenCalled("ResizeDlg", function () {
        var pic = $("#pic");
        var w = pic.width(), h = pic.height();
        var top = document.elementFromPoint(w - 15, 15);
        var extra = {src: pic.attr("src"), url: pic.attr("url"), picWidth: w, picHeight: h,
                     topRightIs: top && top.id};
        window.calls.push(["--click--"]);
        document.getElementById("pic").click();
        report(extra);
      });""",
    "package_with_xa": """
      setUrl("8|package.html|640|480|xa9|MAC1|2|S1|C1|1");
      report({src: $("#msg").attr("src"), div: box("msgdiv"), frame: box("msg")});""",
    "package_without_xa": """
      setUrl("8|package.html|320|200||MAC1|0|book42||1");
      report({src: $("#msg").attr("src"), div: box("msgdiv"), frame: box("msg")});""",
}


def stripes_png(width, height):
    """A picture with blue and orange stripes, so a screenshot shows where it is."""
    rows = b""
    for y in range(height):
        row = b"\x00"
        for x in range(width):
            row += b"\x20\x60\xc0" if (x // 20) % 2 == 0 else b"\xf0\x90\x20"
        rows += row

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return struct.unpack(">II", head[16:24])


class PageFolder:
    """A folder holding the page with its resources as files, and the pictures it loads."""

    def __init__(self, out):
        self.folder = out
        os.makedirs(out, exist_ok=True)
        shutil.copy(ARGS.jquery, os.path.join(out, "jquery.min.js"))
        shutil.copy(os.path.join(ARGS.pictures, "close.gif"), os.path.join(out, "close.gif"))
        shutil.copy(os.path.join(ARGS.pictures, "close_hover.gif"), os.path.join(out, "close_hover.gif"))
        with open(os.path.join(out, "stripes.png"), "wb") as f:
            f.write(stripes_png(200, 120))
        with open(os.path.join(out, "package.html"), "w") as f:
            f.write("<html><body style='background:#eee'>package page</body></html>")
        with open(ARGS.page, encoding="utf-8") as f:
            self.page = f.read()

    def write(self, name, driver):
        page = self.page
        for address, file in (("res:/JS/#2001", "jquery.min.js"), ("res:/PIC/#2002", "close.gif"),
                              ("res:/PIC/#2003", "close_hover.gif")):
            assert address in page, address
            page = page.replace(address, file)
        script_tag = '<script type="text/javascript" src="jquery.min.js">'
        page = page.replace(script_tag, EXTERNAL_STANDIN + script_tag, 1)
        page = page.replace("</body>", REPORTER % driver + "</body>", 1)
        path = os.path.join(self.folder, name + ".html")
        with open(path, "w", encoding="utf-8") as f:
            f.write(page)
        return "file://" + path


def chromium(url, *extra):
    profile = tempfile.mkdtemp(prefix="push-page-chromium-")
    try:
        result = subprocess.run(
            [ARGS.chromium, "--headless", "--no-sandbox", "--disable-gpu", "--allow-file-access-from-files",
             "--user-data-dir=" + profile, "--virtual-time-budget=5000", *extra, url],
            capture_output=True, text=True, timeout=120)
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    return result


class PopupPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = PageFolder(ARGS.out)

    def run_scenario(self, name):
        result = chromium(self.folder.write(name, SCENARIOS[name]), "--dump-dom")
        found = re.search(r'<pre id="report"[^>]*>(.*?)</pre>', result.stdout, re.S)
        self.assertIsNotNone(found, "no report from the page; stderr:\n" + result.stderr[-3000:])
        text = found.group(1).replace("&quot;", '"').replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&")
        return json.loads(text)

    def assert_no_margins_or_scroll_bars(self, report):
        self.assertEqual(report["bodyMargin"], "0px")
        self.assertEqual(report["bodyPadding"], "0px")
        self.assertEqual(report["overflow"], "hidden/hidden")

    def test_close_button_hides_the_dialog(self):
        report = self.run_scenario("close")
        self.assertEqual(report["calls"], [["HideMsgDialog"]])
        self.assert_no_margins_or_scroll_bars(report)

    def test_picture_sizes_the_page_and_opens_its_address_on_a_click(self):
        report = self.run_scenario("picture")
        extra = report["extra"]
        self.assertEqual(extra["src"], "stripes.png")
        self.assertEqual(extra["url"], "http://pub.example/go?a=1")
        self.assertEqual((extra["picWidth"], extra["picHeight"]), (200, 120))
        # The window is asked for the picture's size, then the click opens its address.
        self.assertEqual(report["calls"], [["ResizeDlg", "200|120"], ["--click--"],
                                           ["OpenUrl", "http://pub.example/go?a=1"]])
        self.assertEqual((report["html"]["width"], report["html"]["height"]), (200, 120))
        self.assertTrue(report["elem"])
        self.assertFalse(report["msg"])
        # The close button sits in the top right corner, above the picture.
        self.assertEqual(report["closeBtn"], {"left": 170, "top": 0, "width": 30, "height": 30})
        self.assertEqual(extra["topRightIs"], "closeBtn")
        self.assert_no_margins_or_scroll_bars(report)

    def test_package_page_address_with_xa(self):
        report = self.run_scenario("package_with_xa")
        extra = report["extra"]
        self.assertEqual(extra["src"], "package.html?XA=xa9&mac=MAC1&isPackage=2&id=S1&code=C1&platID=1")
        self.assertEqual((extra["div"]["width"], extra["div"]["height"]), (640, 480))
        self.assertEqual((extra["frame"]["width"], extra["frame"]["height"]), (640, 480))
        self.assertEqual((extra["frame"]["left"], extra["frame"]["top"]), (0, 0))
        self.assertFalse(report["elem"])
        self.assertTrue(report["msg"])
        self.assertEqual(report["calls"], [])

    def test_package_page_address_without_xa(self):
        report = self.run_scenario("package_without_xa")
        extra = report["extra"]
        self.assertEqual(extra["src"], "package.html?mac=MAC1&isPackage=0&id=book42&code=&platID=1")
        self.assertEqual((extra["frame"]["width"], extra["frame"]["height"]), (320, 200))

    def test_screenshot_of_a_picture_popup(self):
        shot = os.path.join(ARGS.out, "picture-popup.png")
        if os.path.exists(shot):
            os.remove(shot)
        result = chromium(self.folder.write("shot", 'addImg("7|stripes.png|http://pub.example/go");'),
                          "--screenshot=" + shot, "--window-size=400,300", "--hide-scrollbars")
        # A headless window has a least height, so the shot is larger than the
        # page: the 200 x 120 pop-up is its top left corner.
        self.assertTrue(os.path.exists(shot), result.stderr[-3000:])
        self.assertEqual(png_size(shot), (400, 300))
        print("screenshot: " + shot, file=sys.stderr)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("page", "jquery", "pictures", "chromium", "out"):
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    if not shutil.which(ARGS.chromium) and not os.path.exists(ARGS.chromium):
        print("Chromium is missing (" + ARGS.chromium + "): run scripts/bootstrap", file=sys.stderr)
        return 1
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
