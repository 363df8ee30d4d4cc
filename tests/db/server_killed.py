#!/usr/bin/env python3
"""Kills a MariaDB server under a running page, in the middle of a statement.
The page must go on with a clean error in sqlerr/sqlerrmsg for each later
statement of that connection and end normally. (A connection lost between two
statements is a case of the database unit tests.)

Usage: server_killed.py --kwl PATH --dir DIR
The victim server is started in DIR with start-mariadb.sh.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(HERE, ".."))
from server_commands import kill_mariadb, start_mariadb  # noqa: E402


PAGE = """<HTML><CONNECT ID=victim NAME="$KWL_DB_USER$" PASS="$KWL_DB_PASSWORD$" \
SERVER="$KWL_DB_HOST$" PORT="{port}" BASE="$KWL_DB_NAME$">
<SQL CONNECT=victim QUERY="SELECT SLEEP(3) AS s">slept $s$</SQL>during: [$sqlerr$] [$sqlerrmsg$] rows=$sqlrowcount$
<SQL CONNECT=victim QUERY="SELECT 1 AS one">$one$</SQL>after: [$sqlerr$] [$sqlerrmsg$]
end
"""

EXPECT = (r"during: \[2013\] \[.+\] rows=0\n"
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
        kill_mariadb(directory)
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
    try:
        page = PAGE.format(port=start_mariadb(args.dir)["KWL_DB_PORT"])
        ok = check("server killed during a statement", run_page(args.kwl, page, args.dir), EXPECT)
    finally:
        subprocess.run([os.path.join(HERE, "stop-mariadb.sh"), args.dir])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
