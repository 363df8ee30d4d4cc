#!/usr/bin/env python3
"""The SMTP servers of the mail tests, on 127.0.0.1, one port per kind.

  smtp_server.py start|stop|serve DIR, smtp_server.py run DIR CMD...
(tests/server_commands.py); DIR/env holds KWL_TEST_SMTP=1, KWL_TEST_SMTP_DIR
and KWL_TEST_SMTP_<KIND>_PORT for each kind.

Kinds: PLAIN (offers AUTH PLAIN), STARTTLS (offers STARTTLS, then AUTH
CRAM-MD5 LOGIN PLAIN over TLS), TLS (TLS from the first byte; offers AUTH
LOGIN PLAIN and the older AUTH=LOGIN), BURSTS (every reply written in
pieces 0.2 s apart, multi-line greeting and EHLO), ENDLESS (a greeting
that never ends), REFUSE (greeting 554), SINK (takes every mail, keeps
nothing: for the benchmark).

Faults by address: a sender whose name begins "refuse" gets 550 to MAIL
FROM, "nodata" 554 to DATA, "reject" 552 after the data, "badquit" 250 to
QUIT, "silent" no answer after MAIL FROM; a recipient whose name begins
"refuse" gets 550. Credentials: user "user", password "secret".

Every connection is written to DIR/sessions/<pid>-<n>.json when it ends: kind,
tls, the lines received (data excluded), auth outcome and the data bytes
exactly as received (dot-stuffed, without the end line).
"""
import base64
import hashlib
import hmac
import itertools
import json
import os
import socketserver
import ssl
import sys
import threading
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import server_commands  # noqa: E402

USER, PASSWORD = "user", "secret"
PAUSE = 0.2
KINDS = ("PLAIN", "STARTTLS", "TLS", "BURSTS", "ENDLESS", "REFUSE", "SINK")
counter = itertools.count(1)


class Session:
    def __init__(self, sock, kind, directory, context):
        self.sock, self.kind, self.directory, self.context = sock, kind, directory, context
        self.buffer = b""
        self.record = {"kind": kind, "tls": False, "lines": [], "auth": None, "data": None,
                       "mail_from": None, "rcpt": []}
        self.sender = ""

    def write(self, text):
        data = text.encode("latin-1")
        if self.kind == "BURSTS" and len(data) > 4:
            for piece in (data[:3], data[3:len(data) // 2], data[len(data) // 2:]):
                self.sock.sendall(piece)
                time.sleep(PAUSE)
        else:
            self.sock.sendall(data)

    def readline(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.decode("latin-1").rstrip("\r")

    def read_data(self):
        whole = bytearray(b"\r\n" + self.buffer)
        end = whole.find(b"\r\n.\r\n")
        while end < 0:
            chunk = self.sock.recv(1 << 20)
            if not chunk:
                raise EOFError
            searched = max(0, len(whole) - 4)
            whole += chunk
            end = whole.find(b"\r\n.\r\n", searched)
        data, self.buffer = bytes(whole[2:end + 2]), bytes(whole[end + 5:])
        return data

    def ehlo_lines(self):
        lines = ["kwl-test greets you", "8BITMIME", "SIZE 50000000"]
        if self.kind == "STARTTLS" and not self.record["tls"]:
            lines.append("STARTTLS")
        elif self.kind == "STARTTLS":
            lines.append("AUTH CRAM-MD5 LOGIN PLAIN")
        elif self.kind == "TLS":
            lines += ["AUTH LOGIN PLAIN", "AUTH=LOGIN"]
        elif self.kind in ("PLAIN", "BURSTS"):
            lines.append("AUTH PLAIN")
        return "".join(f"250{'-' if i < len(lines) - 1 else ' '}{l}\r\n"
                       for i, l in enumerate(lines))

    def auth(self, line):
        words = line.split()
        method = words[1].upper() if len(words) > 1 else ""
        if method == "PLAIN":
            parts = base64.b64decode(words[2]).split(b"\0") if len(words) > 2 else []
            ok = parts == [USER.encode(), USER.encode(), PASSWORD.encode()]
        elif method == "LOGIN":
            self.write("334 VXNlcm5hbWU6\r\n")
            user = base64.b64decode(self.readline())
            self.write("334 UGFzc3dvcmQ6\r\n")
            password = base64.b64decode(self.readline())
            ok = (user, password) == (USER.encode(), PASSWORD.encode())
        elif method == "CRAM-MD5":
            challenge = b"<%d.%d@kwl-test>" % (os.getpid(), time.time_ns())
            self.write("334 " + base64.b64encode(challenge).decode() + "\r\n")
            answer = base64.b64decode(self.readline())
            digest = hmac.new(PASSWORD.encode(), challenge, hashlib.md5).hexdigest()
            ok = answer == USER.encode() + b" " + digest.encode()
        else:
            ok = False
        self.record["auth"] = [method, ok]
        self.write("235 2.7.0 Authentication successful\r\n" if ok
                   else "535 5.7.8 Authentication credentials invalid\r\n")

    def run(self):
        if self.kind == "ENDLESS":
            for n in itertools.count():
                self.sock.sendall(b"220-still greeting %d\r\n" % n)
                time.sleep(PAUSE)
        if self.kind == "REFUSE":
            self.write("554 5.3.2 no service\r\n")
        elif self.kind == "BURSTS":
            self.write("220-kwl-test ESMTP\r\n220-more words\r\n220 ready\r\n")
        else:
            self.write("220 kwl-test ESMTP ready\r\n")
        while True:
            line = self.readline()
            self.record["lines"].append(line)
            verb = line.split(" ")[0].upper()
            if verb in ("EHLO", "HELO"):
                self.write(self.ehlo_lines())
            elif verb == "STARTTLS" and self.kind == "STARTTLS" and not self.record["tls"]:
                self.write("220 2.0.0 go ahead\r\n")
                self.sock = self.context.wrap_socket(self.sock, server_side=True)
                self.record["tls"] = True
                self.buffer = b""
            elif verb == "AUTH":
                self.auth(line)
            elif verb == "MAIL":
                self.sender = line.partition("<")[2]
                self.record["mail_from"] = self.sender.rstrip(">")
                if self.sender.startswith("silent"):
                    time.sleep(60)
                self.write("550 5.7.1 sender refused\r\n" if self.sender.startswith("refuse")
                           else "250 2.1.0 sender ok\r\n")
            elif verb == "RCPT":
                address = line.partition("<")[2].rstrip(">")
                self.record["rcpt"].append(address)
                self.write("550 5.1.1 no such user\r\n" if address.startswith("refuse")
                           else "250 2.1.5 recipient ok\r\n")
            elif verb == "DATA":
                if self.sender.startswith("nodata"):
                    self.write("554 5.5.1 no data today\r\n")
                    continue
                self.write("354 end with <CRLF>.<CRLF>\r\n")
                data = self.read_data()
                if self.kind != "SINK":
                    self.record["data"] = data.decode("latin-1")
                self.write("552 5.3.4 message refused\r\n" if self.sender.startswith("reject")
                           else "250 2.0.0 queued as 42\r\n")
            elif verb == "QUIT":
                self.write("250 not bye\r\n" if self.sender.startswith("badquit")
                           else "221 2.0.0 bye\r\n")
                return
            else:
                self.write("500 5.5.2 what\r\n")

    def save(self):
        if self.kind == "SINK":
            return
        path = os.path.join(self.directory, "sessions", "%d-%06d.json" % (os.getpid(), next(counter)))
        with open(path + ".tmp", "w") as out:
            json.dump(self.record, out)
        os.rename(path + ".tmp", path)


def make_handler(kind, directory, context):
    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            sock = self.request
            sock.settimeout(120)
            session = Session(sock, kind, directory, context)
            try:
                if kind == "TLS":
                    session.sock = context.wrap_socket(sock, server_side=True)
                    session.record["tls"] = True
                session.run()
            except (EOFError, OSError, ssl.SSLError, ValueError) as e:
                session.record["error"] = repr(e)
            session.save()
    return Handler


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(directory):
    os.makedirs(os.path.join(directory, "sessions"), exist_ok=True)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(directory, "cert.pem"), os.path.join(directory, "key.pem"))
    lines = ["KWL_TEST_SMTP=1", "KWL_TEST_SMTP_DIR=" + directory]
    for kind in KINDS:
        server = Server(("127.0.0.1", 0), make_handler(kind, directory, context))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        lines.append(f"KWL_TEST_SMTP_{kind}_PORT={server.server_address[1]}")
    server_commands.publish(directory, lines)



if __name__ == "__main__":
    sys.exit(server_commands.main(sys.argv, __doc__, __file__, serve, fresh=["sessions"]))
