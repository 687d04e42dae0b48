"""A small RFC 3161 time-stamping authority on 127.0.0.1 for the release's tests.

    timestamp_authority.py FOLDER MODE

FOLDER holds ts.cnf with the authority's certificate and key (openssl ts); MODE is "answer"
(a reply from `openssl ts -reply`), "garbage" (200 with bytes that are no reply) or "nothing" (the
connection closed without a byte). The port it listens on is written to FOLDER/port.
"""
import http.server
import os
import socketserver
import subprocess
import sys

folder, mode = sys.argv[1], sys.argv[2]


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        if mode == "nothing":
            self.close_connection = True
            return
        if mode == "garbage":
            reply = b"\x30\x03\x02\x01\x07 not a time-stamp reply"
        else:
            with open(os.path.join(folder, "query.tsq"), "wb") as file:
                file.write(query)
            subprocess.run(["openssl", "ts", "-reply", "-config", "ts.cnf", "-queryfile", "query.tsq", "-out", "reply.tsr"],
                           cwd=folder, check=True, capture_output=True)
            with open(os.path.join(folder, "reply.tsr"), "rb") as file:
                reply = file.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *arguments):
        pass


class Server(http.server.HTTPServer):
    def server_bind(self):
        # HTTPServer's own would look the host's name up (getfqdn), which waits on name servers.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address


server = Server(("127.0.0.1", 0), Authority)
with open(os.path.join(folder, "port.part"), "w") as file:
    file.write(str(server.server_address[1]))
os.rename(os.path.join(folder, "port.part"), os.path.join(folder, "port"))
server.serve_forever()
