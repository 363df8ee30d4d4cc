"""Self-tests of the page-test runner, run against a stand-in interpreter: the
runner must be able to fail a page. What the page tests use successfully
(sections, expected files, CGI variables) is pinned by the page tests.

Run: python3 -m unittest discover -s tests/pages -p 'test_*.py'
"""

import contextlib
import io
import os
import stat
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_pages  # noqa: E402
from run_pages import TestFormatError, expectf_match, parse_test  # noqa: E402

# Prints its arguments, some of its environment, its standard input and the
# page. Words in the page drive its misbehaviour: CRASH, HANG, SANITIZE.
STAND_IN = r"""#!/bin/sh
echo "argc=$#"
for a in "$@"; do echo "arg=$a"; done
for v in HOME LANG REQUEST_METHOD QUERY_STRING CONTENT_TYPE CONTENT_LENGTH \
         GATEWAY_INTERFACE KWL_TEST_MYSQL EXTRA; do
  eval "isset=\${$v+x}"
  [ -n "$isset" ] && eval "echo \"$v=\$$v\""
done
printf 'stdin=%s\n' "$(od -An -c | tr -s ' ' | tr -d '\n')"
page=${PATH_TRANSLATED:-$1}
[ -f "$page" ] || exit 0
cat "$page"
grep -q SANITIZE "$page" && echo "==1==ERROR: AddressSanitizer: heap-use-after-free" >&2
grep -q CRASH "$page" && kill -SEGV $$
grep -q HANG "$page" && sleep 30
exit 0
"""
HEAD = "--TEST--\nx\n--PAGE--\np\n"


class FormatTests(unittest.TestCase):
    def test_malformed_files_are_rejected(self):
        bad = {
            "missing TEST": "--PAGE--\np\n--EXPECT--\n",
            "no expectation": HEAD,
            "duplicate": HEAD + "--EXPECT--\na\n--EXPECT--\nb\n",
            "misspelt section": HEAD + "--EXPECTED--\na\n",
            "FILE leaving the dir": HEAD + "--FILE-- ../x\na\n--EXPECT--\n",
            "POST_RAW without type": HEAD + "--POST_RAW--\nbody\n--EXPECT--\n",
            "args in CGI": HEAD + "--GET--\na=1\n--ARGS--\nb=2\n--EXPECT--\n",
            "text before sections": "hello\n" + HEAD + "--EXPECT--\n",
        }
        for what, text in bad.items():
            with self.subTest(what), self.assertRaises(TestFormatError):
                parse_test(text)

    def test_wildcards_match_only_what_they_say(self):
        cases = [
            ("%s", "abc", True), ("%s", "a\nb", False), ("a%Sb", "ab", True),
            ("%a", "x\ny", True), ("%a", "", False), ("[%A]", "[]", True),
            ("%d", "0123", True), ("%d", "-1", False), ("%i", "-42", True),
            ("%x", "dEadBeef", True), ("%f", "-1.5e3", True), ("<%c>", "<xy>", False),
            ("100%%", "100%", True), ("a%eb", "a/b", True),
            ("id=%r[A-Z0-9]{16}%r;", "id=ABCDEFGH01234567;", True),
            ("id=%r[A-Z0-9]{16}%r;", "id=abc;", False),
            ("a.b*(c)?[d] %z $x$", "a.b*(c)?[d] %z $x$", True), ("a.b", "axb", False),
            ("abc", "abc\n", False), ("abc", "xabc", False),
        ]
        for pattern, actual, ok in cases:
            with self.subTest(pattern=pattern, actual=actual):
                self.assertEqual(expectf_match(pattern, actual), ok)


class RunTests(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.kwl = os.path.join(cls.dir.name, "fake-kwl")
        with open(cls.kwl, "w") as f:
            f.write(STAND_IN)
        os.chmod(cls.kwl, os.stat(cls.kwl).st_mode | stat.S_IXUSR)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def run_text(self, text, environ=None, timeout=20.0):
        environ = dict(os.environ if environ is None else environ)
        return run_pages.run_test(parse_test(text), self.kwl, timeout, environ=environ)

    def assertPass(self, result):
        self.assertEqual(result.status, "PASS", "\n".join(result.messages))

    def test_the_callers_request_does_not_reach_a_command_line_run(self):
        caller = dict(os.environ, REQUEST_METHOD="POST", QUERY_STRING="x=1",
                      GATEWAY_INTERFACE="CGI/1.1", KWL_TEST_MYSQL="1", EXTRA="leak")
        self.assertPass(self.run_text(
            "--TEST--\ncli\n--ARGS--\na=1&b=two words\n--STDIN--\nq\n--PAGE--\n<HTML>\n"
            "--EXPECTF--\nargc=2\narg=page.kwl\narg=a=1&b=two words\nHOME=%s\nLANG=C\n"
            "KWL_TEST_MYSQL=1\nstdin= q\n<HTML>\n", caller))

    def test_failures_are_reported(self):
        cases = {
            "output": ("--EXPECT--\nnot this\n", "standard output differs"),
            "expectf": ("--EXPECTF--\n%d\n", "does not match"),
            "exit": ("--EXIT--\n3\n", "exit status 0, expected 3"),
            "missing file": ("--EXPECT-FILE-- nope.txt\nx\n", "expected one file, found 0"),
            "file content": ("--EXPECT-FILE-- page.kwl\nother\n", "file page.kwl differs"),
            "file pattern": ("--EXPECTF-FILE-- *.kwl\n%d\n", "file *.kwl does not match"),
            "unwanted file": ("--EXPECT-NO-FILE-- page.kwl\n", "should not exist"),
        }
        for what, (section, message) in cases.items():
            with self.subTest(what):
                result = self.run_text(HEAD + section)
                self.assertEqual(result.status, "FAIL")
                self.assertIn(message, "\n".join(result.messages))

    def test_crash_hang_and_sanitizer_fail(self):
        cases = {
            "CRASH": "killed by SIGSEGV",
            "HANG": "timed out after 1 s",
            "SANITIZE": "sanitizer reported an error",
        }
        for word, message in cases.items():
            with self.subTest(word):
                start = time.monotonic()
                result = self.run_text(
                    f"--TEST--\nx\n--PAGE--\n{word}\n--EXPECTF--\n%A\n", timeout=1.0)
                self.assertEqual(result.status, "FAIL")
                self.assertIn(message, "\n".join(result.messages))
                # The hanging page's child (sleep 30) must be killed too.
                self.assertLess(time.monotonic() - start, 10)

    def test_requires_skips_only_unless_enabled(self):
        text = HEAD + "--REQUIRES--\nmysql\n--EXPECT--\nnever\n"
        path = {"PATH": os.environ["PATH"]}
        self.assertEqual(self.run_text(text, path).status, "SKIP")
        self.assertEqual(self.run_text(text, dict(path, KWL_TEST_MYSQL="0")).status, "SKIP")
        self.assertEqual(self.run_text(text, dict(path, KWL_TEST_MYSQL="1")).status, "FAIL")

    def test_main_counts_and_fails_on_any_failure(self):
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, "a", "b"))
            files = {
                "a/ok.kwlt": HEAD + "--EXPECTF--\n%Ap\n",
                "a/b/bad.kwlt": HEAD + "--EXPECT--\nq\n",
                "a/b/broken.kwlt": "--TEST--\nbroken\n",
                "a/ignored.txt": "not a test",
            }
            for name, text in files.items():
                with open(os.path.join(root, name), "w") as f:
                    f.write(text)

            def main(*args):
                out = io.StringIO()
                with contextlib.redirect_stdout(out):
                    status = run_pages.main(["--kwl", self.kwl, *args, root])
                return status, out.getvalue()

            status, out = main()
            self.assertEqual(status, 1)
            self.assertIn("FAIL " + os.path.join(root, "a", "b", "bad.kwlt"), out)
            self.assertIn("malformed test: missing --PAGE--", out)
            self.assertIn("pages: 1 passed, 2 failed, 0 skipped", out)
            self.assertEqual(main("--filter", "ok.kwlt")[0], 0)


if __name__ == "__main__":
    unittest.main()
