"""A small RFC 3161 time-stamping authority on 127.0.0.1: timestamp_authority.py FOLDER MODE. FOLDER holds
ts.cnf for `openssl ts -reply`; MODE "answer" replies with its timestamp, "garbage" with bytes that
are none, "nothing" closes the connection unanswered. The port is written to FOLDER/port."""
import http.server, os, socketserver, subprocess, sys

folder, mode = sys.argv[1], sys.argv[2]


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        if mode == "nothing":
            self.close_connection = True
            return
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", "ts.cnf", "-queryfile", "/dev/stdin", "-out", "/dev/stdout"],
                               cwd=folder, input=query, check=True, capture_output=True).stdout if mode == "answer" else b"\x30\x03garbage"
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

# (HTTPServer would look the host's name up, which waits on name servers.)
server = socketserver.TCPServer(("127.0.0.1", 0), Authority)
with open(os.path.join(folder, "port.part"), "w") as file:
    file.write(str(server.server_address[1]))
os.rename(os.path.join(folder, "port.part"), os.path.join(folder, "port"))
server.serve_forever()
