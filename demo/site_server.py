#!/usr/bin/env python3
"""The demo's web site on loopback: the update server's files (GET) and the support service
(POST /scripts/zelisapi.dll/runningupload), which records each upload it receives as a file
with the body decoded into its fields, and answers "Got It".

Usage: site_server.py SITE_DIR UPLOAD_DIR; prints the port it listens on.
"""
import functools
import http.server
import os
import sys
import urllib.parse

UPLOAD_PATH = "/scripts/zelisapi.dll/runningupload"


class Handler(http.server.SimpleHTTPRequestHandler):
    uploads = "."

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length)
        if self.path != UPLOAD_PATH:
            self.send_error(404)
            return
        count = len(os.listdir(self.uploads)) + 1
        # The form is in the Windows ANSI code page (Windows-1252).
        fields = urllib.parse.parse_qsl(body.decode("ascii"), keep_blank_values=True, encoding="cp1252")
        with open(os.path.join(self.uploads, "upload-%d.txt" % count), "w", encoding="utf-8") as out:
            out.write("user agent: %s\n" % self.headers.get("User-Agent"))
            out.write("content type: %s\n" % self.headers.get("Content-Type"))
            for name, value in fields:
                out.write("%s=%s\n" % (name, value))
        reply = b"OK, Got It\r\n"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


if __name__ == "__main__":
    Handler.uploads = sys.argv[2]
    handler = functools.partial(Handler, directory=sys.argv[1])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()
