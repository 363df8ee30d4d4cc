#!/usr/bin/env python3
"""The HTTP servers of the network tests: plain and TLS, on 127.0.0.1.

  http_server.py start|stop|serve DIR, http_server.py run DIR CMD...
(tests/server_commands.py); the certificate is for "localhost" (no address
in it); DIR/env holds KWL_TEST_HTTP=1, KWL_TEST_HTTP_PORT,
KWL_TEST_HTTPS_PORT and KWL_TEST_HTTPS_CA.

Every answer is written byte by byte here, so tests see exactly what was
sent; connections stay open after a response (HTTP/1.1), so only a client
that frames responses ends its reads in time. Paths:
  /echo          the request as received, as the body
  /bytes/N       a body of N bytes ("0123456789" repeated)
  /pieces        a body sent in three pieces, 0.3 s apart
  /chunked       a chunked body in pieces, 0.3 s apart, with a trailer
  /close         a body without a length, in two pieces; then the server closes
  /stall         Content-Length 10, five bytes, then nothing
  /late          a response after one second
  /silent        nothing, until the client goes away
"""
import http.server
import os
import ssl
import sys
import threading
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import server_commands  # noqa: E402

PAUSE = 0.3


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def setup(self):
        super().setup()
        self.rfile = Recording(self.rfile)

    def do_GET(self):
        raw = self.rfile.take()
        path = self.path.split("?")[0]
        if path == "/echo":
            self.answer(raw)
        elif path.startswith("/bytes/"):
            self.send_bytes(int(path[len("/bytes/"):]))
        elif path == "/pieces":
            self.pieces([b"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\none", b"two", b"six"])
        elif path == "/chunked":
            self.pieces([b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=1\r\none\r\n",
                         b"3\r\ntwo\r\n", b"0\r\nTrailer: yes\r\n\r\n"])
        elif path == "/close":
            self.pieces([b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nfirst ", b"last"])
            self.close_connection = True
        elif path == "/stall":
            self.send_raw(b"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n12345")
            self.until_client_leaves()
        elif path == "/late":
            time.sleep(1)
            self.answer(b"late")
        elif path == "/silent":
            self.until_client_leaves()
        else:
            self.answer(b"not found", b"404 Not Found")

    def send_raw(self, data):
        self.wfile.write(data)
        self.wfile.flush()

    def answer(self, body, status=b"200 OK"):
        head = b"HTTP/1.1 %s\r\nContent-Length: %d\r\n\r\n" % (status, len(body))
        self.send_raw(head + body)

    def send_bytes(self, size):
        self.send_raw(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % size)
        block = b"0123456789" * 6554
        try:
            while size > 0:
                self.wfile.write(block[:size])
                size -= min(size, len(block))
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def pieces(self, parts):
        for k, part in enumerate(parts):
            if k:
                time.sleep(PAUSE)
            self.send_raw(part)

    def until_client_leaves(self):
        self.connection.settimeout(30)
        try:
            while self.connection.recv(4096):
                pass
        except OSError:
            pass
        self.close_connection = True


class Recording:
    """Keeps the bytes the request parser reads, so /echo can send them back."""

    def __init__(self, stream):
        self.stream = stream
        self.seen = bytearray()

    def readline(self, *args):
        line = self.stream.readline(*args)
        self.seen += line
        return line

    def take(self):
        raw = bytes(self.seen)
        self.seen.clear()
        return raw

    def __getattr__(self, name):
        return getattr(self.stream, name)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


def serve(directory):
    plain = Server(("127.0.0.1", 0), Handler)
    secure = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(directory, "cert.pem"), os.path.join(directory, "key.pem"))
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    for server in (plain, secure):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    server_commands.publish(directory, [
        "KWL_TEST_HTTP=1", f"KWL_TEST_HTTP_PORT={plain.server_address[1]}",
        f"KWL_TEST_HTTPS_PORT={secure.server_address[1]}",
        f"KWL_TEST_HTTPS_CA={os.path.join(directory, 'cert.pem')}"])



if __name__ == "__main__":
    sys.exit(server_commands.main(sys.argv, __doc__, __file__, serve,
                                     cert_args=["-addext", "subjectAltName=DNS:localhost"]))
