#!/usr/bin/env python3
"""Sessions shared by two web servers through one MariaDB table.

Two lighttpd instances, each with its own pages and working directory: A
runs kwl as a CGI program, B through FastCGI (kwl --fastcgi, two workers).
Both keep their sessions in the same table of a private MariaDB server.
Checks: a visitor alternating between them keeps a cart; values with zero
bytes cross unchanged; 20 clients on one session across both never see a torn
session and lose no increment; expiry on both and the sweep; kwl
--sessions-import; the database killed under a running page and restarted.

Usage: sessions_e2e.py --kwl PATH --dir DIR   (exits 77 without lighttpd)
"""

import argparse
import concurrent.futures
import http.client
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DB_SCRIPTS = os.path.join(HERE, "..", "db")
sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(HERE, ".."))
from server_commands import kill_mariadb, start_mariadb  # noqa: E402
TABLE = "e2esession"

PAGES = {
    "cart.kwl": '<SET SESSION=cart VALUE="$cart$$item$,"><HTML>[$cart$|$velerr$]',
    "count.kwl": '<SET SESSION=n EXPR="$n$ + 1"><HTML>[$n$]',
    "peek.kwl": '<HTML>[$cart$|$n$|$velerr$|$velerrmsg$]',
    "bytes.kwl": '<SET SESSION=b VALUE="$v$"><HTML>stored',
    "show.kwl": "<HTML>$b$",
    "slow.kwl": '<HTML>[$cart$]<SET SESSION=cart VALUE="$cart$slow,"><WAIT VALUE=3>done',
    # The session as loaded (the start of each of 20 values), then 20 new
    # values: a torn or mixed session shows unequal ones.
    "race.kwl": "<HTML>[" + "|".join("$a%d(1,16)$" % i for i in range(1, 21)) + "]" +
                "".join('<SET SESSION=a%d VALUE="$t$-%s">' % (i, "x" * 2000)
                        for i in range(1, 21)) + "END",
}

failures = []


def check(name, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + name)
    if not ok:
        failures.append(name)
        if detail:
            print("     " + str(detail)[:600])


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    """One lighttpd with its pages and its kwl working directory."""

    def __init__(self, work, name, kwl, fastcgi, db):
        self.root = os.path.join(work, name)
        self.www = os.path.join(self.root, "www")
        self.state = os.path.join(self.root, "state")
        os.makedirs(self.www)
        os.makedirs(self.state)
        for page, text in PAGES.items():
            with open(os.path.join(self.www, page), "w") as f:
                f.write(text)
        with open(os.path.join(self.state, "kwl.conf"), "w") as f:
            f.write(store_conf(db))
        self.port = free_port()
        if fastcgi:
            handler = ('server.modules += ("mod_fastcgi")\nfastcgi.server = (".kwl" => (( '
                       '"socket" => "%s/kwl.sock", "bin-path" => "%s --workers 2", '
                       '"max-procs" => 1 )))' % (self.root, kwl))
        else:
            handler = 'server.modules += ("mod_cgi")\ncgi.assign = (".kwl" => "%s")' % kwl
        conf = os.path.join(self.root, "lighttpd.conf")
        with open(conf, "w") as f:
            f.write('server.document-root = "%s"\nserver.bind = "127.0.0.1"\n'
                    'server.port = %d\nserver.errorlog = "%s/error.log"\n'
                    'server.modules = ("mod_setenv")\n'
                    'setenv.add-environment = ("KWL_DIR" => "%s")\n%s\n'
                    % (self.www, self.port, self.root, self.state, handler))
        lighttpd = shutil.which("lighttpd") or "/usr/sbin/lighttpd"
        self.proc = subprocess.Popen([lighttpd, "-D", "-f", conf])
        for _ in range(100):
            try:
                self.get("peek.kwl", "READYREADYREADY1")
                break
            except OSError:
                time.sleep(0.1)

    def get(self, page, sid=None, query="", post=None, timeout=60):
        """The body and the new session id (None when no cookie was set)."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        headers = {"Cookie": "velsessionid=" + sid} if sid else {}
        if post is not None:
            headers["Content-Type"] = "application/x-www-form-urlencoded"
        conn.request("POST" if post is not None else "GET", "/" + page +
                     ("?" + query if query else ""), body=post, headers=headers)
        response = conn.getresponse()
        body = response.read()
        cookie = re.search(r"velsessionid=([A-Z0-9]{16})", response.getheader("Set-Cookie") or "")
        conn.close()
        if response.status != 200:
            raise OSError("status %d" % response.status)
        return body.decode("latin-1"), cookie.group(1) if cookie else None

    def stop(self):
        self.proc.terminate()
        self.proc.wait()

    def sanitizer_reports(self):
        with open(os.path.join(self.root, "error.log"), errors="replace") as f:
            return [l for l in f if re.search(r"AddressSanitizer|LeakSanitizer|runtime error:", l)]


def store_conf(db):
    return ("velsessionstore mariadb\nvelsessionhost %s\nvelsessionport %s\n"
            "velsessionuser %s\nvelsessionpassword %s\nvelsessiondatabase %s\n"
            "velsessiontable %s\n" % (db["KWL_DB_HOST"], db["KWL_DB_PORT"], db["KWL_DB_USER"],
                                      db["KWL_DB_PASSWORD"], db["KWL_DB_NAME"], TABLE))


def sql(db, statement):
    out = subprocess.run(["mariadb", "--no-defaults", "-N", "-B", "--socket=" + db["KWL_DB_SOCKET"],
                          "-u" + db["KWL_DB_USER"], "-p" + db["KWL_DB_PASSWORD"], db["KWL_DB_NAME"],
                          "-e", statement], capture_output=True, text=True)
    return out.stdout.strip()


def alternating_cart(a, b):
    body, sid = a.get("cart.kwl", query="item=i1")
    for n in range(2, 21):
        body, _ = (a if n % 2 else b).get("cart.kwl", sid, "item=i%d" % n)
    cart = ",".join("i%d" % n for n in range(1, 21)) + ","
    check("a visitor alternating between two servers keeps the cart over 20 requests",
          sid and body == "<HTML>[%s|0]" % cart, body)
    return sid


def zero_bytes(a, b):
    value = "a%00b%FF%0Ac%00"
    b.get("bytes.kwl", "ZEROBYTES0000001", post="v=" + value)
    body, _ = a.get("show.kwl", "ZEROBYTES0000001")
    check("a value with zero bytes stored by one server reads back byte for byte on the other",
          body == "<HTML>a\0b\xff\nc\0", repr(body))


def racing(a, b):
    sid = "RACE0000SESSION1"

    def client(c):
        bodies = []
        for i in range(4):
            bodies.append(((a, b)[(c + i) % 2]).get("race.kwl", sid, "t=c%d-%d" % (c, i))[0])
            ((a, b)[(c + i + 1) % 2]).get("count.kwl", sid)
        return bodies

    with concurrent.futures.ThreadPoolExecutor(20) as pool:
        bodies = [body for result in pool.map(client, range(20)) for body in result]
    torn = [body for body in bodies
            if not re.fullmatch(r"<HTML>\[(.*)\]END", body)
            or len(set(re.fullmatch(r"<HTML>\[(.*)\]END", body).group(1).split("|"))) != 1]
    check("20 clients on one session across both servers never see a torn session",
          len(bodies) == 80 and not torn, torn[:1])
    check("and none of their 80 increments is lost", a.get("peek.kwl", sid)[0] == "<HTML>[|80|0|]",
          a.get("peek.kwl", sid)[0])


def expiry(db, a, b, cart_sid):
    age = "UPDATE %s SET used = used - %%d WHERE id = '%%s'" % TABLE
    for server, sid in ((a, "EXPIRESONA000001"), (b, "EXPIRESONB000001")):
        server.get("cart.kwl", sid, "item=old")
        sql(db, age % (721 * 60, sid))
        body, _ = (b if server is a else a).get("peek.kwl", sid)
        same, _ = server.get("peek.kwl", sid)  # a read does not revive it
        check("a session unused for longer than its lifetime is empty on both servers (%s)" % sid,
              body == same == "<HTML>[||0|]", (body, same))
    # A page that only reads marks its session used; one without a session
    # leaves no row.
    sql(db, age % (719 * 60, cart_sid))
    b.get("peek.kwl", cart_sid)
    sql(db, age % (120, cart_sid))
    a.get("peek.kwl", "NOROWNOROWNOROW1")
    check("reading keeps a session alive and a session never saved leaves no row",
          a.get("peek.kwl", cart_sid)[0].startswith("<HTML>[i1,") and
          sql(db, "SELECT COUNT(*) FROM %s WHERE id = 'NOROWNOROWNOROW1'" % TABLE) == "0")
    # The sweep: due once the last one is three hours old, on either server.
    expired = "SELECT COUNT(*) FROM %s WHERE id LIKE 'EXPIRESON%%'" % TABLE
    for hours, since, left in ((2, 2, "2"), (1, 3, "0")):
        sql(db, age % (hours * 3600, "kwltimestamp"))
        a.get("count.kwl", "SWEEPER000000001")
        check("%d hours after the last sweep, %s expired sessions are left" % (since, left),
              sql(db, expired) == left)


def session_file(values):
    return b"".join(struct.pack("<I", len(n)) + n + struct.pack("<I", len(v)) + v for n, v in values)


def importing(kwl, db, a, b, work):
    files = os.path.join(work, "old-kwlsession")
    os.makedirs(files)
    with open(os.path.join(files, "IMPORTED00000001"), "wb") as f:
        f.write(session_file([(b"cart", b"imported,"), (b"b", b"x\0y")]))
    with open(os.path.join(files, "IMPORTEDEXPIRED1"), "wb") as f:
        f.write(session_file([(b"cart", b"stale,")]))
    old = time.time() - 13 * 3600
    os.utime(os.path.join(files, "IMPORTEDEXPIRED1"), (old, old))
    env = dict(os.environ, KWL_DIR=a.state)
    run = subprocess.run([kwl, "--sessions-import", files], env=env, capture_output=True, text=True)
    check("kwl --sessions-import copies the live session files", run.returncode == 0 and
          "1 sessions copied into the mariadb store, 0 kept (used later there), 1 expired"
          in run.stdout, run.stdout + run.stderr)
    body, _ = b.get("show.kwl", "IMPORTED00000001")
    check("an imported session is the file's, byte for byte, on the other server",
          body == "<HTML>x\0y" and "stale" not in b.get("peek.kwl", "IMPORTEDEXPIRED1")[0], repr(body))
    b.get("bytes.kwl", "IMPORTED00000001", post="v=changed")
    run = subprocess.run([kwl, "--sessions-import", files], env=env, capture_output=True, text=True)
    check("importing again keeps what the table holds since", "0 sessions copied" in run.stdout and
          b.get("show.kwl", "IMPORTED00000001")[0] == "<HTML>changed", run.stdout)


def database_killed(db, dbdir, a, b, cart_sid):
    """The server is killed under a running page, the site keeps answering,
    and once it is back every session is as it was saved."""
    kept_sid = "KEPTCART00000001"
    a.get("cart.kwl", kept_sid, "item=kept")
    slow_sid = "SLOWCART00000001"
    b.get("cart.kwl", slow_sid, "item=before")
    results = {}
    slow = threading.Thread(target=lambda: results.update(slow=b.get("slow.kwl", slow_sid)[0]))
    slow.start()
    time.sleep(1)
    kill_mariadb(dbdir)
    slow.join()
    check("a page running when the database dies still runs to its end",
          results.get("slow") == "<HTML>[before,]done", results.get("slow"))
    down = [s.get("peek.kwl", kept_sid)[0] for s in (a, b, a, b)]
    check("while the database is down pages run with an empty session and velerr set",
          set(down) == {"<HTML>[||1|ERROR: Session not available]"}, down)
    new_body, new_sid = b.get("peek.kwl")
    check("a first visit while it is down gets an id and an empty session", new_sid is not None and
          new_body == down[0], new_body)
    start_mariadb(dbdir, restart=True)
    after = {sid: [s.get("peek.kwl", sid)[0] for s in (a, b, a, b)]
             for sid in (kept_sid, slow_sid, cart_sid)}
    check("once it is back every session is as it was last saved, on both servers",
          set(after[kept_sid]) == {"<HTML>[kept,||0|]"} and
          set(after[slow_sid]) == {"<HTML>[before,||0|]"} and
          all(v.startswith("<HTML>[i1,i2,") for v in after[cart_sid]), after)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kwl", required=True)
    parser.add_argument("--dir", required=True)
    args = parser.parse_args()
    kwl = os.path.abspath(args.kwl)
    if not (shutil.which("lighttpd") or os.path.exists("/usr/sbin/lighttpd")):
        print("SKIP: lighttpd is needed (scripts/install-deps.sh installs it)")
        return 77
    work = os.path.abspath(args.dir)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    dbdir = os.path.join(work, "mariadb")
    servers = []
    try:
        db = start_mariadb(dbdir)
        servers = [Server(work, "a", kwl, False, db), Server(work, "b", kwl, True, db)]
        a, b = servers
        cart_sid = alternating_cart(a, b)
        zero_bytes(a, b)
        racing(a, b)
        expiry(db, a, b, cart_sid)
        importing(kwl, db, a, b, work)
        database_killed(db, dbdir, a, b, cart_sid)
        for server in servers:
            reports = server.sanitizer_reports()
            check("no sanitizer report in the error log of " + server.root, not reports, reports[:3])
    finally:
        for server in servers:
            server.stop()
        subprocess.run([os.path.join(DB_SCRIPTS, "stop-mariadb.sh"), dbdir])
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    shutil.rmtree(work, ignore_errors=True)
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
