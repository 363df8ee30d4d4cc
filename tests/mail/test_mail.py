#!/usr/bin/env python3
"""MAIL against the SMTP servers of smtp_server.py: what the server receives,
byte for byte, and what the page is told.

Usage: test_mail.py --kwl PATH (with smtp_server.py's env in the environment)
"""
import base64
import email
import email.policy
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

KWL = None
ENV = os.environ
PORT = {k: ENV.get(f"KWL_TEST_SMTP_{k}_PORT", "") for k in
        ("PLAIN", "STARTTLS", "TLS", "BURSTS", "ENDLESS", "REFUSE", "SINK")}


def sessions():
    return set(glob.glob(os.path.join(ENV.get("KWL_TEST_SMTP_DIR", ""), "sessions", "*.json")))


class Run:
    """One page run in a fresh directory: its output, trace and the server's records."""

    def __init__(self, page, files=None, conf=None, expect_sessions=1):
        self.dir = tempfile.mkdtemp(prefix="kwlmail-")
        for name, data in (files or {}).items():
            with open(os.path.join(self.dir, name), "wb") as out:
                out.write(data if isinstance(data, bytes) else data.encode("latin-1"))
        if conf:
            with open(os.path.join(self.dir, "kwl.conf"), "w") as out:
                out.write(conf)
        with open(os.path.join(self.dir, "page.kwl"), "wb") as out:
            out.write(page.encode("latin-1"))
        before = sessions()
        env = {k: v for k, v in ENV.items() if k.startswith(("KWL_TEST_", "ASAN", "UBSAN", "LSAN"))}
        env["PATH"] = ENV.get("PATH", "/usr/bin:/bin")
        started = time.monotonic()
        done = subprocess.run([KWL, "page.kwl"], cwd=self.dir, env=env, capture_output=True,
                              timeout=60)
        self.seconds = time.monotonic() - started
        self.out = done.stdout.decode("latin-1").split("\n\n", 1)[-1]
        stderr = done.stderr.decode("latin-1")
        assert not re.search("Sanitizer|runtime error: ", stderr), stderr
        self.records = []
        for _ in range(100):
            new = sorted(sessions() - before)
            if len(new) >= expect_sessions:
                break
            time.sleep(0.05)
        for path in new:
            with open(path) as record:
                self.records.append(json.load(record))
        self.trace = ""
        for path in glob.glob(os.path.join(self.dir, "kwldebug", "**", "*"), recursive=True):
            if os.path.isfile(path):
                with open(path, encoding="latin-1") as trace:
                    self.trace += trace.read()
        shutil.rmtree(self.dir, ignore_errors=True)

    @property
    def record(self):
        assert len(self.records) == 1, self.records
        return self.records[0]


def smtp(kind, protocol="", user="", password="user|secret"):
    server_line = f"127.0.0.1:{PORT[kind]}" + (":" + protocol if protocol else "")
    return server_line + ("|" + password if user else "||")


def unstuff(data):
    return re.sub(r"(?m)^\.", "", data.replace("\r\n", "\n"))


def masked(data):
    data = re.sub(r"Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|"
                  r"Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d [+-]\d{4}\r", "Date: *\r", data)
    data = re.sub(r"<[0-9a-f]{8}\.[0-9a-f]{8}@", "<*.*@", data)
    data = re.sub(r"=_KWLBoundary-[A-Za-z0-9]{21}", "B", data)
    return data


class Layouts(unittest.TestCase):
    def test_plain_text_headers_envelope_and_dot_stuffing(self):
        body = "first\n.\nQUIT\n..two\n.three\r\nend"
        r = Run(f'<HTML><MAIL FROM="Me <me@x.org>" TO="a@b.org, Bo <b@b.org>;;" CC="c@c.org" '
                f'CCI="hidden@d.org" REPLY="r@x.org" SUBJECT="Hi there" MSG="{body}" '
                f'CHARSET=utf-8 SMTP="{smtp("PLAIN")}">[$velerr$]')
        self.assertEqual(r.out, "<HTML>[0]")
        rec = r.record
        self.assertEqual(rec["rcpt"], ["a@b.org", "b@b.org", "c@c.org", "hidden@d.org"])
        self.assertEqual(rec["mail_from"], "me@x.org")
        self.assertNotIn("AUTH", " ".join(rec["lines"]))
        self.assertEqual(masked(rec["data"]),
                         "Date: *\r\nReturn-Path: Me <me@x.org>\r\nFrom: Me <me@x.org>\r\n"
                         "To: a@b.org, Bo <b@b.org>;;\r\nCc: c@c.org\r\nReply-To: r@x.org\r\n"
                         "X-Mailer: KWL v3.8rc6 with 127.0.0.1\r\nMessage-ID: <*.*@127.0.0.1>\r\n"
                         "Subject: Hi there\r\nContent-Transfer-Encoding: 8BIT\r\n"
                         "Content-Type: text/plain; charset=utf-8\r\n\r\n"
                         "first\r\n..\r\nQUIT\r\n...two\r\n..three\r\nend\r\n")
        self.assertNotIn("hidden", rec["data"])

    def test_line_ends_in_header_values_start_no_header_or_command(self):
        r = Run('<HTML><SET NAME=s VALUE="Hi\r\nBcc: evil@x.org"><SET NAME=t VALUE="a@b.org\r\n'
                'RCPT TO: <evil@x.org>">'
                f'<MAIL FROM="me@x.org\nX-Evil: 1" TO="$t$" SUBJECT="$s$" MSG="m" '
                f'SMTP="{smtp("PLAIN")}">[$velerr$]')
        self.assertEqual(r.out, "<HTML>[0]")
        data = r.record["data"]
        self.assertIn("\r\nSubject: HiBcc: evil@x.org\r\n", data)
        self.assertIn("\r\nFrom: me@x.orgX-Evil: 1\r\n", data)
        self.assertEqual([l for l in r.record["lines"] if l.startswith("RCPT")], ["RCPT TO: <evil@x.org>"])

    def test_multipart_alternative_from_a_template_run_per_part(self):
        template = '<COND EXPR="$velmailpart$ = text">Plain $who$<ELSE>\n<b>Html $who$</b></COND>'
        r = Run(f'<HTML><SET NAME=who VALUE=Ann><MAIL FROM="me@x.org" TO="a@b.org" SUBJECT=s '
                f'TYPE=multipart FILE="body.kwl" SMTP="{smtp("BURSTS")}">[$velerr$|$velmailpart$]',
                files={"body.kwl": template})
        self.assertEqual(r.out, "<HTML>[0|html]")
        self.assertEqual(masked(r.record["data"]).split("Subject: s\r\n", 1)[1],
                         "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"B\""
                         "\r\n\r\n--B\r\nContent-Transfer-Encoding: 8BIT\r\n"
                         "Content-Type: text/plain; charset=iso-8859-1\r\n\r\nPlain Ann\r\n--B\r\n"
                         "Content-Transfer-Encoding: 8BIT\r\nContent-Type: text/html; "
                         "charset=iso-8859-1\r\n\r\n\r\n<b>Html Ann</b>\r\n--B--\r\n\r\n\r\n")

    def test_inline_type_without_parts_is_still_a_whole_message(self):
        r = Run(f'<HTML><MAIL FROM="me@x.org" TO="a@b.org" SUBJECT=s TYPE=inline MSG=m '
                f'SMTP="{smtp("PLAIN")}">[$velerr$]')
        self.assertEqual(r.out, "<HTML>[0]")
        self.assertTrue(r.record["data"].endswith("\r\nSubject: s\r\n"))

    def test_inline_images_and_attachments_decode_to_their_files(self):
        image = bytes(range(256)) * 3
        pdf = b"%PDF-1.4 " + bytes(range(45))  # 54 bytes: exactly one line
        html = ('<p><img src="logo.gif"><IMG alt="" SRC="logo.gif">'
                '<img src="data:image/png;base64,AAAA"><img src="https://x.org/a.png">'
                '<img src=shot.JPG><a href="doc.pdf">x</a><img src="shot.JPG"></p>\n.\n')
        r = Run(f'<HTML><MAIL FROM="me@x.org" TO="a@b.org" SUBJECT="s" TYPE=HTML FILE="b.kwl" '
                f'JOIN="  My report <doc.pdf>,notes.txt|missing.txt,,raw.bin,four.xyz" '
                f'SMTP="{smtp("PLAIN")}">[$velerr$]',
                files={"b.kwl": html, "logo.gif": image, "doc.pdf": pdf, "notes.txt": "a\nb\n",
                       "raw.bin": b"", "four.xyz": b"abcd", "shot.JPG": b"\xff\xd8\xff"})
        self.assertEqual(r.out, "<HTML>[0]")
        data = r.record["data"]
        self.assertIn("\r\n..\r\n", data)
        for line in data.split("\r\n"):
            self.assertLessEqual(len(line), 998)
        self.assertIn("\r\n\r\nJVBERi0xLjQgAAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKiss\r\n"
                      "\r\n--", data)  # the 54-byte file: one line of 72
        self.assertIn("\r\n\r\nYWJjZA==\r\n--", data)  # 4 bytes: one group and a padded one
        message = email.message_from_bytes(unstuff(data).encode("latin-1"),
                                           policy=email.policy.default)
        self.assertEqual(message.get_content_type(), "multipart/mixed")
        self.assertEqual(message["MIME-Version"], "1.0")
        related, *attached = message.iter_parts()
        self.assertEqual(related.get_content_type(), "multipart/related")
        body, *images = related.iter_parts()
        self.assertEqual([i.get_content_type() for i in images], ["image/gif", "image/jpeg"])
        self.assertEqual(images[0].get_content(), image)
        self.assertEqual(images[1].get_filename(), "shot.JPG")
        cids = re.findall(r'src="cid:([^"]+)" alt=""', body.get_content(), re.I)
        self.assertEqual(cids, [images[0]["Content-ID"][1:-1]] * 2 + [images[1]["Content-ID"][1:-1]])
        self.assertIn('<img src="data:image/png;base64,AAAA"><img src="https://x.org/a.png">'
                      '<img src=shot.JPG><a href="doc.pdf">', body.get_content())
        self.assertEqual([(a.get_filename(), a.get_content_type(), a.get_payload(decode=True))
                          for a in attached],
                         [("My report", "application/pdf", pdf),
                          ("notes.txt", "text/plain", b"a\nb\n"),
                          ("raw.bin", "application/octet-stream", b""),
                          ("four.xyz", "application/octet-stream", b"abcd")])


class Bodies(unittest.TestCase):
    def test_a_body_that_cannot_be_made_sends_nothing_and_says_so(self):
        r = Run(f'<HTML><MAIL FROM="me@x.org" TO="a@b.org" SUBJECT=s FILE="none.kwl" '
                f'SMTP="{smtp("PLAIN")}">[$velerr$|$velerrmsg$]', expect_sessions=0)
        self.assertEqual(r.out, "<HTML>Impossible d'ouvrir le fichier: none.kwl\n"
                                "[2|ERROR: Can't send MAIL]")
        self.assertEqual(r.records, [])
        r = Run(f'<HTML><MAIL FROM="me@x.org" TO="a@b.org" SUBJECT=s TYPE=HTML MSG=\'<img src="gone.png">\' '
                f'SMTP="{smtp("PLAIN")}">[$velerr$|$velerrmsg$]', expect_sessions=0)
        self.assertEqual(r.records, [])


class Limits(unittest.TestCase):
    def mail(self, sessions=0, **fields):
        attributes = {"FROM": "me@x.org", "TO": "a@b.org", "SUBJECT": "s", "MSG": "m",
                      "SMTP": smtp("PLAIN")} | fields
        text = " ".join(f'{k}="{v}"' for k, v in attributes.items())
        return Run(f'<HTML><SET NAME=veldebug VALUE=1><MAIL {text}>[$velerr$]',
                   files={f"i{n}.gif": b"GIF" for n in range(33)}, expect_sessions=sessions)

    def test_addresses_are_checked_and_the_recipient_table_never_overflows(self):
        cases = [({"FROM": ""}, 11), ({"FROM": "a@b"}, 12), ({"TO": "ab.org"}, 13),
                 ({"CC": "x"}, 14), ({"CCI": "x"}, 15), ({"REPLY": "x"}, 16),
                 ({"TO": ",".join(f"r{i}@b.org" for i in range(33)),
                   "CCI": ",".join(f"h{i}@b.org" for i in range(32))}, 15),
                 ({"CC": "x" * 1018 + "@b.org"}, 14)]
        for fields, code in cases:
            r = self.mail(**fields)
            self.assertEqual((r.out, r.records), ("<HTML>[2]", []), fields)
            self.assertIn(f"Err : {code}\n", r.trace, fields)
        r = self.mail(sessions=1, TO=",".join(f"r{i}@b.org" for i in range(64)))
        self.assertEqual((r.out, len(r.record["rcpt"])), ("<HTML>[0]", 64))

    def test_images_past_the_table_stay_plain_references(self):
        html = "".join(f'<img src="i{n}.gif">' for n in range(33))
        r = Run(f'<HTML><MAIL FROM="me@x.org" TO="a@b.org" SUBJECT=s TYPE=HTML FILE=b.kwl '
                f'SMTP="{smtp("PLAIN")}">[$velerr$]',
                files={"b.kwl": html} | {f"i{n}.gif": b"GIF" for n in range(33)})
        self.assertEqual(r.out, "<HTML>[0]")
        self.assertEqual(r.record["data"].count("Content-ID:<part"), 32)
        self.assertIn('<img src="cid:part31.', r.record["data"])
        self.assertIn('<img src="i32.gif">', r.record["data"])


class Transport(unittest.TestCase):
    def send(self, server_line, sender="me@x.org", to="a@b.org", conf=None, sessions=1):
        return Run(f'<HTML><SET NAME=veldebug VALUE=1><MAIL FROM="{sender}" TO="{to}" SUBJECT=s '
                   f'MSG="m" SMTP="{server_line}">[$velerr$]', conf=conf, expect_sessions=sessions)

    def test_tls_and_authentication_methods(self):
        r = self.send(smtp("STARTTLS", "STARTTLS", user=True))
        self.assertEqual((r.out, r.record["tls"], r.record["auth"]), ("<HTML>[0]", True, ["CRAM-MD5", True]))
        self.assertEqual(r.record["lines"][:3], ["EHLO " + os.uname().nodename, "STARTTLS",
                                                 "EHLO " + os.uname().nodename])
        r = self.send(smtp("TLS", "SSL", user=True))
        self.assertEqual((r.out, r.record["tls"], r.record["auth"]), ("<HTML>[0]", True, ["LOGIN", True]))
        self.assertNotIn(base64.b64encode(b"secret").decode(), r.trace)
        r = self.send(smtp("PLAIN", user=True))
        self.assertEqual((r.out, r.record["auth"]), ("<HTML>[0]", ["PLAIN", True]))
        self.assertIn("AUTH PLAIN ********", r.trace)
        self.assertIn(f"Unexpected port: {PORT['PLAIN']}, unable to determine protocol", r.trace)
        r = self.send(smtp("PLAIN", user=True, password="user|wrong"))
        self.assertEqual((r.out, r.record["auth"]), ("<HTML>[2]", ["PLAIN", False]))
        self.assertNotIn("MAIL FROM: <me@x.org>", r.record["lines"])
        self.assertIn("SMTP AUTH PLAIN failed: 535 5.7.8", r.trace)
        r = self.send(smtp("STARTTLS", user=True, password="|secret"))  # no user, no protocol
        self.assertEqual((r.out, r.record["tls"], r.record["auth"]), ("<HTML>[0]", False, None))

    def test_enciphered_password(self):
        r = Run('<HTML><SET NAME=c ENCRYPT="secret"><SET NAME=p ENCODE64="$c$">'
                f'<MAIL FROM="me@x.org" TO="a@b.org" SUBJECT=s MSG="m" '
                f'SMTP="127.0.0.1:{PORT["PLAIN"]}|user#$p$">[$velerr$]')
        self.assertEqual((r.out, r.record["auth"]), ("<HTML>[0]", ["PLAIN", True]))

    def test_failed_tls_sends_no_credentials(self):
        r = self.send(smtp("STARTTLS", "STARTTLS", user=True), conf="velsmtpverify 1\n")
        self.assertEqual(r.out, "<HTML>[2]")
        self.assertEqual((r.record["lines"], r.record["auth"]), (["EHLO " + os.uname().nodename, "STARTTLS"], None))
        r = self.send(smtp("PLAIN", "SSL", user=True))  # the server speaks plain text
        self.assertEqual((r.out, r.record["auth"]), ("<HTML>[2]", None))
        self.assertFalse([l for l in r.record["lines"] if l.startswith(("EHLO", "AUTH"))])

    def test_refusals_at_each_step(self):
        cases = [("refuse@x.org", "a@b.org", ["EHLO", "MAIL"]),
                 ("me@x.org", "a@b.org,refuse@b.org,c@b.org", ["EHLO", "MAIL", "RCPT", "RCPT"]),
                 ("nodata@x.org", "a@b.org", ["EHLO", "MAIL", "RCPT", "DATA"]),
                 ("reject@x.org", "a@b.org", ["EHLO", "MAIL", "RCPT", "DATA"]),
                 ("badquit@x.org", "a@b.org", ["EHLO", "MAIL", "RCPT", "DATA", "QUIT"])]
        for sender, to, verbs in cases:
            r = self.send(smtp("PLAIN"), sender=sender, to=to)
            self.assertEqual(r.out, "<HTML>[2]", sender)
            self.assertEqual([line.split()[0] for line in r.record["lines"]], verbs, sender)
        r = self.send(smtp("REFUSE"))
        self.assertEqual((r.out, r.record["lines"]), ("<HTML>[2]", []))
        self.assertIn("SMTP greeting failed: 554 5.3.2 no service", r.trace)

    def test_replies_in_bursts_are_read_whole_and_endless_ones_bounded(self):
        r = self.send(smtp("BURSTS"), to="a@b.org,c@d.org")
        self.assertEqual(r.out, "<HTML>[0]")
        self.assertEqual([line.split()[0] for line in r.record["lines"]],
                         ["EHLO", "MAIL", "RCPT", "RCPT", "DATA", "QUIT"])
        for sender, kind in (("me@x.org", "ENDLESS"), ("silent@x.org", "PLAIN")):
            r = self.send(smtp(kind), sender=sender)
            self.assertEqual(r.out, "<HTML>[2]")
            self.assertLess(r.seconds, 14)
            self.assertGreater(r.seconds, 9)


def main():
    global KWL
    args = sys.argv[1:]
    if len(args) >= 2 and args[0] == "--kwl":
        KWL = os.path.abspath(args[1])
        args = args[2:]
    if not KWL or not ENV.get("KWL_TEST_SMTP"):
        print(__doc__, file=sys.stderr)
        return 2
    program = unittest.main(argv=[sys.argv[0]] + args, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
