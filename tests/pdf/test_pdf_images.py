"""GIF and PNG pictures in PDF documents, re-encoded as JPEG by the image
module. Needs kwl_image.so beside kwl: skipped (exit 77) without it."""
import os
import struct
import sys
import unittest
import zlib

from pdf_check import KWL, PdfTestCase

GIF = (b"GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00"
       b",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;")


def png(width, height):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + b"\x00\x80\xff" * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Images(PdfTestCase):
    def test_gif_and_png_become_jpeg(self):
        broken = png(4, 4)[:40]
        pdf = self.write(
            '<PDF FILE="out.pdf" NAME="d" PATH="a.png" POSITION="10,10,100,0" GETX="x" GETY="y">'
            '<PDF NAME="d" PATH="b.gif" POSITION="5,5,0,0" GETX="gx" GETY="gy">'
            '<PDF NAME="d" PATH="c.png" POSITION="1,1,1,1" GETX="cx">'
            '<PDF CLOSE="d">x=$x$ y=$y$ gx=$gx$ gy=$gy$ cx=$cx$',
            files={"a.png": png(20, 10), "b.gif": GIF, "c.png": broken})
        self.assertIn("x=110 y=60 gx=6 gy=6 cx=6", self.out)
        self.assertIn(b"/Width 20\n/Height 10\n", pdf.objects[11])
        self.assertIn(b"/Width 1\n/Height 1\n", pdf.objects[12])
        for number in (11, 12):
            self.assertIn(b"/Filter /DCTDecode", pdf.objects[number])
            self.assertTrue(pdf.stream(number).startswith(b"\xff\xd8"))
        self.assertEqual(len(pdf.objects), 12)


if __name__ == "__main__":
    if not os.path.exists(os.path.join(os.path.dirname(os.path.abspath(KWL)), "kwl_image.so")):
        print("skipped: no kwl_image.so beside kwl")
        sys.exit(77)
    unittest.main()
