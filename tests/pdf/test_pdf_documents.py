"""Documents written by the PDF tag, checked object by object and by
independent readers (qpdf, poppler's pdftotext, pdffonts, pdftoppm)."""
import glob
import os
import re
import shutil
import tempfile
import unittest
import zlib

from pdf_check import FONT, Pdf, PdfTestCase, tool

EMPTY = b"""%%PDF-1.5
%%\xe2\xe3\xcf\xd3
1 0 obj
<< /Type /Catalog
/Outlines 2 0 R
/Pages 4 0 R
/OpenAction [7 0 R /XYZ null null 1]
/ViewerPreferences <<
/ViewClip /BleedBox
/FitWindow true
>>
>>
endobj

2 0 obj
<< /Type /Outlines
/Count 0
>>
endobj

3 0 obj
<<
/Producer (KWL Technologies v3.8rc6)
/CreationDate (D:DATE+0000)
>>
endobj

4 0 obj
<< /Type /Pages
/Kids [7 0 R
]
/Count 1
/MediaBox [0 0 300 400]
>>
endobj

5 0 obj
<< /ProcSet [/PDF /Text /ImageB /ImageC /ImageI]
/Font <<
/F1 10 0 R
>>
>>
endobj

6 0 obj
<< /Length 0 >>
stream
endstream
endobj

7 0 obj
<</Type /Page
/Parent 4 0 R
/Contents [6 0 R
8 0 R]
/Annots 9 0 R
/Resources 5 0 R
>>
endobj

8 0 obj
<< /Length 0 >>
stream
endstream
endobj

9 0 obj
[]
endobj

10 0 obj
<</Type /Font
/BaseFont /Helvetica
/Subtype /Type1
/Encoding /WinAnsiEncoding
>>
endobj


xref
0 11
""" % ()


class Documents(PdfTestCase):
    def test_empty_document_byte_for_byte(self):
        pdf = self.write('<PDF FILE="out.pdf" PAGESIZE="300 400" NAME="d" CLOSE="d">')
        body = re.sub(rb"D:\d{14}\+0000", b"D:DATE+0000", pdf.data)
        self.assertTrue(body.startswith(EMPTY), body[:900])
        self.assertEqual(len(pdf.objects), 10)

    def test_text_lines_escaping_and_alignment(self):
        text = r"Hello (world) and a text long enough to wrap, with its last word: end"
        pdf = self.write(
            f'<SET NAME="t" VALUE="{text}"><SET NAME="b" VALUE="a\\\\b">'
            '<PDF FILE="out.pdf" NAME="d" TEXT="$t$" RECT="50,50,200,100" GETY="y1">'
            '<PDF NAME="d" TEXT="$b$ mid" ALIGN="center" RECT="0,200,200,40">'
            '<PDF NAME="d" TEXT="right" ALIGN="right" STYLE="U" RECT="0,300,200,40">'
            '<PDF NAME="d" TEXT="pad" PADDING="5,7,0,0" FONT="times" STYLE="B,I" RECT="0,400,200,40">'
            '<PDF CLOSE="d">y1=$y1$')
        ops = pdf.page_streams()[0]
        self.assertIn("q\n1 0 0 1 50 791 cm\nBT\n/F1 12 Tf\n0.00 0.00 0.00 rg\n1 -11 Td\n"
                      "[(Hello \\(world\\) and a text long enough )] TJ\n0 -14 TD\n"
                      "[(to wrap, with its last word: end)] TJ\nT*\nET\nQ\n", ops)
        # Widths from the AFM files: a backslash is measured as drawn.
        self.assertIn("[(a\\\\b mid)] TJ\n", ops)
        self.assertRegex(ops, r"(\d+) -11 Td\n\[\(a\\\\b mid\)\] TJ\n-\1 -2 Td\n")
        width = 2 * 556 + 278 + 278 + 833 + 222 + 556  # a \ b space m i d in Helvetica
        self.assertIn("%d -11 Td\n" % (100 - (width * 12 + 500) // 1000 // 2), ops)
        self.assertIn("ET\n1 w\n0.00 0.00 0.00 RG\n", ops)  # the underline
        self.assertIn("/F3 12 Tf\n0.00 0.00 0.00 rg\n5 -7 Td\n1 -11 Td\n[(pad)] TJ", ops)
        self.assertIn(b"/BaseFont /Times-BoldItalic", pdf.objects[12])
        self.assertIn("y1=78", self.out)  # the box top, then 14 for each of the two lines
        words = tool("pdftotext", pdf.path, "-").decode().split()
        self.assertEqual(words[:3], ["Hello", "(world)", "and"])
        self.assertIn("end", words)

    def test_page_break_continues_on_new_pages(self):
        lines = "\n".join("line %d" % i for i in range(100))
        pdf = self.write(
            f'<SET NAME="t" VALUE="{lines}">'
            '<PDF FILE="out.pdf" NAME="d" MODE="pagebreak" TEXT="$t$" RECT="20,30,200,140">'
            '<PDF CLOSE="d">')
        streams = pdf.page_streams()
        self.assertEqual(len(streams), 10)
        for n, ops in enumerate(streams):
            self.assertTrue(ops.startswith("q\n1 0 0 1 20 811 cm\n"), ops[:40])
            self.assertIn("[(line %d)] TJ" % (10 * n + 9), ops)
        text = tool("pdftotext", pdf.path, "-").decode().split()
        self.assertEqual(text[-2:], ["line", "99"])

    def test_truetype_font_embedded_whole(self):
        pdf = self.write(
            f'<PDF FILE="out.pdf" NAME="d" FONT="{FONT}" SIZE="20" TEXT="AVATAR" RECT="10,10,300,50">'
            '<PDF ADDPAGE="d"><PDF NAME="d" FONT="DejaVuSans" TEXT="again" RECT="10,10,300,50">'
            '<PDF CLOSE="d">')
        self.assertRegex(tool("pdffonts", pdf.path).decode(), r"DejaVu_Sans +TrueType +WinAnsi +yes")
        with open(FONT, "rb") as f:
            original = f.read()
        self.assertEqual(pdf.stream(14), original)
        self.assertIn(b"/Length1 %d\n" % len(original), pdf.objects[14])
        widths = re.search(rb"\[(.*)\]", pdf.objects[13], re.S).group(1).split()
        self.assertEqual(len(widths), 224)
        first, second = pdf.page_streams()
        self.assertRegex(first, r"\[\(A\) \d+ \(V\) \d+ \(A", "kerned pairs")
        self.assertIn("/F2 20 Tf", second)  # found again by its file name
        self.assertEqual(len(pdf.objects), 17, "the font is loaded once")

    def test_deflated_font_kept_between_runs(self):
        keep = tempfile.mkdtemp(prefix="kwlfonts-")
        self.addCleanup(shutil.rmtree, keep, True)
        page = f'<PDF FILE="out.pdf" NAME="d" FONT="{FONT}" TEXT="x" RECT="10,10,90,50"><PDF CLOSE="d">'
        with open(FONT, "rb") as f:
            original = f.read()
        first = self.write(page, tmpdir=keep)
        (kept,) = glob.glob(os.path.join(keep, "kwl-*", "fonts", "*.z"))
        self.assertEqual(os.stat(os.path.dirname(kept)).st_mode & 0o777, 0o700)
        with open(kept, "rb") as f:
            self.assertIn(f.read(), first.objects[14])
        # Another deflated form of the same bytes is used as it is...
        other = zlib.compress(original, 1)
        with open(kept, "wb") as f:
            f.write(other)
        self.assertIn(other, self.write(page, tmpdir=keep).objects[14])
        # ...one of other bytes is not: the font is deflated again and kept.
        with open(kept, "wb") as f:
            f.write(zlib.compress(original[:-1]))
        self.assertEqual(self.write(page, tmpdir=keep).stream(14), original)
        with open(kept, "rb") as f:
            self.assertIn(f.read(), first.objects[14])

    def test_boxes_and_lines(self):
        pdf = self.write(
            '<PDF FILE="out.pdf" PAGESIZE="200" NAME="d" RECT="20,20,100,50" BGCOLOR="#FF0000">'
            '<PDF NAME="d" RECT="20,100,80,60" ROUND="20" BORDER="2" BGCOLOR="white" ROTATE="-5">'
            '<PDF NAME="d" LINE="0,190,200,0" BORDER="3" COLOR="blue"><PDF CLOSE="d">')
        ops = pdf.page_streams()[0]
        self.assertIn("1 0 0 1 20 180 cm\n1.00 0.00 0.00 RG\n1.00 0.00 0.00 rg\n0 0 100 -50 re\nb\n", ops)
        self.assertIn("2 w\n0.00 0.00 0.00 RG\n1.00 1.00 1.00 rg\n10 -60 m\n70 -60 l\n"
                      "80 -60 80 -50 v\n", ops)
        self.assertIn("0 -60 10 -60 v\ns\nQ\n", ops)
        self.assertIn("3 w\n0.00 0.00 1.00 RG\n0 10 m\n200 10 l\nS\n", ops)

    def test_jpeg_embedded_as_is(self):
        pdf = self.write('<PDF FILE="src.pdf" NAME="d" RECT="0,0,595,841" BGCOLOR="green">'
                         '<PDF CLOSE="d">', name="src.pdf")
        tool("pdftoppm", "-jpeg", "-scale-to-x", "40", "-scale-to-y", "20", pdf.path,
             os.path.join(self.tmp, "pic"))
        with open(glob.glob(os.path.join(self.tmp, "pic*.jpg"))[0], "rb") as f:
            jpeg = f.read()
        pdf = self.write(
            '<PDF FILE="out.pdf" NAME="d" PATH="pic.jpg" POSITION="10,20,100,0" GETX="x" GETY="y">'
            '<PDF NAME="d" PATH="page.kwl" POSITION="1,1,1,1">'
            '<PDF NAME="d" PATH="pic.jpg" POSITION="2147483647,-2147483648,0,2147483647">'
            '<PDF NAME="d" PATH="pic.jpg" POSITION="3,4,100,1">'
            '<PDF CLOSE="d">x=$x$ y=$y$',
            files={"pic.jpg": jpeg})
        self.assertIn("x=110 y=70", self.out)
        self.assertIn("q\n100 0 0 50 10 771 cm\n/Img11 Do\nQ\n", pdf.page_streams()[0])
        self.assertIn(b"/Width 40\n/Height 20\n/ColorSpace /DeviceRGB\n", pdf.objects[11])
        self.assertEqual(pdf.stream(11), jpeg)
        self.assertIn(b"/XObject <<\n/Img11 11 0 R\n/Img12 12 0 R\n/Img13 13 0 R\n>>", pdf.objects[5])
        self.assertIn("q\n2000000 0 0 1000000 1000000 841 cm\n/Img12 Do\nQ\n", pdf.page_streams()[0])
        self.assertIn("q\n100 0 0 1 3 836 cm\n/Img13 Do\nQ\n", pdf.page_streams()[0])
        self.assertEqual(len(pdf.objects), 13, "other data is no image")

    def test_links_scripts_and_svg_are_escaped(self):
        pdf = self.write(
            '<PDF FILE="out.pdf" NAME="d" RECT="10,20,30,40" BORDER="1" HREF="(http://a/b(c)\\d)">'
            '<PDF NAME="d" JS="app.alert(\')(\');"><PDF NAME="d" JS="app.alert(1);">'
            '<PDF NAME="d" RECT="0,0,50,50" INCLUDE="a(b).svg"><PDF CLOSE="d">',
            files={"a(b).svg": b"<svg/>"})
        self.assertIn(b"/Rect [10 781 40 821]\n/Border [1 1 1]\n /A <</S /URI /URI "
                      b"(http://a/b\\(c\\)d) >>\n\n>>", pdf.objects[11])
        self.assertIn(b"/JS (app.alert\\(1\\);)", pdf.objects[12])
        self.assertIn(b"/Names << /JavaScript << /Names [ (JS7) 12 0 R ] >> >>\n", pdf.objects[1])
        self.assertEqual(pdf.objects[13], b"13 0 obj\n(a\\(b\\).svg)\nendobj\n\n")
        self.assertEqual(pdf.stream(14), b"<svg/>")
        self.assertIn(b"/Subtype /SVG", pdf.objects[16])
        self.assertEqual(pdf.objects[9], b"9 0 obj\n[11 0 R\n16 0 R\n]\nendobj\n\n")

    def test_frame_and_raw_operators(self):
        pdf = self.write(
            '<PDF FILE="out.pdf" NAME="d"><PDF FRAME="d" WRIT="0 0 m 10 10 l S">'
            '<PDF ADDPAGE="d"><PDF NAME="d" WRIT="1 1 m"><PDF CLOSE="d">')
        self.assertEqual(pdf.stream(6), b"0 0 m 10 10 l S")
        self.assertEqual(pdf.page_streams(), ["", "1 1 m"])
        self.assertIn(b"/Kids [7 0 R\n11 0 R\n]\n/Count 2", pdf.objects[4])


if __name__ == "__main__":
    unittest.main()
