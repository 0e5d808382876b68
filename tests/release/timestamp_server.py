"""A throw-away RFC 3161 timestamp server on 127.0.0.1 for the release test.

    timestamp_server.py CONFIG PORT_FILE

Answers every POST by piping the request through `openssl ts -reply -config
CONFIG` (run in CONFIG's folder, where its relative paths point). Listens on
a free port, which it writes to PORT_FILE once it is ready, and serves until
killed.
"""
import http.server
import os
import subprocess
import sys

config = os.path.abspath(sys.argv[1])
port_file = sys.argv[2]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        reply = subprocess.run(
            ["openssl", "ts", "-reply", "-config", config, "-queryfile", "/dev/stdin", "-out", "/dev/stdout"],
            input=query, capture_output=True, cwd=os.path.dirname(config))
        ok = reply.returncode == 0 and reply.stdout
        self.send_response(200 if ok else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply.stdout) if ok else 0))
        self.end_headers()
        if ok:
            self.wfile.write(reply.stdout)
        else:
            sys.stderr.write(reply.stderr.decode(errors="replace"))

    def log_message(self, format, *args):
        sys.stderr.write("timestamp server: " + format % args + "\n")


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
# Written whole and then renamed, so the test never reads half a number.
with open(port_file + ".new", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".new", port_file)
server.serve_forever()
