#!/usr/bin/env python3
"""Serves the built page on 127.0.0.1: Python's own static server, speaking
HTTP/1.1 so that the browser keeps its connections open instead of opening
one per file. Python knows .wasm as application/wasm, which streaming
compilation needs.

usage: serve.py DIR [PORT]     (PORT 0: any free port; the first line says which)
"""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # A browser closes the connections it kept open whenever it likes.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.strip().splitlines()[-1])
    port = int(sys.argv[2]) if len(sys.argv) == 3 else 8080
    handler = functools.partial(Handler, directory=sys.argv[1])
    with Server(("127.0.0.1", port), handler) as server:
        print("Serving HTTP on 127.0.0.1 port %d" % server.server_port, flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
