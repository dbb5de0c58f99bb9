#!/usr/bin/env python3
"""Serves the page's files (build/web) to a browser: python3 scripts/serve.py [DIR].

On http://127.0.0.1:8080/, or KORVA_WEB_PORT and KORVA_WEB_HOST (another address only on
purpose: whoever reaches it gets the page). The .wasm type is set here: served as anything
else, browsers will not compile it as it streams. A file asked for with brotli or gzip
accepted goes out as its pre-compressed copy (scripts/web_files.sh makes them).
"""
import functools
import http.server
import os
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".wasm": "application/wasm",
                      ".json": "application/manifest+json", ".svg": "image/svg+xml", ".woff2": "font/woff2"}

    def send_head(self):
        path = self.translate_path(self.path)
        if os.path.isdir(path):
            path = os.path.join(path, "index.html")
        accepted = [a.split(";")[0].strip() for a in self.headers.get("Accept-Encoding", "").split(",")]
        for encoding, suffix in (("br", ".br"), ("gzip", ".gz")):
            if encoding in accepted and os.path.isfile(path + suffix) and not path.endswith((".br", ".gz")):
                f = open(path + suffix, "rb")
                self.send_response(200)
                self.send_header("Content-Type", self.guess_type(path))
                self.send_header("Content-Encoding", encoding)
                self.send_header("Content-Length", str(os.fstat(f.fileno()).st_size))
                self.send_header("Vary", "Accept-Encoding")
                self.end_headers()
                return f
        return super().send_head()


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build", "web")
    port = os.environ.get("KORVA_WEB_PORT", "8080")
    host = os.environ.get("KORVA_WEB_HOST", "127.0.0.1")
    try:
        server = http.server.ThreadingHTTPServer((host, int(port)), functools.partial(Handler, directory=root))
    except (OSError, ValueError) as e:
        sys.exit(f"serve: cannot serve on port {port}: {getattr(e, 'strerror', None) or e} "
                 "(choose another with KORVA_WEB_PORT)")
    print(f"run: the game is at http://{host}:{port}/ (Ctrl+C stops the server)", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
