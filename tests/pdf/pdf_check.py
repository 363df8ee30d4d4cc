"""Helpers of the PDF tests: run a page with kwl, read the file it wrote
object by object, check its cross-reference table and inflate its streams."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import zlib

KWL = os.environ.get("KWL", "kwl")
OBJ_RE = re.compile(rb"(\d+) 0 obj\n")
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def run_page(test, page, files=None, query=None, tmpdir=None):
    """Runs `page` in a fresh directory (also its TMPDIR unless `tmpdir` is
    given); returns (stdout, directory)."""
    tmp = tempfile.mkdtemp(prefix="kwlpdf-")
    test.addCleanup(shutil.rmtree, tmp, True)
    for name, data in (files or {}).items():
        with open(os.path.join(tmp, name), "wb") as f:
            f.write(data)
    with open(os.path.join(tmp, "page.kwl"), "w", encoding="latin-1") as f:
        f.write(page)
    env = {"PATH": os.environ.get("PATH", ""), "PWD": tmp, "HOME": tmp, "TZ": "UTC", "LANG": "C",
           "TMPDIR": tmpdir or tmp}
    for key, value in os.environ.items():
        if key.endswith("SAN_OPTIONS"):
            env[key] = value
    args = [KWL, "page.kwl"] + ([query] if query else [])
    done = subprocess.run(args, cwd=tmp, env=env, capture_output=True, timeout=60)
    test.assertEqual(done.returncode, 0, done.stderr)
    test.assertNotIn(b"Sanitizer", done.stderr)
    return done.stdout.decode("latin-1"), tmp


class Pdf:
    """A written PDF: its bytes, objects by number, and checks of its layout."""

    def __init__(self, test, path):
        self.test = test
        self.path = path
        with open(path, "rb") as f:
            self.data = f.read()
        self.objects = self._check_xref()

    def _check_xref(self):
        t, data = self.test, self.data
        t.assertTrue(data.startswith(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n"))
        start = int(re.search(rb"startxref\n(\d+)\n%%EOF\n$", data).group(1))
        t.assertEqual(data[start:start + 5], b"xref\n")
        t.assertEqual(data[start - 1:start], b"\n")
        count = int(re.match(rb"xref\n0 (\d+)\n", data[start:]).group(1))
        rows = data[start:].split(b"\n", 2)[2]
        t.assertEqual(rows[:20], b"0000000000 65535 f \n")
        offsets = []
        for i in range(1, count):
            row = rows[20 * i:20 * i + 20]
            t.assertRegex(row, rb"^\d{10} 00000 n \n$")
            offsets.append(int(row[:10]))
        trailer = rows[20 * count:]
        t.assertTrue(trailer.startswith(b"trailer\n<</Size %d\n/Root 1 0 R\n/Info 3 0 R\n>>\n" % count))
        t.assertEqual(offsets, sorted(offsets), "objects are written in number order")
        objects = {}
        ends = offsets[1:] + [start - 1]
        for number, (begin, end) in enumerate(zip(offsets, ends), 1):
            t.assertTrue(data[begin:].startswith(b"%d 0 obj\n" % number), f"xref row {number}")
            objects[number] = data[begin:end]
        return objects

    def stream(self, number):
        """The bytes of a stream object, inflated when it says so."""
        text = self.objects[number]
        head = re.match(rb"\d+ 0 obj\n<<\s*(.*?)>>\s*stream\n", text, re.S)
        self.test.assertIsNotNone(head, text[:80])
        length = int(re.search(rb"/Length (\d+)", head.group(1)).group(1))
        body = text[head.end():head.end() + length]
        self.test.assertRegex(text[head.end() + length:], rb"^\n?endstream\nendobj\n")
        if b"/FlateDecode" in head.group(1):
            return zlib.decompress(body)
        return body

    def page_streams(self):
        """The content stream of every page, in order, as text."""
        kids = re.search(rb"/Kids \[(.*?)\]", self.objects[4], re.S).group(1)
        streams = []
        for page in re.findall(rb"(\d+) 0 R", kids):
            contents = re.search(rb"/Contents \[6 0 R\n(\d+) 0 R\]", self.objects[int(page)])
            streams.append(self.stream(int(contents.group(1))).decode("latin-1"))
        return streams

    def qpdf_check(self):
        done = subprocess.run(["qpdf", "--check", self.path], capture_output=True)
        self.test.assertEqual(done.returncode, 0, done.stdout + done.stderr)


def tool(*args):
    return subprocess.run(args, capture_output=True, check=True).stdout


class PdfTestCase(unittest.TestCase):
    def write(self, page, name="out.pdf", **kwargs):
        """Runs a page that writes `name`; the checked, qpdf-validated file."""
        out, tmp = run_page(self, "<HTML>" + page, **kwargs)
        self.out, self.tmp = out, tmp
        pdf = Pdf(self, os.path.join(tmp, name))
        pdf.qpdf_check()
        return pdf
