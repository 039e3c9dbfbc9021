#!/usr/bin/env python3
"""A small forwarding HTTP proxy that logs every request it carries.

Tests point a client's proxy settings at it to see that a transfer really
went through the proxy. Only plain-HTTP requests in absolute form
(GET/HEAD http://host:port/path) are forwarded; the answer is passed on
unchanged, redirects included.

The first line written to stdout is "listening on 127.0.0.1:PORT". Each
request is appended to --log as one JSON object per line:
{"method": ..., "url": ..., "status": ...}.
"""

import argparse
import http.client
import json
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HOP_BY_HOP = {"connection", "keep-alive", "proxy-connection", "proxy-authorization",
              "te", "trailers", "transfer-encoding", "upgrade"}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # noqa: N802 (base class name)
        pass

    def record(self, status):
        line = json.dumps({"method": self.command, "url": self.path, "status": status},
                          sort_keys=True)
        with self.server.lock:
            with open(self.server.log, "a", encoding="utf-8") as f:
                f.write(line + "\n")

    def forward(self):
        target = urllib.parse.urlsplit(self.path)
        if target.scheme != "http" or not target.hostname:
            self.record(400)
            self.send_error(400, "absolute http URL expected")
            return
        path = target.path or "/"
        if target.query:
            path += "?" + target.query
        headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP}
        upstream = http.client.HTTPConnection(target.hostname, target.port or 80, timeout=600)
        try:
            upstream.request(self.command, path, headers=headers)
            answer = upstream.getresponse()
        except OSError:
            self.record(502)
            self.send_error(502, "upstream unreachable")
            return
        self.record(answer.status)
        self.send_response(answer.status, answer.reason)
        for name, value in answer.getheaders():
            if name.lower() not in HOP_BY_HOP:
                self.send_header(name, value)
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        if self.command == "HEAD":
            return
        try:
            while True:
                block = answer.read(1 << 16)
                if not block:
                    break
                self.wfile.write(block)
        except (http.client.HTTPException, OSError):
            pass  # a short upstream body stays short for the client
        upstream.close()

    do_GET = forward  # noqa: N815
    do_HEAD = forward  # noqa: N815


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--log", required=True)
    args = p.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.lock = threading.Lock()
    server.log = args.log
    print("listening on 127.0.0.1:%d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
