#!/usr/bin/env python3
"""Reference vendor service for the installer's demo and tests.

Endpoints:
  GET  /caller?c=site&a=downloadPackage&channel=C[&donwloadtype=curl|offline]
       answers the package file for channel C (or the default package); with
       "os=windows" in the query (the Windows build's configured address
       carries it) the Windows package (--windows-package) instead
  GET  /caller?c=site&a=downloadPackage&channel=C&donwloadtype=sig
       answers the package's signature: Base64 of the DER ECDSA signature
       over the SHA-256 of the package, made with --signing-key (404 without
       one)
  POST /caller?c=site&a=writelog   body "log=" + Base64(JSON record)
       decodes the record, checks it is JSON, appends it with the cookies to
       the statistics log (one JSON object per line)
  GET  /user-agreement/            a small HTML page

The first line written to stdout is "listening on 127.0.0.1:PORT", so a
caller that asked for port 0 learns the port that was chosen (--port-file
also writes the port to a file, for callers that cannot read the output,
such as a Windows test program under Wine that started the service).

Control (for test programs that cannot signal the service):
  --max-lifetime SEC               end by itself after SEC seconds
  --allow-shutdown                 POST /shutdown ends the service
  --error-log PATH                 write errors (a client that went away
                                   mid-answer) there instead of stderr

Fault injection (all optional):
  --fail-first N --fail-status S   the first N package downloads answer S
                                   (an HTTP status, "reset" to drop the
                                   connection without an answer, or "hang"
                                   to keep it open and never answer)
  --delay SEC                      wait before answering any package download
  --drip BYTES_PER_SEC             send the package slowly
  --truncate BYTES                 announce the full length, send BYTES, close
  --redirect                       answer downloads with a 302 to /files/...
  --redirect-to URL                answer downloads with a 302 to URL (any
                                   scheme, e.g. ftp:// or file://)
  --declare-length BYTES           announce BYTES as the package length,
                                   send the real package, close
  --redirect-hops N                with --redirect: N redirects in a row
                                   (/hop/N-1/... down to /files/...)
  --redirect-location URL          with --redirect: the Location is URL
  --stall-after BYTES              announce the full length, send BYTES,
                                   then keep the connection open silently
  --refuse-statistics S            answer statistics posts with status S
                                   (or "reset"), without logging them
  --statistics-delay SEC           wait before answering a statistics post
  --tamper MODE                    an attacker on the path: "flip-byte" (one
                                   byte of every package changed in transit),
                                   "foreign-signature" (the signature of
                                   another package), "unknown-key" (signed by
                                   a key of the service's own making),
                                   "no-signature" (404), "garbage-signature"
                                   (random bytes)
  --signature-redirect             answer signature requests with a 302 to
                                   /sig/CHANNEL, which answers the signature

Package faults (--fail-first, --delay, redirects, --truncate ...) apply to
package downloads only, never to signature requests.

HEAD requests answer the status and headers of the GET they stand for,
without a body; they neither count as downloads nor consume --fail-first.
Every request is logged with its method, User-Agent and the time it arrived
("received", seconds on CLOCK_MONOTONIC).
"""

import argparse
import base64
import binascii
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

AGREEMENT_PAGE = """<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><title>用户使用协议</title></head>
<body><h1>Corvane视频转换器 用户使用协议</h1>
<p>This page stands in for the vendor's user agreement.</p></body></html>
"""

CHUNK = 1 << 20
FOREIGN_SUFFIX = b"another package"


class State:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.downloads_seen = 0
        self.packages = {}
        for item in args.channel_package or []:
            channel, _, path = item.partition("=")
            self.packages[channel] = path

        self.signatures = {}
        self.unknown_key = None
        if args.tamper == "unknown-key":
            # A key nobody stamped: its signatures must never be accepted. It
            # lives in memory, so a killed service leaves no file behind.
            self.unknown_key = subprocess.run(
                ["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256"],
                check=True, capture_output=True).stdout

    def sign(self, package, data=None):
        """DER signature of the package file (or of `data`) by the service's key."""
        def run(key):
            command = ["openssl", "dgst", "-sha256", "-sign", key, "-binary"]
            if data is not None:
                return subprocess.run(command, input=data, check=True, capture_output=True).stdout
            return subprocess.run(command + [package], check=True, capture_output=True).stdout
        if self.unknown_key is None:
            return run(self.args.signing_key)
        with tempfile.TemporaryDirectory() as folder:
            key = os.path.join(folder, "unknown.pem")
            with open(key, "wb") as f:
                f.write(self.unknown_key)
            return run(key)

    def signature_for(self, package):
        """Base64 signature text of the package, None without a key."""
        if not self.args.signing_key and self.unknown_key is None:
            return None
        foreign = self.args.tamper == "foreign-signature"
        st = os.stat(package)
        cache_key = (package, st.st_mtime_ns, st.st_size, foreign)
        with self.lock:
            if cache_key in self.signatures:
                return self.signatures[cache_key]
        if foreign:
            with open(package, "rb") as f:
                der = self.sign(package, f.read() + FOREIGN_SUFFIX)
        else:
            der = self.sign(package)
        text = base64.b64encode(der).decode("ascii")
        with self.lock:
            self.signatures[cache_key] = text
        return text

    def package_for(self, channel, windows=False):
        if windows:
            path = self.args.windows_package
            return path if path and os.path.isfile(path) else None
        path = self.packages.get(channel, self.args.package)
        if path and os.path.isfile(path):
            return path
        return None

    def next_download_fails(self, counts=True):
        with self.lock:
            if not counts:
                return self.downloads_seen < self.args.fail_first
            self.downloads_seen += 1
            return self.downloads_seen <= self.args.fail_first

    def append(self, path, entry):
        if not path:
            return
        line = json.dumps(entry, ensure_ascii=False, sort_keys=True)
        with self.lock:
            with open(path, "a", encoding="utf-8") as f:
                f.write(line + "\n")
                f.flush()


def reset_connection(handler):
    # SO_LINGER with a zero timeout turns close() into a TCP reset.
    handler.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    handler.close_connection = True
    handler.connection.close()


def hang(handler):
    # Keeps the connection open and silent until the client gives up.
    handler.close_connection = True
    try:
        while handler.connection.recv(4096):
            pass
    except OSError:
        pass


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "CorvaneVendor/1.0"

    def log_message(self, fmt, *args):  # noqa: N802 (base class name)
        if self.server.state.args.verbose:
            sys.stderr.write("vendor: " + (fmt % args) + "\n")

    def parse_request(self):
        # Stamped on CLOCK_MONOTONIC, which the programs on this machine
        # share, so a client can time its own requests ("received").
        self.received = time.monotonic()
        return super().parse_request()

    def access(self, status, **extra):
        entry = {"method": self.command, "path": self.path, "status": status,
                 "agent": self.headers.get("User-Agent", ""),
                 "received": self.received}
        entry.update(extra)
        self.server.state.append(self.server.state.args.access_log, entry)

    def query(self):
        parsed = urllib.parse.urlsplit(self.path)
        return parsed.path, urllib.parse.parse_qs(parsed.query, keep_blank_values=True)

    def send_text(self, status, text, content_type="text/plain; charset=utf-8"):
        body = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):  # noqa: N802
        path, q = self.query()
        if path == "/caller" and q.get("a") == ["downloadPackage"]:
            return self.download(q)
        if path.startswith("/hop/") or path.startswith("/hop-win/"):
            return self.redirect_hop(path)
        if path.startswith("/sig/"):
            return self.send_signature(urllib.parse.unquote(path[len("/sig/"):]), redirected=True)
        if path.startswith("/sig-win/"):
            return self.send_signature(urllib.parse.unquote(path[len("/sig-win/"):]),
                                       redirected=True, windows=True)
        if path.startswith("/files/"):
            channel = urllib.parse.unquote(path[len("/files/"):])
            return self.send_package(channel, redirected=True)
        if path.startswith("/files-win/"):
            channel = urllib.parse.unquote(path[len("/files-win/"):])
            return self.send_package(channel, redirected=True, windows=True)
        if path in ("/user-agreement/", "/user-agreement"):
            self.access(200)
            return self.send_text(200, AGREEMENT_PAGE, "text/html; charset=utf-8")
        self.access(404)
        self.send_text(404, "not found\n")

    def do_HEAD(self):  # noqa: N802
        # Real servers answer HEAD with the GET's status and headers; desktop
        # downloaders probe with it before they transfer.
        self.do_GET()

    def do_POST(self):  # noqa: N802
        path, q = self.query()
        length = int(self.headers.get("Content-Length", "0") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        if path == "/caller" and q.get("a") == ["writelog"]:
            return self.writelog(body)
        if path == "/shutdown" and self.server.state.args.allow_shutdown:
            self.access(200)
            self.send_text(200, "bye\n")
            threading.Thread(target=self.server.shutdown, daemon=True).start()
            return
        self.access(404)
        self.send_text(404, "not found\n")

    def download(self, q):
        args = self.server.state.args
        channel = q.get("channel", [""])[0]
        kind = q.get("donwloadtype", [""])[0]
        windows = q.get("os") == ["windows"]
        if kind == "sig":
            if args.signature_redirect:
                location = ("/sig-win/" if windows else "/sig/") + urllib.parse.quote(channel, safe="")
                return self.redirect_elsewhere(location, channel, kind)
            return self.send_signature(channel, windows=windows)
        if self.server.state.next_download_fails(counts=self.command != "HEAD"):
            if args.fail_status == "reset":
                self.access("reset", channel=channel, kind=kind)
                return reset_connection(self)
            if args.fail_status == "hang":
                self.access("hang", channel=channel, kind=kind)
                return hang(self)
            status = int(args.fail_status)
            self.access(status, channel=channel, kind=kind)
            return self.send_text(status, "<html><body>injected failure</body></html>\n",
                                  "text/html")
        if args.delay > 0:
            time.sleep(args.delay)
        if args.redirect_to:
            return self.redirect_elsewhere(args.redirect_to, channel, kind)
        if args.redirect:
            self.access(302, channel=channel, kind=kind)
            return self.send_redirect(args.redirect_hops - 1, channel, windows)
        self.send_package(channel, kind=kind, windows=windows)

    def redirect_elsewhere(self, location, channel, kind):
        self.access(302, channel=channel, kind=kind, location=location)
        self.send_location(location)

    def send_redirect(self, hops_left, channel, windows=False):
        args = self.server.state.args
        quoted = urllib.parse.quote(channel, safe="")
        if args.redirect_location is not None:
            location = args.redirect_location
        elif hops_left > 0:
            location = "/hop%s/%d/%s" % ("-win" if windows else "", hops_left, quoted)
        else:
            location = ("/files-win/" if windows else "/files/") + quoted
        self.send_location(location)

    def send_location(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def send_declared_package(self, package, declared):
        # A length far beyond the body: the client must not trust it to fill
        # the disk. What is really there is sent, then the connection ends.
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(declared))
        self.end_headers()
        if self.command == "HEAD":
            return
        with open(package, "rb") as f:
            self.wfile.write(f.read())
        self.close_connection = True

    def send_signature(self, channel, redirected=False, windows=False):
        state = self.server.state
        tamper = state.args.tamper
        package = state.package_for(channel, windows)
        if package is None or tamper == "no-signature":
            self.access(404, channel=channel, kind="sig", redirected=redirected)
            return self.send_text(404, "no signature\n")
        if tamper == "garbage-signature":
            body = os.urandom(64)
        else:
            text = state.signature_for(package)
            if text is None:
                self.access(404, channel=channel, kind="sig", redirected=redirected)
                return self.send_text(404, "no signing key\n")
            body = text.encode("ascii")
        self.access(200, channel=channel, kind="sig", redirected=redirected)
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def redirect_hop(self, path):
        windows = path.startswith("/hop-win/")
        hops, _, quoted = path[len("/hop-win/" if windows else "/hop/"):].partition("/")
        if not hops.isdigit():
            self.access(404)
            return self.send_text(404, "not found\n")
        channel = urllib.parse.unquote(quoted)
        self.access(302, channel=channel, hop=int(hops))
        self.send_redirect(int(hops) - 1, channel, windows)

    def send_package(self, channel, kind="", redirected=False, windows=False):
        args = self.server.state.args
        package = self.server.state.package_for(channel, windows)
        if package is None:
            self.access(404, channel=channel, kind=kind, redirected=redirected)
            return self.send_text(404, "no package for this channel\n")
        size = os.path.getsize(package)
        if args.declare_length is not None:
            self.access(200, channel=channel, kind=kind, declared=args.declare_length)
            return self.send_declared_package(package, args.declare_length)
        self.access(200, channel=channel, kind=kind, redirected=redirected, size=size)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Disposition", 'attachment; filename="corvaneInstaller.exe"')
        self.send_header("Content-Length", str(size))
        self.end_headers()
        if self.command == "HEAD":
            return
        if args.stall_after is not None:
            with open(package, "rb") as f:
                self.wfile.write(f.read(args.stall_after))
            self.wfile.flush()
            return hang(self)
        limit = size if args.truncate is None else min(size, args.truncate)
        flip_at = size // 2 if args.tamper == "flip-byte" else None
        with open(package, "rb") as f:
            if args.drip is None and args.truncate is None and flip_at is None:
                self.wfile.flush()
                offset = 0
                while offset < size:
                    sent = os.sendfile(self.connection.fileno(), f.fileno(), offset, size - offset)
                    if sent <= 0:
                        break
                    offset += sent
                return
            remaining = limit
            step = CHUNK if args.drip is None else max(1, args.drip // 10)
            offset = 0
            while remaining > 0:
                data = f.read(min(step, remaining))
                if not data:
                    break
                if flip_at is not None and offset <= flip_at < offset + len(data):
                    i = flip_at - offset
                    data = data[:i] + bytes([data[i] ^ 0x01]) + data[i + 1:]
                offset += len(data)
                self.wfile.write(data)
                remaining -= len(data)
                if args.drip is not None:
                    time.sleep(len(data) / args.drip)
        if args.truncate is not None:
            self.close_connection = True

    def writelog(self, body):
        args = self.server.state.args
        raw = body.decode("ascii", errors="replace")
        if args.statistics_delay > 0:
            time.sleep(args.statistics_delay)
        if args.refuse_statistics:
            if args.refuse_statistics == "reset":
                self.access("reset", kind="writelog")
                return reset_connection(self)
            status = int(args.refuse_statistics)
            self.access(status, kind="writelog")
            return self.send_text(status, "statistics refused\n")
        if not raw.startswith("log="):
            self.access(400, kind="writelog", error="no log field")
            return self.send_text(400, "expected log=\n")
        try:
            text = base64.b64decode(raw[4:], validate=True).decode("utf-8")
            record = json.loads(text)
        except (binascii.Error, UnicodeDecodeError, ValueError) as e:
            self.access(400, kind="writelog", error=str(e), body=raw)
            return self.send_text(400, "bad record\n")
        # http.server decodes header bytes as Latin-1; the installer sends UTF-8.
        cookie_header = self.headers.get("Cookie", "").encode("latin-1").decode(
            "utf-8", errors="replace")
        cookies = {}
        for part in cookie_header.split(";"):
            name, sep, value = part.strip().partition("=")
            if sep:
                cookies[name] = value
        entry = {"record": record, "text": text, "body": raw, "cookie_header": cookie_header,
                 "cookies": cookies, "headers": dict(self.headers.items())}
        self.server.state.append(args.statistics_log, entry)
        self.access(200, kind="writelog")
        self.send_text(200, '{"code":0}\n', "application/json")


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=8090)
    p.add_argument("--package", help="package answered for every channel")
    p.add_argument("--windows-package",
                   help="package answered to requests with os=windows in the query")
    p.add_argument("--port-file", help="file that receives the chosen port")
    p.add_argument("--max-lifetime", type=float, default=None)
    p.add_argument("--allow-shutdown", action="store_true")
    p.add_argument("--error-log", help="file that receives what would go to stderr")
    p.add_argument("--channel-package", action="append", metavar="CHANNEL=FILE",
                   help="package answered for one channel")
    p.add_argument("--statistics-log", help="JSON-lines file of the records received")
    p.add_argument("--access-log", help="JSON-lines file of every request")
    p.add_argument("--fail-first", type=int, default=0)
    p.add_argument("--fail-status", default="500")
    p.add_argument("--delay", type=float, default=0)
    p.add_argument("--drip", type=int, default=None)
    p.add_argument("--truncate", type=int, default=None)
    p.add_argument("--redirect", action="store_true")
    p.add_argument("--redirect-to", default=None)
    p.add_argument("--declare-length", type=int, default=None)
    p.add_argument("--redirect-hops", type=int, default=1)
    p.add_argument("--redirect-location", default=None)
    p.add_argument("--stall-after", type=int, default=None)
    p.add_argument("--refuse-statistics", default=None)
    p.add_argument("--statistics-delay", type=float, default=0)
    p.add_argument("--signing-key", default=None,
                   help="PEM private key (ECDSA P-256) the packages are signed with")
    p.add_argument("--tamper", default=None,
                   choices=["flip-byte", "foreign-signature", "unknown-key", "no-signature",
                            "garbage-signature"])
    p.add_argument("--signature-redirect", action="store_true")
    p.add_argument("--verbose", action="store_true")
    args = p.parse_args()
    if args.error_log:
        sys.stderr = open(args.error_log, "a", encoding="utf-8", buffering=1)

    server = ThreadingHTTPServer((args.host, args.port), Handler)
    server.daemon_threads = True
    server.state = State(args)
    print("listening on %s:%d" % (args.host, server.server_address[1]), flush=True)
    if args.port_file:
        # Written whole under another name, then renamed: a reader never
        # sees half a number.
        temp = args.port_file + ".tmp"
        with open(temp, "w") as f:
            f.write("%d\n" % server.server_address[1])
        os.replace(temp, args.port_file)
    if args.max_lifetime:
        timer = threading.Timer(args.max_lifetime, server.shutdown)
        timer.daemon = True
        timer.start()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
