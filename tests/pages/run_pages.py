#!/usr/bin/env python3
"""Runs KWL page tests (*.kwlt) against the kwl binary.

Usage: run_pages.py --kwl PATH [--filter SUBSTR] [--jobs N] [--timeout S]
                    [--keep] DIR_OR_FILE...

The file format, the sections and the wildcards are described in README.md
("Page tests"). Each test runs in a fresh temporary directory with a clean
environment. Only known section names start a section (a multipart boundary
such as "--XYZ--" stays text); an expected file's name may be a glob ("**"
crosses directories) matching exactly one file. A run fails on a timeout, a
signal, a core dump or a sanitizer report. Exit status: 1 when a test failed,
2 on a usage error.
"""

import argparse
import concurrent.futures
import dataclasses
import difflib
import glob
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile

ENC = "latin-1"  # bytes <-> str without loss
SECTION_RE = re.compile(r"^--([A-Z][A-Z_]*(?:-[A-Z][A-Z_]*)*)--(?: (.*))?$")
SINGLE_SECTIONS = {"TEST", "PAGE", "ARGS", "ARGV", "ENV", "STDIN", "CONF", "EXPECT", "EXPECTF",
                   "EXIT", "REQUIRES", "GET", "POST", "POST_RAW", "COOKIE", "CGI"}
NAMED_SECTIONS = {"FILE", "EXPECT-FILE", "EXPECTF-FILE", "EXPECT-NO-FILE"}
CGI_SECTIONS = ("GET", "POST", "POST_RAW", "COOKIE", "CGI")
PASSTHROUGH_PREFIXES = ("KWL_TEST_", "KWL_DB_")
PASSTHROUGH_NAMES = ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "ASAN_SYMBOLIZER_PATH",
                     "LLVM_SYMBOLIZER_PATH")
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                   "SUMMARY: UndefinedBehaviorSanitizer", "runtime error: ")
DEFAULT_TIMEOUT = 20.0


class TestFormatError(Exception):
    pass


@dataclasses.dataclass
class PageTest:
    path: str
    sections: dict  # single sections: name -> text
    files: list  # (name, text) for --FILE--
    expect_files: list  # (kind, name, text) for the other named sections

    def get(self, name, default=None):
        return self.sections.get(name, default)

    def has(self, name):
        return name in self.sections

    @property
    def cgi(self):
        return any(s in self.sections for s in CGI_SECTIONS)


def split_lines(text):
    """Lines with their "\n"; only "\n" ends a line (str.splitlines() would
    also split at bytes such as \x85 or \x0c that pages may hold)."""
    pieces = text.split("\n")
    return [p + "\n" for p in pieces[:-1]] + ([pieces[-1]] if pieces[-1] else [])


def parse_test(text, path="<test>"):
    """Splits a test file's text (a str) into its sections."""
    test = PageTest(path, {}, [], [])
    current = None  # [name, argument, lines]

    def close():
        if current is None:
            return
        name, arg, lines = current
        body = "".join(lines)
        body = body[:-1] if body.endswith("\n") else body
        if name in NAMED_SECTIONS:
            if not arg or not arg.strip():
                raise TestFormatError(f"--{name}-- needs a file name")
            arg = arg.strip()
            if name == "FILE":
                if os.path.isabs(arg) or ".." in arg.split("/"):
                    raise TestFormatError(f"--FILE-- name must stay in the test directory: {arg}")
                test.files.append((arg, body))
            elif name == "EXPECT-NO-FILE" and body:
                raise TestFormatError("--EXPECT-NO-FILE-- takes no text")
            else:
                test.expect_files.append((name, arg, body))
        elif arg is not None:
            raise TestFormatError(f"--{name}-- takes no argument")
        elif name in test.sections:
            raise TestFormatError(f"duplicate section --{name}--")
        else:
            test.sections[name] = body

    for line in split_lines(text):
        match = SECTION_RE.match(line.rstrip("\r\n"))
        if match and match.group(1) in SINGLE_SECTIONS | NAMED_SECTIONS:
            close()
            current = [match.group(1), match.group(2), []]
        elif current is not None:
            current[2].append(line)
        elif line.strip():
            raise TestFormatError("text before the first section")
    close()
    validate(test)
    return test


def validate(test):
    s = test.sections
    rules = [
        (not s.get("TEST", "").strip(), "missing --TEST--"),
        ("PAGE" not in s and "ARGV" not in s, "missing --PAGE--"),
        ("EXPECT" in s and "EXPECTF" in s, "--EXPECT-- and --EXPECTF-- together"),
        (not ({"EXPECT", "EXPECTF", "EXIT"} & s.keys()) and not test.expect_files,
         "no expectation (--EXPECT--, --EXPECTF--, --EXPECT-FILE--, --EXIT--)"),
        (test.cgi and ("ARGS" in s or "ARGV" in s), "command-line arguments in a CGI test"),
        (len({"POST", "POST_RAW", "STDIN"} & s.keys()) > 1,
         "only one of --POST--, --POST_RAW--, --STDIN--"),
        (len({"GET", "POST", "POST_RAW", "CGI"} & s.keys()) > 1,
         "only one of --GET--, --POST--, --POST_RAW--, --CGI--"),
        (s.get("CGI", "").strip(), "--CGI-- takes no text"),
        ("EXIT" in s and not re.fullmatch(r"\s*-?\d+\s*", s["EXIT"]), "--EXIT-- must be an integer"),
        ("\n" in s.get("ARGS", ""), "--ARGS-- must be one line"),
    ]
    for broken, message in rules:
        if broken:
            raise TestFormatError(message)
    if "POST_RAW" in s:
        split_post_raw(s["POST_RAW"])
    patterns = [s["EXPECTF"]] if "EXPECTF" in s else []
    for pattern in patterns + [t for kind, _, t in test.expect_files if kind == "EXPECTF-FILE"]:
        try:
            expectf_regex(pattern)
        except re.error as e:
            raise TestFormatError(f"bad %r...%r expression: {e}")
    for line in split_lines(s.get("ENV", "")):
        line = line.rstrip("\n")
        if line.strip() and not line.startswith("!") and (
                not line.partition("=")[0] or "=" not in line or "\0" in line):
            raise TestFormatError(f"--ENV-- line is not NAME=VALUE: {line}")


def split_post_raw(text):
    """Returns (content type, body bytes) of a --POST_RAW-- section."""
    first, _, rest = text.partition("\n")
    name, colon, value = first.partition(":")
    if not colon or name.strip().lower() != "content-type":
        raise TestFormatError("--POST_RAW-- must begin with a Content-Type: line")
    return value.strip(), rest.replace("\r\n", "\n").replace("\n", "\r\n").encode(ENC)


WILDCARDS = {"s": r"[^\r\n]+", "S": r"[^\r\n]*", "a": r".+", "A": r".*", "d": r"\d+",
             "i": r"[+-]?\d+", "x": r"[0-9a-fA-F]+", "f": r"[+-]?\.?\d+\.?\d*(?:[Ee][+-]?\d+)?",
             "c": r".", "w": r"\s*", "e": "/", "%": "%"}


def expectf_regex(pattern):
    """Turns an --EXPECTF-- text into a compiled regular expression."""
    out = []
    i = 0
    while i < len(pattern):
        code = pattern[i + 1] if pattern[i] == "%" and i + 1 < len(pattern) else None
        if code == "r":
            end = pattern.find("%r", i + 2)
            if end < 0:
                raise TestFormatError("%r without closing %r")
            out.append("(?:" + pattern[i + 2:end] + ")")
            i = end + 2
        elif code in WILDCARDS:
            out.append(WILDCARDS[code])
            i += 2
        else:
            out.append(re.escape(pattern[i]))
            i += 1
    return re.compile("".join(out), re.DOTALL)


def expectf_match(pattern, actual):
    return expectf_regex(pattern).fullmatch(actual) is not None


def make_diff(expected, actual, label="output", expectf=False):
    """A unified diff; with expectf, pattern lines that match their actual
    line are shown as that line, so that only real differences remain."""
    exp, act = split_lines(expected), split_lines(actual)
    if expectf:
        for i, line in enumerate(exp[:len(act)]):
            try:
                if expectf_regex(line).fullmatch(act[i]):
                    exp[i] = act[i]
            except (re.error, TestFormatError):
                pass
    out = []
    for d in difflib.unified_diff(exp, act, f"expected {label}", f"actual {label}", lineterm=""):
        if d.startswith(("---", "+++", "@@")):
            out.append(d.rstrip("\n"))
            continue
        body = d[1:].removesuffix("\n")
        if not all(" " <= c <= "~" or c == "\t" for c in body):
            body = repr(body.encode(ENC))
        out.append(d[0] + body + ("" if d.endswith("\n") else "  (no newline at end)"))
    return "\n".join(out)


@dataclasses.dataclass
class Result:
    path: str
    status: str  # PASS, FAIL, SKIP
    title: str = ""
    messages: list = dataclasses.field(default_factory=list)
    tmpdir: str = ""


def build_env(test, tmpdir, environ):
    env = {"PATH": environ.get("PATH", "/usr/local/bin:/usr/bin:/bin"), "HOME": tmpdir,
           "LANG": "C", "TZ": "UTC", "PWD": tmpdir}
    env.update({name: value for name, value in environ.items()
                if name.startswith(PASSTHROUGH_PREFIXES) or name in PASSTHROUGH_NAMES})
    stdin = None
    if test.cgi:
        page = os.path.join(tmpdir, "page.kwl")
        env.update({"GATEWAY_INTERFACE": "CGI/1.1", "DOCUMENT_ROOT": tmpdir,
                    "PATH_TRANSLATED": page, "SCRIPT_FILENAME": page, "REQUEST_METHOD": "GET"})
        if test.has("GET"):
            env["QUERY_STRING"] = test.get("GET")
        elif test.has("POST") or test.has("POST_RAW"):
            if test.has("POST"):
                ctype, stdin = "application/x-www-form-urlencoded", test.get("POST").encode(ENC)
            else:
                ctype, stdin = split_post_raw(test.get("POST_RAW"))
            env.update({"REQUEST_METHOD": "POST", "CONTENT_TYPE": ctype,
                        "CONTENT_LENGTH": str(len(stdin))})
        if test.has("COOKIE"):
            env["HTTP_COOKIE"] = test.get("COOKIE")
    for line in split_lines(test.get("ENV", "").replace("{TMPDIR}", tmpdir)):
        line = line.rstrip("\n")
        if line.startswith("!"):
            env.pop(line[1:].strip(), None)
        elif line.strip():
            name, _, value = line.partition("=")
            env[name] = value
    if test.has("STDIN"):
        stdin = test.get("STDIN").encode(ENC)
    return env, stdin


def build_argv(kwl, test, tmpdir):
    if test.has("ARGV"):
        return [kwl] + shlex.split(test.get("ARGV").replace("{TMPDIR}", tmpdir))
    if test.cgi:
        return [kwl]
    args = [test.get("ARGS").replace("{TMPDIR}", tmpdir)] if test.has("ARGS") else []
    return [kwl, "page.kwl"] + args


def write_file(root, name, text):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode(ENC))


def execute(argv, env, stdin, cwd, timeout):
    """Runs the binary; returns (exit status, stdout, stderr, timed out)."""
    proc = subprocess.Popen(
        argv, cwd=cwd, env=env,
        stdin=subprocess.PIPE if stdin is not None else subprocess.DEVNULL,
        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
        start_new_session=True)  # its own group, so children die with it
    try:
        out, err = proc.communicate(stdin, timeout=timeout)
        return proc.returncode, out, err, False
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        out, err = proc.communicate()
        return proc.returncode, out, err, True


def check_output(test, actual, tmpdir, messages):
    if test.has("EXPECT"):
        expected = test.get("EXPECT").replace("{TMPDIR}", tmpdir)
        if actual != expected:
            messages.append("standard output differs:\n" + make_diff(expected, actual))
    elif test.has("EXPECTF"):
        pattern = test.get("EXPECTF").replace("{TMPDIR}", tmpdir)
        if not expectf_match(pattern, actual):
            messages.append("standard output does not match --EXPECTF--:\n"
                            + make_diff(pattern, actual, expectf=True))


def check_files(test, tmpdir, messages):
    for kind, name, text in test.expect_files:
        name = name.replace("{TMPDIR}", tmpdir)
        if any(c in name for c in "*?["):
            found = sorted(glob.glob(os.path.join(glob.escape(tmpdir), name), recursive=True))
        else:
            found = [p for p in [os.path.join(tmpdir, name)] if os.path.lexists(p)]
        shown = [os.path.relpath(p, tmpdir) for p in found]
        if kind == "EXPECT-NO-FILE":
            if found:
                messages.append(f"file {name} should not exist, found: {', '.join(shown)}")
        elif len(found) != 1:
            messages.append(f"file {name}: expected one file, found {len(found)}"
                            + "".join("\n  " + p for p in shown))
        elif not os.path.isfile(found[0]):
            messages.append(f"file {name} is not a regular file")
        else:
            with open(found[0], "rb") as f:
                actual = f.read().decode(ENC)
            expected = text.replace("{TMPDIR}", tmpdir)
            if kind == "EXPECT-FILE" and actual != expected:
                messages.append(f"file {name} differs:\n" + make_diff(expected, actual, name))
            elif kind == "EXPECTF-FILE" and not expectf_match(expected, actual):
                messages.append(f"file {name} does not match:\n"
                                + make_diff(expected, actual, name, expectf=True))


def run_test(test, kwl, timeout=DEFAULT_TIMEOUT, keep=False, environ=None):
    """Runs one parsed test and returns its Result."""
    environ = os.environ if environ is None else environ
    result = Result(test.path, "PASS", test.get("TEST", ""))
    for word in re.split(r"[\s,]+", test.get("REQUIRES", "").strip()):
        if word and environ.get("KWL_TEST_" + word.upper(), "") in ("", "0"):
            result.status = "SKIP"
            result.messages.append(f"needs KWL_TEST_{word.upper()}")
            return result
    tmpdir = os.path.realpath(tempfile.mkdtemp(prefix="kwlt-"))
    messages = result.messages
    try:
        if test.has("PAGE"):
            write_file(tmpdir, "page.kwl", test.get("PAGE"))
        if test.has("CONF"):
            write_file(tmpdir, "kwl.conf", test.get("CONF").replace("{TMPDIR}", tmpdir))
        for name, text in test.files:
            write_file(tmpdir, name, text)
        env, stdin = build_env(test, tmpdir, environ)
        code, out, err, timed_out = execute(build_argv(kwl, test, tmpdir), env, stdin, tmpdir,
                                            timeout)
        stderr = err.decode(ENC)
        if timed_out:
            messages.append(f"timed out after {timeout:g} s")
        elif code < 0:
            try:
                messages.append(f"killed by {signal.Signals(-code).name}")
            except ValueError:
                messages.append(f"killed by signal {-code}")
        cores = [os.path.relpath(os.path.join(d, n), tmpdir) for d, _, names in os.walk(tmpdir)
                 for n in names if re.fullmatch(r"core(\.\d+)?", n)]
        if cores:
            messages.append("wrote a core dump: " + ", ".join(cores))
        if any(mark in stderr for mark in SANITIZER_MARKS):
            messages.append("sanitizer reported an error")
        if not timed_out and test.has("EXIT") and code != int(test.get("EXIT")):
            messages.append(f"exit status {code}, expected {int(test.get('EXIT'))}")
        check_output(test, out.decode(ENC), tmpdir, messages)
        check_files(test, tmpdir, messages)
        if messages:
            result.status = "FAIL"
            if stderr.strip():
                tail = stderr if len(stderr) <= 4000 else "...\n" + stderr[-4000:]
                messages.append("standard error:\n" + tail.rstrip("\n"))
    except (OSError, ValueError) as e:
        result.status = "FAIL"
        messages.append(f"could not run {kwl}: {e}")
    finally:
        if keep:
            result.tmpdir = tmpdir
        else:
            shutil.rmtree(tmpdir, ignore_errors=True)
    return result


def load_and_run(path, kwl, timeout, keep):
    try:
        with open(path, "rb") as f:
            test = parse_test(f.read().decode(ENC), path)
        return run_test(test, kwl, timeout, keep)
    except (OSError, TestFormatError, re.error) as e:
        return Result(path, "FAIL", "", [f"malformed test: {e}"])


def find_tests(paths, substr=None):
    found = set()
    for p in paths:
        if os.path.isfile(p):
            found.add(p)
        for dirpath, _, names in os.walk(p):
            found.update(os.path.join(dirpath, n) for n in names if n.endswith(".kwlt"))
    return sorted(f for f in found if not substr or substr in f)


def format_result(r):
    line = f"{r.status} {r.path}" + (f"  [{r.title}]" if r.title else "")
    if r.status == "SKIP" and r.messages:
        line += f"  ({r.messages[0]})"
    if r.tmpdir:
        line += f"  (kept in {r.tmpdir})"
    if r.status == "FAIL":
        line += "".join("\n    " + l for m in r.messages for l in m.split("\n"))
    return line


def main(argv=None):
    parser = argparse.ArgumentParser(description="Runs KWL page tests (*.kwlt).")
    parser.add_argument("--kwl", required=True, help="path of the kwl binary")
    parser.add_argument("--filter", help="run only tests whose path contains this")
    parser.add_argument("--jobs", "-j", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--timeout", type=float, default=DEFAULT_TIMEOUT,
                        help="seconds per test (default %(default)s)")
    parser.add_argument("--keep", action="store_true", help="keep the temporary directories")
    parser.add_argument("paths", nargs="+", metavar="DIR")
    args = parser.parse_args(argv)

    kwl = os.path.abspath(args.kwl)
    if not os.access(kwl, os.X_OK):
        print(f"run_pages: {args.kwl} is not an executable", file=sys.stderr)
        return 2
    missing = [p for p in args.paths if not os.path.exists(p)]
    if missing:
        print(f"run_pages: {missing[0]} does not exist", file=sys.stderr)
        return 2
    tests = find_tests(args.paths, args.filter)
    if not tests:
        print("run_pages: warning: no page tests found")

    counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}
    failed = []
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        for r in pool.map(lambda t: load_and_run(t, kwl, args.timeout, args.keep), tests):
            counts[r.status] += 1
            if r.status == "FAIL":
                failed.append(r.path)
            print(format_result(r), flush=True)
    if failed:
        print("\nFailed tests:\n" + "\n".join("  " + f for f in failed))
    print(f"pages: {counts['PASS']} passed, {counts['FAIL']} failed, {counts['SKIP']} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
