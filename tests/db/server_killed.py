#!/usr/bin/env python3
"""Kills a MariaDB server under a running page: between two statements of a
connection, and in the middle of a statement. The page must go on with a
clean error in sqlerr/sqlerrmsg for each later statement of that connection,
keep its other connection, and end normally.

Usage: server_killed.py --kwl PATH --dir DIR
The victim server is started in DIR with start-mariadb.sh; the other
connection uses the test server named by KWL_DB_* in the environment.
"""

import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def start_victim(directory):
    subprocess.run([os.path.join(HERE, "start-mariadb.sh"), directory], check=True,
                   stdout=subprocess.DEVNULL)
    env = {}
    with open(os.path.join(directory, "env")) as f:
        for line in f:
            name, _, value = line.removeprefix("export ").strip().partition("=")
            env[name] = value
    return env


def kill_server(directory):
    with open(os.path.join(directory, "mysqld.pid")) as f:
        os.kill(int(f.read().strip()), signal.SIGKILL)


def connect_tag(ident, port):
    return (f'<CONNECT ID={ident} NAME="$KWL_DB_USER$" PASS="$KWL_DB_PASSWORD$" '
            f'SERVER="$KWL_DB_HOST$" PORT="{port}" BASE="$KWL_DB_NAME$">')


BETWEEN = """<HTML>{victim}{steady}
<SQL CONNECT=victim QUERY="SELECT 'alive' AS a">first: $a$ [$sqlerr$]</SQL>
<SQL CONNECT=steady QUERY="SELECT SLEEP(2) AS s"></SQL>
<SQL CONNECT=victim QUERY="SELECT 'again' AS a">$a$</SQL>second: [$sqlerr$] [$sqlerrmsg$] rows=$sqlrowcount$
<SQL CONNECT=victim QUERY="SELECT 'third' AS a">$a$</SQL>third: [$sqlerr$] [$sqlerrmsg$]
<SQL CONNECT=steady QUERY="SELECT 'kept' AS a">other: $a$ [$sqlerr$]</SQL>
end
"""

DURING = """<HTML>{victim}
<SQL CONNECT=victim QUERY="SELECT SLEEP(3) AS s">slept $s$</SQL>during: [$sqlerr$] [$sqlerrmsg$] rows=$sqlrowcount$
<SQL CONNECT=victim QUERY="SELECT 1 AS one">$one$</SQL>after: [$sqlerr$] [$sqlerrmsg$]
end
"""

EXPECT_BETWEEN = (r"first: alive \[0\]\n+"
                  r"second: \[20(13|06)\] \[.+\] rows=0\n"
                  r"third: \[2006\] \[.+\]\n+"
                  r"other: kept \[0\]\n+end\n$")
EXPECT_DURING = (r"during: \[2013\] \[.+\] rows=0\n"
                 r"after: \[2006\] \[.+\]\nend\n$")


def run_page(kwl, page, directory):
    """Runs the page and kills the victim server one second into it."""
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "page.kwl")
        with open(path, "w") as f:
            f.write(page)
        proc = subprocess.Popen([kwl, path], cwd=work, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        time.sleep(1.0)
        kill_server(directory)
        out, err = proc.communicate(timeout=30)
    return proc.returncode, out.decode("latin-1"), err.decode("latin-1")


def check(name, result, pattern):
    code, out, err = result
    ok = code == 0 and re.search(pattern, out) is not None and "Sanitizer" not in err
    print(f"{'PASS' if ok else 'FAIL'} {name}")
    if not ok:
        print(f"  exit status {code}\n  output:\n{out}\n  standard error:\n{err}")
    return ok


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kwl", required=True)
    parser.add_argument("--dir", required=True)
    args = parser.parse_args()
    args.kwl = os.path.abspath(args.kwl)
    args.dir = os.path.abspath(args.dir)
    if os.environ.get("KWL_TEST_MYSQL", "0") in ("", "0"):
        print("skipped: no test server")
        return 0
    steady_port = os.environ["KWL_DB_PORT"]
    ok = True
    try:
        victim = start_victim(args.dir)
        page = BETWEEN.format(victim=connect_tag("victim", victim["KWL_DB_PORT"]),
                              steady=connect_tag("steady", steady_port))
        ok &= check("server killed between two statements", run_page(args.kwl, page, args.dir),
                    EXPECT_BETWEEN)
        victim = start_victim(args.dir)
        page = DURING.format(victim=connect_tag("victim", victim["KWL_DB_PORT"]))
        ok &= check("server killed during a statement", run_page(args.kwl, page, args.dir),
                    EXPECT_DURING)
    finally:
        subprocess.run([os.path.join(HERE, "stop-mariadb.sh"), args.dir])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
