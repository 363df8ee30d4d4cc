#!/usr/bin/env python3
"""The HTTP servers of the network tests: plain and TLS, on 127.0.0.1.

  http_server.py start DIR        makes a certificate for "localhost" (no
                                  address in it), starts the servers detached
                                  and writes DIR/env (KWL_TEST_HTTP=1,
                                  KWL_TEST_HTTP_PORT, KWL_TEST_HTTPS_PORT,
                                  KWL_TEST_HTTPS_CA)
  http_server.py stop DIR         stops them
  http_server.py run DIR CMD...   runs CMD with DIR/env in its environment
  http_server.py serve DIR        the servers themselves (what start runs)

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
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

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
    env_file = os.path.join(directory, "env")
    plain = Server(("127.0.0.1", 0), Handler)
    secure = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(directory, "cert.pem"), os.path.join(directory, "key.pem"))
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    for server in (plain, secure):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(env_file + ".tmp", "w") as out:
        out.write(f"KWL_TEST_HTTP=1\nKWL_TEST_HTTP_PORT={plain.server_address[1]}\n"
                  f"KWL_TEST_HTTPS_PORT={secure.server_address[1]}\n"
                  f"KWL_TEST_HTTPS_CA={os.path.join(directory, 'cert.pem')}\n")
    os.rename(env_file + ".tmp", env_file)
    signal.sigwait({signal.SIGTERM, signal.SIGINT})


def start(directory):
    stop(directory)
    os.makedirs(directory, exist_ok=True)
    env_file = os.path.join(directory, "env")
    if os.path.exists(env_file):
        os.remove(env_file)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                    "-addext", "subjectAltName=DNS:localhost",
                    "-keyout", os.path.join(directory, "key.pem"),
                    "-out", os.path.join(directory, "cert.pem")],
                   check=True, capture_output=True)
    log = open(os.path.join(directory, "server.log"), "w")
    child = subprocess.Popen([sys.executable, __file__, "serve", directory], stdin=subprocess.DEVNULL,
                             stdout=log, stderr=log, start_new_session=True)
    with open(os.path.join(directory, "server.pid"), "w") as out:
        out.write(str(child.pid))
    for _ in range(200):
        if os.path.exists(env_file):
            print(open(env_file).read(), end="")
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.05)
    print("the test servers did not start; see", log.name, file=sys.stderr)
    return 1


def stop(directory):
    try:
        pid = int(open(os.path.join(directory, "server.pid")).read())
        os.kill(pid, signal.SIGTERM)
    except (OSError, ValueError):
        pass
    return 0


def run(directory, command):
    env = dict(os.environ)
    for line in open(os.path.join(directory, "env")):
        name, _, value = line.strip().partition("=")
        env[name] = value
    os.execvpe(command[0], command, env)


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    mode, directory = argv[1], os.path.abspath(argv[2])
    if mode == "serve":
        signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
        serve(directory)
        return 0
    if mode == "start":
        return start(directory)
    if mode == "stop":
        return stop(directory)
    if mode == "run":
        return run(directory, argv[3:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
