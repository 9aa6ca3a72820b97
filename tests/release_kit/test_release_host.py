"""Tests of the stand-in release host fixtures/release_host.py, which the launcher's update tests
talk to: what it publishes, each fault it can be switched to, and TLS.

Run from the repository root:
    python3 -m unittest discover -s tests/release_kit -t tests/release_kit

Each test class starts one host as a child process on a free port of 127.0.0.1 and reads its
"listening on PORT" line; requests go through http.client with short socket time-outs.

Sections: helpers | published releases | faults | TLS
"""
import hashlib
import http.client
import importlib.util
import json
import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HOST_SCRIPT = os.path.join(REPO, "fixtures", "release_host.py")
LATEST = "/repos/Kettlewise/ZO_Duzoru/releases/latest"
DOWNLOAD = "/Kettlewise/ZO_Duzoru/releases/download/"


def load_module(path, name):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


package_release = load_module(os.path.join(REPO, "scripts", "package_release.py"),
                              "package_release")


# --- helpers ---------------------------------------------------------------------------------------

class RunningHost:
    """release_host.py as a child process; ended when closed."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([sys.executable, HOST_SCRIPT, *args],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        line = self.proc.stdout.readline().decode().strip()
        if not line.startswith("listening on "):
            self.close()
            raise AssertionError("the host did not start: %r" % line)
        self.port = int(line.split()[-1])

    def close(self):
        self.proc.kill()
        self.proc.wait(timeout=30)
        self.proc.stdout.close()

    def get(self, path, timeout=10, context=None):
        """(status, headers, body) of one GET; the body read to the connection's end."""
        if context is None:
            conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        else:
            conn = http.client.HTTPSConnection("127.0.0.1", self.port, timeout=timeout,
                                               context=context)
        try:
            conn.request("GET", path)
            resp = conn.getresponse()
            return resp.status, resp.headers, resp.read()
        finally:
            conn.close()

    def control(self, what, **params):
        status, _, body = self.get("/_control/%s?%s" % (what, urllib.parse.urlencode(params)))
        assert status == 200, body
        return body.decode()


def make_published(root):
    """Three published tags of the Linux release; v0.7.0 is the highest final release."""
    for tag, text in (("v0.6.1", "old"), ("v0.7.0", "new"), ("v0.7.0-rc1", "candidate")):
        release = os.path.join(root, "src-" + tag, "release")
        os.makedirs(release)
        for name in ("what.txt", "qm-launcher"):
            with open(os.path.join(release, name), "w", encoding="utf-8") as f:
                f.write(text + "\n")
        package_release.package(release, os.path.join(root, "host", tag), tag.lstrip("v"))
    return os.path.join(root, "host")


class HostCase(unittest.TestCase):
    host_args = ()

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="qm-host-")
        cls.published = make_published(cls.tmp)
        cls.host = RunningHost("--releases", cls.published, *cls.host_args)

    @classmethod
    def tearDownClass(cls):
        cls.host.close()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        self.host.control("fault", name="none")
        self.host.control("latest", reset="1")

    def asset_path(self, tag="v0.7.0", suffix=""):
        return DOWNLOAD + "%s/ZO_Duzoru-%s-kettlewise-linux-x86_64.zip%s" % (
            tag, tag.lstrip("v"), suffix)


# --- published releases ----------------------------------------------------------------------------

class PublishedTests(HostCase):

    def test_latest_names_the_highest_final_release_and_its_assets_download(self):
        status, headers, body = self.host.get(LATEST)
        self.assertEqual(200, status)
        doc = json.loads(body)
        self.assertEqual("v0.7.0", doc["tag_name"])
        self.assertTrue(doc["html_url"].endswith("/Kettlewise/ZO_Duzoru/releases/tag/v0.7.0"))
        urls = {a["name"]: a["browser_download_url"] for a in doc["assets"]}
        archive_url = urls["ZO_Duzoru-0.7.0-kettlewise-linux-x86_64.zip"]
        status, headers, archive = self.host.get(urllib.parse.urlsplit(archive_url).path)
        self.assertEqual(200, status)
        self.assertEqual(str(len(archive)), headers["Content-Length"])
        status, _, checksum = self.host.get(self.asset_path(suffix=".sha256"))
        self.assertEqual(hashlib.sha256(archive).hexdigest(), checksum.split()[0].decode())

    def test_what_is_not_published_is_404(self):
        for path in (self.asset_path("v9.9.9"), DOWNLOAD + "v0.7.0/../v0.6.1/x", "/nothing"):
            with self.subTest(path):
                self.assertEqual(404, self.host.get(path)[0])

    def test_latest_can_be_replaced_by_any_answer(self):
        self.host.control("latest", status="200", body='{"tag_name": "v 1"}')
        self.assertEqual((200, b'{"tag_name": "v 1"}'), self.host.get(LATEST)[::2])
        self.host.control("latest", status="404", body="gone")
        self.assertEqual(404, self.host.get(LATEST)[0])

    def test_the_log_lists_the_paths_asked_for_but_not_the_control_ones(self):
        self.host.control("log", clear="1")
        self.host.get("/status/204")
        self.host.get(self.asset_path(suffix=".sha256"))
        self.assertEqual("/status/204\n%s\n" % self.asset_path(suffix=".sha256"),
                         self.host.control("log"))


class EmptyHostTests(unittest.TestCase):

    def test_a_host_without_releases_answers_404(self):
        with tempfile.TemporaryDirectory() as empty:
            host = RunningHost("--releases", empty)
            try:
                self.assertEqual(404, host.get(LATEST)[0])
            finally:
                host.close()


# --- faults ----------------------------------------------------------------------------------------

class FaultTests(HostCase):

    def test_status_and_size_faults(self):
        for fault, status, size in (("404", 404, None), ("500", 500, None),
                                    ("big", 200, (1 << 20) + 1)):
            with self.subTest(fault):
                self.host.control("fault", name="none")
                self.host.control("fault", name=fault, match=".zip")
                got, _, body = self.host.get(self.asset_path())
                self.assertEqual(status, got)
                if size is not None:
                    self.assertEqual(size, len(body))
                self.assertEqual(200, self.host.get(LATEST)[0])  # the match limits the fault

    def test_framing_faults_deliver_the_same_body_differently(self):
        _, _, whole = self.host.get(self.asset_path())
        for fault, header, value in (("nolength", "Content-Length", None),
                                     ("chunked", "Transfer-Encoding", "chunked")):
            with self.subTest(fault):
                self.host.control("fault", name="none")
                self.host.control("fault", name=fault)
                status, headers, body = self.host.get(self.asset_path())
                self.assertEqual((200, whole), (status, body))
                self.assertEqual(value, headers[header])

    def test_a_truncated_body_ends_early(self):
        self.host.control("fault", name="truncated")
        with self.assertRaises(http.client.IncompleteRead):
            self.host.get(self.asset_path())

    def test_bodies_that_end_before_their_framing_says(self):
        """chunked-cut stops inside a chunk; overlong declares 3 GiB and sends far less."""
        for fault in ("chunked-cut", "overlong"):
            with self.subTest(fault):
                self.host.control("fault", name="none")
                self.host.control("fault", name=fault)
                conn = http.client.HTTPConnection("127.0.0.1", self.host.port, timeout=10)
                try:
                    conn.request("GET", self.asset_path())
                    resp = conn.getresponse()
                    if fault == "overlong":
                        self.assertEqual(str(3 << 30), resp.headers["Content-Length"])
                    with self.assertRaises(http.client.IncompleteRead) as cm:
                        resp.read()
                    if fault == "overlong":
                        self.assertGreaterEqual(len(cm.exception.partial), 65536)
                finally:
                    conn.close()

    def test_a_mute_host_accepts_and_never_answers(self):
        self.host.control("fault", name="mute", match=".zip")
        conn = http.client.HTTPConnection("127.0.0.1", self.host.port, timeout=2)
        try:
            conn.request("GET", self.asset_path())
            with self.assertRaises(socket.timeout):
                conn.getresponse()
        finally:
            conn.close()

    def test_a_wrong_checksum_names_the_same_archive(self):
        _, _, good = self.host.get(self.asset_path(suffix=".sha256"))
        self.host.control("fault", name="badsum")
        _, _, bad = self.host.get(self.asset_path(suffix=".sha256"))
        self.assertNotEqual(good.split()[0], bad.split()[0])
        self.assertEqual(good.split()[1:], bad.split()[1:])
        self.assertEqual(64, len(bad.split()[0]))

    def test_redirects(self):
        self.host.control("fault", name="redirect-http", to="http://127.0.0.1:9")
        status, headers, _ = self.host.get(self.asset_path())
        self.assertEqual((302, "http://127.0.0.1:9" + self.asset_path()),
                         (status, headers["Location"]))
        self.host.control("fault", name="none")
        self.host.control("fault", name="redirect-loop")
        status, headers, _ = self.host.get(self.asset_path())
        self.assertEqual((302, self.asset_path()), (status, headers["Location"]))

    def test_a_stalled_answer_sends_a_little_and_then_nothing(self):
        self.host.control("fault", name="stall")
        conn = http.client.HTTPConnection("127.0.0.1", self.host.port, timeout=2)
        try:
            conn.request("GET", self.asset_path())
            resp = conn.getresponse()
            self.assertEqual(16, len(resp.read(16)))
            with self.assertRaises(socket.timeout):
                resp.read(1)
        finally:
            conn.close()

    def test_drip_and_the_bytes_modes_deliver_the_pattern(self):
        expected = bytes(range(5))
        for mode in ("plain", "nolength", "chunked", "drip"):
            with self.subTest(mode):
                status, _, body = self.host.get("/bytes/5?mode=" + mode, timeout=20)
                self.assertEqual((200, expected), (status, body))


# --- TLS -------------------------------------------------------------------------------------------

def make_certificate(folder):
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-keyout", key, "-out", cert, "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


class TlsTests(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="qm-tls-")
        cls.cert, key = make_certificate(cls.tmp)
        cls.host = RunningHost("--https", cls.cert, key)

    @classmethod
    def tearDownClass(cls):
        cls.host.close()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_the_certificate_is_trusted_only_where_it_was_given(self):
        trusting = ssl.create_default_context(cafile=self.cert)
        status, _, body = self.host.get("/bytes/3", context=trusting)
        self.assertEqual((200, bytes(range(3))), (status, body))
        with self.assertRaises(ssl.SSLCertVerificationError):
            self.host.get("/bytes/3", context=ssl.create_default_context())


if __name__ == "__main__":
    unittest.main()
