#!/usr/bin/env python3
"""Runs KWL page tests (*.kwlt) against the kwl binary.

Usage: run_pages.py --kwl PATH [--filter SUBSTR] [--jobs N] [--timeout S]
                    [--keep] DIR_OR_FILE...

The file format, the sections and the wildcards are described in README.md
("Page tests"). Each test runs in a fresh temporary directory with a clean
environment; only the section names below start a section, so a multipart
boundary such as "--XYZ--" stays text. A file name of an expected file may be
a glob ("**" crosses directories) that must match exactly one file. A run
fails on a timeout, a signal, a core dump or a sanitizer report. The exit
status is 1 when any test failed, 2 on a usage error.
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

SINGLE_SECTIONS = {
    "TEST", "PAGE", "ARGS", "ARGV", "ENV", "STDIN", "CONF", "EXPECT",
    "EXPECTF", "EXIT", "REQUIRES", "GET", "POST", "POST_RAW", "COOKIE", "CGI",
}
NAMED_SECTIONS = {"FILE", "EXPECT-FILE", "EXPECTF-FILE", "EXPECT-NO-FILE"}
CGI_SECTIONS = ("GET", "POST", "POST_RAW", "COOKIE", "CGI")
EXPECTATIONS = ("EXPECT", "EXPECTF", "EXIT", "EXPECT-FILE", "EXPECTF-FILE",
                "EXPECT-NO-FILE")

PASSTHROUGH_PREFIXES = ("KWL_TEST_", "KWL_DB_")
PASSTHROUGH_NAMES = ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS",
                     "ASAN_SYMBOLIZER_PATH", "LLVM_SYMBOLIZER_PATH")

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
    expect_files: list  # (kind, name, text); kind in NAMED_SECTIONS minus FILE

    @property
    def title(self):
        return self.sections.get("TEST", "")

    def has(self, name):
        return name in self.sections

    def get(self, name, default=None):
        return self.sections.get(name, default)

    @property
    def cgi(self):
        return any(s in self.sections for s in CGI_SECTIONS)


def split_lines(text):
    """Lines with their "\n"; only "\n" ends a line (str.splitlines() would
    also split at bytes such as \x85 or \x0c that pages may hold)."""
    pieces = text.split("\n")
    lines = [p + "\n" for p in pieces[:-1]]
    if pieces[-1]:
        lines.append(pieces[-1])
    return lines


def parse_test(text, path="<test>"):
    """Splits a test file's text (a str) into its sections."""
    sections = {}
    files = []
    expect_files = []
    current = None  # (name, argument, list of lines)
    order = []

    def close():
        if current is None:
            return
        name, arg, lines = current
        body = "".join(lines)
        if body.endswith("\n"):
            body = body[:-1]
        order.append((name, arg, body))

    for line in split_lines(text):
        match = SECTION_RE.match(line.rstrip("\r\n"))
        # Only known names start a section, so that a multipart boundary
        # such as "--XYZ--" stays in its body.
        if match and match.group(1) in SINGLE_SECTIONS | NAMED_SECTIONS:
            close()
            current = (match.group(1), match.group(2), [])
            continue
        if current is None:
            if line.strip():
                raise TestFormatError("text before the first section")
            continue
        current[2].append(line)
    close()

    for name, arg, body in order:
        if name in NAMED_SECTIONS:
            if not arg or not arg.strip():
                raise TestFormatError(f"--{name}-- needs a file name")
            arg = arg.strip()
            if name == "FILE":
                if os.path.isabs(arg) or ".." in arg.split("/"):
                    raise TestFormatError(f"--FILE-- name must stay in the test directory: {arg}")
                files.append((arg, body))
            else:
                if name == "EXPECT-NO-FILE" and body:
                    raise TestFormatError("--EXPECT-NO-FILE-- takes no text")
                expect_files.append((name, arg, body))
        else:
            if arg is not None:
                raise TestFormatError(f"--{name}-- takes no argument")
            if name in sections:
                raise TestFormatError(f"duplicate section --{name}--")
            sections[name] = body

    test = PageTest(path, sections, files, expect_files)
    validate(test)
    return test


def validate(test):
    s = test.sections
    if not s.get("TEST", "").strip():
        raise TestFormatError("missing --TEST--")
    if "PAGE" not in s and "ARGV" not in s:
        raise TestFormatError("missing --PAGE--")
    if "EXPECT" in s and "EXPECTF" in s:
        raise TestFormatError("--EXPECT-- and --EXPECTF-- together")
    if not any(e in s for e in EXPECTATIONS) and not test.expect_files:
        raise TestFormatError("no expectation (--EXPECT--, --EXPECTF--, --EXPECT-FILE--, --EXIT--)")
    if test.cgi and ("ARGS" in s or "ARGV" in s):
        raise TestFormatError("command-line arguments in a CGI test")
    bodies = [n for n in ("POST", "POST_RAW", "STDIN") if n in s]
    if len(bodies) > 1:
        raise TestFormatError("only one of --POST--, --POST_RAW--, --STDIN--")
    if sum(n in s for n in ("GET", "POST", "POST_RAW", "CGI")) > 1:
        raise TestFormatError("only one of --GET--, --POST--, --POST_RAW--, --CGI--")
    if "CGI" in s and s["CGI"].strip():
        raise TestFormatError("--CGI-- takes no text")
    if "EXIT" in s and not re.fullmatch(r"\s*-?\d+\s*", s["EXIT"]):
        raise TestFormatError("--EXIT-- must be an integer")
    if "ARGS" in s and "\n" in s["ARGS"]:
        raise TestFormatError("--ARGS-- must be one line")
    if "POST_RAW" in s:
        split_post_raw(s["POST_RAW"])
    patterns = [s["EXPECTF"]] if "EXPECTF" in s else []
    patterns += [text for kind, _, text in test.expect_files if kind == "EXPECTF-FILE"]
    for pattern in patterns:
        try:
            expectf_regex(pattern)
        except re.error as e:
            raise TestFormatError(f"bad %r...%r expression: {e}")
    for line in split_lines(s.get("ENV", "")):
        line = line.rstrip("\n")
        if not line.strip() or line.startswith("!"):
            continue
        if "=" not in line or not line.partition("=")[0] or "\0" in line:
            raise TestFormatError(f"--ENV-- line is not NAME=VALUE: {line}")


def split_post_raw(text):
    """Returns (content type, body bytes) of a --POST_RAW-- section."""
    first, _, rest = text.partition("\n")
    name, colon, value = first.partition(":")
    if not colon or name.strip().lower() != "content-type":
        raise TestFormatError("--POST_RAW-- must begin with a Content-Type: line")
    body = rest.replace("\r\n", "\n").replace("\n", "\r\n")
    return value.strip(), body.encode(ENC)


# --- EXPECTF ------------------------------------------------------------

WILDCARDS = {
    "s": r"[^\r\n]+",
    "S": r"[^\r\n]*",
    "a": r".+",
    "A": r".*",
    "d": r"\d+",
    "i": r"[+-]?\d+",
    "x": r"[0-9a-fA-F]+",
    "f": r"[+-]?\.?\d+\.?\d*(?:[Ee][+-]?\d+)?",
    "c": r".",
    "w": r"\s*",
    "e": re.escape("/"),
    "%": "%",
}


def expectf_regex(pattern):
    """Turns an --EXPECTF-- text into a compiled regular expression."""
    out = []
    i = 0
    n = len(pattern)
    while i < n:
        ch = pattern[i]
        if ch == "%" and i + 1 < n:
            code = pattern[i + 1]
            if code == "r":
                end = pattern.find("%r", i + 2)
                if end < 0:
                    raise TestFormatError("%r without closing %r")
                out.append("(?:" + pattern[i + 2:end] + ")")
                i = end + 2
                continue
            if code in WILDCARDS:
                out.append(WILDCARDS[code])
                i += 2
                continue
        out.append(re.escape(ch))
        i += 1
    return re.compile("".join(out), re.DOTALL)


def expectf_match(pattern, actual):
    return expectf_regex(pattern).fullmatch(actual) is not None


# --- diffs --------------------------------------------------------------

def show_line(line):
    """One diff line, with non-printable bytes shown as in repr()."""
    body = line[:-1] if line.endswith("\n") else line
    if all(" " <= c <= "~" or c == "\t" for c in body):
        shown = body
    else:
        shown = repr(body.encode(ENC))
    if not line.endswith("\n"):
        shown += "  (no newline at end)"
    return shown


def align_expectf(pattern, actual):
    """Replaces the pattern lines that match their actual line, so a diff
    shows only the lines that really differ."""
    plines = split_lines(pattern)
    alines = split_lines(actual)
    result = []
    for i, p in enumerate(plines):
        if i < len(alines):
            try:
                if expectf_regex(p).fullmatch(alines[i]):
                    result.append(alines[i])
                    continue
            except (re.error, TestFormatError):
                pass
        result.append(p)
    return "".join(result)


def make_diff(expected, actual, label="output"):
    exp = split_lines(expected)
    act = split_lines(actual)
    lines = []
    for d in difflib.unified_diff(exp, act, f"expected {label}", f"actual {label}", lineterm="", n=3):
        if d.startswith(("---", "+++", "@@")):
            lines.append(d.rstrip("\n"))
        else:
            lines.append(d[0] + show_line(d[1:]))
    return "\n".join(lines)


# --- running ------------------------------------------------------------

@dataclasses.dataclass
class Result:
    path: str
    status: str  # PASS, FAIL, SKIP
    title: str = ""
    messages: list = dataclasses.field(default_factory=list)
    tmpdir: str = ""


def requirement_missing(test, environ):
    for word in re.split(r"[\s,]+", test.get("REQUIRES", "").strip()):
        if not word:
            continue
        value = environ.get("KWL_TEST_" + word.upper(), "")
        if value in ("", "0"):
            return word
    return None


def substitute(text, tmpdir):
    return text.replace("{TMPDIR}", tmpdir)


def build_env(test, tmpdir, environ):
    env = {
        "PATH": environ.get("PATH", "/usr/local/bin:/usr/bin:/bin"),
        "HOME": tmpdir,
        "LANG": "C",
        "TZ": "UTC",
        "PWD": tmpdir,
    }
    for name, value in environ.items():
        if name.startswith(PASSTHROUGH_PREFIXES) or name in PASSTHROUGH_NAMES:
            env[name] = value
    stdin = None
    if test.cgi:
        page = os.path.join(tmpdir, "page.kwl")
        env.update({
            "GATEWAY_INTERFACE": "CGI/1.1",
            "DOCUMENT_ROOT": tmpdir,
            "PATH_TRANSLATED": page,
            "SCRIPT_FILENAME": page,
            "REQUEST_METHOD": "GET",
        })
        if test.has("GET"):
            env["QUERY_STRING"] = test.get("GET")
        elif test.has("POST"):
            stdin = test.get("POST").encode(ENC)
            env["REQUEST_METHOD"] = "POST"
            env["CONTENT_TYPE"] = "application/x-www-form-urlencoded"
            env["CONTENT_LENGTH"] = str(len(stdin))
        elif test.has("POST_RAW"):
            ctype, stdin = split_post_raw(test.get("POST_RAW"))
            env["REQUEST_METHOD"] = "POST"
            env["CONTENT_TYPE"] = ctype
            env["CONTENT_LENGTH"] = str(len(stdin))
        if test.has("COOKIE"):
            env["HTTP_COOKIE"] = test.get("COOKIE")
    for line in split_lines(substitute(test.get("ENV", ""), tmpdir)):
        line = line.rstrip("\n")
        if not line.strip():
            continue
        if line.startswith("!"):
            env.pop(line[1:].strip(), None)
        else:
            name, _, value = line.partition("=")
            env[name] = value
    if test.has("STDIN"):
        stdin = test.get("STDIN").encode(ENC)
    return env, stdin


def build_argv(kwl, test, tmpdir):
    if test.has("ARGV"):
        return [kwl] + shlex.split(substitute(test.get("ARGV"), tmpdir))
    if test.cgi:
        return [kwl]
    argv = [kwl, "page.kwl"]
    if test.has("ARGS"):
        argv.append(substitute(test.get("ARGS"), tmpdir))
    return argv


def write_file(root, name, text):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode(ENC))


def prepare(test, tmpdir):
    if test.has("PAGE"):
        write_file(tmpdir, "page.kwl", test.get("PAGE"))
    if test.has("CONF"):
        write_file(tmpdir, "kwl.conf", substitute(test.get("CONF"), tmpdir))
    for name, text in test.files:
        write_file(tmpdir, name, text)


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


def find_cores(tmpdir):
    cores = []
    for dirpath, _, names in os.walk(tmpdir):
        for name in names:
            if name == "core" or re.fullmatch(r"core\.\d+", name):
                cores.append(os.path.relpath(os.path.join(dirpath, name), tmpdir))
    return cores


def signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return f"signal {number}"


def check_output(test, actual, tmpdir, messages):
    if test.has("EXPECT"):
        expected = substitute(test.get("EXPECT"), tmpdir)
        if actual != expected:
            messages.append("standard output differs:\n" + make_diff(expected, actual))
    elif test.has("EXPECTF"):
        pattern = substitute(test.get("EXPECTF"), tmpdir)
        if not expectf_match(pattern, actual):
            messages.append("standard output does not match --EXPECTF--:\n"
                            + make_diff(align_expectf(pattern, actual), actual))


def resolve_expected_file(tmpdir, name):
    if not any(c in name for c in "*?["):
        path = os.path.join(tmpdir, name)
        return [path] if os.path.lexists(path) else []
    return sorted(glob.glob(os.path.join(glob.escape(tmpdir), name), recursive=True))


def check_files(test, tmpdir, messages):
    for kind, name, text in test.expect_files:
        name = substitute(name, tmpdir)
        found = resolve_expected_file(tmpdir, name)
        if kind == "EXPECT-NO-FILE":
            if found:
                rel = ", ".join(os.path.relpath(p, tmpdir) for p in found)
                messages.append(f"file {name} should not exist, found: {rel}")
            continue
        if len(found) != 1:
            messages.append(f"file {name}: expected one file, found {len(found)}"
                            + "".join("\n  " + os.path.relpath(p, tmpdir) for p in found))
            continue
        if not os.path.isfile(found[0]):
            messages.append(f"file {name} is not a regular file")
            continue
        with open(found[0], "rb") as f:
            actual = f.read().decode(ENC)
        expected = substitute(text, tmpdir)
        if kind == "EXPECT-FILE":
            if actual != expected:
                messages.append(f"file {name} differs:\n" + make_diff(expected, actual, name))
        elif not expectf_match(expected, actual):
            messages.append(f"file {name} does not match:\n"
                            + make_diff(align_expectf(expected, actual), actual, name))


def run_test(test, kwl, timeout=DEFAULT_TIMEOUT, keep=False, environ=None):
    """Runs one parsed test and returns its Result."""
    environ = os.environ if environ is None else environ
    result = Result(test.path, "PASS", test.title)
    missing = requirement_missing(test, environ)
    if missing:
        result.status = "SKIP"
        result.messages.append(f"needs KWL_TEST_{missing.upper()}")
        return result
    tmpdir = os.path.realpath(tempfile.mkdtemp(prefix="kwlt-"))
    try:
        prepare(test, tmpdir)
        env, stdin = build_env(test, tmpdir, environ)
        argv = build_argv(kwl, test, tmpdir)
        code, out, err, timed_out = execute(argv, env, stdin, tmpdir, timeout)
        messages = result.messages
        stderr = err.decode(ENC)
        if timed_out:
            messages.append(f"timed out after {timeout:g} s")
        elif code < 0:
            messages.append(f"killed by {signal_name(-code)}")
        cores = find_cores(tmpdir)
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
        result.messages.append(f"could not run {kwl}: {e}")
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
    except (OSError, TestFormatError) as e:
        return Result(path, "FAIL", "", [f"malformed test: {e}"])
    try:
        return run_test(test, kwl, timeout, keep)
    except (TestFormatError, re.error) as e:
        return Result(path, "FAIL", test.title, [f"malformed test: {e}"])


def find_tests(paths, substr=None):
    found = []
    for p in paths:
        if os.path.isfile(p):
            found.append(p)
            continue
        for dirpath, dirnames, names in os.walk(p):
            dirnames.sort()
            found.extend(os.path.join(dirpath, n) for n in names if n.endswith(".kwlt"))
    found = sorted(set(found))
    if substr:
        found = [f for f in found if substr in f]
    return found


def format_result(r):
    line = f"{r.status} {r.path}"
    if r.title:
        line += f"  [{r.title}]"
    if r.status == "SKIP" and r.messages:
        line += f"  ({r.messages[0]})"
    if r.tmpdir:
        line += f"  (kept in {r.tmpdir})"
    if r.status == "FAIL":
        for m in r.messages:
            line += "\n" + "\n".join("    " + l for l in m.split("\n"))
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
    for p in args.paths:
        if not os.path.exists(p):
            print(f"run_pages: {p} does not exist", file=sys.stderr)
            return 2
    tests = find_tests(args.paths, args.filter)
    if not tests:
        print("run_pages: warning: no page tests found")

    counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}
    failed = []
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        results = pool.map(lambda t: load_and_run(t, kwl, args.timeout, args.keep), tests)
        for r in results:
            counts[r.status] += 1
            if r.status == "FAIL":
                failed.append(r.path)
            print(format_result(r), flush=True)
    if failed:
        print("\nFailed tests:")
        for f in failed:
            print("  " + f)
    print(f"pages: {counts['PASS']} passed, {counts['FAIL']} failed, {counts['SKIP']} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
