#!/usr/bin/env python3
"""Serves the built page on 127.0.0.1, as a static host would: Python's own
static server speaking HTTP/1.1 (the browser keeps its connections open
instead of opening one per file), gzip for a client that accepts it, and
Cache-Control headers and tags of each file's bytes (ETag) that let a
returning visitor's browser check the page's fixed names cheaply.
"""
import argparse
import functools
import gzip
import hashlib
import http.server
import os
import sys
import threading

# Types worth compressing; the pictures are compressed already.
COMPRESSIBLE = ("text/", "application/javascript", "application/json", "application/manifest+json",
                "application/wasm", "image/svg+xml")


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".webmanifest": "application/manifest+json", ".wasm": "application/wasm",
                      ".js": "application/javascript"}

    def __init__(self, *args, log=None, gzipped=None, **kwargs):
        self.request_log = log
        self.gzipped = gzipped
        super().__init__(*args, **kwargs)

    def send_head(self):
        path = self.translate_path(self.path)
        if os.path.isdir(path):
            if not self.path.split("?", 1)[0].endswith("/"):
                return super().send_head()   # the redirect to the folder's slash
            path = os.path.join(path, "index.html")
        if not os.path.isfile(path):
            return super().send_head()   # the 404
        ctype = self.guess_type(path)
        with open(path, "rb") as f:
            body = f.read()
        # The tag names the bytes, not the time: a file changed within the
        # second of the browser's copy is still seen to have changed.
        tag = hashlib.sha256(body).hexdigest()[:20]
        gzipped = ctype.startswith(COMPRESSIBLE) and "gzip" in self.headers.get("Accept-Encoding", "")
        if gzipped:
            body, tag = self.gzipped(tag, body), tag + "-gzip"
        tag = '"%s"' % tag
        asked = [t.strip().removeprefix("W/") for t in self.headers.get("If-None-Match", "").split(",")]
        if tag in asked:
            self.send_response(304)
            self.send_header("ETag", tag)
            self.end_headers()
            return None
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        if gzipped:
            self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("ETag", tag)
        self.end_headers()
        return _Body(body)

    def end_headers(self):
        # Every name of the site stays the same from one release to the next,
        # so the browser asks again each time, with the file's tag, and gets a
        # 304 while the file is unchanged; the service worker answers before
        # that when offline.
        self.send_header("Cache-Control", "no-cache")
        self.send_header("Vary", "Accept-Encoding")
        super().end_headers()

    def send_response(self, code, message=None):
        self._status = code
        super().send_response(code, message)

    def flush_headers(self):
        if getattr(self, "_headers_buffer", None):
            self._sent += sum(len(line) for line in self._headers_buffer)
        super().flush_headers()

    def copyfile(self, source, outputfile):
        while True:
            chunk = source.read(65536)
            if not chunk:
                break
            outputfile.write(chunk)
            self._sent += len(chunk)

    def log_message(self, format, *args):
        pass

    def handle_one_request(self):
        self._status, self._sent = None, 0
        super().handle_one_request()
        if self.request_log and self._status is not None:
            self.request_log.write(self.command, self.path, self._status, self._sent)


class _Body:
    """A body held in memory, read as send_head's file would be."""

    def __init__(self, data):
        self.data, self.at = data, 0

    def read(self, size):
        chunk = self.data[self.at:self.at + size]
        self.at += len(chunk)
        return chunk

    def close(self):
        pass


class RequestLog:
    """One line per answered request, flushed at once, so that a test can
    see what a visit asked the server for: METHOD PATH STATUS BYTES, the bytes
    being all that went out for it, headers included."""

    def __init__(self, stream):
        self.stream, self.lock = stream, threading.Lock()

    def write(self, method, path, status, sent):
        with self.lock:
            self.stream.write("%s %s %d %d\n" % (method, path, status, sent))
            self.stream.flush()


def gzip_cache():
    """Each file's gzip, made once for each content."""
    held, lock = {}, threading.Lock()

    def gzipped(tag, data):
        with lock:
            if tag not in held:
                held[tag] = gzip.compress(data, 9, mtime=0)
            return held[tag]

    return gzipped


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # A browser closes the connections it kept open whenever it likes.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


def main():
    ap = argparse.ArgumentParser(description="Serve the built patcher page on 127.0.0.1.")
    ap.add_argument("dir", help="the built site (build/web/site)")
    ap.add_argument("port", nargs="?", type=int, default=8080,
                    help="the port; 0 takes any free one (default 8080); the first line printed says which")
    ap.add_argument("--log", metavar="FILE",
                    help="write METHOD PATH STATUS BYTES-SENT for each request to FILE ('-': standard output)")
    args = ap.parse_args()
    if not os.path.isfile(os.path.join(args.dir, "index.html")):
        ap.error("%s holds no index.html: build the site first (cmake --build --preset web)" % args.dir)
    log = None
    if args.log:
        log = RequestLog(sys.stdout if args.log == "-" else open(args.log, "a", encoding="utf-8"))
    handler = functools.partial(Handler, directory=args.dir, log=log, gzipped=gzip_cache())
    with Server(("127.0.0.1", args.port), handler) as server:
        print("Serving HTTP on 127.0.0.1 port %d" % server.server_port, flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
