#!/usr/bin/env python3
"""An RFC 3161 time-stamping server on the loopback for the signing test, answering with openssl ts and
the test PKI's authority:  time_stamp_server.py PKI_DIR PORT_FILE  (writes the port it listens on)."""
import http.server
import os
import subprocess
import sys

folder, port_file = sys.argv[1], sys.argv[2]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-section", "test",
                                "-queryfile", "/dev/stdin", "-inkey", "tsa.key", "-signer", "tsa.pem",
                                "-chain", "root.pem"], input=query, capture_output=True, cwd=folder).stdout
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *arguments):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".part", "w") as out:
    out.write(str(server.server_port))
os.replace(port_file + ".part", port_file)
server.serve_forever()
