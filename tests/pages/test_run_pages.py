"""Self-tests of the page-test runner, run against a stand-in interpreter.

Run: python3 -m unittest discover -s tests/pages -p 'test_*.py'
"""

import io
import os
import contextlib
import stat
import sys
import tempfile
import textwrap
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_pages  # noqa: E402
from run_pages import TestFormatError, expectf_match, parse_test  # noqa: E402

# Prints what it was given, then the page it was asked to run. Words in the
# page drive its misbehaviour: CRASH, HANG, SANITIZE, WRITE.
STAND_IN = r"""#!/bin/sh
echo "argc=$#"
for a in "$@"; do echo "arg=$a"; done
for v in PWD HOME LANG REQUEST_METHOD QUERY_STRING CONTENT_TYPE CONTENT_LENGTH \
         HTTP_COOKIE GATEWAY_INTERFACE PATH_TRANSLATED SCRIPT_FILENAME DOCUMENT_ROOT \
         KWL_TEST_MYSQL KWL_DB_HOST EXTRA; do
  eval "isset=\${$v+x}"
  [ -n "$isset" ] && eval "echo \"$v=\$$v\""
done
printf 'stdin=%s\n' "$(od -An -c | tr -s ' ' | tr -d '\n')"
page=${PATH_TRANSLATED:-$1}
[ -f "$page" ] || exit 0
cat "$page"
grep -q WRITE "$page" && { mkdir -p out/deep; printf 'written\n' > out/deep/result.txt; }
grep -q SANITIZE "$page" && echo "==1==ERROR: AddressSanitizer: heap-use-after-free" >&2
grep -q CRASH "$page" && kill -SEGV $$
grep -q HANG "$page" && sleep 30
exit 0
"""


def t(text):
    return textwrap.dedent(text).lstrip("\n")


class ParseTests(unittest.TestCase):
    def test_sections_drop_only_their_final_newline(self):
        test = parse_test(t("""
            --TEST--
            sections
            --PAGE--
            line 1

            line 3
            --EXPECT--
            out

            --FILE-- inc/a.kwl
            included
            --FILE-- b.txt
            --EXPECT-FILE-- kwldebug/page.kwl.debug
            trace"""))
        self.assertEqual(test.title, "sections")
        self.assertEqual(test.get("PAGE"), "line 1\n\nline 3")
        self.assertEqual(test.get("EXPECT"), "out\n")
        self.assertEqual(test.files, [("inc/a.kwl", "included"), ("b.txt", "")])
        self.assertEqual(test.expect_files,
                         [("EXPECT-FILE", "kwldebug/page.kwl.debug", "trace")])

    def test_lines_end_only_at_newline(self):
        # \x85 and \x0c are line breaks for str.splitlines but bytes of a page.
        test = parse_test("--TEST--\nx\n--PAGE--\na\x85--EXPECT--\x0cb\r\n--EXPECT--\nc\n")
        self.assertEqual(test.get("PAGE"), "a\x85--EXPECT--\x0cb\r")
        self.assertEqual(test.get("EXPECT"), "c")

    def test_malformed_files_are_rejected(self):
        base = "--TEST--\nx\n--PAGE--\np\n"
        bad = {
            "missing TEST": "--PAGE--\np\n--EXPECT--\n",
            "no expectation": base,
            "duplicate": base + "--EXPECT--\na\n--EXPECT--\nb\n",
            "misspelt section": base + "--EXPECTED--\na\n",
            "FILE leaving the dir": base + "--FILE-- ../x\na\n--EXPECT--\n",
            "POST_RAW without type": base + "--POST_RAW--\nbody\n--EXPECT--\n",
            "args in CGI": base + "--GET--\na=1\n--ARGS--\nb=2\n--EXPECT--\n",
            "text before sections": "hello\n" + base + "--EXPECT--\n",
        }
        for what, text in bad.items():
            with self.subTest(what):
                with self.assertRaises(TestFormatError):
                    parse_test(text)

    def test_unknown_markers_are_text(self):
        test = parse_test("--TEST--\nx\n--PAGE--\np\n--POST_RAW--\nContent-Type: m\n"
                          "--XYZ\nv\n--XYZ--\n--EXPECT--\n")
        self.assertEqual(test.get("POST_RAW"), "Content-Type: m\n--XYZ\nv\n--XYZ--")


class ExpectfTests(unittest.TestCase):
    def test_wildcards(self):
        cases = [
            ("%s", "abc", True), ("%s", "a\nb", False), ("a%Sb", "ab", True),
            ("%a", "x\ny", True), ("%a", "", False), ("[%A]", "[]", True),
            ("%d", "0123", True), ("%d", "-1", False), ("%i", "-42", True),
            ("%x", "dEadBeef", True), ("%f", "-1.5e3", True), ("<%c>", "<xy>", False),
            ("100%%", "100%", True), ("a%eb", "a/b", True),
            ("id=%r[A-Z0-9]{16}%r;", "id=ABCDEFGH01234567;", True),
            ("id=%r[A-Z0-9]{16}%r;", "id=abc;", False),
        ]
        for pattern, actual, ok in cases:
            with self.subTest(pattern=pattern, actual=actual):
                self.assertEqual(expectf_match(pattern, actual), ok)

    def test_other_text_is_literal_and_whole(self):
        self.assertTrue(expectf_match("a.b*(c)?[d] %z $x$", "a.b*(c)?[d] %z $x$"))
        self.assertFalse(expectf_match("a.b", "axb"))
        self.assertFalse(expectf_match("abc", "abc\n"))
        self.assertFalse(expectf_match("abc", "xabc"))


class PostRawTests(unittest.TestCase):
    def test_body_line_ends_become_crlf(self):
        ctype, body = run_pages.split_post_raw(
            "content-type: multipart/form-data; boundary=XYZ\n--XYZ\nA: b\r\n\nv\n--XYZ--")
        self.assertEqual(ctype, "multipart/form-data; boundary=XYZ")
        self.assertEqual(body, b"--XYZ\r\nA: b\r\n\r\nv\r\n--XYZ--")


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
        return run_pages.run_test(parse_test(t(text)), self.kwl, timeout, environ=environ)

    def assertPass(self, result):
        self.assertEqual(result.status, "PASS", "\n".join(result.messages))

    def test_command_line_mode_with_clean_environment(self):
        caller = dict(os.environ, REQUEST_METHOD="POST", QUERY_STRING="x=1",
                      GATEWAY_INTERFACE="CGI/1.1", KWL_TEST_MYSQL="1",
                      KWL_DB_HOST="127.0.0.1", EXTRA="leak")
        result = self.run_text("""
            --TEST--
            cli
            --ARGS--
            a=1&b=two words
            --STDIN--
            q
            --PAGE--
            <HTML>$a$
            --EXPECTF--
            argc=2
            arg=page.kwl
            arg=a=1&b=two words
            PWD=%s
            HOME=%s
            LANG=C
            KWL_TEST_MYSQL=1
            KWL_DB_HOST=127.0.0.1
            stdin= q
            <HTML>$a$
            """, caller)
        self.assertPass(result)

    def test_cgi_get_with_cookie_and_env(self):
        result = self.run_text("""
            --TEST--
            cgi get
            --GET--
            a=1&b=2
            --COOKIE--
            KWLSESSIONID=ABC
            --ENV--
            EXTRA=x=y
            !SCRIPT_FILENAME
            --PAGE--
            page
            --EXPECT--
            argc=0
            PWD={TMPDIR}
            HOME={TMPDIR}
            LANG=C
            REQUEST_METHOD=GET
            QUERY_STRING=a=1&b=2
            HTTP_COOKIE=KWLSESSIONID=ABC
            GATEWAY_INTERFACE=CGI/1.1
            PATH_TRANSLATED={TMPDIR}/page.kwl
            DOCUMENT_ROOT={TMPDIR}
            EXTRA=x=y
            stdin=
            page
            """, {"PATH": os.environ["PATH"]})
        self.assertPass(result)

    def test_cgi_posts(self):
        multipart = self.run_text("""
            --TEST--
            multipart
            --POST_RAW--
            Content-Type: multipart/form-data; boundary=XYZ
            --XYZ
            Content-Disposition: form-data; name="f"

            v
            --XYZ--
            --PAGE--
            p
            --EXPECTF--
            %ACONTENT_TYPE=multipart/form-data; boundary=XYZ
            CONTENT_LENGTH=61
            %Astdin= - - X Y Z \\r \\n C o n t e n t - D i s p o s i t i o n : f o r m - d a t a ; n a m e = " f " \\r \\n \\r \\n v \\r \\n - - X Y Z - -
            p
            """)
        self.assertPass(multipart)

    def test_conf_files_and_expected_files(self):
        result = self.run_text("""
            --TEST--
            files
            --CONF--
            veldebug 1
            --FILE-- sub/dir/inc.kwl
            included
            --PAGE--
            WRITE
            --EXPECT-FILE-- kwl.conf
            veldebug 1
            --EXPECT-FILE-- sub/dir/inc.kwl
            included
            --EXPECT-FILE-- out/deep/result.txt
            written

            --EXPECTF-FILE-- out/**/*.txt
            wr%s

            --EXPECT-NO-FILE-- kwldebug
            --EXIT--
            0
            """)
        self.assertPass(result)

    def test_failures_are_reported(self):
        cases = {
            "output": ("--EXPECT--\nnot this\n", "standard output differs"),
            "expectf": ("--EXPECTF--\n%d\n", "does not match"),
            "exit": ("--EXIT--\n3\n", "exit status 0, expected 3"),
            "missing file": ("--EXPECT-FILE-- nope.txt\nx\n", "expected one file, found 0"),
            "file content": ("--EXPECT-FILE-- page.kwl\nother\n", "file page.kwl differs"),
            "unwanted file": ("--EXPECT-NO-FILE-- page.kwl\n", "should not exist"),
        }
        for what, (section, message) in cases.items():
            with self.subTest(what):
                result = self.run_text("--TEST--\nx\n--PAGE--\np\n" + section)
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

    def test_requires_skips_unless_enabled(self):
        text = "--TEST--\nx\n--REQUIRES--\nmysql\n--PAGE--\np\n--EXPECT--\nnever\n"
        for value in (None, "0"):
            env = {"PATH": os.environ["PATH"]}
            if value is not None:
                env["KWL_TEST_MYSQL"] = value
            with self.subTest(value=value):
                self.assertEqual(self.run_text(text, env).status, "SKIP")
        enabled = self.run_text(text, {"PATH": os.environ["PATH"], "KWL_TEST_MYSQL": "1"})
        self.assertEqual(enabled.status, "FAIL")

    def test_main_walks_dirs_filters_and_sets_exit_status(self):
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, "a", "b"))
            files = {
                "a/ok.kwlt": "--TEST--\nok\n--PAGE--\np\n--EXPECTF--\n%Ap\n",
                "a/b/bad.kwlt": "--TEST--\nbad\n--PAGE--\np\n--EXPECT--\nq\n",
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
            self.assertIn("PASS " + os.path.join(root, "a", "ok.kwlt"), out)
            self.assertIn("FAIL " + os.path.join(root, "a", "b", "bad.kwlt"), out)
            self.assertIn("malformed test: missing --PAGE--", out)
            self.assertIn("pages: 1 passed, 2 failed, 0 skipped", out)
            self.assertEqual(main("--filter", "ok.kwlt")[0], 0)


if __name__ == "__main__":
    unittest.main()
